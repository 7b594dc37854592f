// Shoot setups: the user's changes to the default setup, and what is sent back to the camera.
#include "app/controller/ControlApplication.h"

#include "app/link/ProtocolCommand.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"

bool CControlApplication::SetImgProp(int field, const std::u16string& value, std::u16string* message)
{
    ORIN_TRACE("CControlApplication::SetImgProp");
    return m_shootSetups.SetImgProp(field, value, &m_parameterLists.m_saLight, message);
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
    return m_shootSetups.BuildSaveAttribute(name, value, reason);
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
