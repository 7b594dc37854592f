// What the log header reports about the machine: platform, model, OS version, memory and the
// storage of the program folder. Every query answers something printable, even on a machine
// that hides the information ("unknown", zeros), so the header is always complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

struct OsVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
};

struct MemoryStatus {
    uint64_t totalBytes = 0;
    uint64_t availableBytes = 0;  // what programs can still get without swapping
    uint32_t loadPercent = 0;     // share of the total in use
};

struct StorageStatus {
    uint64_t totalBytes = 0;
    uint64_t freeBytes = 0;
    uint64_t availableBytes = 0;  // free bytes an unprivileged caller may use
};

class SystemInfo {
public:
    // The kernel's name, for example "Linux".
    static std::string PlatformType();
    // The machine's product name (DMI, else the device-tree model), else "unknown".
    static std::string Model();
    // As Model, reading the given files (for tests and unusual machines).
    static std::string Model(const std::filesystem::path& dmiProductName, const std::filesystem::path& deviceTreeModel);

    // From the kernel release: "6.1.0-13-amd64" is 6.1 build 0.
    static OsVersion GetOsVersion();
    static OsVersion ParseKernelRelease(std::string_view release);

    // From /proc/meminfo (MemTotal, MemAvailable), falling back to sysinfo().
    static MemoryStatus GetMemoryStatus();
    // Parses /proc/meminfo text; false when MemTotal is missing.
    static bool ParseMemInfo(std::string_view text, MemoryStatus& status);

    // The file system holding the folder; zeros (and false) when it cannot be queried.
    static bool GetStorageStatus(const std::filesystem::path& folder, StorageStatus& status);
};

}  // namespace platform
