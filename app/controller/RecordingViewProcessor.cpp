#include "app/controller/RecordingViewProcessor.h"

#include "app/platform/Log.h"

const char* ViewName(ViewId id)
{
    static constexpr const char* kNames[kViewCount] = {
        "annotation", "exposure", "framing", "light and colour", "toning", "capture settings", "full screen",
        "four-up", "nine-up", "list", "folder tree", "partitions tree", "camera-back about", "about"};
    const int index = static_cast<int>(id);
    return index >= 0 && index < kViewCount ? kNames[index] : "unknown";
}

void CRecordingViewProcessor::Record(const std::string& call)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(call);
}

bool CRecordingViewProcessor::Initialize()
{
    Record("Initialize");
    return true;
}

bool CRecordingViewProcessor::Uninitialize()
{
    Record("Uninitialize");
    return true;
}

bool CRecordingViewProcessor::Display()
{
    ORIN_LOG_INFO("CRecordingViewProcessor::Display", "%s view shown (no screen attached)", ViewName(m_id));
    std::lock_guard lock(m_mutex);
    m_calls.push_back("Display");
    m_bShown = true;
    return true;
}

bool CRecordingViewProcessor::Hide()
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back("Hide");
    m_bShown = false;
    return true;
}

bool CRecordingViewProcessor::IsWindowGone() const
{
    std::lock_guard lock(m_mutex);
    return !m_bShown;
}

bool CRecordingViewProcessor::DisplayDiskAndBatteryStatus()
{
    Record("DisplayDiskAndBatteryStatus");
    return true;
}

bool CRecordingViewProcessor::PostMessage(platform::Message message)
{
    std::lock_guard lock(m_mutex);
    m_posted.push_back(message.id);
    return true;
}

void CRecordingViewProcessor::ReleaseOneToOne() { Record("ReleaseOneToOne"); }
void CRecordingViewProcessor::ResetZoom() { Record("ResetZoom"); }
void CRecordingViewProcessor::Refresh() { Record("Refresh"); }

void CRecordingViewProcessor::SetFolderTreeMode(int mode, const std::u16string& argument)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back("SetFolderTreeMode");
    m_iFolderTreeMode = mode;
    m_folderTreeArgument = argument;
}

void CRecordingViewProcessor::SetPickNeutralText(const std::u16string&) { Record("SetPickNeutralText"); }

bool CRecordingViewProcessor::IsAlarmButtonDown(bool whitest) const
{
    std::lock_guard lock(m_mutex);
    return whitest ? m_bWhitestDown : m_bDarkestDown;
}

void CRecordingViewProcessor::ShowNormalPicture() { Record("ShowNormalPicture"); }

std::vector<std::string> CRecordingViewProcessor::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<uint32_t> CRecordingViewProcessor::PostedMessages() const
{
    std::lock_guard lock(m_mutex);
    return m_posted;
}

bool CRecordingViewProcessor::IsShown() const
{
    std::lock_guard lock(m_mutex);
    return m_bShown;
}

void CRecordingViewProcessor::SetAlarmButtonDown(bool whitest, bool down)
{
    std::lock_guard lock(m_mutex);
    (whitest ? m_bWhitestDown : m_bDarkestDown) = down;
}

int CRecordingViewProcessor::FolderTreeMode() const
{
    std::lock_guard lock(m_mutex);
    return m_iFolderTreeMode;
}

std::u16string CRecordingViewProcessor::FolderTreeArgument() const
{
    std::lock_guard lock(m_mutex);
    return m_folderTreeArgument;
}

void CRecordingViewProcessor::ClearCalls()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
    m_posted.clear();
}
