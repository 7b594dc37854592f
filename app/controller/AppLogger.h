// The program's one log file: header, one line per call, cut to its newest half at its limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

class CAppLogger {
public:
    static constexpr const char* kBuild = "052.96";
    static constexpr uint32_t kDefaultLimitBytes = 2u * 1024u * 1024u;

    // Opens (recreates) the file, writes the header, then reads Level and Limit from root\Log.
    CAppLogger(const std::filesystem::path& path, bool timeColumn, bool tickColumn);
    ~CAppLogger();
    CAppLogger(const CAppLogger&) = delete;
    CAppLogger& operator=(const CAppLogger&) = delete;

    // True when the whole line was written or the level is filtered out.
    bool Log(int level, const char* file, int line, const char* function, const char* message);

    // Re-reads Level and Limit (the constructor does it once).
    void ReadSettings();

    int Level() const { return m_iLevel.load(); }
    uint32_t LimitBytes() const { return m_uLimit.load(); }
    const std::filesystem::path& Path() const { return m_path; }

    // The process-wide log function: forwards to the instance installed with Install.
    static bool LogFunction(int level, const char* file, int line, const char* function, const char* message);
    // Makes this logger the target of the process-wide log function (nullptr uninstalls).
    static void Install(CAppLogger* logger);

private:
    bool Open();
    void WriteHeader();
    bool WriteAll(const char* data, size_t size);
    bool CutToNewestHalf();

    std::filesystem::path m_path;
    int m_hFile = -1;
    std::atomic<int> m_iLevel{1};
    std::atomic<uint32_t> m_uLimit{kDefaultLimitBytes};
    bool m_bTimeColumn;
    bool m_bTickColumn;
    uint64_t m_uSize = 0;
    std::mutex m_lock;
};
