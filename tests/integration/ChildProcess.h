// A program run by a test: its stdout and stderr are collected while it runs, so the test can
// wait for a line and look at everything once it has ended.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace integration {

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    // A child still running is killed (by its own pid) and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    // The exit code, or -1 when it has not ended within ms (or died by a signal).
    int Wait(int ms);
    std::string Stdout() const;
    std::string Stderr() const;
    // True once stdout (or stderr) holds the text, within ms.
    bool WaitForStdout(const std::string& text, int ms) const;
    bool WaitForStderr(const std::string& text, int ms) const;
    void Terminate();

private:
    void Collect();
    bool WaitFor(const std::string& text, int ms, bool err) const;

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    int m_status = -1;
    bool m_bReaped = false;
    mutable std::mutex m_mutex;
    std::string m_stdout;
    std::string m_stderr;
    std::thread m_reader;
};

}  // namespace integration
