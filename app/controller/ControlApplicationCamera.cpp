// The camera-side work of the dispatcher before the synchronisation and current-directory logic
// is attached: each step says in the log that it ran without that logic.
#include "app/controller/ControlApplication.h"

#include "app/platform/Log.h"

bool CControlApplication::OnSynchronize(const platform::MessagePayload*)
{
    ORIN_TRACE("CControlApplication::OnSynchronize");
    ORIN_LOG_INFO("CControlApplication::OnSynchronize", "camera settings are not read in this build");
    return true;
}

bool CControlApplication::OnPictureTaken(const platform::MessagePayload*, bool& checkDisk, bool& newPictureShown)
{
    ORIN_TRACE("CControlApplication::OnPictureTaken");
    ORIN_LOG_INFO("CControlApplication::OnPictureTaken", "new pictures are not added in this build");
    checkDisk = false;
    newPictureShown = false;
    return true;
}

bool CControlApplication::FillCurrentDirectoryAtStart()
{
    ORIN_TRACE("CControlApplication::FillCurrentDirectory");
    ORIN_LOG_INFO("CControlApplication::FillCurrentDirectory", "the current directory is not filled in this build");
    return true;
}

bool CControlApplication::BrowseForward()
{
    ORIN_TRACE("CControlApplication::BrowseForward");
    return true;
}

bool CControlApplication::BrowseBack()
{
    ORIN_TRACE("CControlApplication::BrowseBack");
    return true;
}

bool CControlApplication::SaveShootSetup(std::u16string&)
{
    ORIN_TRACE("CControlApplication::SaveShootSetup");
    ORIN_LOG_INFO("CControlApplication::SaveShootSetup", "shoot setups are not sent in this build");
    return true;
}

bool CControlApplication::SelectShootingFolder()
{
    ORIN_TRACE("CControlApplication::SelectShootingFolder");
    return true;
}

bool CControlApplication::HasCurrentPicture() const { return false; }
