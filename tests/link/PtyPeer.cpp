#include "tests/link/PtyPeer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace linktest {

namespace {

int g_counter = 0;

}  // namespace

std::string TestPayload(size_t length)
{
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}

PtyPeer::PtyPeer()
{
    m_link = (std::filesystem::temp_directory_path() /
              ("orin-pty-" + std::to_string(getpid()) + "-" + std::to_string(++g_counter)))
                 .string();
    OpenMaster();
}

PtyPeer::~PtyPeer()
{
    Stop();
    Unplug();
    std::error_code ec;
    std::filesystem::remove(m_link, ec);
}

void PtyPeer::OpenMaster()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        throw std::runtime_error("posix_openpt failed");
    }
    // Raw from the start: an echoing line discipline would hand our own bytes back to us.
    struct termios settings {};
    tcgetattr(master, &settings);
    cfmakeraw(&settings);
    tcsetattr(master, TCSANOW, &settings);
    const char* slave = ptsname(master);
    std::error_code ec;
    std::filesystem::remove(m_link, ec);
    std::filesystem::create_symlink(slave, m_link);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::lock_guard<std::mutex> lock(m_writeMutex);
    m_master = master;
}

void PtyPeer::Write(std::string_view bytes)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    size_t done = 0;
    while (done < bytes.size() && m_master.load() >= 0) {
        const ssize_t n = ::write(m_master.load(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            struct pollfd pfd {m_master.load(), POLLOUT, 0};
            ::poll(&pfd, 1, 50);
        } else {
            break;
        }
    }
}

void PtyPeer::WriteAndDrain(std::string_view bytes)
{
    Write(bytes);
    for (int i = 0; i < 1000 && m_master >= 0; ++i) {
        int queued = 0;
        if (ioctl(m_master.load(), TIOCOUTQ, &queued) != 0 || queued == 0) {
            return;
        }
        usleep(2000);
    }
}

void PtyPeer::PumpOnce(int waitMs)
{
    const int master = m_master.load();
    if (master < 0) {
        usleep(static_cast<useconds_t>(waitMs) * 1000);
        return;
    }
    struct pollfd pfd {master, POLLIN, 0};
    if (::poll(&pfd, 1, waitMs) <= 0 || (pfd.revents & POLLIN) == 0) {
        if ((pfd.revents & (POLLHUP | POLLERR)) != 0) {
            usleep(static_cast<useconds_t>(waitMs) * 1000);
        }
        return;
    }
    char chunk[4096];
    const ssize_t n = ::read(master, chunk, sizeof chunk);
    if (n <= 0) {
        return;
    }
    std::vector<std::string> complete;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.append(chunk, static_cast<size_t>(n));
        m_pending.append(chunk, static_cast<size_t>(n));
        size_t end = 0;
        while ((end = m_pending.find("/>")) != std::string::npos) {
            std::string command = m_pending.substr(0, end + 2);
            m_pending.erase(0, end + 2);
            m_commands.push_back(command);
            complete.push_back(std::move(command));
        }
    }
    m_changed.notify_all();
    if (m_script) {
        for (const std::string& command : complete) {
            m_script(*this, command);
        }
    }
}

void PtyPeer::Run()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bStop) {
                return;
            }
        }
        PumpOnce(20);
    }
}

void PtyPeer::Start(Script script)
{
    m_script = std::move(script);
    m_thread = std::thread(&PtyPeer::Run, this);
}

void PtyPeer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::vector<std::string> PtyPeer::Commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

bool PtyPeer::WaitForCommands(size_t n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_commands.size() >= n; });
}

std::string PtyPeer::Received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::vector<std::string> PtyPeer::ReadCommands(size_t count, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_commands.size() >= count) {
                return m_commands;
            }
        }
        PumpOnce(20);
    }
    return Commands();
}

void PtyPeer::Unplug()
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    const int master = m_master.exchange(-1);
    if (master >= 0) {
        ::close(master);
    }
}

void PtyPeer::Plug()
{
    OpenMaster();
}

}  // namespace linktest
