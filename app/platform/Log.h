// The process-wide log function and the tracing helpers every method uses.
//
// Nothing below the controller knows the logger object: code logs through one function pointer
// that the logger installs and that is tested for null before every call, so logging before the
// logger exists or after it is gone is simply dropped.
#pragma once

#include <cstdarg>

namespace platform {

enum LogLevel : int { LOG_ERROR = 1, LOG_WARNING = 2, LOG_INFO = 3 };

// level, source file (may be null), line, function name (may be null), message (may be null).
using LogFunction = bool (*)(int level, const char* file, int line, const char* function,
                             const char* message);

void SetLogFunction(LogFunction fn);
LogFunction GetLogFunction();

// Formats into a 1024-character buffer (always terminated) and hands the line to the log function.
void LogFormat(int level, const char* file, int line, const char* function, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void LogFormatV(int level, const char* file, int line, const char* function, const char* format,
                va_list args) __attribute__((format(printf, 5, 0)));

// Strips the folder part of a source path, as the log shows file names without folders.
const char* BaseName(const char* path);

// "- enter" on construction (with file and line), "- leave" on destruction (no file, line 0).
class TraceScope {
public:
    TraceScope(const char* file, int line, const char* function);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    const char* m_pszFunction;
};

}  // namespace platform

#define ORIN_CONCAT_INNER(a, b) a##b
#define ORIN_CONCAT(a, b) ORIN_CONCAT_INNER(a, b)

// One line per method: ORIN_TRACE("CClass::Method");
#define ORIN_TRACE(function) \
    ::platform::TraceScope ORIN_CONCAT(orinTrace_, __LINE__)(__FILE__, __LINE__, function)

#define ORIN_LOG_ERROR(function, ...) \
    ::platform::LogFormat(::platform::LOG_ERROR, __FILE__, __LINE__, function, __VA_ARGS__)
#define ORIN_LOG_WARNING(function, ...) \
    ::platform::LogFormat(::platform::LOG_WARNING, __FILE__, __LINE__, function, __VA_ARGS__)
#define ORIN_LOG_INFO(function, ...) \
    ::platform::LogFormat(::platform::LOG_INFO, __FILE__, __LINE__, function, __VA_ARGS__)
