#include "app/storage/VolumeMeter.h"

#include <system_error>

#include "app/platform/Log.h"

namespace storage {

bool CFileSystemVolumeMeter::Measure(const std::filesystem::path& path, uint64_t& totalBytes,
                                     uint64_t& freeBytes)
{
    ORIN_TRACE("CFileSystemVolumeMeter::Measure");
    std::error_code ec;
    const std::filesystem::space_info info = std::filesystem::space(path, ec);
    if (ec) {
        ORIN_LOG_ERROR("CFileSystemVolumeMeter::Measure", "Can't measure the volume of %s: %s",
                       path.c_str(), ec.message().c_str());
        return false;
    }
    totalBytes = info.capacity;
    freeBytes = info.available;
    return true;
}

IVolumeMeter& DefaultVolumeMeter()
{
    static CFileSystemVolumeMeter s_meter;
    return s_meter;
}

}  // namespace storage
