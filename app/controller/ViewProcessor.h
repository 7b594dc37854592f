// What the controller asks of a view. The views (Qt, above the controller) implement it; until a
// view exists, and in tests, CRecordingViewProcessor stands in and records the calls.
#pragma once

#include "app/platform/MessageTarget.h"

#include <string>

enum class ViewId {
    Annotation,
    Exposure,
    Framing,
    LightAndColor,
    Toning,
    CaptureSettings,
    FullScreen,
    FourUp,
    NineUp,
    List,
    FolderTree,
    PartitionsTree,
    CameraBackAbout,
    About,
};
constexpr int kViewCount = 14;

const char* ViewName(ViewId id);

// Folder-tree modes the controller sets before showing the tree.
enum FolderTreeMode : int {
    FOLDER_TREE_OPEN = 0,
    FOLDER_TREE_DELETE = 1,
    FOLDER_TREE_COPY = 2,
    FOLDER_TREE_MOVE = 3,
    FOLDER_TREE_SELECT_SHOOTING_FOLDER = 4,
};

class IViewProcessor {
public:
    virtual ~IViewProcessor() = default;

    virtual ViewId Id() const = 0;
    virtual bool Initialize() = 0;
    virtual bool Uninitialize() = 0;
    // Shows the view and returns once it is on the screen.
    virtual bool Display() = 0;
    virtual bool Hide() = 0;
    // True once the view's window no longer exists (after Hide).
    virtual bool IsWindowGone() const = 0;
    virtual bool DisplayDiskAndBatteryStatus() = 0;
    // Messages the controller and CHidden forward to the view on the screen.
    virtual bool PostMessage(platform::Message message) = 0;

    // Leaves the 1:1 zoom state, if the view has one.
    virtual void ReleaseOneToOne() = 0;
    virtual void ResetZoom() = 0;
    // Re-reads the controller's data in place (picture, histogram, alarms, status, list position).
    virtual void Refresh() = 0;

    // Folder tree only.
    virtual void SetFolderTreeMode(int mode, const std::u16string& argument) = 0;
    // Light-and-colour view only: the text a pick-neutral returned.
    virtual void SetPickNeutralText(const std::u16string& text) = 0;
    // Exposure view only: whether the whitest (or darkest) alarm button is down.
    virtual bool IsAlarmButtonDown(bool whitest) const = 0;
    // Exposure view only: show the picture without alarm colouring.
    virtual void ShowNormalPicture() = 0;
};
