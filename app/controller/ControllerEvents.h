// The controller's events (one per user action or camera message) and their default operations.
#pragma once

#include <cstdint>

enum ControllerEvent : int {
    INVALID_EVENT = 0,
    ON_LOAD_APPLICATION_SETTINGS = 1,
    ON_SAVE_APPLICATION_SETTINGS = 2,
    ON_CAPTURE_SETTINGS = 3,
    ON_SAVE_SETUP = 4,
    ON_CANCEL_SETUP = 5,
    ON_SET_CAMERA = 6,
    ON_SELECT_SHOOTING_FOLDER = 7,
    ON_EXPOSURE_VIEW = 8,
    ON_FRAMING_VIEW = 9,
    ON_TONING_VIEW = 10,
    ON_LIGHT_AND_COLOR_VIEW = 11,
    ON_ANNOTATION_VIEW = 12,
    ON_FULL_SCREEN_VIEW = 13,
    ON_ONE_TO_ONE_UP = 14,
    ON_ONE_TO_ONE_DOWN = 15,
    ON_LIST_VIEW = 16,
    ON_FOUR_VIEW = 17,
    ON_NINE_VIEW = 18,
    ON_SYNCHRONIZE = 19,
    ON_SHOOT = 20,
    ON_OPEN_FOLDER = 21,
    ON_DELETE_FOLDER = 22,
    ON_EXIT = 23,
    ON_PREVIOUS_STATE = 24,
    ON_NEW_DIRECTORY = 25,
    ON_SELECT_DIRECTORY = 26,
    ON_DELETE_DIRECTORY = 27,
    ON_SHOW_ALL = 28,
    ON_SHOW_YES = 29,
    ON_SHOW_NO = 30,
    ON_SHOW_MAYBE = 31,
    ON_SORT_BY_NAME = 32,
    ON_SORT_BY_DATE = 33,
    ON_SORT_BY_MARK = 34,
    ON_ONE_VIEW_BROWSE_BACK = 35,
    ON_ONE_VIEW_BROWSE_FORWARD = 36,
    ON_FOUR_VIEW_BROWSE_BACK = 37,
    ON_FOUR_VIEW_BROWSE_FORWARD = 38,
    ON_NINE_VIEW_BROWSE_BACK = 39,
    ON_NINE_VIEW_BROWSE_FORWARD = 40,
    ON_WHITEST_EXPOSURE_ALARM_DOWN = 41,
    ON_DARKEST_EXPOSURE_ALARM_DOWN = 42,
    ON_WHITEST_EXPOSURE_ALARM_UP = 43,
    ON_DARKEST_EXPOSURE_ALARM_UP = 44,
    ON_PICK_NEUTRAL = 45,
    ON_SET_IMAGE_TITLE = 46,
    ON_SET_ANNOTATION = 47,
    ON_PICTURE_TAKEN = 48,
    ON_COPY_FILES = 49,
    ON_MOVE_FILES = 50,
    ON_CLOSE_VISUAL_OBJECTS = 51,
    ON_GET_RELATIVE_EXPOSURE = 52,
    ON_RETRIEVE_DISK_AND_BATTERY_STATUS = 53,
    ON_TREE_PARTITION_VIEW = 54,
    ON_ABOUT_VIEW = 55,
    ON_ABOUT_DCB_VIEW = 56,
};

constexpr int kEventCount = 57;
constexpr int kOperationCount = 39;

// The event's name as the trace shows it, "UNKNOWN_EVENT" outside the table.
const char* EventName(int nEvent);
// The operation an event starts from any state (ON_PREVIOUS_STATE: 0, rewritten at each use).
int32_t DefaultOperation(int nEvent);
