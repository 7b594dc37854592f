#include "app/platform/InstanceChannel.h"

#include "app/platform/Log.h"
#include "app/platform/NamedEvent.h"
#include "app/platform/Paths.h"
#include "app/platform/TickCount.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxRequestLine = 64;
constexpr size_t kMaxClients = 16;
// A client that connects and says nothing must not hold a slot for long.
constexpr uint32_t kClientTimeoutMs = 2000;
// The instance sets an event and answers at once; this covers a loaded machine.
constexpr uint32_t kSignalTimeoutMs = 5000;
constexpr int kListenBacklog = 8;

uint64_t HashOf(const std::string& text)
{
    // FNV-1a: stable across runs and builds, which std::hash does not promise.
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

bool FitsSocketAddress(const fs::path& path)
{
    return path.native().size() < sizeof(sockaddr_un{}.sun_path);
}

bool MakeAddress(const fs::path& path, sockaddr_un& address)
{
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (!FitsSocketAddress(path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.native().size() + 1);
    return true;
}

fs::path LockPathOf(const fs::path& socketPath) { return fs::path(socketPath.string() + ".lock"); }

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool SendAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Connects to the running instance; -1 when none listens there.
int ConnectToInstance(const fs::path& path)
{
    sockaddr_un address;
    if (!MakeAddress(path, address)) {
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

enum class ReadOutcome { Data, Closed, TimedOut, Failed };

// Waits until the descriptor has data or is closed, up to the deadline; reads what is there.
ReadOutcome ReadUntil(int fd, uint32_t start, uint32_t timeoutMs, std::string& received)
{
    for (;;) {
        uint32_t elapsed = TicksSince(start);
        if (elapsed >= timeoutMs) {
            return ReadOutcome::TimedOut;
        }
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(timeoutMs - elapsed, 0x7FFFFFFF)));
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadOutcome::Failed;
        }
        if (rc == 0) {
            continue;  // the deadline check above ends the wait
        }
        char buffer[128];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            received.append(buffer, static_cast<size_t>(n));
            return ReadOutcome::Data;
        }
        if (n == 0 || errno == ECONNRESET) {
            return ReadOutcome::Closed;
        }
        if (errno != EINTR && errno != EAGAIN) {
            return ReadOutcome::Failed;
        }
    }
}

// Sends one request line and reads the one-line answer; true on "ok". When waitForEnd, then
// waits until the instance closes the connection, which it does only as it ends.
bool Exchange(const char* function, const std::string& request, uint32_t timeoutMs, bool waitForEnd)
{
    const uint32_t start = TickCount();
    const fs::path path = InstanceChannel::SocketPath();
    int fd = ConnectToInstance(path);
    if (fd < 0) {
        ORIN_LOG_INFO(function, "No running instance answers at %s", path.c_str());
        return false;
    }
    bool ok = false;
    std::string received;
    if (!SendAll(fd, request + "\n")) {
        ORIN_LOG_ERROR(function, "Cannot send \"%s\" to the running instance: %s", request.c_str(), std::strerror(errno));
    } else {
        ReadOutcome outcome = ReadOutcome::Data;
        while (received.find('\n') == std::string::npos && outcome == ReadOutcome::Data) {
            outcome = ReadUntil(fd, start, timeoutMs, received);
        }
        std::string answer = received.substr(0, received.find('\n'));
        if (answer != "ok") {
            ORIN_LOG_ERROR(function, "The running instance did not accept \"%s\" (%s)", request.c_str(),
                           outcome == ReadOutcome::TimedOut ? "no answer in time"
                           : answer.empty()                 ? "connection closed"
                                                            : answer.c_str());
        } else if (!waitForEnd) {
            ok = true;
        } else {
            received.clear();
            while ((outcome = ReadUntil(fd, start, timeoutMs, received)) == ReadOutcome::Data) {
                received.clear();  // nothing more is expected; keep waiting for the end
            }
            ok = outcome == ReadOutcome::Closed;
            if (!ok) {
                ORIN_LOG_ERROR(function, "The running instance had not ended after %u ms",
                               static_cast<unsigned>(timeoutMs));
            }
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace

InstanceChannel::InstanceChannel() { ORIN_TRACE("InstanceChannel::InstanceChannel"); }

InstanceChannel::~InstanceChannel()
{
    ORIN_TRACE("InstanceChannel::~InstanceChannel");
    Close();
}

fs::path InstanceChannel::SocketPath()
{
    ORIN_TRACE("InstanceChannel::SocketPath");
    const fs::path folder = Paths::ProgramFolder();
    char name[64];
    std::snprintf(name, sizeof name, "orin-kx20-%016llx.sock",
                  static_cast<unsigned long long>(HashOf(folder.string())));

    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime != nullptr && *runtime != '\0' && fs::is_directory(runtime, ec)) {
        fs::path candidate = fs::path(runtime) / name;
        if (FitsSocketAddress(candidate)) {
            return candidate;
        }
    }
    fs::path inFolder = folder / "instance.sock";
    if (FitsSocketAddress(inFolder)) {
        return inFolder;
    }
    // A program folder too deep for a socket address: fall back to the temp folder, with the
    // user in the name so users do not meet each other's instances.
    char shortName[96];
    std::snprintf(shortName, sizeof shortName, "orin-kx20-%u-%016llx.sock", static_cast<unsigned>(::geteuid()),
                  static_cast<unsigned long long>(HashOf(folder.string())));
    return fs::temp_directory_path(ec) / shortName;
}

bool InstanceChannel::Acquire()
{
    ORIN_TRACE("InstanceChannel::Acquire");
    if (IsAcquired()) {
        return true;
    }
    m_socketPath = SocketPath();
    const fs::path lockPath = LockPathOf(m_socketPath);

    int lockFd = -1;
    // The lock file is removed by its owner at Close; a lock taken on a file that has just been
    // removed (or replaced) guards nothing, so try again on the file now at that path.
    for (int attempt = 0; attempt < 5 && lockFd < 0; ++attempt) {
        lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd < 0) {
            ORIN_LOG_ERROR("InstanceChannel::Acquire", "Cannot open %s: %s", lockPath.c_str(), std::strerror(errno));
            return false;
        }
        int rc;
        do {
            rc = ::flock(lockFd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            if (errno == EWOULDBLOCK) {
                ORIN_LOG_INFO("InstanceChannel::Acquire", "Orin KX-20 Mutex is held by a running instance");
            } else {
                ORIN_LOG_ERROR("InstanceChannel::Acquire", "Cannot lock %s: %s", lockPath.c_str(), std::strerror(errno));
            }
            ::close(lockFd);
            return false;
        }
        struct stat held {};
        struct stat atPath {};
        if (::fstat(lockFd, &held) != 0 || ::stat(lockPath.c_str(), &atPath) != 0 || held.st_ino != atPath.st_ino ||
            held.st_dev != atPath.st_dev) {
            CloseFd(lockFd);
        }
    }
    if (lockFd < 0) {
        ORIN_LOG_ERROR("InstanceChannel::Acquire", "Cannot hold on to %s", lockPath.c_str());
        return false;
    }

    // With the mutex ours, a socket file still there was left by an instance that died.
    std::error_code ec;
    if (fs::exists(fs::symlink_status(m_socketPath, ec))) {
        int probe = ConnectToInstance(m_socketPath);
        if (probe >= 0) {
            ::close(probe);
            ::close(lockFd);
            ORIN_LOG_ERROR("InstanceChannel::Acquire", "Another program answers at %s without holding the mutex",
                           m_socketPath.c_str());
            return false;
        }
        ::unlink(m_socketPath.c_str());
        ORIN_LOG_WARNING("InstanceChannel::Acquire", "Took over %s left by an instance that ended abnormally",
                         m_socketPath.c_str());
    }

    sockaddr_un address;
    MakeAddress(m_socketPath, address);
    int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int wake[2] = {-1, -1};
    bool ok = listenFd >= 0 && ::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    // The folder is private already (or the file inherits a umask); this makes the socket
    // private on any folder.
    ok = ok && ::chmod(m_socketPath.c_str(), 0600) == 0;
    ok = ok && ::listen(listenFd, kListenBacklog) == 0;
    ok = ok && ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0;
    if (!ok) {
        ORIN_LOG_ERROR("InstanceChannel::Acquire", "Cannot listen at %s: %s", m_socketPath.c_str(), std::strerror(errno));
        if (listenFd >= 0) {
            ::close(listenFd);
            ::unlink(m_socketPath.c_str());
        }
        CloseFd(wake[0]);
        CloseFd(wake[1]);
        ::close(lockFd);
        return false;
    }

    m_lockFd = lockFd;
    m_listenFd = listenFd;
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    m_listener = std::thread(&InstanceChannel::ListenerThread, this);
    ORIN_LOG_INFO("InstanceChannel::Acquire", "Running instance, listening at %s", m_socketPath.c_str());
    return true;
}

void InstanceChannel::SetExitHandler(std::function<void()> handler)
{
    ORIN_TRACE("InstanceChannel::SetExitHandler");
    std::lock_guard lock(m_mutex);
    m_exitHandler = std::move(handler);
}

void InstanceChannel::Close()
{
    ORIN_TRACE("InstanceChannel::Close");
    if (m_listener.joinable()) {
        if (m_listener.get_id() == std::this_thread::get_id()) {
            // Joining itself would hang; the exit handler must only post a message.
            ORIN_LOG_ERROR("InstanceChannel::Close", "Called from the exit handler; the channel stays open");
            return;
        }
        char b = 'x';
        while (::write(m_wakeWrite, &b, 1) < 0 && errno == EINTR) {
        }
        m_listener.join();
    }
    if (m_listenFd >= 0) {
        CloseFd(m_listenFd);
        ::unlink(m_socketPath.c_str());
    }
    CloseFd(m_wakeRead);
    CloseFd(m_wakeWrite);
    // Release the mutex before answering the waiters: a requester that starts the program anew
    // right after its wait must find the mutex free. The lock file goes while still locked, so
    // nobody can lock it in between (Acquire checks that its file is still in place).
    if (m_lockFd >= 0) {
        ::unlink(LockPathOf(m_socketPath).c_str());
        CloseFd(m_lockFd);
    }
    std::vector<int> waiters;
    {
        std::lock_guard lock(m_mutex);
        waiters.swap(m_exitWaiters);
    }
    for (int fd : waiters) {
        ::close(fd);
    }
}

bool InstanceChannel::Signal(InstanceRequest request)
{
    ORIN_TRACE("InstanceChannel::Signal");
    return Exchange("InstanceChannel::Signal", request == InstanceRequest::Suspend ? "suspend" : "wakeup",
                    kSignalTimeoutMs, false);
}

bool InstanceChannel::RequestExit(uint32_t timeoutMs)
{
    ORIN_TRACE("InstanceChannel::RequestExit");
    return Exchange("InstanceChannel::RequestExit", "exit", timeoutMs, true);
}

void InstanceChannel::ListenerThread()
{
    ORIN_TRACE("InstanceChannel::ListenerThread");
    std::vector<Client> clients;
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({m_wakeRead, POLLIN, 0});
        fds.push_back({m_listenFd, POLLIN, 0});
        int timeout = -1;
        for (const Client& c : clients) {
            fds.push_back({c.fd, POLLIN, 0});
            uint32_t age = TicksSince(c.acceptedAt);
            int left = age >= kClientTimeoutMs ? 0 : static_cast<int>(kClientTimeoutMs - age);
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        int rc = ::poll(fds.data(), fds.size(), timeout);
        if (rc < 0 && errno != EINTR) {
            ORIN_LOG_ERROR("InstanceChannel::ListenerThread", "poll failed: %s", std::strerror(errno));
            break;
        }
        if (rc > 0 && (fds[0].revents & POLLIN) != 0) {
            break;  // Close
        }
        // Serve the clients polled above before accepting new ones (indices match fds[2...]).
        std::vector<Client> remaining;
        for (size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[i];
            bool keep = true;
            if (rc > 0 && fds[i + 2].revents != 0) {
                keep = ServeClient(c);
            } else if (TicksSince(c.acceptedAt) >= kClientTimeoutMs) {
                ORIN_LOG_WARNING("InstanceChannel::ListenerThread", "Dropped a connection that sent no request");
                ::close(c.fd);
                keep = false;
            }
            if (keep) {
                remaining.push_back(std::move(c));
            }
        }
        clients.swap(remaining);
        if (rc > 0 && (fds[1].revents & POLLIN) != 0) {
            AcceptClients(clients);
        }
    }
    for (Client& c : clients) {
        ::close(c.fd);
    }
}

void InstanceChannel::AcceptClients(std::vector<Client>& clients)
{
    ORIN_TRACE("InstanceChannel::AcceptClients");
    for (;;) {
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                ORIN_LOG_ERROR("InstanceChannel::AcceptClients", "accept failed: %s", std::strerror(errno));
            }
            return;
        }
        ucred peer{};
        socklen_t length = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
            ORIN_LOG_WARNING("InstanceChannel::AcceptClients", "Refused a request from another user");
            ::close(fd);
            continue;
        }
        if (clients.size() >= kMaxClients) {
            ORIN_LOG_WARNING("InstanceChannel::AcceptClients", "Too many pending requests; one refused");
            ::close(fd);
            continue;
        }
        clients.push_back(Client{fd, {}, TickCount()});
    }
}

bool InstanceChannel::ServeClient(Client& client)
{
    ORIN_TRACE("InstanceChannel::ServeClient");
    char buffer[128];
    ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
        return true;
    }
    if (n <= 0) {
        ::close(client.fd);
        return false;
    }
    client.buffer.append(buffer, static_cast<size_t>(n));
    size_t newline = client.buffer.find('\n');
    if (newline == std::string::npos) {
        if (client.buffer.size() > kMaxRequestLine) {
            ORIN_LOG_WARNING("InstanceChannel::ServeClient", "Dropped a connection sending an overlong request");
            ::close(client.fd);
            return false;
        }
        return true;
    }
    std::string line = client.buffer.substr(0, newline);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (!HandleRequest(client.fd, line)) {
        ::close(client.fd);
    }
    return false;
}

bool InstanceChannel::HandleRequest(int fd, const std::string& line)
{
    ORIN_TRACE("InstanceChannel::HandleRequest");
    if (line == "suspend" || line == "wakeup") {
        const char* name = line == "suspend" ? kSuspendEventName : kWakeupEventName;
        OpenNamedEvent(name, false, false)->Set();
        ORIN_LOG_INFO("InstanceChannel::HandleRequest", "Another start of the program set %s", name);
        SendAll(fd, "ok\n");
        return false;
    }
    if (line == "exit") {
        std::function<void()> handler;
        {
            std::lock_guard lock(m_mutex);
            handler = m_exitHandler;
        }
        if (!handler) {
            ORIN_LOG_WARNING("InstanceChannel::HandleRequest", "Exit requested before the program can exit; refused");
            SendAll(fd, "error\n");
            return false;
        }
        ORIN_LOG_INFO("InstanceChannel::HandleRequest", "Exit requested by another process");
        SendAll(fd, "ok\n");
        {
            std::lock_guard lock(m_mutex);
            m_exitWaiters.push_back(fd);
        }
        handler();
        return true;
    }
    std::string shown = line.substr(0, kMaxRequestLine);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            c = '?';
        }
    }
    ORIN_LOG_WARNING("InstanceChannel::HandleRequest", "Unknown request \"%s\" refused", shown.c_str());
    SendAll(fd, "error\n");
    return false;
}

}  // namespace platform
