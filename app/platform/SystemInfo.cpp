#include "app/platform/SystemInfo.h"

#include "app/platform/Log.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

namespace platform {

namespace {

// Reads a small text file whole; empty when it cannot be read.
std::string ReadSmallFile(const std::filesystem::path& file, size_t limit)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text;
    char c;
    while (text.size() < limit && in.get(c)) {
        text.push_back(c);
    }
    return text;
}

// Device-tree strings end in NUL; DMI strings in a line break. Control bytes never belong in the
// log line.
std::string CleanName(std::string text)
{
    size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Reads the leading decimal number of s at pos; false when there is none.
bool ReadNumber(std::string_view s, size_t& pos, uint64_t& value)
{
    size_t start = pos;
    uint64_t v = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        if (v > (UINT64_MAX - 9) / 10) {
            return false;
        }
        v = v * 10 + static_cast<uint64_t>(s[pos] - '0');
        ++pos;
    }
    value = v;
    return pos > start;
}

int ClampToInt(uint64_t v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(v); }

uint32_t LoadOf(uint64_t total, uint64_t available)
{
    if (total == 0 || available >= total) {
        return 0;
    }
    return static_cast<uint32_t>(((total - available) * 100 + total / 2) / total);
}

// Product names are short; the bound keeps an odd pseudo-file from flooding the log header.
constexpr size_t kNameLimit = 256;
constexpr size_t kMemInfoLimit = 64 * 1024;

}  // namespace

std::string SystemInfo::PlatformType()
{
    ORIN_TRACE("SystemInfo::PlatformType");
    utsname names{};
    if (::uname(&names) != 0) {
        ORIN_LOG_ERROR("SystemInfo::PlatformType", "uname failed: %s", std::strerror(errno));
        return "unknown";
    }
    return names.sysname;
}

std::string SystemInfo::Model()
{
    ORIN_TRACE("SystemInfo::Model");
    return Model("/sys/class/dmi/id/product_name", "/proc/device-tree/model");
}

std::string SystemInfo::Model(const std::filesystem::path& dmiProductName, const std::filesystem::path& deviceTreeModel)
{
    ORIN_TRACE("SystemInfo::Model");
    std::string model = CleanName(ReadSmallFile(dmiProductName, kNameLimit));
    if (model.empty()) {
        model = CleanName(ReadSmallFile(deviceTreeModel, kNameLimit));
    }
    return model.empty() ? std::string("unknown") : model;
}

OsVersion SystemInfo::ParseKernelRelease(std::string_view release)
{
    ORIN_TRACE("SystemInfo::ParseKernelRelease");
    OsVersion version;
    uint64_t parts[3] = {0, 0, 0};
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (!ReadNumber(release, pos, parts[i])) {
            break;
        }
        if (pos >= release.size() || release[pos] != '.') {
            break;
        }
        ++pos;
    }
    version.major = ClampToInt(parts[0]);
    version.minor = ClampToInt(parts[1]);
    version.build = ClampToInt(parts[2]);
    return version;
}

OsVersion SystemInfo::GetOsVersion()
{
    ORIN_TRACE("SystemInfo::GetOsVersion");
    utsname names{};
    if (::uname(&names) != 0) {
        ORIN_LOG_ERROR("SystemInfo::GetOsVersion", "uname failed: %s", std::strerror(errno));
        return {};
    }
    return ParseKernelRelease(names.release);
}

bool SystemInfo::ParseMemInfo(std::string_view text, MemoryStatus& status)
{
    ORIN_TRACE("SystemInfo::ParseMemInfo");
    bool haveTotal = false;
    bool haveAvailable = false;
    uint64_t total = 0;
    uint64_t available = 0;
    uint64_t free = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view key = line.substr(0, colon);
        size_t p = colon + 1;
        while (p < line.size() && line[p] == ' ') {
            ++p;
        }
        uint64_t kilobytes = 0;
        if (!ReadNumber(line, p, kilobytes) || kilobytes > UINT64_MAX / 1024) {
            continue;
        }
        uint64_t bytes = kilobytes * 1024;
        if (key == "MemTotal") {
            total = bytes;
            haveTotal = true;
        } else if (key == "MemAvailable") {
            available = bytes;
            haveAvailable = true;
        } else if (key == "MemFree") {
            free = bytes;
        }
    }
    if (!haveTotal) {
        return false;
    }
    status.totalBytes = total;
    // Kernels before 3.14 have no MemAvailable; free memory is the closest they offer.
    status.availableBytes = haveAvailable ? available : free;
    if (status.availableBytes > total) {
        status.availableBytes = total;
    }
    status.loadPercent = LoadOf(total, status.availableBytes);
    return true;
}

MemoryStatus SystemInfo::GetMemoryStatus()
{
    ORIN_TRACE("SystemInfo::GetMemoryStatus");
    MemoryStatus status;
    if (ParseMemInfo(ReadSmallFile("/proc/meminfo", kMemInfoLimit), status)) {
        return status;
    }
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) {
        ORIN_LOG_ERROR("SystemInfo::GetMemoryStatus", "sysinfo failed: %s", std::strerror(errno));
        return status;
    }
    status.totalBytes = static_cast<uint64_t>(info.totalram) * info.mem_unit;
    status.availableBytes = static_cast<uint64_t>(info.freeram) * info.mem_unit;
    status.loadPercent = LoadOf(status.totalBytes, status.availableBytes);
    return status;
}

bool SystemInfo::GetStorageStatus(const std::filesystem::path& folder, StorageStatus& status)
{
    ORIN_TRACE("SystemInfo::GetStorageStatus");
    status = StorageStatus();
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) {
        ORIN_LOG_ERROR("SystemInfo::GetStorageStatus", "statvfs %s failed: %s", folder.c_str(), std::strerror(errno));
        return false;
    }
    const uint64_t unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    status.totalBytes = static_cast<uint64_t>(fs.f_blocks) * unit;
    status.freeBytes = static_cast<uint64_t>(fs.f_bfree) * unit;
    status.availableBytes = static_cast<uint64_t>(fs.f_bavail) * unit;
    return true;
}

}  // namespace platform
