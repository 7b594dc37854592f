#include "tests/camsim/SimTestClient.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace camsimtest {

SimTestClient::SimTestClient(const std::string& path)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0) {
        termios tio{};
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_fd, TCSANOW, &tio);
    }
}

SimTestClient::~SimTestClient()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool SimTestClient::Write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd fd{m_fd, POLLOUT, 0};
            ::poll(&fd, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::string SimTestClient::Read(size_t count, int quietMs)
{
    std::string out;
    while (out.size() < count) {
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, quietMs) <= 0) {
            break;
        }
        char buffer[8192];
        size_t want = std::min(sizeof buffer, count - out.size());
        ssize_t n = ::read(m_fd, buffer, want);
        if (n <= 0) {
            if (n < 0 && errno == EAGAIN) {
                continue;
            }
            break;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

std::string SimTestClient::ReadMessage(int quietMs)
{
    std::string out;
    while (out.empty() || out.back() != '>') {
        std::string one = Read(1, quietMs);
        if (one.empty()) {
            break;
        }
        out += one;
    }
    return out;
}

std::string SimTestClient::ReadAll(int quietMs)
{
    std::string out;
    while (true) {
        std::string more = Read(65536, quietMs);
        if (more.empty()) {
            return out;
        }
        out += more;
    }
}

bool SimTestClient::WaitHangup(int ms)
{
    pollfd fd{m_fd, POLLIN, 0};
    if (::poll(&fd, 1, ms) <= 0) {
        return false;
    }
    if (fd.revents & (POLLHUP | POLLERR)) {
        return true;
    }
    char byte;
    ssize_t n = ::read(m_fd, &byte, 1);
    return n == 0 || (n < 0 && errno == EIO);
}

}  // namespace camsimtest
