#include "app/controller/CameraParameterLists.h"

#include "app/controller/TextSplit.h"
#include "app/link/ProtocolCommand.h"
#include "app/link/TagText.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"

#include <algorithm>
#include <limits>

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0; }

}  // namespace

void CCameraParameterLists::ResetForSync()
{
    for (SimpleArray<std::u16string>* list : {&m_saISO, &m_saImageQuality, &m_saToning, &m_saLight, &m_saSharpTable,
                                              &m_saInputProfile, &m_saOutputProfile, &m_saCameraType}) {
        list->SetLength(0);
    }
    for (SimpleArray<int32_t>* list : {&m_saColor, &m_saOrientation, &m_saDiskThresholds, &m_saHistogramScale}) {
        list->SetLength(0);
    }
    m_saFraming.SetLength(0);
    m_strDcbVersion = u"N/A";
    m_bProfilesAvailable = false;
    m_bCameraTypesAvailable = false;
}

void CCameraParameterLists::FillDefaults()
{
    for (SimpleArray<std::u16string>* list : {&m_saISO, &m_saImageQuality, &m_saToning, &m_saLight, &m_saSharpTable,
                                              &m_saInputProfile, &m_saOutputProfile, &m_saCameraType}) {
        if (list->GetArrLength() == 0) {
            list->Append(u"Default");
        }
    }
    if (m_saColor.GetArrLength() == 0) {
        m_saColor.Append(0);
        m_saColor.Append(1);
    }
    if (m_iDefaultColor == -1) {
        m_iDefaultColor = 0;
    }
    if (m_saFraming.GetArrLength() == 0) {
        FramingEntry none;
        none.name = u"No Selection";
        m_saFraming.Append(none);
    }
    if (m_saOrientation.GetArrLength() == 0) {
        m_saOrientation.Append(1);
        m_saOrientation.Append(2);
        m_saOrientation.Append(0);
    }
    if (m_iDefaultOrientation == -1) {
        m_iDefaultOrientation = 1;
    }
    if (m_saDiskThresholds.GetArrLength() == 0) {
        m_saDiskThresholds.Append(-1);
    }
    if (m_saHistogramScale.GetArrLength() == 0) {
        m_saHistogramScale.Append(-1);
        m_saHistogramScale.Append(-1);
    }
}

bool CCameraParameterLists::FillComBSTRArr(std::u16string_view value, SimpleArray<std::u16string>& list,
                                           std::u16string_view separator)
{
    ORIN_TRACE("CControlApplication::FillComBSTRArr");
    std::vector<std::u16string> items = SplitItems(value, separator);
    for (std::u16string& item : items) {
        list.Append(std::move(item));
    }
    return !items.empty();
}

bool CCameraParameterLists::FillIntArr(std::u16string_view value, SimpleArray<int32_t>& list)
{
    ORIN_TRACE("CControlApplication::FillIntArr");
    const std::vector<std::u16string> items = SplitItems(value, u";");
    for (const std::u16string& item : items) {
        list.Append(DecimalValue32(item));
    }
    return !items.empty();
}

int32_t CCameraParameterLists::EnumIndex(std::u16string_view value, const CameraEnumEntry* table, int tableSize)
{
    for (int i = 0; i < tableSize; ++i) {
        if (EqualsNoCase(value, table[i].name)) {
            return i;
        }
    }
    return -1;
}

bool CCameraParameterLists::FillEnumArr(std::u16string_view value, SimpleArray<int32_t>& list,
                                        const CameraEnumEntry* table, int tableSize)
{
    ORIN_TRACE("CControlApplication::FillEnumArr");
    const std::vector<std::u16string> items = SplitItems(value, u";");
    for (const std::u16string& item : items) {
        const int32_t index = EnumIndex(item, table, tableSize);
        if (index < 0) {
            ORIN_LOG_WARNING("CControlApplication::FillEnumArr", "Unknown entry founded: %s",
                             platform::ToUtf8(item).c_str());
            continue;
        }
        list.Append(index);
    }
    return !items.empty();
}

bool CCameraParameterLists::FillFraming(std::u16string_view value)
{
    ORIN_TRACE("CControlApplication::FillFraming");
    const std::vector<std::u16string> items = SplitItems(value, u";");
    if (items.empty()) {
        FramingEntry none;
        none.name = u"No Selection";
        m_saFraming.Append(none);
        ORIN_LOG_ERROR("CControlApplication::FillFraming", "No Framing parameter received");
        return true;
    }
    bool result = true;
    for (const std::u16string& item : items) {
        const std::vector<std::u16string> fields = SplitItems(item, u",");
        if (fields.size() != 5) {
            ORIN_LOG_ERROR("CControlApplication::FillFraming", "CControlApplication::FillFraming  Incorrect Framing: %s",
                           platform::ToUtf8(item).c_str());
            result = false;
            continue;
        }
        FramingEntry entry;
        entry.name = fields[0];
        for (size_t i = 0; i < 4; ++i) {
            entry.location[i] = DecimalValue32(fields[i + 1]);
        }
        m_saFraming.Append(std::move(entry));
    }
    return result;
}

void CCameraParameterLists::SetPictureDimensions(std::u16string_view value)
{
    const std::vector<std::u16string> items = SplitItems(value, u",");
    if (items.size() >= 1) {
        m_iPictureWidth = std::max(DecimalValue32(items[0]), 0);
    }
    if (items.size() >= 2) {
        m_iPictureHeight = std::max(DecimalValue32(items[1]), 0);
    }
}

void CCameraParameterLists::SetDcbVersion(std::u16string_view value)
{
    if (value.empty()) {
        return;
    }
    size_t first = 0;
    size_t last = value.size();
    while (first < last && IsBlank(value[first])) {
        ++first;
    }
    while (last > first && IsBlank(value[last - 1])) {
        --last;
    }
    m_strDcbVersion = first < last ? std::u16string(value.substr(first, last - first)) : std::u16string(u"N/A");
}
