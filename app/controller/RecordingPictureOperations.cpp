#include "app/controller/RecordingPictureOperations.h"

#include "app/platform/Log.h"

bool CRecordingPictureOperations::Record(const std::string& call)
{
    ORIN_LOG_INFO("CRecordingPictureOperations", "%s: no storage model attached", call.c_str());
    std::lock_guard lock(m_mutex);
    m_calls.push_back(call);
    return m_bResult;
}

bool CRecordingPictureOperations::SetAlarm(bool whitest, bool on)
{
    return Record(std::string("SetAlarm ") + (whitest ? "whitest " : "darkest ") + (on ? "on" : "off"));
}

bool CRecordingPictureOperations::Zoom(int x, int y)
{
    return Record("Zoom " + std::to_string(x) + "," + std::to_string(y));
}

bool CRecordingPictureOperations::Unzoom() { return Record("Unzoom"); }

bool CRecordingPictureOperations::PickNeutral(int x, int y, std::u16string& text)
{
    text = u"0";
    return Record("PickNeutral " + std::to_string(x) + "," + std::to_string(y));
}

bool CRecordingPictureOperations::GetRelativeExposure(int x, int y, std::u16string& text)
{
    text = u"0.0";
    return Record("GetRelativeExposure " + std::to_string(x) + "," + std::to_string(y));
}

bool CRecordingPictureOperations::ReloadCurrentPicture(uint8_t displayFlag)
{
    return Record("ReloadCurrentPicture " + std::to_string(displayFlag));
}

bool CRecordingPictureOperations::SetFraming(int index) { return Record("SetFraming " + std::to_string(index)); }

bool CRecordingPictureOperations::ReadDiskAndBatteryStatus(DiskAndBatteryStatus&)
{
    return Record("ReadDiskAndBatteryStatus");
}

void CRecordingPictureOperations::ReleaseOpenPicture() { Record("ReleaseOpenPicture"); }

std::vector<std::string> CRecordingPictureOperations::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}
