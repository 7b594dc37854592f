#include "app/platform/Log.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {
std::atomic<LogFunction> g_pfnLog{nullptr};
constexpr size_t kMessageBufferSize = 1024;
}  // namespace

void SetLogFunction(LogFunction fn) { g_pfnLog.store(fn); }

LogFunction GetLogFunction() { return g_pfnLog.load(); }

const char* BaseName(const char* path)
{
    if (path == nullptr) {
        return nullptr;
    }
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    const char* cut = slash > backslash ? slash : backslash;
    return cut != nullptr ? cut + 1 : path;
}

void LogFormatV(int level, const char* file, int line, const char* function, const char* format,
                va_list args)
{
    LogFunction fn = g_pfnLog.load();
    if (fn == nullptr) {
        return;
    }
    char buffer[kMessageBufferSize];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    fn(level, BaseName(file), line, function, buffer);
}

void LogFormat(int level, const char* file, int line, const char* function, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    LogFormatV(level, file, line, function, format, args);
    va_end(args);
}

TraceScope::TraceScope(const char* file, int line, const char* function) : m_pszFunction(function)
{
    LogFunction fn = g_pfnLog.load();
    if (fn != nullptr) {
        fn(LOG_INFO, BaseName(file), line, m_pszFunction, "- enter");
    }
}

TraceScope::~TraceScope()
{
    LogFunction fn = g_pfnLog.load();
    if (fn != nullptr) {
        fn(LOG_INFO, nullptr, 0, m_pszFunction, "- leave");
    }
}

}  // namespace platform
