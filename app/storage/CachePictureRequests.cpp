// CCache: requests about one picture (marks, annotations, image functions) and camera values.
#include "app/storage/Cache.h"

#include <algorithm>
#include <climits>

#include "app/link/ProtocolLayer.h"
#include "app/link/TagText.h"
#include "app/platform/Log.h"
#include "app/storage/WideText.h"

using storage::ToUtf8;

namespace {

std::u16string Decimal(int64_t value)
{
    return storage::FromUtf8(std::to_string(value));
}

std::u16string Pair(int32_t first, int32_t second)
{
    return Decimal(first) + u";" + Decimal(second);
}

}  // namespace

std::u16string CCache::GetLastErrorText() const
{
    ORIN_TRACE("CCache::GetLastErrorText");
    std::lock_guard lock(m_lock);
    return m_strLastError;
}

CDOSFile* CCache::ResolveFile(std::u16string_view fileName, std::u16string& fullName)
{
    ORIN_TRACE("CCache::ResolveFile");
    if (fileName.empty()) {
        if (m_pCurrentFile == nullptr) {
            fullName.clear();
            return nullptr;
        }
        fullName = m_pCurrentFile->GetFullName();
        return m_pCurrentFile;
    }
    fullName.assign(fileName);
    CDOSObject* node = Find(fileName, false, false);
    return node != nullptr && node->IsFile() ? static_cast<CDOSFile*>(node) : nullptr;
}

CPictureProperties* CCache::PropertiesOf(std::u16string& fullName)
{
    ORIN_TRACE("CCache::PropertiesOf");
    CDOSFile* file = ResolveFile(fullName, fullName);
    if (file == nullptr) {
        return nullptr;
    }
    CPictureProperties* record = nullptr;
    if (file->GetProperties(m_pProtocol, record) == CDOSFile::PROPERTIES_NOT_SAVED) {
        RemoveUnsavedPicture(fullName);
        return nullptr;
    }
    return record;
}

bool CCache::SetMarking(int32_t mark, std::u16string_view fileName)
{
    ORIN_TRACE("CCache::SetMarking");
    std::lock_guard lock(m_lock);
    std::u16string fullName;
    ResolveFile(fileName, fullName);
    if (fullName.empty() || m_pProtocol == nullptr) {
        return false;
    }
    std::u16string errorText;
    m_strLastError.clear();
    if (!m_pProtocol->SetPictureParams({{u"file_name", fullName}, {u"Marking", MarkName(mark)}}, errorText)) {
        m_strLastError = errorText;
        ORIN_LOG_ERROR("CCache::SetMarking", "CDOSDirectory::SetMarking SetPictureParams failed Error: %s",
                       ToUtf8(errorText).c_str());
        return false;
    }
    CPictureProperties* record = PropertiesOf(fullName);
    if (record == nullptr) {
        return false;
    }
    record->m_nMark = mark;
    return true;
}

bool CCache::SetAnnotation(std::u16string_view text, std::u16string_view fileName)
{
    ORIN_TRACE("CCache::SetAnnotation");
    std::lock_guard lock(m_lock);
    std::u16string fullName;
    ResolveFile(fileName, fullName);
    if (fullName.empty() || m_pProtocol == nullptr) {
        return false;
    }
    std::u16string errorText;
    m_strLastError.clear();
    if (!m_pProtocol->SetPictureParams({{u"file_name", fullName}, {u"annotation", std::u16string(text)}},
                                       errorText)) {
        m_strLastError = errorText;
        return false;
    }
    CPictureProperties* record = PropertiesOf(fullName);
    if (record == nullptr) {
        return false;
    }
    record->m_strAnnotation = text;
    return true;
}

bool CCache::GetFrame(std::u16string& frame, std::u16string_view fileName)
{
    ORIN_TRACE("CCache::GetFrame");
    std::lock_guard lock(m_lock);
    std::u16string fullName(fileName);
    CPictureProperties* record = PropertiesOf(fullName);
    if (record == nullptr) {
        return false;
    }
    frame = record->m_strFrame;
    return true;
}

bool CCache::SetFraming(std::u16string_view framing, const int32_t location[4], std::u16string_view fileName)
{
    ORIN_TRACE("CCache::SetFraming");
    std::lock_guard lock(m_lock);
    std::u16string fullName;
    ResolveFile(fileName, fullName);
    if (fullName.empty() || m_pProtocol == nullptr) {
        return false;
    }
    AttributeList attributes{{u"file_name", fullName}, {u"Framing", std::u16string(framing)}};
    if (framing != u"Full" && framing.find(u".1") != std::u16string_view::npos && location != nullptr) {
        attributes.emplace_back(u"location", Decimal(location[0]) + u"," + Decimal(location[1]) + u"," +
                                                 Decimal(location[2]) + u"," + Decimal(location[3]));
    }
    ProtocolCommand answer;
    std::u16string errorText;
    if (!m_pProtocol->ImageFunction(answer, attributes, errorText)) {
        ORIN_LOG_ERROR("CCache::SetFraming", "CDOSDirectory::SetFraming ImageFunction failed Error: %s",
                       ToUtf8(errorText).c_str());
        return false;
    }
    return true;
}

bool CCache::SetFstop(int32_t value1, int32_t value2, int32_t& histogramLocation, std::u16string& histogramValue,
                      std::u16string_view fileName)
{
    ORIN_TRACE("CCache::SetFstop");
    std::lock_guard lock(m_lock);
    std::u16string fullName;
    ResolveFile(fileName, fullName);
    if (fullName.empty() || m_pProtocol == nullptr) {
        return false;
    }
    ProtocolCommand answer;
    std::u16string errorText;
    if (!m_pProtocol->ImageFunction(answer, {{u"file_name", fullName}, {u"fstops", Pair(value1, value2)}},
                                    errorText)) {
        ORIN_LOG_ERROR("CCache::SetFstop", "CDOSDirectory::SetFstop ImageFunction failed Error: %s",
                       ToUtf8(errorText).c_str());
        return false;
    }
    const std::u16string* location = answer.FindAttribute(u"histogramLocation");
    const std::u16string* value = answer.FindAttribute(u"histogramValue");
    if (location != nullptr) {
        histogramLocation = DecimalValue32(*location);
    }
    if (value != nullptr) {
        histogramValue = *value;
    }
    return location != nullptr && value != nullptr;
}

bool CCache::SetLightAndAttr(int32_t value1, int32_t value2, std::u16string& light, std::u16string_view fileName)
{
    ORIN_TRACE("CCache::SetLightAndAttr");
    std::lock_guard lock(m_lock);
    std::u16string fullName;
    ResolveFile(fileName, fullName);
    if (fullName.empty() || m_pProtocol == nullptr) {
        return false;
    }
    ProtocolCommand answer;
    std::u16string errorText;
    if (!m_pProtocol->ImageFunction(answer, {{u"file_name", fullName}, {u"light", Pair(value1, value2)}}, errorText)) {
        ORIN_LOG_ERROR("CCache::SetLightAndAttr", "CDOSDirectory::SetLightAndAttr ImageFunction failed Error: %s",
                       ToUtf8(errorText).c_str());
        return false;
    }
    if (const std::u16string* value = answer.FindAttribute(u"Light")) {
        light = *value;
    }
    return true;
}

bool CCache::SetAlarm(bool on, bool white)
{
    ORIN_TRACE("CCache::SetAlarm");
    std::lock_guard lock(m_lock);
    if (m_pCurrentFile == nullptr || m_pProtocol == nullptr) {
        return false;
    }
    const std::u16string fullName = m_pCurrentFile->GetFullName();
    ProtocolCommand answer;
    std::u16string errorText;
    const bool sent = m_pProtocol->ImageFunction(
        answer, {{u"file_name", fullName}, {u"Alarm", on ? u"yes" : u"no"}, {u"edge", white ? u"white" : u"dark"}},
        errorText);
    if (!sent) {
        ORIN_LOG_ERROR("CCache::SetAlarm", "CDOSDirectory::SetAlarm ImageFunction failed Error: %s",
                       ToUtf8(errorText).c_str());
    }
    if (on) {
        if (!sent) {
            return false;
        }
        CDOSObject* node = Find(fullName, true, true);
        if (node == nullptr || !node->IsFile()) {
            return false;
        }
        CPictureProperties& record = static_cast<CDOSFile*>(node)->Properties();
        (white ? record.m_bAlarmWhite : record.m_bAlarmDark) = true;
        return true;
    }
    // Switching off always goes back to the plain preview, whatever the camera said.
    CDOSFile* file = m_pCurrentFile;
    if (sent) {
        (white ? file->Properties().m_bAlarmWhite : file->Properties().m_bAlarmDark) = false;
    }
    file->SetProcessedView(false);
    return true;
}

bool CCache::SetZoom(bool on, int32_t x, int32_t y, std::u16string_view fileName)
{
    ORIN_TRACE("CCache::SetZoom");
    std::lock_guard lock(m_lock);
    std::u16string fullName;
    CDOSFile* file = ResolveFile(fileName, fullName);
    if (fullName.empty() || m_pProtocol == nullptr) {
        return false;
    }
    AttributeList attributes{{u"file_name", fullName}, {u"zoom", on ? u"yes" : u"no"}};
    if (on) {
        attributes.emplace_back(u"XCoord", Decimal(x));
        attributes.emplace_back(u"YCoord", Decimal(y));
    }
    ProtocolCommand answer;
    std::u16string errorText;
    const bool sent = m_pProtocol->ImageFunction(answer, attributes, errorText);
    if (!sent) {
        ORIN_LOG_ERROR("CCache::SetZoom", "CDOSDirectory::SetZoom ImageFunction failed Error: %s",
                       ToUtf8(errorText).c_str());
    }
    if (on) {
        if (!sent) {
            return false;
        }
        CDOSObject* node = Find(fullName, true, true);
        if (node == nullptr || !node->IsFile()) {
            return false;
        }
        static_cast<CDOSFile*>(node)->Properties().m_bZoom = true;
        return true;
    }
    file = ResolveFile(fullName, fullName);
    if (file != nullptr) {
        if (sent) {
            file->Properties().m_bZoom = false;
        }
        file->SetProcessedView(false);
    }
    return sent;
}

bool CCache::SetCameraParam(const std::vector<std::u16string>* names, const std::vector<std::u16string>* values,
                            size_t count, std::u16string& error)
{
    ORIN_TRACE("CCache::SetCameraParam");
    std::lock_guard lock(m_lock);
    if (names == nullptr || values == nullptr || count == 0 || m_pProtocol == nullptr) {
        return false;
    }
    // A count longer than either list would read past it.
    if (count > names->size() || count > values->size()) {
        ORIN_LOG_ERROR("CCache::SetCameraParam", "CDOSDirectory::SetCameraParam %zu pairs asked, %zu names, %zu values",
                       count, names->size(), values->size());
        return false;
    }
    AttributeList attributes;
    for (size_t i = 0; i < count; ++i) {
        attributes.emplace_back((*names)[i], (*values)[i]);
    }
    std::u16string errorText;
    if (!m_pProtocol->SetCameraParam(attributes, errorText)) {
        error = errorText;
        ORIN_LOG_ERROR("CCache::SetCameraParam", "CDOSDirectory::SetCameraParam SetCameraParam failed Error: %s",
                       ToUtf8(errorText).c_str());
        return false;
    }
    return true;
}

bool CCache::SetHistogramDimensions(int32_t width, int32_t height)
{
    ORIN_TRACE("CCache::SetHistogramDimensions");
    std::lock_guard lock(m_lock);
    if (width < 1 || m_pProtocol == nullptr) {
        return false;
    }
    std::u16string errorText;
    if (!m_pProtocol->SetCameraParam({{u"HistogramDim", Pair(width, height)}}, errorText)) {
        ORIN_LOG_ERROR("CCache::SetHistogramDimensions",
                       "CDOSDirectory::SetHistogramDimensions SetCameraParam failed Error: %s", ToUtf8(errorText).c_str());
        return false;
    }
    return true;
}

bool CCache::QueryCameraValue(const char* logLine, const char16_t* name, std::u16string& value, bool& found)
{
    ORIN_TRACE("CCache::QueryCameraValue");
    found = false;
    if (m_pProtocol == nullptr) {
        return false;
    }
    ProtocolCommand answer;
    std::u16string errorText;
    if (!m_pProtocol->GetCameraParam(answer, {{u"GetParamList", name}}, errorText)) {
        ORIN_LOG_ERROR("CCache::QueryCameraValue", "%s %s", logLine, ToUtf8(errorText).c_str());
        return false;
    }
    if (const std::u16string* text = answer.FindAttribute(name)) {
        value = *text;
        found = true;
    }
    return true;
}

bool CCache::GetHistogramScale(int32_t& low, int32_t& high)
{
    ORIN_TRACE("CCache::GetHistogramScale");
    std::lock_guard lock(m_lock);
    low = -1;
    high = -1;
    std::u16string value;
    bool found = false;
    const bool ok = QueryCameraValue("CDOSDirectory::GetHistogramScale GetCameraParam failed Error:",
                                     u"Histogram_scale", value, found);
    const size_t semicolon = value.find(u';');
    if (found && semicolon != std::u16string::npos) {
        low = DecimalValue32(std::u16string_view(value).substr(0, semicolon));
        high = DecimalValue32(std::u16string_view(value).substr(semicolon + 1));
    }
    return ok;
}

bool CCache::QueryCameraNumber(const char* logLine, const char16_t* name, int32_t& number)
{
    number = -1;
    std::u16string value;
    bool found = false;
    const bool ok = QueryCameraValue(logLine, name, value, found);
    if (found) {
        number = DecimalValue32(value);
    }
    return ok;
}

bool CCache::GetBatteryPercent(int32_t& percent)
{
    ORIN_TRACE("CCache::GetBatteryPercent");
    std::lock_guard lock(m_lock);
    return QueryCameraNumber("CDOSDirectory::GetBatteryPercent GetCameraParam failed Error:", u"battery_percent",
                             percent);
}

bool CCache::GetExposuresLeft(int32_t& count)
{
    ORIN_TRACE("CCache::GetExposuresLeft");
    std::lock_guard lock(m_lock);
    return QueryCameraNumber("CDOSDirectory::GetExposuresLeft GetCameraParam failed Error:", u"exp_left", count);
}
