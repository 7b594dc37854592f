#include "app/controller/AppLogger.h"

#include "app/platform/Log.h"
#include "app/platform/Registry.h"
#include "app/platform/SystemInfo.h"
#include "app/platform/TickCount.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<CAppLogger*> g_pLogger{nullptr};

struct UtcNow {
    std::tm tm{};
    unsigned millis = 0;
};

UtcNow NowUtc()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    UtcNow result;
    gmtime_r(&seconds, &result.tm);
    result.millis = static_cast<unsigned>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return result;
}

unsigned ThreadId() { return static_cast<unsigned>(syscall(SYS_gettid)); }

const char* LevelTag(int level)
{
    switch (level) {
    case 1:
        return "  ERROR:  ";
    case 2:
        return "WARNING:  ";
    case 3:
        return "   INFO:  ";
    default:
        return "";
    }
}

void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendFormat(std::string& out, const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0) {
        out.append(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
    }
}

}  // namespace

CAppLogger::CAppLogger(const std::filesystem::path& path, bool timeColumn, bool tickColumn)
    : m_path(path), m_bTimeColumn(timeColumn), m_bTickColumn(tickColumn)
{
    if (!m_path.empty() && Open()) {
        WriteHeader();
    }
    ReadSettings();
}

CAppLogger::~CAppLogger()
{
    if (g_pLogger.load() == this) {
        Install(nullptr);
    }
    std::lock_guard lock(m_lock);
    if (m_hFile < 0) {
        return;
    }
    const UtcNow now = NowUtc();
    std::string line;
    AppendFormat(line, "%02u:%02u:%02u:%03u  %lu Log file closed\r\n", static_cast<unsigned>(now.tm.tm_hour),
                 static_cast<unsigned>(now.tm.tm_min), static_cast<unsigned>(now.tm.tm_sec), now.millis,
                 static_cast<unsigned long>(platform::TickCount()));
    WriteAll(line.data(), line.size());
    ::close(m_hFile);
    m_hFile = -1;
}

bool CAppLogger::Open()
{
    std::error_code ec;
    if (m_path.has_parent_path()) {
        std::filesystem::create_directories(m_path.parent_path(), ec);
    }
    m_hFile = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    m_uSize = 0;
    return m_hFile >= 0;
}

void CAppLogger::ReadSettings()
{
    const std::string key = std::string(platform::kOrinRootKey) + "\\Log";
    platform::Registry registry = platform::DefaultRegistry();
    m_iLevel = static_cast<int>(registry.ReadDword(platform::RegistryRoot::LocalMachine, key, "Level").value_or(1));
    const uint64_t limitKb = registry.ReadDword(platform::RegistryRoot::LocalMachine, key, "Limit").value_or(512);
    m_uLimit = static_cast<uint32_t>(std::min<uint64_t>(limitKb * 1024u, 0xFFFFFFFFu));
}

void CAppLogger::WriteHeader()
{
    const UtcNow now = NowUtc();
    const platform::OsVersion os = platform::SystemInfo::GetOsVersion();
    const platform::MemoryStatus memory = platform::SystemInfo::GetMemoryStatus();
    platform::StorageStatus storage;
    platform::SystemInfo::GetStorageStatus(m_path.has_parent_path() ? m_path.parent_path() : ".", storage);
    std::string header;
    AppendFormat(header, "Build: %s\r\n", kBuild);
    AppendFormat(header, "Date: %04d/%02d/%02d Time: %02d:%02d:%02d\r\n", now.tm.tm_year + 1900, now.tm.tm_mon + 1,
                 now.tm.tm_mday, now.tm.tm_hour, now.tm.tm_min, now.tm.tm_sec);
    AppendFormat(header, "Platform: %s\r\n", platform::SystemInfo::PlatformType().c_str());
    AppendFormat(header, "Model: %s\r\n", platform::SystemInfo::Model().c_str());
    AppendFormat(header, "OS Version: %d.%d Build %d\r\n", os.major, os.minor, os.build);
    // The handheld printed 32-bit figures; today's machines need the full width.
    AppendFormat(header, "Memory: total %llu free %llu load %u%%\r\n",
                 static_cast<unsigned long long>(memory.totalBytes),
                 static_cast<unsigned long long>(memory.availableBytes), memory.loadPercent);
    AppendFormat(header, "Storage: total %llu free %llu available %llu\r\n\r\n",
                 static_cast<unsigned long long>(storage.totalBytes), static_cast<unsigned long long>(storage.freeBytes),
                 static_cast<unsigned long long>(storage.availableBytes));
    AppendFormat(header, "Ticks: %08lu\r\n\r\n", static_cast<unsigned long>(platform::TickCount()));
    if (m_bTimeColumn) {
        AppendFormat(header, "%-14s", "Time");
    }
    if (m_bTickColumn) {
        AppendFormat(header, "%-10s", "Ticks");
    }
    AppendFormat(header, "%-10s%10s\r\n", "Thread ID", "Level");
    header.append(80, '-');
    header.append("\r\n");
    std::lock_guard lock(m_lock);
    WriteAll(header.data(), header.size());
}

bool CAppLogger::WriteAll(const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(m_hFile, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        m_uSize += static_cast<uint64_t>(n);
    }
    return true;
}

bool CAppLogger::CutToNewestHalf()
{
    struct stat st {};
    if (::fstat(m_hFile, &st) != 0) {
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const uint64_t keep = m_uLimit.load() / 2;
    std::vector<char> tail(static_cast<size_t>(std::min(keep, size)));
    const off_t from = static_cast<off_t>(size - tail.size());
    size_t got = 0;
    while (got < tail.size()) {
        ssize_t n = ::pread(m_hFile, tail.data() + got, tail.size() - got, from + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<size_t>(n);
    }
    size_t put = 0;
    while (put < tail.size()) {
        ssize_t n = ::pwrite(m_hFile, tail.data() + put, tail.size() - put, static_cast<off_t>(put));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        put += static_cast<size_t>(n);
    }
    if (::ftruncate(m_hFile, static_cast<off_t>(tail.size())) != 0 ||
        ::lseek(m_hFile, static_cast<off_t>(tail.size()), SEEK_SET) < 0) {
        return false;
    }
    m_uSize = tail.size();
    return true;
}

bool CAppLogger::Log(int level, const char* file, int line, const char* function, const char* message)
{
    if (level > m_iLevel.load()) {
        return true;
    }
    std::lock_guard lock(m_lock);
    if (m_hFile < 0) {
        return false;
    }
    if (m_uSize > m_uLimit.load() && !CutToNewestHalf()) {
        return false;
    }
    std::string text;
    text.reserve((function ? std::strlen(function) : 0) + (message ? std::strlen(message) : 0) + 1024);
    if (m_bTimeColumn) {
        const UtcNow now = NowUtc();
        AppendFormat(text, "%02u:%02u:%02u:%03u  ", static_cast<unsigned>(now.tm.tm_hour),
                     static_cast<unsigned>(now.tm.tm_min), static_cast<unsigned>(now.tm.tm_sec), now.millis);
    }
    if (m_bTickColumn) {
        AppendFormat(text, "%08lu  ", static_cast<unsigned long>(platform::TickCount()));
    }
    AppendFormat(text, "0x%08X  ", ThreadId());
    text.append(LevelTag(level));
    if (file != nullptr) {
        AppendFormat(text, "%s(%d)  ", file, line);
    }
    if (function != nullptr) {
        text.append(function);
    }
    if (message != nullptr) {
        text.append("  ");
        text.append(message);
    }
    text.append("\r\n");
    return WriteAll(text.data(), text.size());
}

bool CAppLogger::LogFunction(int level, const char* file, int line, const char* function, const char* message)
{
    CAppLogger* logger = g_pLogger.load();
    return logger != nullptr && logger->Log(level, file, line, function, message);
}

void CAppLogger::Install(CAppLogger* logger)
{
    g_pLogger.store(logger);
    platform::SetLogFunction(logger != nullptr ? &CAppLogger::LogFunction : nullptr);
}
