// The storage model's operations on the current picture that the dispatcher runs.
#pragma once

#include <cstdint>
#include <string>

struct DiskAndBatteryStatus {
    int32_t batteryPercent = -1;
    int32_t batteryTime = -1;
    int32_t exposuresLeft = -1;
    int32_t maxExposures = -1;
};

class IPictureOperations {
public:
    virtual ~IPictureOperations() = default;
    virtual bool SetAlarm(bool whitest, bool on) = 0;
    virtual bool Zoom(int x, int y) = 0;
    virtual bool Unzoom() = 0;
    virtual bool PickNeutral(int x, int y, std::u16string& text) = 0;
    virtual bool GetRelativeExposure(int x, int y, std::u16string& text) = 0;
    // Downloads the current picture again into the local cache.
    virtual bool ReloadCurrentPicture(uint8_t displayFlag) = 0;
    virtual bool SetFraming(int index) = 0;
    virtual bool ReadDiskAndBatteryStatus(DiskAndBatteryStatus& status) = 0;
    // Lets go of the picture the views have open.
    virtual void ReleaseOpenPicture() = 0;
};
