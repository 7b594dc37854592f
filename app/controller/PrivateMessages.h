// The program's private window messages between the controller, CHidden and the views.
#pragma once

#include <cstdint>

enum PrivateMessage : uint32_t {
    WM_DISPLAY_DISK_AND_BATTERY_STATUS = 1226,
    WM_PICTURE_TAKEN = 1233,
    WM_PROCESS_PICTURE_TAKEN = 1234,
    WM_OFFLINE = 1235,
    WM_PROCESS_OFFLINE = 1236,
    WM_SYNC = 1237,
    WM_PROCESS_SYNC = 1238,
    WM_UPDATE_IMAGE = 1241,
    WM_EXIT_APPLICATION = 1242,
    WM_UPDATE_STATUS_ICON = 1243,
    WM_PROCESS_UPDATE_STATUS_ICON = 1244,
    WM_MARK_UPDATE_FAILED = 1246,
    WM_PROCESS_MARK_UPDATE_FAILED = 1247,
    WM_CLOSE_VISUAL_OBJECTS = 1248,
    WM_SUSPENDEXIT = 1250,
};
