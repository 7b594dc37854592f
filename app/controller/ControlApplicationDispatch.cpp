// The dispatcher: one event at a time under the controller lock, through the event table.
#include "app/controller/ControlApplication.h"

#include "app/platform/Log.h"
#include "app/platform/TickCount.h"

namespace {
constexpr uint32_t kWindowGonePollMs = 50;
// A view that never lets its window go must not hang the exit for ever.
constexpr uint32_t kWindowGoneLimitMs = 10000;
}  // namespace

bool CControlApplication::ProcessEvent(int nEvent, const EventParameter* pParam, std::u16string* pResult)
{
    ORIN_TRACE("CControlApplication::ProcessEvent");
    ORIN_LOG_INFO("CControlApplication::ProcessEvent", "CControlApplication::ProcessEvent %s", EventName(nEvent));

    std::unique_lock lock(m_lock);
    m_hInsideProcessEvent.Reset();
    ORIN_LOG_INFO("CControlApplication::ProcessEvent", "Inside Critical section");

    if (nEvent == ON_PREVIOUS_STATE) {
        m_eventTable.SetPreviousState(m_iCurrentOperation, m_iPreviousOperation);
    }
    const int32_t operation = m_eventTable.Operation(m_iCurrentOperation, nEvent);
    bool result = true;
    bool keepState = false;
    bool exited = false;
    if (operation < 0 || operation >= kOperationCount) {
        ORIN_LOG_ERROR("CControlApplication::ProcessEvent", "Fatal error! Unknown operation");
        m_hExitEvent.Set();
    } else {
        result = RunOperation(operation, nEvent, pParam, pResult, keepState, exited);
        if (exited) {
            // The dispatcher stays marked busy: camera messages arriving during the exit are dropped.
            return result;
        }
        if (!keepState && operation != m_iCurrentOperation) {
            m_iPreviousOperation = m_iCurrentOperation;
            m_iCurrentOperation = operation;
        }
    }
    m_hInsideProcessEvent.Set();
    return result;
}

bool CControlApplication::RunOperation(int32_t operation, int nEvent, const EventParameter* pParam,
                                       std::u16string* pResult, bool& keepState, bool& exited)
{
    const char* fn = "CControlApplication::ProcessEvent";
    bool result = true;
    switch (operation) {
    case 0:
        ORIN_LOG_ERROR(fn, "No operation defined");
        break;
    case 1:
        keepState = true;
        if (!m_pConfiguration || !m_pConfiguration->LoadSettings(m_iPacketSize)) {
            ORIN_LOG_ERROR(fn, "LoadSettings() failed");
            result = false;
        }
        break;
    case 2:
        keepState = true;
        if (!m_pConfiguration || !m_pConfiguration->SaveSettings(m_iTransport)) {
            ORIN_LOG_ERROR(fn, "SaveSettings() failed");
            result = false;
        }
        break;
    case 3:
        OperationSynchronize(pParam);
        break;
    case 4: {
        SwitchToView(ViewId::CaptureSettings);
        int32_t popped = 0;
        if (m_viewHistory.Pop(popped)) {
            m_iPreviousOperation = popped;
            m_iCurrentOperation = 4;
            keepState = true;
        }
        break;
    }
    case 5: {
        IViewProcessor* tree = ViewOrNull(ViewId::FolderTree);
        if (m_pCurrentView != nullptr) {
            m_pCurrentView->ReleaseOneToOne();
            m_pCurrentView->Uninitialize();
        }
        if (tree != nullptr) {
            switch (nEvent) {
            case ON_SELECT_SHOOTING_FOLDER:
                tree->SetFolderTreeMode(FOLDER_TREE_SELECT_SHOOTING_FOLDER, u"");
                break;
            case ON_OPEN_FOLDER:
                tree->SetFolderTreeMode(FOLDER_TREE_OPEN, u"");
                break;
            case ON_DELETE_FOLDER:
                tree->SetFolderTreeMode(FOLDER_TREE_DELETE, u"");
                break;
            case ON_COPY_FILES:
                tree->SetFolderTreeMode(FOLDER_TREE_COPY, pParam != nullptr ? pParam->text : u"");
                break;
            case ON_MOVE_FILES:
                tree->SetFolderTreeMode(FOLDER_TREE_MOVE, pParam != nullptr ? pParam->text : u"");
                break;
            default:
                break;
            }
        }
        if (m_iCurrentOperation == 4 || m_iCurrentOperation == 14) {
            m_viewHistory.Push(m_iPreviousOperation);
        }
        if (tree != nullptr) {
            IViewProcessor* old = m_pCurrentView;
            tree->Display();
            if (old != nullptr && old != tree) {
                old->Hide();
            }
            m_pCurrentView = tree;
        }
        break;
    }
    case 6:
        SwitchToView(ViewId::Framing);
        break;
    case 7: {
        IViewProcessor* exposure = ViewOrNull(ViewId::Exposure);
        if (exposure == nullptr) {
            break;
        }
        exposure->Initialize();
        if (m_pCurrentView != exposure) {
            IViewProcessor* old = m_pCurrentView;
            if (old != nullptr) {
                old->Uninitialize();
            }
            exposure->Display();
            if (old != nullptr) {
                old->Hide();
            }
            m_pCurrentView = exposure;
        } else {
            exposure->Refresh();
        }
        break;
    }
    case 8:
        SwitchToView(ViewId::Toning);
        break;
    case 9:
        SwitchToView(ViewId::LightAndColor);
        break;
    case 10:
        SwitchToView(ViewId::Annotation);
        break;
    case 11:
    case 12:
    case 13: {
        const ViewId id = operation == 11 ? ViewId::List : operation == 12 ? ViewId::FourUp : ViewId::NineUp;
        IViewProcessor* view = ViewOrNull(id);
        if (view != nullptr && view == m_pCurrentView) {
            view->Refresh();
        } else {
            SwitchToView(id);
        }
        for (ViewId zoomed : {ViewId::Exposure, ViewId::LightAndColor, ViewId::Framing}) {
            if (IViewProcessor* v = ViewOrNull(zoomed)) {
                v->ResetZoom();
            }
        }
        break;
    }
    case 14: {
        int32_t popped = 0;
        if (m_viewHistory.Pop(popped)) {
            m_iPreviousOperation = popped;
            keepState = true;
        }
        if (HasCurrentPicture()) {
            IViewProcessor* full = ViewOrNull(ViewId::FullScreen);
            if (full != nullptr) {
                IViewProcessor* old = m_pCurrentView;
                full->Initialize();
                full->Display();
                if (old != nullptr && old != full) {
                    old->Hide();
                }
                m_pCurrentView = full;
            }
        } else {
            keepState = true;
        }
        break;
    }
    case 15:
        if (m_pCurrentView != nullptr) {
            HideCurrentViewAndWait(fn);
        }
        // Only told to stop: the poll may be waiting for this very lock, so joining it here would
        // hang the exit. Run joins it once the lock is free.
        m_hDiscAndBatteryRunEvent.Set();
        result = Exit();
        exited = true;
        break;
    case 16:
        OperationPictureTaken(pParam);
        keepState = true;
        break;
    case 17:
    case 18:
        keepState = true;
        if (!m_pPictures || !m_pPictures->SetAlarm(operation == 17, true)) {
            ORIN_LOG_ERROR(fn, "Alarm setting failed");
            result = false;
        }
        break;
    case 19:
    case 20:
        keepState = true;
        OperationAlarmOff(operation == 19);
        break;
    case 21: {
        keepState = true;
        int x = pParam != nullptr ? pParam->x : 0;
        int y = pParam != nullptr ? pParam->y : 0;
        ToPictureCoordinates(x, y);
        if (!m_pPictures || !m_pPictures->Zoom(x, y)) {
            ORIN_LOG_ERROR(fn, "Zoom failed");
            result = false;
        }
        break;
    }
    case 22:
        keepState = true;
        if (!m_pPictures || !m_pPictures->Unzoom()) {
            ORIN_LOG_ERROR(fn, "Unzoom failed");
            result = false;
        } else {
            IViewProcessor* exposure = ViewOrNull(ViewId::Exposure);
            for (bool whitest : {true, false}) {
                if (exposure != nullptr && exposure->IsAlarmButtonDown(whitest)) {
                    m_pPictures->SetAlarm(whitest, true);
                }
            }
            m_pPictures->ReloadCurrentPicture(m_bReloadAfterAlarmOff);
        }
        break;
    case 23:
        keepState = true;
        OperationPickNeutral(pParam);
        break;
    case 24: {
        keepState = true;
        std::u16string reason;
        result = SaveShootSetup(reason);
        if (result) {
            if (!SelectShootingFolder()) {
                ORIN_LOG_ERROR(fn, "Failed to fill current directory");
            }
        } else {
            ShowMessage(u"Failed to set new camera parameters.\n" + reason, ICON_STOP);
        }
        break;
    }
    case 25:
        keepState = true;
        break;
    case 26: {
        keepState = true;
        std::u16string reason;
        bool ok = true;
        if (pParam != nullptr && pParam->hasIndex) {
            ok = m_pPictures && m_pPictures->SetFraming(pParam->index);
        }
        if (ok) {
            ok = SaveShootSetup(reason);
        }
        if (!ok) {
            ShowMessage(u"Failed to set new camera parameters.\n" + reason, ICON_STOP);
        }
        result = ok;
        break;
    }
    case 27:
        if (m_pCurrentView != nullptr) {
            HideCurrentViewAndWait("CControlApplication::ProcessEvent(CLOSE_VISUAL_OBJECTS)");
        }
        if (m_pPictures) {
            m_pPictures->ReleaseOpenPicture();
        }
        ORIN_LOG_INFO(fn, "CloseVisualObjects()");
        result = CloseVisualObjects();
        break;
    case 28: {
        keepState = true;
        int x = pParam != nullptr ? pParam->x : 0;
        int y = pParam != nullptr ? pParam->y : 0;
        ToPictureCoordinates(x, y);
        std::u16string text;
        if (m_pPictures && m_pPictures->GetRelativeExposure(x, y, text)) {
            if (pResult != nullptr) {
                *pResult = text;
            }
        } else {
            ORIN_LOG_ERROR(fn, "Get relative exposure failed");
            result = false;
        }
        break;
    }
    case 29:
        keepState = true;
        result = BrowseForward();
        break;
    case 30:
        keepState = true;
        result = BrowseBack();
        break;
    case 31:
    case 32:
    case 33:
    case 34:
        keepState = true;
        break;
    case 35: {
        keepState = true;
        DiskAndBatteryStatus status;
        status.batteryPercent = m_status.batteryPercent;
        status.batteryTime = m_status.batteryTime;
        status.exposuresLeft = m_status.exposuresLeft;
        status.maxExposures = m_status.maxExposures;
        result = m_pPictures && m_pPictures->ReadDiskAndBatteryStatus(status);
        if (result) {
            m_status.batteryPercent = status.batteryPercent;
            m_status.batteryTime = status.batteryTime;
            m_status.exposuresLeft = status.exposuresLeft;
            m_status.maxExposures = status.maxExposures;
        }
        break;
    }
    case 36:
    case 37:
    case 38: {
        if (m_iCurrentOperation == 4) {
            m_viewHistory.Push(m_iPreviousOperation);
        }
        SwitchToView(operation == 36 ? ViewId::PartitionsTree
                                     : operation == 37 ? ViewId::About : ViewId::CameraBackAbout);
        break;
    }
    default:
        break;
    }
    return result;
}

void CControlApplication::OperationSynchronize(const EventParameter* pParam)
{
    if (pParam == nullptr || pParam->message == nullptr) {
        return;
    }
    if (!OnSynchronize(pParam->message)) {
        StopProgressThread();
        ORIN_LOG_ERROR("CControlApplication::ProcessEvent", "Synchronization with camera failed.");
        m_hInsideProcessEvent.Set();
        ShowMessage(u"Synchronization with camera failed.", ICON_STOP);
        return;
    }
    if (m_pCurrentView != nullptr) {
        CheckDiskAndBatteryThresholds(false, false);
        ORIN_LOG_INFO("CControlApplication::ProcessEvent", "Disk And BatteryThresholds are checked");
        if (m_pCurrentView == ViewOrNull(ViewId::Exposure)) {
            m_pCurrentView->Refresh();
        }
    }
}

void CControlApplication::OperationPictureTaken(const EventParameter* pParam)
{
    if (pParam == nullptr || pParam->message == nullptr) {
        return;
    }
    IViewProcessor* exposure = ViewOrNull(ViewId::Exposure);
    IViewProcessor* full = ViewOrNull(ViewId::FullScreen);
    if (m_pCurrentView != nullptr && m_pCurrentView != exposure && m_pCurrentView != full) {
        m_pCurrentView->Uninitialize();
    }
    for (ViewId zoomed : {ViewId::Exposure, ViewId::LightAndColor, ViewId::Framing}) {
        if (IViewProcessor* v = ViewOrNull(zoomed)) {
            v->ResetZoom();
        }
    }
    if (m_pCurrentView != nullptr) {
        m_pCurrentView->ReleaseOneToOne();
    }
    if (exposure != nullptr) {
        exposure->ShowNormalPicture();
    }
    bool checkDisk = false;
    bool newPictureShown = false;
    if (OnPictureTaken(pParam->message, checkDisk, newPictureShown)) {
        if (m_pCurrentView == full && full != nullptr) {
            full->Refresh();
        } else if (exposure != nullptr) {
            if (m_pCurrentView == exposure) {
                if (newPictureShown) {
                    exposure->Refresh();
                }
            } else {
                IViewProcessor* old = m_pCurrentView;
                exposure->Initialize();
                exposure->Display();
                if (old != nullptr) {
                    old->Hide();
                }
                m_pCurrentView = exposure;
            }
            m_iCurrentOperation = 7;
        }
        if (checkDisk) {
            CheckDiskAndBatteryThresholds(false, true);
        }
    } else {
        ORIN_LOG_ERROR("CControlApplication::ProcessEvent", "Failed to handle PicrureTaken message");
        if (m_pCameraLink && !m_pCameraLink->ReSync()) {
            ORIN_LOG_ERROR("CControlApplication::ProcessEvent", "Synchronization with camera failed.");
        }
    }
}

void CControlApplication::OperationAlarmOff(bool whitest)
{
    if (!m_pPictures || !m_pPictures->SetAlarm(whitest, false)) {
        ORIN_LOG_ERROR("CControlApplication::ProcessEvent", "Alarm setting failed");
        return;
    }
    IViewProcessor* exposure = ViewOrNull(ViewId::Exposure);
    if (exposure != nullptr && exposure->IsAlarmButtonDown(!whitest)) {
        m_pPictures->SetAlarm(!whitest, true);
    } else {
        m_pPictures->ReloadCurrentPicture(m_bReloadAfterAlarmOff);
    }
}

void CControlApplication::OperationPickNeutral(const EventParameter* pParam)
{
    const char* fn = "CControlApplication::ProcessEvent";
    int x = pParam != nullptr ? pParam->x : 0;
    int y = pParam != nullptr ? pParam->y : 0;
    ToPictureCoordinates(x, y);
    std::u16string text;
    IViewProcessor* light = ViewOrNull(ViewId::LightAndColor);
    if (m_pPictures && m_pPictures->PickNeutral(x, y, text)) {
        if (light != nullptr) {
            light->SetPickNeutralText(text);
        }
    } else {
        ORIN_LOG_ERROR(fn, "Pick neutral failed");
    }
    if (m_pPictures && m_pPictures->ReloadCurrentPicture(m_bReloadAfterPickNeutral)) {
        if (light != nullptr) {
            light->Refresh();
        }
    } else {
        ORIN_LOG_ERROR(fn, "Cache failed");
    }
}

void CControlApplication::SwitchToView(ViewId id)
{
    IViewProcessor* next = ViewOrNull(id);
    if (next == nullptr) {
        return;
    }
    IViewProcessor* old = m_pCurrentView;
    if (old != nullptr) {
        old->ReleaseOneToOne();
        old->Uninitialize();
    }
    next->Initialize();
    next->Display();
    if (old != nullptr && old != next) {
        old->Hide();
    }
    m_pCurrentView = next;
}

void CControlApplication::HideCurrentViewAndWait(const char* function)
{
    ORIN_LOG_INFO(function, "Hiding current ViewProcessor()");
    IViewProcessor* view = m_pCurrentView;
    view->Uninitialize();
    view->Hide();
    const uint32_t start = platform::TickCount();
    while (!view->IsWindowGone()) {
        if (platform::TicksSince(start) >= kWindowGoneLimitMs) {
            ORIN_LOG_ERROR(function, "%s view did not close; going on without it", ViewName(view->Id()));
            break;
        }
        platform::SleepMs(kWindowGonePollMs);
    }
    m_pCurrentView = nullptr;
}
