#include "tools/camsim/SimLink.h"

#include "app/platform/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace camsim {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A far end that takes nothing for this long is treated as gone rather than waited for.
constexpr auto kStallLimit = std::chrono::seconds(10);
// Pacing granularity: about 2 ms of line time per write.
constexpr double kChunkSeconds = 0.002;
constexpr auto kCatchUpLimit = std::chrono::milliseconds(20);

bool MakeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

speed_t SpeedOf(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
    }
}

}  // namespace

SimLink::SimLink()
{
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SimLink::~SimLink()
{
    Close();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}

bool SimLink::CreatePty()
{
    ORIN_TRACE("SimLink::CreatePty");
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        ORIN_LOG_ERROR("SimLink::CreatePty", "posix_openpt failed: %s", std::strerror(errno));
        return false;
    }
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        ORIN_LOG_ERROR("SimLink::CreatePty", "pseudo-terminal setup failed: %s", std::strerror(errno));
        ::close(master);
        return false;
    }
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0 || !MakeRaw(slave) || !MakeRaw(master)) {
        ORIN_LOG_ERROR("SimLink::CreatePty", "cannot configure %s: %s", name, std::strerror(errno));
        if (slave >= 0) {
            ::close(slave);
        }
        ::close(master);
        return false;
    }
    // Point the stable path at the new slave in one step, so a client never opens a half-made link.
    std::string temp = m_path + ".new";
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), m_path.c_str()) != 0) {
        ORIN_LOG_ERROR("SimLink::CreatePty", "cannot link %s to %s: %s", m_path.c_str(), name,
                       std::strerror(errno));
        ::unlink(temp.c_str());
        ::close(slave);
        ::close(master);
        return false;
    }
    m_master = master;
    m_heldSlave = slave;
    m_slaveName = name;
    m_lineFree = Clock::now();
    m_bPlugged.store(true);
    return true;
}

void SimLink::ClosePty()
{
    ORIN_TRACE("SimLink::ClosePty");
    // Remove the path first: from now on a client's reopen fails instead of finding a stale pty
    // number that the system may hand to someone else.
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
    }
    if (m_heldSlave >= 0) {
        ::close(m_heldSlave);
        m_heldSlave = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_slaveName.clear();
}

bool SimLink::OpenPty(const fs::path& linkPath)
{
    ORIN_TRACE("SimLink::OpenPty");
    Close();
    m_bPty = true;
    if (linkPath.empty()) {
        std::string pattern = (fs::temp_directory_path() / "orin-camsim-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ORIN_LOG_ERROR("SimLink::OpenPty", "mkdtemp failed: %s", std::strerror(errno));
            return false;
        }
        m_linkFolder = pattern;
        m_bOwnLinkFolder = true;
        m_path = (m_linkFolder / "tty").string();
    } else {
        m_path = linkPath.string();
    }
    return CreatePty();
}

bool SimLink::OpenDevice(const std::string& device, int baud)
{
    ORIN_TRACE("SimLink::OpenDevice");
    Close();
    m_bPty = false;
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ORIN_LOG_ERROR("SimLink::OpenDevice", "cannot open %s: %s", device.c_str(), std::strerror(errno));
        return false;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t speed = SpeedOf(baud);
    if (speed != B0) {
        cfsetspeed(&tio, speed);
    }
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        ORIN_LOG_ERROR("SimLink::OpenDevice", "cannot configure %s: %s", device.c_str(), std::strerror(errno));
        ::close(fd);
        return false;
    }
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);  // not every device has modem lines
    m_master = fd;
    m_path = device;
    m_lineFree = Clock::now();
    m_bPlugged.store(true);
    return true;
}

void SimLink::Close()
{
    ORIN_TRACE("SimLink::Close");
    if (m_bPty) {
        ClosePty();
    } else if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_bPlugged.store(false);
    if (m_bOwnLinkFolder) {
        std::error_code ec;
        fs::remove_all(m_linkFolder, ec);
        m_bOwnLinkFolder = false;
    }
}

void SimLink::Unplug()
{
    ORIN_TRACE("SimLink::Unplug");
    if (!m_bPlugged.load()) {
        return;
    }
    m_bPlugged.store(false);
    if (m_bPty) {
        ClosePty();
    } else if (m_master >= 0) {
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(m_master, TIOCMBIC, &lines);
        tcflush(m_master, TCIOFLUSH);
    }
}

bool SimLink::Plug()
{
    ORIN_TRACE("SimLink::Plug");
    if (m_bPlugged.load()) {
        return true;
    }
    if (m_bPty) {
        return CreatePty();
    }
    if (m_master < 0) {
        return false;
    }
    tcflush(m_master, TCIOFLUSH);
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(m_master, TIOCMBIS, &lines);
    m_lineFree = Clock::now();
    m_bPlugged.store(true);
    return true;
}

void SimLink::Wake()
{
    ORIN_TRACE("SimLink::Wake");
    uint64_t one = 1;
    ssize_t ignored = ::write(m_wakeFd, &one, sizeof one);
    (void)ignored;
}

void SimLink::RequestAbort()
{
    ORIN_TRACE("SimLink::RequestAbort");
    m_bAbort.store(true);
    Wake();
}

void SimLink::ClearAbort()
{
    ORIN_TRACE("SimLink::ClearAbort");
    m_bAbort.store(false);
}

void SimLink::DrainWake()
{
    ORIN_TRACE("SimLink::DrainWake");
    uint64_t value = 0;
    ssize_t ignored = ::read(m_wakeFd, &value, sizeof value);
    (void)ignored;
}

SimLink::Status SimLink::Read(uint8_t* buffer, size_t capacity, size_t& got, int timeoutMs)
{
    ORIN_TRACE("SimLink::Read");
    got = 0;
    if (m_bAbort.load()) {
        return Status::Interrupted;
    }
    if (!m_bPlugged.load() || m_master < 0) {
        pollfd wake{m_wakeFd, POLLIN, 0};
        if (::poll(&wake, 1, timeoutMs) > 0) {
            DrainWake();
            return m_bAbort.load() ? Status::Interrupted : Status::Woken;
        }
        return Status::Gone;
    }
    pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    int ready = ::poll(fds, 2, timeoutMs);
    if (ready < 0) {
        return errno == EINTR ? Status::Timeout : Status::Gone;
    }
    if (fds[1].revents & POLLIN) {
        DrainWake();
        if (m_bAbort.load()) {
            return Status::Interrupted;
        }
        if (!(fds[0].revents & POLLIN)) {
            return Status::Woken;
        }
    }
    if (ready == 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        return Status::Timeout;
    }
    ssize_t n = ::read(m_master, buffer, capacity);
    if (n > 0) {
        got = static_cast<size_t>(n);
        return Status::Ok;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return Status::Timeout;
    }
    if (m_bPty) {
        // No slave open at all cannot happen while we hold one; treat it as a quiet line.
        return Status::Timeout;
    }
    ORIN_LOG_ERROR("SimLink::Read", "device read failed: %s", std::strerror(errno));
    // A device that has gone stays readable-with-error: pace the caller's retries instead of
    // letting it spin.
    pollfd wake{m_wakeFd, POLLIN, 0};
    if (::poll(&wake, 1, std::min(timeoutMs, 100)) > 0) {
        DrainWake();
    }
    return Status::Gone;
}

void SimLink::DiscardInput()
{
    ORIN_TRACE("SimLink::DiscardInput");
    if (m_master < 0) {
        return;
    }
    uint8_t scratch[4096];
    while (::read(m_master, scratch, sizeof scratch) > 0) {
    }
}

SimLink::Status SimLink::SleepUntil(Clock::time_point when)
{
    ORIN_TRACE("SimLink::SleepUntil");
    // Short sleeps only (a pacing step), so an abort is noticed within a few milliseconds.
    while (true) {
        if (m_bAbort.load()) {
            return Status::Interrupted;
        }
        auto now = Clock::now();
        if (now >= when) {
            return Status::Ok;
        }
        auto step = std::min<Clock::duration>(when - now, std::chrono::milliseconds(5));
        timespec ts{};
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(step).count();
        ts.tv_sec = static_cast<time_t>(ns / 1000000000);
        ts.tv_nsec = static_cast<long>(ns % 1000000000);
        nanosleep(&ts, nullptr);
    }
}

SimLink::Status SimLink::Pause(int ms)
{
    ORIN_TRACE("SimLink::Pause");
    return SleepUntil(Clock::now() + std::chrono::milliseconds(ms));
}

SimLink::Status SimLink::WriteRaw(const uint8_t* data, size_t size)
{
    ORIN_TRACE("SimLink::WriteRaw");
    size_t done = 0;
    auto lastProgress = Clock::now();
    while (done < size) {
        if (m_bAbort.load()) {
            return Status::Interrupted;
        }
        if (!m_bPlugged.load() || m_master < 0) {
            return Status::Gone;
        }
        ssize_t n = ::write(m_master, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            ORIN_LOG_ERROR("SimLink::WriteRaw", "write failed: %s", std::strerror(errno));
            return Status::Gone;
        }
        if (Clock::now() - lastProgress > kStallLimit) {
            return Status::Timeout;
        }
        pollfd fd{m_master, POLLOUT, 0};
        ::poll(&fd, 1, 20);
    }
    return Status::Ok;
}

SimLink::Status SimLink::Write(const uint8_t* data, size_t size)
{
    ORIN_TRACE("SimLink::Write");
    if (!m_bPlugged.load()) {
        return Status::Gone;
    }
    int baud = m_baud.load();
    if (baud <= 0) {
        return WriteRaw(data, size);
    }
    // Each byte takes 10 bit times on the line; a chunk is handed over when its last byte would
    // have left the wire, so the far end never sees bytes sooner than a real cable delivers them.
    const double bytesPerSecond = baud / 10.0;
    const size_t chunk = std::max<size_t>(1, static_cast<size_t>(bytesPerSecond * kChunkSeconds));
    auto now = Clock::now();
    if (m_lineFree < now) {
        m_lineFree = now;
    }
    for (size_t offset = 0; offset < size;) {
        size_t count = std::min(chunk, size - offset);
        m_lineFree += std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(count) / bytesPerSecond));
        Status status = SleepUntil(m_lineFree);
        if (status != Status::Ok) {
            return status;
        }
        status = WriteRaw(data + offset, count);
        if (status != Status::Ok) {
            return status;
        }
        offset += count;
        // A reader that held us up for a while left the line idle meanwhile; small sleep
        // overshoots are caught up instead, so the average rate stays that of the line.
        now = Clock::now();
        if (now - m_lineFree > kCatchUpLimit) {
            m_lineFree = now;
        }
    }
    return Status::Ok;
}

}  // namespace camsim
