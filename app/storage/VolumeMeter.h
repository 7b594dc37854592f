// How full the volume that holds the local picture cache is. Behind an interface so that the
// free-space policy can be exercised against a volume that fills and empties on cue.
#pragma once

#include <cstdint>
#include <filesystem>

namespace storage {

class IVolumeMeter {
public:
    virtual ~IVolumeMeter() = default;
    // Size of the volume holding path and the bytes free to this user, both in bytes.
    virtual bool Measure(const std::filesystem::path& path, uint64_t& totalBytes, uint64_t& freeBytes) = 0;
};

// The real volume, through the file system's space query.
class CFileSystemVolumeMeter final : public IVolumeMeter {
public:
    bool Measure(const std::filesystem::path& path, uint64_t& totalBytes, uint64_t& freeBytes) override;
};

// The process-wide meter used when the caller gives none.
IVolumeMeter& DefaultVolumeMeter();

}  // namespace storage
