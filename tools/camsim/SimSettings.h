// The simulated camera's configuration: the attributes of its Sync answer, in the order it sends
// them (capture parameter choices, defaults, shoot setups, disk identity, battery and exposure
// counts), and the values set by SetCameraParam.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace camsim {

class SimSettings {
public:
    using Pairs = std::vector<std::pair<std::string, std::string>>;

    SimSettings();

    Pairs SyncAttributes() const;
    // A value by name (ignoring case), from the Sync attributes or what was set later.
    std::optional<std::string> Get(const std::string& name) const;
    // Replaces a Sync attribute of that name, or keeps the value apart from the Sync answer.
    void Set(const std::string& name, const std::string& value);

    // The ShootingFolder of the setup named by DefaultShootSetup ("./Part1/Folder/").
    std::string ShootingFolder() const;
    // One exposure fewer left; returns the new count.
    int TakeExposure();
    // Every fifth shot costs a percent of battery (never below 1); returns the new percentage.
    int DrainBattery();

private:
    mutable std::mutex m_mutex;
    Pairs m_sync;
    Pairs m_other;
    int m_iShotsOnBattery = 0;
};

}  // namespace camsim
