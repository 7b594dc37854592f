// Small helpers shared by the storage tests: files with given bytes and times, and a volume that
// fills as the cache grows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "app/storage/DiskCacheOp.h"
#include "app/storage/VolumeMeter.h"

namespace storagetest {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// A volume of totalBytes whose use is baseBytes plus every byte below the cache root, each
// counted scale times (so a few small files can stand for a large volume).
class FillingVolume : public storage::IVolumeMeter {
public:
    FillingVolume(uint64_t totalBytes, uint64_t baseBytes, uint64_t scale = 1)
        : m_total(totalBytes), m_base(baseBytes), m_scale(scale)
    {
    }
    bool Measure(const fs::path& /*path*/, uint64_t& totalBytes, uint64_t& freeBytes) override
    {
        ++m_measurements;
        uint64_t used = m_base;
        std::error_code ec;
        const fs::path root = storage::DiskCacheOp::CacheRoot();
        if (fs::exists(root, ec)) {
            for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
                if (it->is_regular_file(ec)) {
                    used += it->file_size(ec) * m_scale;
                }
            }
        }
        totalBytes = m_total;
        freeBytes = used >= m_total ? 0 : m_total - used;
        return !m_fail;
    }
    int m_measurements = 0;
    bool m_fail = false;

private:
    uint64_t m_total;
    uint64_t m_base;
    uint64_t m_scale;
};

}  // namespace storagetest
