#include "app/controller/ControllerEvents.h"

namespace {

struct EventRow {
    const char* name;
    int32_t operation;
};

constexpr EventRow kEvents[kEventCount] = {
    {"INVALID_EVENT", 0},
    {"ON_LOAD_APPLICATION_SETTINGS", 1},
    {"ON_SAVE_APPLICATION_SETTINGS", 2},
    {"ON_CAPTURE_SETTINGS", 4},
    {"ON_SAVE_SETUP", 24},
    {"ON_CANCEL_SETUP", 25},
    {"ON_SET_CAMERA", 26},
    {"ON_SELECT_SHOOTING_FOLDER", 5},
    {"ON_EXPOSURE_VIEW", 7},
    {"ON_FRAMING_VIEW", 6},
    {"ON_TONING_VIEW", 8},
    {"ON_LIGHT_AND_COLOR_VIEW", 9},
    {"ON_ANNOTATION_VIEW", 10},
    {"ON_FULL_SCREEN_VIEW", 14},
    {"ON_ONE_TO_ONE_UP", 22},
    {"ON_ONE_TO_ONE_DOWN", 21},
    {"ON_LIST_VIEW", 11},
    {"ON_FOUR_VIEW", 12},
    {"ON_NINE_VIEW", 13},
    {"ON_SYNCHRONIZE", 3},
    {"ON_SHOOT", 0},
    {"ON_OPEN_FOLDER", 5},
    {"ON_DELETE_FOLDER", 5},
    {"ON_EXIT", 15},
    {"ON_PREVIOUS_STATE", 0},
    {"ON_NEW_DIRECTORY", 0},
    {"ON_SELECT_DIRECTORY", 0},
    {"ON_DELETE_DIRECTORY", 0},
    {"ON_SHOW_ALL", 0},
    {"ON_SHOW_YES", 0},
    {"ON_SHOW_NO", 0},
    {"ON_SHOW_MAYBE", 0},
    {"ON_SORT_BY_NAME", 0},
    {"ON_SORT_BY_DATE", 0},
    {"ON_SORT_BY_MARK", 0},
    {"ON_ONE_VIEW_BROWSE_BACK", 30},
    {"ON_ONE_VIEW_BROWSE_FORWARD", 29},
    {"ON_FOUR_VIEW_BROWSE_BACK", 32},
    {"ON_FOUR_VIEW_BROWSE_FORWARD", 31},
    {"ON_NINE_VIEW_BROWSE_BACK", 34},
    {"ON_NINE_VIEW_BROWSE_FORWARD", 33},
    {"ON_WHITEST_EXPOSURE_ALARM_DOWN", 17},
    {"ON_DARKEST_EXPOSURE_ALARM_DOWN", 18},
    {"ON_WHITEST_EXPOSURE_ALARM_UP", 19},
    {"ON_DARKEST_EXPOSURE_ALARM_UP", 20},
    {"ON_PICK_NEUTRAL", 23},
    {"ON_SET_IMAGE_TITLE", 0},
    {"ON_SET_ANNOTATION", 0},
    {"ON_PICTURE_TAKEN", 16},
    {"ON_COPY_FILES", 5},
    {"ON_MOVE_FILES", 5},
    {"ON_CLOSE_VISUAL_OBJECTS", 27},
    {"ON_GET_RELATIVE_EXPOSURE", 28},
    {"ON_RETRIEVE_DISK_AND_BATTERY_STATUS", 35},
    {"ON_TREE_PARTITION_VIEW", 36},
    {"ON_ABOUT_VIEW", 37},
    {"ON_ABOUT_DCB_VIEW", 38},
};

}  // namespace

const char* EventName(int nEvent)
{
    if (nEvent < 0 || nEvent >= kEventCount) {
        return "UNKNOWN_EVENT";
    }
    return kEvents[nEvent].name;
}

int32_t DefaultOperation(int nEvent)
{
    if (nEvent < 0 || nEvent >= kEventCount) {
        return 0;
    }
    return kEvents[nEvent].operation;
}
