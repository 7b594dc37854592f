// The application controller: owns every long-lived part of the program and runs each user
// action or camera message as one numbered event under one lock.
#pragma once

#include "app/controller/CameraLink.h"
#include "app/controller/CameraParameterLists.h"
#include "app/controller/Configuration.h"
#include "app/controller/CurrentDirectoryEntry.h"
#include "app/controller/ShootSetups.h"
#include "app/controller/SimpleArray.h"
#include "app/controller/ControllerEvents.h"
#include "app/controller/EventTable.h"
#include "app/controller/PictureOperations.h"
#include "app/controller/ViewProcessor.h"
#include "app/platform/Event.h"
#include "app/platform/MessageTarget.h"
#include "app/storage/Cache.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CHidden;
struct ProtocolCommand;

// What an event carries; which field counts depends on the event.
struct EventParameter {
    // ON_SYNCHRONIZE, ON_PICTURE_TAKEN: the received camera message.
    const platform::MessagePayload* message = nullptr;
    // ON_COPY_FILES, ON_MOVE_FILES: the target folder.
    std::u16string text;
    // ON_ONE_TO_ONE_DOWN, ON_PICK_NEUTRAL, ON_GET_RELATIVE_EXPOSURE: a point of the picture.
    int x = 0;
    int y = 0;
    // ON_SET_CAMERA: an index into the framing list, when given.
    bool hasIndex = false;
    int index = 0;
};

class CControlApplication {
public:
    using ViewFactory = std::function<std::unique_ptr<IViewProcessor>(ViewId)>;

    CControlApplication();
    virtual ~CControlApplication();
    CControlApplication(const CControlApplication&) = delete;
    CControlApplication& operator=(const CControlApplication&) = delete;

    // Parts the program (or a test) attaches before Run/Initialize; stand-ins are used otherwise.
    void SetCameraLink(std::unique_ptr<ICameraLink> link);
    void SetPictureOperations(std::unique_ptr<IPictureOperations> pictures);
    void SetViewFactory(ViewFactory factory);
    // The program's message box (caption "Orin KX-20 "); returns the button pressed.
    using MessageBoxFunction = std::function<int(IViewProcessor* over, const std::u16string& text, int icon)>;
    void SetMessageBox(MessageBoxFunction messageBox);
    enum MessageIcon : int { ICON_STOP = 0x10, ICON_QUESTION = 0x20, ICON_EXCLAMATION = 0x30, ICON_INFORMATION = 0x40 };
    int ShowMessage(const std::u16string& text, int icon);

    // The whole life of the program: initialise, pump CHidden's messages until Exit, tear down.
    // `started` (optional) is called once the hidden window takes messages.
    bool Run(const std::function<void(CControlApplication&)>& started = {});
    bool Initialize();
    bool InitViews();
    void Uninitialize();

    bool ProcessEvent(int nEvent, const EventParameter* pParam = nullptr, std::u16string* pResult = nullptr);
    bool Exit();
    // Asks the program to end as WM_EXIT_APPLICATION does, from any thread at any time: a request
    // made before Run is kept until the hidden window takes messages, one after Run is ignored.
    void RequestExit();
    // Waits at most 30000 ms for the dispatcher to be idle.
    bool WaitForProcessEvent(uint32_t ms = 30000);

    void CheckDiskAndBatteryThresholds(bool skipDisk, bool skipBattery);
    bool CloseVisualObjects();
    void StartProgressThread();
    void StopProgressThread();

    // Coordinates between preview (w, h) and full picture (W, H).
    void SetScaleFactors(int previewWidth, int previewHeight, int pictureWidth, int pictureHeight);
    void ToPictureCoordinates(int& x, int& y) const;
    void ToPreviewCoordinates(int& x, int& y) const;

    int32_t CurrentOperation() const { return m_iCurrentOperation; }
    int32_t PreviousOperation() const { return m_iPreviousOperation; }
    IViewProcessor* CurrentView() const { return m_pCurrentView; }
    IViewProcessor* View(ViewId id) const;
    platform::MessageTarget* HiddenWindow() const;
    platform::Event& ExitEvent() { return m_hExitEvent; }
    platform::Event& SuspendEvent() { return *m_hSuspendEvent; }
    ICameraLink* CameraLink() const { return m_pCameraLink.get(); }
    bool IsSuspended() const { return m_iSuspended.load() != 0; }
    int32_t TransportInUse() const { return m_iTransport; }
    void SetTransportInUse(int32_t transport) { m_iTransport = transport; }
    int32_t PacketSize() const { return m_iPacketSize; }
    std::recursive_mutex& ControllerLock() { return m_lock; }

    // Battery and disk status, -1 until read.
    struct Status {
        int32_t previousBatteryPercent = -1;
        int32_t batteryPercent = -1;
        int32_t batteryTime = -1;
        int32_t previousExposuresLeft = -1;
        int32_t exposuresLeft = -1;
        int32_t maxExposures = -1;
    };
    Status& StatusRecord() { return m_status; }
    std::vector<int32_t>& DiskThresholdList() { return m_diskThresholds; }
    uint32_t LastAlarmTick() const { return m_uLastAlarmTick; }
    void SetLastAlarmTick(uint32_t tick) { m_uLastAlarmTick = tick; }
    // The disk-and-battery poll interval (120000 ms); set before Initialize.
    void SetBatteryPollInterval(uint32_t ms) { m_uBatteryPollMs = ms; }

protected:
    // The camera-side work of the dispatcher's operations. Each logs what it did.
    virtual bool OnSynchronize(const platform::MessagePayload* message);
    virtual bool OnPictureTaken(const platform::MessagePayload* message, bool& checkDisk, bool& newPictureShown);
    virtual bool FillCurrentDirectoryAtStart();
    virtual bool BrowseForward();
    virtual bool BrowseBack();
    virtual bool SaveShootSetup(std::u16string& reason);
    // After a saved setup: the shooting folder becomes current and the directory is refilled.
    virtual bool SelectShootingFolder();
    // True when a current picture exists and it is not the placeholder of an empty folder.
    virtual bool HasCurrentPicture() const;

private:
    bool RunOperation(int32_t operation, int nEvent, const EventParameter* pParam, std::u16string* pResult,
                      bool& keepState, bool& exited);
    void SwitchToView(ViewId id);
    void HideCurrentViewAndWait(const char* function);
    IViewProcessor* ViewOrNull(ViewId id) const;

    // Operations with more than a few lines of work.
    void OperationSynchronize(const EventParameter* pParam);
    void OperationPictureTaken(const EventParameter* pParam);
    void OperationAlarmOff(bool whitest);
    void OperationPickNeutral(const EventParameter* pParam);
    bool OperationPopHistoryOr(ViewId id, int32_t operation, bool& keepState);

    std::unique_ptr<CConfiguration> m_pConfiguration;
    std::unique_ptr<ICameraLink> m_pCameraLink;
    std::unique_ptr<IPictureOperations> m_pPictures;
    ViewFactory m_viewFactory;
    MessageBoxFunction m_messageBox;
    std::array<std::unique_ptr<IViewProcessor>, kViewCount> m_views;
    IViewProcessor* m_pCurrentView = nullptr;

    std::unique_ptr<CHidden> m_pHidden;
    // Guards m_pHidden's creation and destruction against RequestExit from other threads.
    std::mutex m_hiddenLock;
    bool m_bExitRequested = false;
    platform::Event m_hExitEvent{true, false};
    platform::Event m_hInsideProcessEvent{true, true};
    std::shared_ptr<platform::Event> m_hSuspendEvent;
    platform::Event m_hDiscAndBatteryRunEvent{false, false};
    std::thread m_diskAndBatteryThread;
    std::thread m_suspendThread;
    std::atomic<int32_t> m_iSuspended{0};
    std::atomic<uint32_t> m_uBatteryPollMs{120000};

    std::recursive_mutex m_lock;
    CEventTable m_eventTable;
    CViewHistory m_viewHistory;
    int32_t m_iCurrentOperation = 0;
    int32_t m_iPreviousOperation = 0;

    int32_t m_iPacketSize = 1024;
    int32_t m_iTransport = 0;
    uint8_t m_bReloadAfterPickNeutral = 0;
    uint8_t m_bReloadAfterAlarmOff = 0;
    Status m_status;
    std::vector<int32_t> m_diskThresholds;
    uint32_t m_uLastAlarmTick = 0;
    double m_dScaleX = 1.0;
    double m_dScaleY = 1.0;

    friend class CHidden;
    void DiskAndBatteryThreadProc();
    void SuspendThreadProc();
    void StartDiskAndBatteryThread();
    void StopDiskAndBatteryThread();
    void StopSuspendThread();
    void BringViewsBack(bool refill);

    // Camera synchronisation, current directory and shoot setups
public:
    // The storage model the camera work goes through; created without a link when none is given.
    void SetStorageModel(std::unique_ptr<CCache> cache);
    CCache* StorageModel() const { return m_pCache.get(); }
    // The newest picture the camera announced; the link stores it before posting the message.
    void SetNewestPicture(const std::u16string& fileName);
    std::u16string NewestPicture() const;
    // Whether the link to the camera is up (the current directory then comes from the camera).
    bool IsOnline() const;

    bool FillCurrentDirectory(int32_t start, int32_t end, int32_t current, bool retrieve, bool selectLast);
    bool SortCurrentDirectory(int32_t criterion, bool force);
    bool GetImages(int32_t first, int32_t last, bool select);
    void SetCurrentImage(int32_t index);
    bool AddToCurrentDirectory(const std::u16string& fileFullName);
    void ProcessNewPicture(const std::u16string& fileFullName);
    // While the current entry cannot be shown, reads it again and drops it if it still cannot.
    void ReselectDisplayable();
    // Closing the visual objects: the directory is emptied and the model's tree let go.
    void ResetCurrentDirectory();
    // The scale factors between a preview of this size and the camera's picture dimensions.
    void SetScaleFactorsForPreview(int previewWidth, int previewHeight);

    // Changes a field of the default setup (in a user copy of a predefined one). A text the
    // camera's messages cannot carry is refused; message then says why.
    bool SetImgProp(int field, const std::u16string& value, std::u16string* message = nullptr);
    int32_t CopySetup(const std::u16string& name);
    bool IsShootingFolder(const std::u16string& folder, std::u16string& message) const;
    bool CanFormatPartition(const std::u16string& disk, std::u16string& message) const;
    // The attribute SaveShootSetup sends: DefaultShootSetup, or ShootSetup with the setup string.
    bool BuildShootSetupAttribute(std::u16string& name, std::u16string& value, std::u16string& reason) const;

    // Read by the views and tools; hold ControllerLock() while reading from another thread.
    const CCameraParameterLists& ParameterLists() const { return m_parameterLists; }
    const CShootSetups& ShootSetups() const { return m_shootSetups; }
    const SimpleArray<CCurrentDirectoryEntry>& CurrentDirectory() const { return m_saCurrentDirectory; }
    int32_t CurrentIndex() const { return m_iCurrentIndex; }
    // The current entry, or null.
    const CCurrentDirectoryEntry* CurrentEntry() const;
    std::vector<CCurrentDirectoryEntry> PendingPictures() const;
    const std::u16string& CurrentFolderPath() const { return m_strCurrentFolderPath; }
    const std::u16string& CurrentFolderName() const { return m_strCurrentFolderName; }
    const std::u16string& ShootingFolder() const { return m_strShootingFolder; }
    int32_t SortCriterionInUse() const { return m_iSortCriterion; }
    void ForceNextSort() { m_bForceSort = true; }
    bool IsFolderEmpty() const { return m_bFolderEmpty; }

private:
    CCache& EnsureStorageModel();
    bool ReadSyncAttributes(const ProtocolCommand& message, bool& diskChanged, std::u16string& diskId);
    void SetCameraClock();
    // An empty folder holds only its placeholder entry; true when that is the case now.
    bool ShowPlaceholderIfEmpty();
    bool FillFromLocalCache(int32_t current, bool selectLast);
    bool FillFromStorageModel(int32_t start, int32_t end, int32_t current, bool retrieve, bool selectLast);
    // The entry's node properties, fetched as the model decides: 0 read, 1 failed, 2 not displayable.
    int ReadEntryProperties(int32_t index);
    bool SetStorageCurrentFile(const std::u16string& fullName, bool load);
    int32_t FindEntry(std::u16string_view fullPath, bool ignoreCase, bool fromEnd = false) const;
    bool HandlePictureFileName(const std::u16string& fileName, bool& showPicture, std::u16string& fileFullName);
    bool Browse(int step);

    std::unique_ptr<CCache> m_pCache;
    CCameraParameterLists m_parameterLists;
    CShootSetups m_shootSetups;
    std::u16string m_strShootingFolder;
    SimpleArray<CCurrentDirectoryEntry> m_saCurrentDirectory{0, 1};
    int32_t m_iCurrentIndex = -1;
    bool m_bHasCurrentItem = false;
    SimpleArray<CCurrentDirectoryEntry> m_saPending{0, 10};
    mutable std::mutex m_pendingLock;
    std::u16string m_strCurrentFolderName;
    std::u16string m_strCurrentFolderPath;
    int32_t m_iSortCriterion = 0;
    bool m_bForceSort = false;
    bool m_bFolderEmpty = false;
    mutable std::mutex m_newestLock;
    std::u16string m_strNewestPicture;
};
