#include "app/controller/HeadlessViewProcessor.h"

#include "app/controller/ControlApplication.h"
#include "app/controller/PrivateMessages.h"
#include "app/controller/ProtocolCameraLink.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"

#include <cstdio>

CHeadlessViewProcessor::CHeadlessViewProcessor(ViewId id, CControlApplication& controller)
    : CRecordingViewProcessor(id),
      m_controller(controller),
      m_queue([this](platform::Message& message) { return OnMessage(message); })
{
    m_displayThread = std::thread([this] { m_queue.WaitWithMessageLoop(m_stop); });
}

CHeadlessViewProcessor::~CHeadlessViewProcessor()
{
    m_stop.Set();
    m_displayThread.join();
    m_queue.Close();
}

bool CHeadlessViewProcessor::PostMessage(platform::Message message)
{
    const uint32_t id = message.id;
    CRecordingViewProcessor::PostMessage(platform::MakeMessage(id));
    return m_queue.PostMessage(std::move(message));
}

bool CHeadlessViewProcessor::DisplayDiskAndBatteryStatus()
{
    CRecordingViewProcessor::DisplayDiskAndBatteryStatus();
    const auto& status = m_controller.StatusRecord();
    std::printf("STATUS battery %d%% exposures left %d\n", status.batteryPercent, status.exposuresLeft);
    std::fflush(stdout);
    return true;
}

void CHeadlessViewProcessor::Refresh()
{
    CRecordingViewProcessor::Refresh();
    if (Id() == ViewId::Exposure) {
        ReportCurrentPicture();
    }
}

intptr_t CHeadlessViewProcessor::OnMessage(platform::Message& message)
{
    ORIN_TRACE("CHeadlessViewProcessor::OnMessage");
    switch (message.id) {
    case WM_PROCESS_PICTURE_TAKEN: {
        EventParameter parameter;
        parameter.message = message.payload.get();
        m_controller.ProcessEvent(ON_PICTURE_TAKEN, &parameter);
        ReportCurrentPicture();
        break;
    }
    case WM_PROCESS_SYNC: {
        auto* link = dynamic_cast<CProtocolCameraLink*>(m_controller.CameraLink());
        if (link != nullptr && link->ReSyncAndSynchronize()) {
            m_controller.ProcessEvent(ON_EXPOSURE_VIEW);
            std::printf("SYNC %s\n", platform::ToUtf8(m_controller.CurrentFolderPath()).c_str());
            ReportCurrentPicture();
        } else {
            ORIN_LOG_ERROR("CHeadlessViewProcessor::OnMessage", "ReSync failed");
        }
        break;
    }
    case WM_PROCESS_OFFLINE:
        std::printf("OFFLINE\n");
        std::fflush(stdout);
        break;
    default:
        break;
    }
    return 0;
}

void CHeadlessViewProcessor::ReportCurrentPicture()
{
    std::u16string shown;
    size_t pending = 0;
    {
        std::lock_guard lock(m_controller.ControllerLock());
        if (const CCurrentDirectoryEntry* entry = m_controller.CurrentEntry()) {
            shown = entry->FullPath();
        }
        pending = m_controller.PendingPictures().size();
    }
    char line[1200];
    std::snprintf(line, sizeof line, "SHOWING %s (%zu waiting)\n", platform::ToUtf8(shown).c_str(), pending);
    std::lock_guard lock(m_reportLock);
    if (m_lastReport == line) {
        return;
    }
    m_lastReport = line;
    std::fputs(line, stdout);
    std::fflush(stdout);
}
