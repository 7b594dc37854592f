#include "tests/integration/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace integration {

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
{
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    m_out = out[0];
    m_err = err[0];
    m_pid = pid;
    m_reader = std::thread(&ChildProcess::Collect, this);
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_bReaped) {
        kill(m_pid, SIGKILL);
        Wait(5000);
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_out >= 0) {
        close(m_out);
    }
    if (m_err >= 0) {
        close(m_err);
    }
}

void ChildProcess::Collect()
{
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outOpen ? m_out : -1, POLLIN, 0}, {errOpen ? m_err : -1, POLLIN, 0}};
        if (poll(fds, 2, 200) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
                continue;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            (i == 0 ? m_stdout : m_stderr).append(buffer, static_cast<size_t>(n));
        }
    }
}

int ChildProcess::Wait(int ms)
{
    if (m_pid <= 0) {
        return -1;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_bReaped) {
        pid_t done = waitpid(m_pid, &m_status, WNOHANG);
        if (done == m_pid) {
            m_bReaped = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
    return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

void ChildProcess::Terminate()
{
    if (m_pid > 0 && !m_bReaped) {
        kill(m_pid, SIGTERM);
    }
}

std::string ChildProcess::Stdout() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stdout;
}

std::string ChildProcess::Stderr() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stderr;
}

bool ChildProcess::WaitFor(const std::string& text, int ms, bool err) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if ((err ? m_stderr : m_stdout).find(text) != std::string::npos) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ChildProcess::WaitForStdout(const std::string& text, int ms) const
{
    return WaitFor(text, ms, false);
}

bool ChildProcess::WaitForStderr(const std::string& text, int ms) const
{
    return WaitFor(text, ms, true);
}

}  // namespace integration
