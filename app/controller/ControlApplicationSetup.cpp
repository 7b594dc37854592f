// Shoot setups: the user's changes to the default setup, and what is sent back to the camera.
#include "app/controller/ControlApplication.h"

#include "app/link/ProtocolCommand.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"

bool CControlApplication::SetImgProp(int field, const std::u16string& value, std::u16string* message)
{
    ORIN_TRACE("CControlApplication::SetImgProp");
    std::u16string refusal;
    if (field < 0 || field >= CShootSetup::kFieldCount) {
        ORIN_LOG_ERROR("CControlApplication::SetImgProp", "Invalid shoot setup field %d", field);
        return false;
    }
    if (!CShootSetups::IsAcceptableFieldText(field, value, refusal)) {
        ORIN_LOG_WARNING("CControlApplication::SetImgProp", "%s", platform::ToUtf8(refusal).c_str());
        if (message != nullptr) {
            *message = refusal;
        }
        return false;
    }
    if (field == CShootSetup::LIGHT) {
        bool known = false;
        for (const std::u16string& light : m_parameterLists.m_saLight) {
            known = known || EqualsNoCase(light, value);
        }
        if (!known) {
            m_parameterLists.m_saLight.Append(value);
        }
    }
    int32_t index = m_shootSetups.Find(m_shootSetups.DefaultName());
    if (index < 0) {
        ORIN_LOG_INFO("CControlApplication::SetImgProp", "Failed to find default shoot setup in the array of shoot setups");
        return false;
    }
    if (!EqualsNoCase(m_shootSetups.List()[index].Get(field), value)) {
        if (!m_shootSetups.List()[index].IsUserCopy()) {
            index = m_shootSetups.CopySetup(m_shootSetups.List()[index].Name());
            if (index < 0) {
                return false;
            }
        }
        m_shootSetups.List()[index].Set(field, value);
    }
    m_shootSetups.SetDefaultName(m_shootSetups.List()[index].Name());
    return true;
}

int32_t CControlApplication::CopySetup(const std::u16string& name) { return m_shootSetups.CopySetup(name); }

bool CControlApplication::IsShootingFolder(const std::u16string& folder, std::u16string& message) const
{
    return m_shootSetups.IsShootingFolder(folder, message);
}

bool CControlApplication::CanFormatPartition(const std::u16string& disk, std::u16string& message) const
{
    return m_shootSetups.CanFormatPartition(disk, message);
}

bool CControlApplication::BuildShootSetupAttribute(std::u16string& name, std::u16string& value,
                                                   std::u16string& reason) const
{
    ORIN_TRACE("CControlApplication::BuildShootSetupAttribute");
    name.clear();
    value.clear();
    const CShootSetup* setup = m_shootSetups.DefaultSetup();
    if (m_shootSetups.DefaultName().find(u".1") == std::u16string::npos) {
        name = u"DefaultShootSetup";
        value = m_shootSetups.DefaultName();
    } else if (setup != nullptr) {
        name = u"ShootSetup";
        value = setup->SetupString(m_shootSetups.IsExtended());
    }
    // Fields that came from the camera are checked too: the command text is not escaped.
    if (setup != nullptr && !value.empty()) {
        for (int field = 0; field < CShootSetup::kFieldCount; ++field) {
            if (field == CShootSetup::SHOOTING_FOLDER || (field == CShootSetup::PREFIX && !m_shootSetups.IsExtended())) {
                continue;
            }
            if (!setup->Get(field).empty() && !CShootSetups::IsAcceptableFieldText(field, setup->Get(field), reason)) {
                value.clear();
                return false;
            }
        }
    }
    return !value.empty();
}

bool CControlApplication::SaveShootSetup(std::u16string& reason)
{
    ORIN_TRACE("CControlApplication::SaveShootSetup");
    std::u16string name;
    std::u16string value;
    if (!BuildShootSetupAttribute(name, value, reason)) {
        ORIN_LOG_ERROR("CControlApplication::SaveShootSetup", "Nothing to send to the camera");
        return false;
    }
    const std::vector<std::u16string> names{name};
    const std::vector<std::u16string> values{value};
    if (!EnsureStorageModel().SetCameraParam(&names, &values, 1, reason)) {
        ORIN_LOG_ERROR("CControlApplication::SaveShootSetup", "Failed to set new camera parameters.");
        return false;
    }
    return true;
}

bool CControlApplication::SelectShootingFolder()
{
    ORIN_TRACE("CControlApplication::SelectShootingFolder");
    CCache& cache = EnsureStorageModel();
    if (const CShootSetup* setup = m_shootSetups.DefaultSetup(); setup != nullptr && !setup->ShootingFolder().empty()) {
        m_strShootingFolder = setup->ShootingFolder();
    }
    if (m_strShootingFolder.empty() || !cache.SetCurrentDirectory(m_strShootingFolder)) {
        ORIN_LOG_ERROR("CControlApplication::SelectShootingFolder", "Shooting folder %s not found",
                       platform::ToUtf8(m_strShootingFolder).c_str());
        return false;
    }
    return FillCurrentDirectory(0, 0, -1, true, true);
}
