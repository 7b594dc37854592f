// The simulated camera's shoot setups, clock and disk identity as the handheld changes and reads
// them: a ShootSetup sent back replaces (or adds) the setup of its name and becomes the default,
// DefaultShootSetup must name a setup the camera has, CurrentTime must be a whole time stamp.
// The disk's identity is kept in the served folder itself, so another disk (or "newdisk" on
// stdin, a card swapped in the camera) reports another DiskID at the next sync.
#pragma once

#include "tools/camsim/SimCamera.h"

#include <filesystem>
#include <string>

namespace camsim {

class SimSetupHandlers {
public:
    // Host file in the disk folder holding the disk's identity; not part of the camera's disk.
    static constexpr const char* kIdentityFile = ".orin-disk-id";

    explicit SimSetupHandlers(SimCamera& camera) : m_camera(camera) {}
    // Wraps SetCameraParam and RequestSync and adds the stdin command "newdisk".
    void Register();

    // The identity of the disk in root, created (random) on first use; empty when it cannot be
    // stored.
    static std::string DiskIdOf(const std::filesystem::path& root);
    static std::string NewDiskId(const std::filesystem::path& root);

    // Setups separated by ";": the one whose SetupName equals that of `setup` (ignoring case) is
    // replaced, else `setup` is appended. False when `setup` has no SetupName.
    static bool MergeSetup(std::string& setups, const std::string& setup, std::string& name);
    static bool HasSetup(const std::string& setups, const std::string& name);
    static bool IsTimeStamp(const std::string& text);

private:
    void OnSetCameraParam(const SimMessage& request, SimAnswer& answer);
    void OnRequestSync(const SimMessage& request, SimAnswer& answer);

    SimCamera& m_camera;
    SimHandler m_setCameraParam;
    SimHandler m_requestSync;
};

}  // namespace camsim
