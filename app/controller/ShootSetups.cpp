#include "app/controller/ShootSetups.h"

#include "app/controller/TextSplit.h"
#include "app/link/ProtocolCommand.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/storage/ObjectNames.h"

namespace {

constexpr std::u16string_view kRefusedCharacters = u"\"<>&,;=";

std::u16string Replace(std::u16string text, std::u16string_view placeholder, std::u16string_view value)
{
    const size_t at = text.find(placeholder);
    if (at != std::u16string::npos) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

void CShootSetups::Clear()
{
    m_saSetups.SetLength(0);
    m_bExtended = false;
}

void CShootSetups::Parse(std::u16string_view value)
{
    ORIN_TRACE("CControlApplication::ParseShootSetups");
    for (const std::u16string& setupText : SplitItems(value, u";")) {
        const std::vector<std::u16string> fields = SplitItems(setupText, u",");
        if (fields.size() != CShootSetup::kFieldCount) {
            ORIN_LOG_WARNING("CControlApplication::OnSynchronize", "Actual number of shoot setup items is wrong");
        }
        CShootSetup setup;
        for (const std::u16string& field : fields) {
            const size_t equals = field.find(u'=');
            if (equals == std::u16string::npos) {
                break;
            }
            const int index = CShootSetup::FieldForKey(std::u16string_view(field).substr(0, equals));
            if (index < 0) {
                continue;
            }
            std::u16string text = field.substr(equals + 1);
            if (index == CShootSetup::SHOOTING_FOLDER && (text.empty() || text.back() != u'/')) {
                text += u'/';
            }
            if (index == CShootSetup::PREFIX || index == CShootSetup::ICC_FLAG) {
                m_bExtended = true;
            }
            setup.Set(index, std::move(text));
        }
        m_saSetups.Append(std::move(setup));
    }
}

int32_t CShootSetups::Find(std::u16string_view name, bool exact) const
{
    for (int32_t i = 0; i < m_saSetups.GetArrLength(); ++i) {
        const std::u16string& candidate = m_saSetups[i].Name();
        if (exact ? candidate == name : EqualsNoCase(candidate, name)) {
            return i;
        }
    }
    return -1;
}

CShootSetup* CShootSetups::DefaultSetup()
{
    const int32_t index = Find(m_strDefaultSetup);
    return index >= 0 ? &m_saSetups[index] : nullptr;
}

const CShootSetup* CShootSetups::DefaultSetup() const
{
    const int32_t index = Find(m_strDefaultSetup);
    return index >= 0 ? &m_saSetups[index] : nullptr;
}

int32_t CShootSetups::CopySetup(std::u16string_view name)
{
    ORIN_TRACE("CControlApplication::CopySetup");
    const int32_t source = Find(name);
    if (source < 0) {
        return -1;
    }
    const std::u16string copyName = std::u16string(name) + u".1";
    int32_t target = Find(copyName);
    if (target < 0) {
        m_saSetups.Append(CShootSetup());
        target = m_saSetups.GetArrLength() - 1;
    }
    // Taken by value: appending may have moved the source record.
    CShootSetup copy = m_saSetups[source];
    copy.Set(CShootSetup::SETUP_NAME, copyName);
    m_saSetups[target] = std::move(copy);
    return target;
}

void CShootSetups::FillEmptyShootingFolders(const std::u16string& folder)
{
    for (CShootSetup& setup : m_saSetups) {
        if (setup.ShootingFolder().empty()) {
            setup.Set(CShootSetup::SHOOTING_FOLDER, folder);
        }
    }
}

void CShootSetups::AddDefaultSetupIfEmpty()
{
    if (m_saSetups.GetArrLength() > 0) {
        return;
    }
    CShootSetup setup;
    setup.Set(CShootSetup::SHOOTING_FOLDER, u"./Orin DM A/");
    setup.Set(CShootSetup::PREFIX, u"");
    setup.Set(CShootSetup::ICC_FLAG, u"0");
    m_saSetups.Append(std::move(setup));
}

bool CShootSetups::IsShootingFolder(std::u16string_view folder, std::u16string& message) const
{
    ORIN_TRACE("CControlApplication::IsShootingFolder");
    for (const CShootSetup& setup : m_saSetups) {
        if (setup.ShootingFolder().find(folder) == std::u16string::npos) {
            continue;
        }
        if (setup.IsUserCopy()) {
            message = Replace(u"You are about to delete the shooting folder that belongs to shoot setup \"%s\". "
                              u"Please select another shooting folder for this setup from Capture Settings dialog "
                              u"and try again.",
                              u"%s", setup.Name());
        } else {
            message = Replace(u"You are about to delete the shooting folder that belongs to predefined shoot setup "
                              u"\"%s\". This folder cannot be\tdeleted.",
                              u"%s", setup.Name());
        }
        return true;
    }
    return false;
}

bool CShootSetups::CanFormatPartition(std::u16string_view disk, std::u16string& message) const
{
    ORIN_TRACE("CControlApplication::CanFormatPartition");
    for (const CShootSetup& setup : m_saSetups) {
        if (EqualsNoCase(setup.Name(), m_strDefaultSetup) && StartsWithNoCase(setup.ShootingFolder(), disk)) {
            message = u"The shooting folder is on this disk. In order to format the disk, you must change the "
                      u"location of the shooting folder to another disk.";
            return false;
        }
    }
    return true;
}

bool CShootSetups::IsAcceptableFieldText(int field, std::u16string_view value, std::u16string& message)
{
    for (char16_t c : value) {
        if (c < 0x20 || kRefusedCharacters.find(c) != std::u16string_view::npos) {
            std::u16string shown = c < 0x20 ? std::u16string(u"a control character") : u"'" + std::u16string(1, c) + u"'";
            message = u"The text \"" + std::u16string(value) + u"\" contains " + shown +
                      u", which a shoot setup cannot hold. Please leave out the characters \" < > & , ; =.";
            return false;
        }
    }
    if (field == CShootSetup::SETUP_NAME && value.empty()) {
        message = u"A shoot setup needs a name.";
        return false;
    }
    if (field == CShootSetup::SHOOTING_FOLDER) {
        // The folder becomes a path of the local picture cache too.
        if (value.empty() || value.back() != u'/' || !storage::IsValidFullName(value, false)) {
            message = u"\"" + std::u16string(value) + u"\" is not a folder of the camera's disk.";
            return false;
        }
    }
    return true;
}

bool CShootSetups::SetImgProp(int field, const std::u16string& value, SimpleArray<std::u16string>* lightList,
                              std::u16string* message)
{
    ORIN_TRACE("CShootSetups::SetImgProp");
    std::u16string refusal;
    if (field < 0 || field >= CShootSetup::kFieldCount) {
        ORIN_LOG_ERROR("CControlApplication::SetImgProp", "Invalid shoot setup field %d", field);
        return false;
    }
    if (!IsAcceptableFieldText(field, value, refusal)) {
        ORIN_LOG_WARNING("CControlApplication::SetImgProp", "%s", platform::ToUtf8(refusal).c_str());
        if (message != nullptr) {
            *message = refusal;
        }
        return false;
    }
    if (field == CShootSetup::LIGHT && lightList != nullptr) {
        bool known = false;
        for (const std::u16string& light : *lightList) {
            known = known || EqualsNoCase(light, value);
        }
        if (!known) {
            lightList->Append(value);
        }
    }
    int32_t index = Find(m_strDefaultSetup);
    if (index < 0) {
        ORIN_LOG_INFO("CControlApplication::SetImgProp", "Failed to find default shoot setup in the array of shoot setups");
        return false;
    }
    if (!EqualsNoCase(m_saSetups[index].Get(field), value)) {
        if (!m_saSetups[index].IsUserCopy()) {
            index = CopySetup(m_saSetups[index].Name());
            if (index < 0) {
                return false;
            }
        }
        m_saSetups[index].Set(field, value);
    }
    SetDefaultName(m_saSetups[index].Name());
    return true;
}

bool CShootSetups::BuildSaveAttribute(std::u16string& name, std::u16string& value, std::u16string& reason) const
{
    ORIN_TRACE("CShootSetups::BuildSaveAttribute");
    name.clear();
    value.clear();
    const CShootSetup* setup = DefaultSetup();
    if (m_strDefaultSetup.find(u".1") == std::u16string::npos) {
        // Only the name goes out: the camera's own setup is chosen, whatever its fields hold.
        name = u"DefaultShootSetup";
        value = m_strDefaultSetup;
        if (!value.empty() && !IsAcceptableFieldText(CShootSetup::SETUP_NAME, value, reason)) {
            value.clear();
            return false;
        }
    } else if (setup != nullptr) {
        name = u"ShootSetup";
        value = setup->SetupString(m_bExtended);
        // Every field goes out, those that came from the camera too: the command text is not escaped.
        for (int field = 0; field < CShootSetup::kFieldCount; ++field) {
            if (field == CShootSetup::PREFIX && !m_bExtended) {
                continue;
            }
            if (!setup->Get(field).empty() && !IsAcceptableFieldText(field, setup->Get(field), reason)) {
                value.clear();
                return false;
            }
        }
    }
    return !value.empty();
}
