// The dispatcher's picture operations carried out by the storage model on the current picture.
#pragma once

#include "app/controller/PictureOperations.h"

class CControlApplication;

class CCachePictureOperations : public IPictureOperations {
public:
    explicit CCachePictureOperations(CControlApplication& controller) : m_controller(controller) {}

    bool SetAlarm(bool whitest, bool on) override;
    bool Zoom(int x, int y) override;
    bool Unzoom() override;
    bool PickNeutral(int x, int y, std::u16string& text) override;
    bool GetRelativeExposure(int x, int y, std::u16string& text) override;
    bool ReloadCurrentPicture(uint8_t displayFlag) override;
    bool SetFraming(int index) override;
    bool ReadDiskAndBatteryStatus(DiskAndBatteryStatus& status) override;
    void ReleaseOpenPicture() override;

private:
    CControlApplication& m_controller;
};
