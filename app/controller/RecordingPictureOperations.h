// Stand-in for the storage model's picture operations: logs and records each request.
#pragma once

#include "app/controller/PictureOperations.h"

#include <mutex>
#include <string>
#include <vector>

class CRecordingPictureOperations : public IPictureOperations {
public:
    bool SetAlarm(bool whitest, bool on) override;
    bool Zoom(int x, int y) override;
    bool Unzoom() override;
    bool PickNeutral(int x, int y, std::u16string& text) override;
    bool GetRelativeExposure(int x, int y, std::u16string& text) override;
    bool ReloadCurrentPicture(uint8_t displayFlag) override;
    bool SetFraming(int index) override;
    bool ReadDiskAndBatteryStatus(DiskAndBatteryStatus& status) override;
    void ReleaseOpenPicture() override;

    void SetResult(bool result) { m_bResult = result; }
    std::vector<std::string> Calls() const;

private:
    bool Record(const std::string& call);
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    bool m_bResult = true;
};
