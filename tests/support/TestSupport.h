// Helpers shared by the tests: a private program folder per test and a captured log.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// Creates a fresh temporary folder, points ORIN_HOME at it for the test's life, removes it after.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::string m_previous;
    bool m_hadPrevious = false;
};

struct LogLine {
    int level;
    std::string file;
    int line;
    std::string function;
    std::string message;
};

// Installs itself as the process-wide log function while it lives and keeps every line.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> Lines() const;
    bool Contains(const std::string& messagePart) const;
    bool Contains(int level, const std::string& messagePart) const;
    void Clear();

private:
    static bool Hook(int level, const char* file, int line, const char* function, const char* message);
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};

// The folder with the build's executables (orin-camsim, orinctl, ...), from ORIN_BUILD_DIR.
std::filesystem::path BuildDir();

}  // namespace testsupport
