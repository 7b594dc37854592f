#include "app/controller/Hidden.h"

#include "app/controller/ControlApplication.h"
#include "app/controller/PrivateMessages.h"
#include "app/platform/Log.h"

#include <thread>

CHidden::CHidden(CControlApplication& controller)
    : m_controller(controller), m_queue([this](platform::Message& m) { return OnMessage(m); })
{
}

CHidden::~CHidden() { m_queue.Close(); }

intptr_t CHidden::OnMessage(platform::Message& message)
{
    switch (message.id) {
    case WM_PICTURE_TAKEN:
        OnPictureTaken(message);
        break;
    case WM_OFFLINE:
        OnOffline();
        break;
    case WM_SYNC:
        OnSync();
        break;
    case WM_EXIT_APPLICATION:
        OnExit();
        break;
    case WM_UPDATE_STATUS_ICON:
        OnUpdateStatusIcon(message.wParam);
        break;
    case WM_MARK_UPDATE_FAILED:
        OnMarkUpdateFailed(message);
        break;
    case WM_CLOSE_VISUAL_OBJECTS:
        m_controller.ProcessEvent(ON_CLOSE_VISUAL_OBJECTS);
        break;
    case WM_SUSPENDEXIT:
        OnSuspendExit();
        break;
    default:
        break;
    }
    return 0;
}

void CHidden::OnPictureTaken(platform::Message& message)
{
    ORIN_TRACE("CHidden::OnPictureTaken");
    if (m_controller.IsSuspended()) {
        m_controller.BringViewsBack(false);
    }
    const bool online = m_controller.CameraLink() != nullptr && m_controller.CameraLink()->IsConnected();
    if (!online) {
        if (!m_controller.WaitForProcessEvent()) {
            ORIN_LOG_ERROR("CHidden::OnPictureTaken", "WaitForProcessEvent failed, WM_PROCESS_SYNC is not sent");
            return;
        }
        if (IViewProcessor* view = m_controller.CurrentView()) {
            view->PostMessage(platform::MakeMessage(WM_PROCESS_SYNC));
        }
    }
    if (!m_controller.WaitForProcessEvent()) {
        ORIN_LOG_ERROR("CHidden::OnPictureTaken", "WaitForProcessEvent failed WM_PROCESS_PICTURE_TAKEN is not sent");
        return;
    }
    if (IViewProcessor* view = m_controller.CurrentView()) {
        platform::Message forward;
        forward.id = WM_PROCESS_PICTURE_TAKEN;
        forward.payload = std::move(message.payload);
        view->PostMessage(std::move(forward));
    }
}

void CHidden::OnOffline()
{
    ORIN_TRACE("CHidden::OnOffline");
    if (m_controller.IsSuspended()) {
        return;
    }
    if (!m_controller.WaitForProcessEvent()) {
        ORIN_LOG_ERROR("CHidden::OnOffline", "WaitForProcessEvent failed");
        return;
    }
    if (IViewProcessor* view = m_controller.CurrentView()) {
        view->PostMessage(platform::MakeMessage(WM_PROCESS_OFFLINE));
    }
}

void CHidden::OnSync()
{
    ORIN_TRACE("CHidden::OnSync");
    if (m_controller.IsSuspended()) {
        ORIN_LOG_INFO("CHidden::OnSync", "Returnign from suspend");
        ORIN_LOG_INFO("CHidden::OnSync", "Showing exposure processor");
        m_controller.BringViewsBack(false);
    }
    ORIN_LOG_INFO("CHidden::OnSync", "Sending WM_PROCESS_SYNC");
    if (IViewProcessor* view = m_controller.CurrentView()) {
        view->PostMessage(platform::MakeMessage(WM_PROCESS_SYNC));
    }
}

void CHidden::OnUpdateStatusIcon(uintptr_t code)
{
    if (IViewProcessor* view = m_controller.CurrentView()) {
        view->PostMessage(platform::MakeMessage(WM_PROCESS_UPDATE_STATUS_ICON, code));
    }
}

void CHidden::OnExit()
{
    ORIN_TRACE("CHidden::OnExit");
    m_controller.ProcessEvent(ON_EXIT);
}

void CHidden::OnSuspendExit()
{
    ORIN_TRACE("CHidden::OnSuspendExit");
    if (m_controller.IsSuspended()) {
        ORIN_LOG_INFO("CHidden::OnSuspendExit", "Application is suspended. Closing");
        m_controller.ProcessEvent(ON_EXIT);
    }
}

void CHidden::OnMarkUpdateFailed(platform::Message& message)
{
    ORIN_TRACE("CHidden::OnMarkUpdateFailed");
    if (m_controller.IsSuspended()) {
        return;
    }
    std::lock_guard lock(m_controller.ControllerLock());
    if (IViewProcessor* view = m_controller.CurrentView()) {
        platform::Message forward;
        forward.id = WM_PROCESS_MARK_UPDATE_FAILED;
        forward.payload = std::move(message.payload);
        view->PostMessage(std::move(forward));
    }
    std::this_thread::yield();
}
