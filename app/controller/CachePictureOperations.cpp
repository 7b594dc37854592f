#include "app/controller/CachePictureOperations.h"

#include "app/controller/ControlApplication.h"
#include "app/platform/Log.h"
#include "app/storage/Cache.h"

bool CCachePictureOperations::SetAlarm(bool whitest, bool on)
{
    ORIN_TRACE("CCachePictureOperations::SetAlarm");
    CCache* cache = m_controller.StorageModel();
    return cache != nullptr && cache->SetAlarm(on, whitest);
}

bool CCachePictureOperations::Zoom(int x, int y)
{
    ORIN_TRACE("CCachePictureOperations::Zoom");
    CCache* cache = m_controller.StorageModel();
    return cache != nullptr && cache->SetZoom(true, x, y);
}

bool CCachePictureOperations::Unzoom()
{
    ORIN_TRACE("CCachePictureOperations::Unzoom");
    CCache* cache = m_controller.StorageModel();
    return cache != nullptr && cache->SetZoom(false, 0, 0);
}

bool CCachePictureOperations::PickNeutral(int x, int y, std::u16string& text)
{
    ORIN_TRACE("CCachePictureOperations::PickNeutral");
    CCache* cache = m_controller.StorageModel();
    return cache != nullptr && cache->SetLightAndAttr(x, y, text);
}

bool CCachePictureOperations::GetRelativeExposure(int x, int y, std::u16string& text)
{
    ORIN_TRACE("CCachePictureOperations::GetRelativeExposure");
    CCache* cache = m_controller.StorageModel();
    int32_t location = -1;
    return cache != nullptr && cache->SetFstop(x, y, location, text);
}

bool CCachePictureOperations::ReloadCurrentPicture(uint8_t displayFlag)
{
    ORIN_TRACE("CCachePictureOperations::ReloadCurrentPicture");
    CCache* cache = m_controller.StorageModel();
    if (cache == nullptr) {
        return false;
    }
    const std::u16string current = cache->GetCurrentFileName();
    return !current.empty() && cache->CachePicture(current, displayFlag != 0);
}

bool CCachePictureOperations::SetFraming(int index)
{
    ORIN_TRACE("CCachePictureOperations::SetFraming");
    CCache* cache = m_controller.StorageModel();
    const auto& framings = m_controller.ParameterLists().m_saFraming;
    if (cache == nullptr || !framings.IsValidIndex(index)) {
        ORIN_LOG_ERROR("CCachePictureOperations::SetFraming", "No framing %d", index);
        return false;
    }
    const FramingEntry& framing = framings[index];
    return cache->SetFraming(framing.name, framing.location);
}

bool CCachePictureOperations::ReadDiskAndBatteryStatus(DiskAndBatteryStatus& status)
{
    ORIN_TRACE("CCachePictureOperations::ReadDiskAndBatteryStatus");
    CCache* cache = m_controller.StorageModel();
    if (cache == nullptr) {
        return false;
    }
    int32_t percent = -1;
    int32_t left = -1;
    const bool battery = cache->GetBatteryPercent(percent);
    const bool exposures = cache->GetExposuresLeft(left);
    if (battery && percent != -1) {
        status.batteryPercent = percent;
    }
    if (exposures && left != -1) {
        status.exposuresLeft = left;
    }
    return battery && exposures;
}

void CCachePictureOperations::ReleaseOpenPicture() { ORIN_TRACE("CCachePictureOperations::ReleaseOpenPicture"); }
