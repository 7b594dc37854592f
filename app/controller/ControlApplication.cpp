#include "app/controller/ControlApplication.h"

#include "app/controller/Hidden.h"
#include "app/controller/PrivateMessages.h"
#include "app/controller/RecordingCameraLink.h"
#include "app/controller/RecordingPictureOperations.h"
#include "app/controller/RecordingViewProcessor.h"
#include "app/platform/Log.h"
#include "app/platform/NamedEvent.h"
#include "app/platform/TextConvert.h"
#include "app/platform/ThreadStart.h"
#include "app/platform/TickCount.h"

#include <utility>

namespace {
constexpr uint32_t kSuspendWaitStepMs = 2000;
constexpr uint32_t kSuspendLockRetryMs = 10;
}  // namespace

CControlApplication::CControlApplication()
{
    ORIN_TRACE("CControlApplication::CControlApplication");
    m_hSuspendEvent = platform::OpenNamedEvent(platform::kSuspendEventName, false, false);
    if (!m_hSuspendEvent) {
        ORIN_LOG_ERROR("CControlApplication::CControlApplication", "Failed to create event m_hSuspendEvent");
    }
    m_viewFactory = [](ViewId id) { return std::make_unique<CRecordingViewProcessor>(id); };
}

CControlApplication::~CControlApplication()
{
    ORIN_TRACE("CControlApplication::~CControlApplication");
    StopDiskAndBatteryThread();
    StopSuspendThread();
    Uninitialize();
}

void CControlApplication::StopSuspendThread()
{
    // The background wait ends within one wait step once the flag is cleared.
    m_iSuspended = 0;
    if (m_suspendThread.joinable()) {
        m_suspendThread.join();
    }
}

void CControlApplication::SetCameraLink(std::unique_ptr<ICameraLink> link) { m_pCameraLink = std::move(link); }

void CControlApplication::SetPictureOperations(std::unique_ptr<IPictureOperations> pictures)
{
    m_pPictures = std::move(pictures);
}

void CControlApplication::SetViewFactory(ViewFactory factory) { m_viewFactory = std::move(factory); }

void CControlApplication::SetMessageBox(MessageBoxFunction messageBox) { m_messageBox = std::move(messageBox); }

int CControlApplication::ShowMessage(const std::u16string& text, int icon)
{
    ORIN_LOG_INFO("CControlApplication::ShowMessage", "message box: %s", platform::ToUtf8(text).c_str());
    if (m_messageBox) {
        return m_messageBox(m_pCurrentView, text, icon);
    }
    return 0;
}

platform::MessageTarget* CControlApplication::HiddenWindow() const
{
    return m_pHidden ? &m_pHidden->Queue() : nullptr;
}

IViewProcessor* CControlApplication::View(ViewId id) const { return ViewOrNull(id); }

IViewProcessor* CControlApplication::ViewOrNull(ViewId id) const
{
    const int index = static_cast<int>(id);
    return index >= 0 && index < kViewCount ? m_views[static_cast<size_t>(index)].get() : nullptr;
}

bool CControlApplication::Run(const std::function<void(CControlApplication&)>& started)
{
    ORIN_TRACE("CControlApplication::Run");
    {
        std::lock_guard lock(m_hiddenLock);
        m_pHidden = std::make_unique<CHidden>(*this);
        if (m_bExitRequested) {
            // Handled as soon as the start is over and the window pumps.
            m_pHidden->Queue().PostMessage(platform::MakeMessage(WM_EXIT_APPLICATION));
            m_bExitRequested = false;
        }
    }
    m_hExitEvent.Reset();
    if (!Initialize()) {
        ORIN_LOG_ERROR("CControlApplication::Run", "Failed to initialize application");
        std::lock_guard lock(m_hiddenLock);
        m_pHidden.reset();
        return false;
    }
    if (started) {
        started(*this);
    }
    ORIN_LOG_INFO("CControlApplication::Run", "Before WaitForSingleObject(m_hExitEvent, INFINITE)");
    if (!m_pHidden->Queue().WaitWithMessageLoop(m_hExitEvent)) {
        ORIN_LOG_ERROR("CControlApplication::Run", "WaitWithMessageLoop failed");
    }
    ORIN_LOG_INFO("CControlApplication::Run", "After WaitForSingleObject(m_hExitEvent, INFINITE)");
    m_pHidden->Queue().Close();
    StopDiskAndBatteryThread();
    // A start of the program by the user during the exit must not bring views back over the
    // parts being taken down.
    StopSuspendThread();
    Uninitialize();
    std::lock_guard lock(m_hiddenLock);
    m_pHidden.reset();
    return true;
}

void CControlApplication::RequestExit()
{
    ORIN_TRACE("CControlApplication::RequestExit");
    std::lock_guard lock(m_hiddenLock);
    if (m_pHidden) {
        m_pHidden->Queue().PostMessage(platform::MakeMessage(WM_EXIT_APPLICATION));
    } else {
        m_bExitRequested = true;
    }
}

bool CControlApplication::Initialize()
{
    ORIN_TRACE("CControlApplication::Initialize");
    if (!m_pConfiguration) {
        m_pConfiguration = std::make_unique<CConfiguration>();
    }
    ProcessEvent(ON_LOAD_APPLICATION_SETTINGS);
    m_iTransport = m_pConfiguration->ReadTransport();
    if (!m_pCameraLink) {
        m_pCameraLink = std::make_unique<CRecordingCameraLink>();
    }
    if (!m_pPictures) {
        m_pPictures = std::make_unique<CRecordingPictureOperations>();
    }
    InitViews();

    IViewProcessor* exposure = ViewOrNull(ViewId::Exposure);
    if (exposure != nullptr) {
        exposure->Initialize();
        exposure->Display();
        m_pCurrentView = exposure;
    }
    StartProgressThread();

    if (!m_pCameraLink->Init()) {
        StopProgressThread();
        ORIN_LOG_ERROR("CControlApplication::Initialize", "Init failed");
        ShowMessage(u"Critical error. Cannot initialize protocol layer", ICON_STOP);
        return false;
    }
    if (!FillCurrentDirectoryAtStart()) {
        ORIN_LOG_ERROR("CControlApplication::Initialize", "Failed to fill current directory");
    }
    ProcessEvent(ON_EXPOSURE_VIEW);
    CheckDiskAndBatteryThresholds(false, false);
    ORIN_LOG_INFO("CControlApplication::Initialize", "ProtocolLayer initialized successfully");
    StopProgressThread();
    StartDiskAndBatteryThread();
    return true;
}

bool CControlApplication::InitViews()
{
    ORIN_TRACE("CControlApplication::InitViews");
    if (!m_pConfiguration) {
        m_pConfiguration = std::make_unique<CConfiguration>();
    }
    static constexpr ViewId kCreationOrder[] = {
        ViewId::Annotation, ViewId::Exposure,   ViewId::Framing,    ViewId::LightAndColor, ViewId::Toning,
        ViewId::CaptureSettings, ViewId::FullScreen, ViewId::FourUp, ViewId::NineUp,    ViewId::List,
        ViewId::FolderTree, ViewId::PartitionsTree, ViewId::CameraBackAbout, ViewId::About};
    for (ViewId id : kCreationOrder) {
        auto& slot = m_views[static_cast<size_t>(id)];
        if (!slot && m_viewFactory) {
            slot = m_viewFactory(id);
        }
    }
    return true;
}

void CControlApplication::Uninitialize()
{
    ORIN_TRACE("CControlApplication::Uninitialize");
    if (m_pCameraLink) {
        m_pCameraLink->Shutdown();
    }
    m_pConfiguration.reset();
    static constexpr ViewId kDeletionOrder[] = {
        ViewId::Annotation, ViewId::Exposure, ViewId::Framing, ViewId::LightAndColor, ViewId::Toning,
        ViewId::CaptureSettings, ViewId::FullScreen, ViewId::FourUp, ViewId::NineUp, ViewId::List,
        ViewId::FolderTree, ViewId::PartitionsTree, ViewId::About, ViewId::CameraBackAbout};
    m_pCurrentView = nullptr;
    for (ViewId id : kDeletionOrder) {
        m_views[static_cast<size_t>(id)].reset();
    }
}

bool CControlApplication::Exit()
{
    ORIN_TRACE("CControlApplication::Exit");
    m_hExitEvent.Set();
    return true;
}

bool CControlApplication::WaitForProcessEvent(uint32_t ms) { return m_hInsideProcessEvent.Wait(ms); }

void CControlApplication::SetScaleFactors(int previewWidth, int previewHeight, int pictureWidth, int pictureHeight)
{
    const bool previewLandscape = previewWidth > previewHeight;
    const bool pictureLandscape = pictureWidth > pictureHeight;
    if (previewLandscape != pictureLandscape) {
        std::swap(previewWidth, previewHeight);
    }
    if (pictureWidth == 0 || pictureHeight == 0) {
        m_dScaleX = m_dScaleY = 1.0;
        return;
    }
    m_dScaleX = static_cast<double>(previewWidth) / pictureWidth;
    m_dScaleY = static_cast<double>(previewHeight) / pictureHeight;
    if (!(m_dScaleX > 0.0) || !(m_dScaleY > 0.0)) {
        m_dScaleX = m_dScaleY = 1.0;
    }
}

// Preview coordinates are divided by the factors to reach the full picture.
void CControlApplication::ToPictureCoordinates(int& x, int& y) const
{
    x = static_cast<int>(x / m_dScaleX);
    y = static_cast<int>(y / m_dScaleY);
}

void CControlApplication::ToPreviewCoordinates(int& x, int& y) const
{
    x = static_cast<int>(x * m_dScaleX);
    y = static_cast<int>(y * m_dScaleY);
}

void CControlApplication::CheckDiskAndBatteryThresholds(bool skipDisk, bool skipBattery)
{
    ORIN_TRACE("CControlApplication::CheckDiskAndBatteryThresholds");
    const uint32_t now = platform::TickCount();
    if (m_uLastAlarmTick != 0 && platform::TicksSince(m_uLastAlarmTick, now) < 60000) {
        return;
    }
    bool alarm = false;
    if (!skipBattery) {
        const int32_t b = m_status.batteryPercent;
        alarm = (b > 0 && b < 25) || b == -2;
    }
    if (!skipDisk && !alarm && !m_diskThresholds.empty()) {
        const int64_t e = m_status.exposuresLeft;
        const int64_t previous = m_status.previousExposuresLeft;
        const size_t n = m_diskThresholds.size();
        if (e >= 0 && e <= m_diskThresholds[n - 1]) {
            alarm = true;
        } else {
            for (size_t i = 0; i + 1 < n && !alarm; ++i) {
                const int64_t lo = std::min(m_diskThresholds[i], m_diskThresholds[i + 1]);
                const int64_t hi = std::max(m_diskThresholds[i], m_diskThresholds[i + 1]);
                const bool inNow = e > lo && e <= hi;
                const bool inBefore = previous > lo && previous <= hi;
                alarm = inNow && !inBefore;
            }
        }
    }
    if (alarm) {
        if (m_pCurrentView != nullptr) {
            m_pCurrentView->DisplayDiskAndBatteryStatus();
        }
        // Tick 0 means "never"; an alarm exactly at tick 0 counts as tick 1.
        m_uLastAlarmTick = now != 0 ? now : 1;
    }
    m_status.previousBatteryPercent = m_status.batteryPercent;
    m_status.previousExposuresLeft = m_status.exposuresLeft;
}

void CControlApplication::StartProgressThread()
{
    ORIN_LOG_INFO("CControlApplication::StartProgressThread", "Synchronizing...");
}

void CControlApplication::StopProgressThread() { ORIN_TRACE("CControlApplication::StopProgressThread"); }

void CControlApplication::StartDiskAndBatteryThread()
{
    if (m_diskAndBatteryThread.joinable()) {
        return;
    }
    m_hDiscAndBatteryRunEvent.Reset();
    if (!platform::StartThread(m_diskAndBatteryThread, [this] { DiskAndBatteryThreadProc(); })) {
        // Battery and disk are then only checked when the camera reports.
        ORIN_LOG_ERROR("CControlApplication::StartDiskAndBatteryThread",
                       "CControlApplication::StartThread(): Failed to start %s thread", "PollForBatteryStatus");
    }
}

void CControlApplication::StopDiskAndBatteryThread()
{
    if (!m_diskAndBatteryThread.joinable()) {
        return;
    }
    m_hDiscAndBatteryRunEvent.Set();
    // The thread only waits on the run event between polls, so it ends promptly; joined, never killed.
    m_diskAndBatteryThread.join();
}

void CControlApplication::DiskAndBatteryThreadProc()
{
    ORIN_TRACE("CControlApplication::PollForBatteryStatusThread");
    while (!m_hDiscAndBatteryRunEvent.Wait(m_uBatteryPollMs.load())) {
        if (!IsSuspended() && m_pCameraLink && m_pCameraLink->IsConnected() && m_status.batteryPercent != 0) {
            ProcessEvent(ON_RETRIEVE_DISK_AND_BATTERY_STATUS);
            std::lock_guard lock(m_lock);
            CheckDiskAndBatteryThresholds(true, false);
        }
    }
}

bool CControlApplication::CloseVisualObjects()
{
    ORIN_TRACE("CControlApplication::CloseVisualObjects");
    m_pCurrentView = nullptr;
    // A view ends by joining its display thread, which may be waiting for the controller lock
    // held here; so the views are let go on the background thread, outside the lock.
    std::array<std::unique_ptr<IViewProcessor>, kViewCount> closedViews = std::move(m_views);
    ResetCurrentDirectory();
    if (m_iSuspended.load() != 0 && m_suspendThread.joinable()) {
        // Already in the background: the thread waiting for the user's start stays; joining it
        // here, under the controller lock, would wait for ever.
        return true;
    }
    if (m_suspendThread.joinable()) {
        // An earlier wait sees the flag clear and ends within one wait step.
        m_suspendThread.join();
    }
    if (m_hSuspendEvent) {
        m_hSuspendEvent->Reset();
        m_iSuspended = 1;
        m_suspendThread = std::thread([this, views = std::move(closedViews)]() mutable {
            for (auto& view : views) {
                view.reset();
            }
            SuspendThreadProc();
        });
    }
    return true;
}

void CControlApplication::SuspendThreadProc()
{
    ORIN_TRACE("CControlApplication::SuspendThread");
    for (;;) {
        if (m_hSuspendEvent->Wait(kSuspendWaitStepMs)) {
            break;
        }
        if (m_iSuspended.load() == 0) {
            return;
        }
    }
    // The lock is only tried: closing the visual objects joins this thread while holding it, and
    // a camera message may bring the views back meanwhile, leaving nothing to do here.
    for (;;) {
        if (m_iSuspended.load() == 0) {
            return;
        }
        if (m_lock.try_lock()) {
            break;
        }
        platform::SleepMs(kSuspendLockRetryMs);
    }
    std::lock_guard lock(m_lock, std::adopt_lock);
    if (m_iSuspended.load() != 0) {
        BringViewsBack(true);
    }
}

void CControlApplication::BringViewsBack(bool refill)
{
    ORIN_TRACE("CControlApplication::BringViewsBack");
    std::lock_guard lock(m_lock);
    InitViews();
    if (IViewProcessor* exposure = ViewOrNull(ViewId::Exposure)) {
        exposure->Initialize();
        exposure->Display();
        m_pCurrentView = exposure;
    }
    m_iSuspended = 0;
    if (refill) {
        StartProgressThread();
        if (!FillCurrentDirectoryAtStart()) {
            ORIN_LOG_ERROR("CControlApplication::SuspendThread", "Failed to fill current directory");
        }
        ProcessEvent(ON_EXPOSURE_VIEW);
        StopProgressThread();
    }
}
