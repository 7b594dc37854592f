#include "tests/support/TestSupport.h"

#include "app/platform/Log.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

namespace {
std::atomic<LogCapture*> g_capture{nullptr};
}

TempHome::TempHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
    if (const char* previous = std::getenv("ORIN_HOME")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    setenv("ORIN_HOME", m_path.c_str(), 1);
}

TempHome::~TempHome()
{
    if (m_hadPrevious) {
        setenv("ORIN_HOME", m_previous.c_str(), 1);
    } else {
        unsetenv("ORIN_HOME");
    }
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

LogCapture::LogCapture()
{
    g_capture.store(this);
    platform::SetLogFunction(&LogCapture::Hook);
}

LogCapture::~LogCapture()
{
    platform::SetLogFunction(nullptr);
    g_capture.store(nullptr);
}

bool LogCapture::Hook(int level, const char* file, int line, const char* function, const char* message)
{
    LogCapture* self = g_capture.load();
    if (self == nullptr) {
        return false;
    }
    std::lock_guard lock(self->m_mutex);
    self->m_lines.push_back({level, file ? file : "", line, function ? function : "", message ? message : ""});
    return true;
}

std::vector<LogLine> LogCapture::Lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool LogCapture::Contains(const std::string& messagePart) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& l : m_lines) {
        if (l.message.find(messagePart) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool LogCapture::Contains(int level, const std::string& messagePart) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& l : m_lines) {
        if (l.level == level && l.message.find(messagePart) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void LogCapture::Clear()
{
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

std::filesystem::path BuildDir()
{
    const char* dir = std::getenv("ORIN_BUILD_DIR");
    return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::current_path();
}

}  // namespace testsupport
