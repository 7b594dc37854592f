// The camera's disk commands on the simulator: the "dir" listing with time stamps, move, copy,
// del, rmdir, mkdir, recovery and qformat, each failing with the storage error code a real disk
// gives (not found, already exists, directory not empty, ...).
#pragma once

#include <string>

#include "tools/camsim/SimCamera.h"

namespace camsim {

class SimStorageCommands {
public:
    explicit SimStorageCommands(SimCamera& camera) : m_camera(camera) {}
    // Adds the disk commands to the camera's FileCommand table; call before Start.
    void Register();

    // A host file time as a camera time stamp ("%4d:%02d:%02d:%02d:%02d:%02d", UTC, as the
    // handheld keeps it unchanged).
    static std::string TimeStamp(std::filesystem::file_time_type time);

private:
    void OnDir(const SimMessage& request, SimAnswer& answer);
    void OnMoveOrCopy(const SimMessage& request, SimAnswer& answer, bool move);
    void OnDel(const SimMessage& request, SimAnswer& answer);
    void OnRmdir(const SimMessage& request, SimAnswer& answer);
    void OnMkdir(const SimMessage& request, SimAnswer& answer);
    void OnRecovery(const SimMessage& request, SimAnswer& answer);
    void OnQformat(const SimMessage& request, SimAnswer& answer);
    // The host folder of a partition name ("./Part1/"); false when it is none.
    bool Partition(const std::string& name, std::filesystem::path& host) const;

    SimCamera& m_camera;
};

}  // namespace camsim
