#include "tools/camsim/SimSettings.h"

#include "app/platform/Log.h"

#include <cstdlib>
#include <strings.h>

namespace camsim {

namespace {

const char* const kSetups =
    "SetupName=Studio,ShootingFolder=./Part1/Folder/,ISO=100,ImageQuality=Best,Framing=Full,"
    "Toning=None,Light=Flash,SharpTable=Normal,InputProfile=Standard,Prefix=S,ICCFlag=1,"
    "OutputProfile=sRGB,CameraType=Studio;"
    "SetupName=Outdoor,ShootingFolder=./Part1/Studio/,ISO=200,ImageQuality=Good,Framing=6x4.5,"
    "Toning=Warm,Light=Daylight,SharpTable=Low,InputProfile=Portrait,Prefix=O,ICCFlag=0,"
    "OutputProfile=AdobeRGB,CameraType=Generic;"
    "SetupName=Tethered,ShootingFolder=./Part1/Tethered,ISO=400,ImageQuality=Fast,Framing=Full,"
    "Toning=None,Light=Tungsten,SharpTable=Normal,InputProfile=Product,OutputProfile=sRGB,CameraType=Studio";

}  // namespace

SimSettings::SimSettings()
{
    ORIN_TRACE("SimSettings::SimSettings");
    m_sync = {
        {"dcb_version", "2.4.1"},
        {"DiskID", "KX20-SIM-0001"},
        {"battery_percent", "87"},
        {"battery_time", "240"},
        {"exp_left", "812"},
        {"max_exp", "1000"},
        {"ISO", "50;100;200;400;800"},
        {"ImageQuality", "Best;Good;Fast"},
        {"Color", "color;BW"},
        {"DefaultColor", "color"},
        {"Framing", "Full,0,0,5440,4080;6x7,260,0,5180,4080;6x4.5,0,0,5440,4080"},
        {"Toning", "None;Warm;Cold;Sepia"},
        {"Light", "Daylight;Tungsten;Flash;Fluorescent"},
        {"Orientation", "Portrait CCW;Portrait CW;Landscape;Auto"},
        {"DefaultOrientation", "Landscape"},
        {"SharpTable", "Off;Low;Normal;High"},
        {"InputProfile", "Standard;Portrait;Product"},
        {"OutputProfile", "sRGB;AdobeRGB"},
        {"CameraType", "Generic;Studio"},
        {"Disk_threshold_list", "10;5;1"},
        {"Histogram_scale", "0;255"},
        {"PictureDimensions", "5440,4080"},
        {"ShootSetup", kSetups},
        {"DefaultShootSetup", "Studio"},
    };
}

SimSettings::Pairs SimSettings::SyncAttributes() const
{
    ORIN_TRACE("SimSettings::SyncAttributes");
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sync;
}

std::optional<std::string> SimSettings::Get(const std::string& name) const
{
    ORIN_TRACE("SimSettings::Get");
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Pairs* list : {&m_sync, &m_other}) {
        for (const auto& [key, value] : *list) {
            if (strcasecmp(key.c_str(), name.c_str()) == 0) {
                return value;
            }
        }
    }
    return std::nullopt;
}

void SimSettings::Set(const std::string& name, const std::string& value)
{
    ORIN_TRACE("SimSettings::Set");
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Pairs* list : {&m_sync, &m_other}) {
        for (auto& [key, old] : *list) {
            if (strcasecmp(key.c_str(), name.c_str()) == 0) {
                old = value;
                return;
            }
        }
    }
    m_other.emplace_back(name, value);
}

std::string SimSettings::ShootingFolder() const
{
    ORIN_TRACE("SimSettings::ShootingFolder");
    std::string setups = Get("ShootSetup").value_or("");
    std::string wanted = Get("DefaultShootSetup").value_or("");
    std::string fallback;
    size_t start = 0;
    while (start < setups.size()) {
        size_t end = setups.find(';', start);
        std::string setup = setups.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string name;
        std::string folder;
        size_t fieldStart = 0;
        while (fieldStart < setup.size()) {
            size_t fieldEnd = setup.find(',', fieldStart);
            std::string field = setup.substr(fieldStart, fieldEnd == std::string::npos ? std::string::npos : fieldEnd - fieldStart);
            size_t eq = field.find('=');
            if (eq != std::string::npos) {
                if (field.compare(0, eq, "SetupName") == 0) {
                    name = field.substr(eq + 1);
                } else if (field.compare(0, eq, "ShootingFolder") == 0) {
                    folder = field.substr(eq + 1);
                }
            }
            if (fieldEnd == std::string::npos) {
                break;
            }
            fieldStart = fieldEnd + 1;
        }
        if (!folder.empty() && folder.back() != '/') {
            folder += '/';
        }
        if (fallback.empty()) {
            fallback = folder;
        }
        if (strcasecmp(name.c_str(), wanted.c_str()) == 0 && !folder.empty()) {
            return folder;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return fallback.empty() ? std::string("./Orin DM A/") : fallback;
}

int SimSettings::TakeExposure()
{
    ORIN_TRACE("SimSettings::TakeExposure");
    int left = std::atoi(Get("exp_left").value_or("0").c_str());
    if (left > 0) {
        --left;
    }
    Set("exp_left", std::to_string(left));
    return left;
}

int SimSettings::DrainBattery()
{
    ORIN_TRACE("SimSettings::DrainBattery");
    int percent = std::atoi(Get("battery_percent").value_or("100").c_str());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (++m_iShotsOnBattery % 5 != 0 || percent <= 1) {
            return percent;
        }
    }
    --percent;
    Set("battery_percent", std::to_string(percent));
    return percent;
}

}  // namespace camsim
