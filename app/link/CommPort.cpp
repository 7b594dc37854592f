#include "app/link/CommPort.h"

#include "app/platform/Log.h"
#include "app/platform/Registry.h"
#include "app/platform/TickCount.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace {

const std::string kRootKey = platform::kOrinRootKey;
const std::string kSerialKey = kRootKey + "\\Serial";

// Requested port queue sizes, kept for the log: on Linux the kernel owns the queues.
constexpr uint32_t kInputQueue = 65536;
constexpr uint32_t kOutputQueue = 16384;
// Longest wait for the line to take our bytes before a write is given up.
constexpr uint32_t kWriteTimeoutMs = 2000;
// Longest wait for the output queue to drain when the port closes.
constexpr uint32_t kDrainTimeoutMs = 500;

struct BaudEntry {
    uint32_t baud;
    speed_t speed;
};

const BaudEntry kBaudRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},       {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},     {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedFor(uint32_t baud, speed_t& speed)
{
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

uint32_t ReadSetting(const platform::Registry& registry, const std::string& key, const char* name,
                     uint32_t defaultValue)
{
    const std::optional<uint32_t> value = registry.ReadDword(platform::RegistryRoot::LocalMachine, key, name);
    return value ? *value : defaultValue;
}

}  // namespace

CCommPort::CCommPort(std::string devicePath, uint32_t baudRate)
    : m_strDevicePath(std::move(devicePath))
{
    ORIN_TRACE("CCommPort::CCommPort");
    const platform::Registry registry = platform::DefaultRegistry();
    if (m_strDevicePath.empty()) {
        const std::optional<std::string> device =
            registry.ReadString(platform::RegistryRoot::LocalMachine, kSerialKey, "Device");
        m_strDevicePath = (device && !device->empty()) ? *device : kDefaultDevice;
    }
    speed_t speed = 0;
    if (baudRate == 0) {
        const uint32_t stored = ReadSetting(registry, kRootKey, "Baudrate", kDefaultBaudRate);
        if (!SpeedFor(stored, speed)) {
            ORIN_LOG_WARNING("CCommPort::CCommPort", "Invalid entry found: %s%s\\%s: %d!", kRootKey.c_str(), "",
                             "Baudrate", static_cast<int>(stored));
            baudRate = kDefaultBaudRate;
        } else {
            baudRate = stored;
        }
    }
    m_dwBaudRate = baudRate;

    m_dwReadIntervalTimeout = ReadSetting(registry, kRootKey, "ReadIntervalTimeout", 50);
    ORIN_LOG_INFO("CCommPort::CCommPort", "CCommPort::ReadIntervalTimeout\t\t%d",
                  static_cast<int>(m_dwReadIntervalTimeout));
    m_dwReadTotalTimeoutMultiplier = ReadSetting(registry, kRootKey, "ReadTotalTimeoutMultiplier", 2);
    ORIN_LOG_INFO("CCommPort::CCommPort", "CCommPort::ReadTotalTimeoutMultiplier\t%d",
                  static_cast<int>(m_dwReadTotalTimeoutMultiplier));
    m_dwReadTotalTimeoutConstant = ReadSetting(registry, kRootKey, "ReadTotalTimeoutConstant", 100);
    ORIN_LOG_INFO("CCommPort::CCommPort", "CCommPort::ReadTotalTimeoutConstant\t\t%d",
                  static_cast<int>(m_dwReadTotalTimeoutConstant));
    m_dwReadCommandInternalTimeout = ReadSetting(registry, kRootKey, "ReadCommandInternalTimeout", 0);
    ORIN_LOG_INFO("CCommPort::CCommPort", "CCommPort::ReadCommandInternalTimeout\t%d",
                  static_cast<int>(m_dwReadCommandInternalTimeout));
    m_dwReadCommandSleepTimeout =
        ReadSetting(registry, kRootKey, "ReadCommandSleepTimeout", GetCommandSleepTime());
    ORIN_LOG_INFO("CCommPort::CCommPort", "CCommPort::ReadCommandSleepTimeout\t\t%d",
                  static_cast<int>(m_dwReadCommandSleepTimeout));
    m_receiveBuffer.reserve(kInitialReceiveBuffer);
}

CCommPort::~CCommPort()
{
    ORIN_TRACE("CCommPort::~CCommPort");
    const int fd = m_hPort.load();
    if (fd >= 0) {
        ORIN_LOG_INFO("CCommPort::~CCommPort", "Dropping DTR");
        int bits = TIOCM_DTR;
        (void)ioctl(fd, TIOCMBIC, &bits);
    }
    if (m_bCommPortOpen) {
        ORIN_LOG_INFO("CCommPort::~CCommPort", "Closing connection");
    }
    CloseConnection();
}

bool CCommPort::OpenCommPort(int portNumber)
{
    ORIN_TRACE("CCommPort::OpenCommPort");
    std::unique_lock<std::shared_mutex> handleLock(m_handleLock);
    if (m_hPort.load() >= 0) {
        ::close(m_hPort.exchange(-1));
    }
    const int fd = ::open(m_strDevicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ORIN_LOG_ERROR("CCommPort::OpenCommPort", "Cannot open COM%d: (%s): %s", portNumber,
                       m_strDevicePath.c_str(), std::strerror(errno));
        return false;
    }
    // Keeps other programs (modem probers, terminal programs) off the line while it is ours.
    if (ioctl(fd, TIOCEXCL) != 0) {
        ORIN_LOG_WARNING("CCommPort::OpenCommPort", "TIOCEXCL failed: %s", std::strerror(errno));
    }
    struct termios settings {};
    speed_t speed = B230400;
    if (tcgetattr(fd, &settings) != 0 || !SpeedFor(m_dwBaudRate, speed)) {
        ORIN_LOG_ERROR("CCommPort::OpenCommPort", "Cannot configure %s (baud rate %u): %s",
                       m_strDevicePath.c_str(), m_dwBaudRate, std::strerror(errno));
        ::close(fd);
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        ORIN_LOG_ERROR("CCommPort::OpenCommPort", "SetCommState failed: %s", std::strerror(errno));
        ::close(fd);
        return false;
    }
    // DTR and RTS on, so the camera back sees a terminal that is ready. A line without modem
    // signals (pseudo-terminal, socket) refuses this, and that is fine.
    int modemBits = 0;
    m_bHasModemLines = ioctl(fd, TIOCMGET, &modemBits) == 0;
    if (m_bHasModemLines) {
        int bits = TIOCM_DTR | TIOCM_RTS;
        (void)ioctl(fd, TIOCMBIS, &bits);
    }
    m_bBroken = false;
    m_hPort.store(fd);
    ORIN_LOG_INFO("CCommPort::OpenCommPort", "COM port properties set.");
    ORIN_LOG_INFO("CCommPort::OpenCommPort", "CCommPort::OpenConnection COM port max   input buffer size: %d ",
                  static_cast<int>(kInputQueue));
    ORIN_LOG_INFO("CCommPort::OpenCommPort", "CCommPort::OpenConnection COM port max  output buffer size: %d ",
                  static_cast<int>(kOutputQueue));
    ORIN_LOG_INFO("CCommPort::OpenCommPort", "CCommPort::OpenConnection COM port curr  input buffer size: %d ",
                  static_cast<int>(kInputQueue));
    ORIN_LOG_INFO("CCommPort::OpenCommPort", "CCommPort::OpenConnection COM port cuur output buffer size: %d ",
                  static_cast<int>(kOutputQueue));
    ORIN_LOG_INFO("CCommPort::OpenCommPort", "%d %d %d %d %d", static_cast<int>(m_dwReadIntervalTimeout),
                  static_cast<int>(m_dwReadTotalTimeoutMultiplier),
                  static_cast<int>(m_dwReadTotalTimeoutConstant), 0, 0);
    return true;
}

void CCommPort::CloseHandle()
{
    ORIN_TRACE("CCommPort::CloseHandle");
    std::unique_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.exchange(-1);
    if (fd >= 0) {
        ORIN_LOG_INFO("CCommPort::CloseHandle", "Closing device handle");
        ::close(fd);
    }
}

void CCommPort::MarkBroken(const char* function, const char* what, int error)
{
    ORIN_TRACE("CCommPort::MarkBroken");
    if (!m_bBroken.exchange(true)) {
        ORIN_LOG_WARNING(function, "Far end gone (%s%s%s)", what, error != 0 ? ": " : "",
                         error != 0 ? std::strerror(error) : "");
    }
}

bool CCommPort::OpenConnection()
{
    ORIN_TRACE("CCommPort::OpenConnection");
    // A descriptor that hung up stays dead; only a fresh open sees the line come back.
    if (m_hPort.load() < 0 || m_bBroken) {
        OpenCommPort(1);
    }
    if (m_hPort.load() < 0) {
        return false;
    }
    m_bCommPortOpen = true;
    std::lock_guard<std::mutex> lock(m_bufferMutex);
    m_receiveBuffer.clear();
    m_nBufferStart = 0;
    m_nScanPos = 0;
    return true;
}

bool CCommPort::CloseConnection()
{
    ORIN_TRACE("CCommPort::CloseConnection");
    ORIN_LOG_INFO("CCommPort::CloseConnection", "Closing connection");
    ORIN_LOG_INFO("CCommPort::CloseConnection", "Purge comm port");
    const int fd = m_hPort.load();
    if (m_bCommPortOpen && fd >= 0 && !m_bBroken) {
        // Let what we wrote leave, but never hang on a line nobody reads.
        const uint32_t start = platform::TickCount();
        int queued = 0;
        while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 &&
               platform::TicksSince(start) < kDrainTimeoutMs) {
            platform::SleepMs(5);
        }
    }
    PurgeCommPort();
    CloseHandle();
    m_bCommPortOpen = false;
    return true;
}

bool CCommPort::ReOpenCommPort()
{
    ORIN_TRACE("CCommPort::ReOpenCommPort");
    CloseConnection();
    platform::SleepMs(100);
    if (!OpenCommPort(1)) {
        ORIN_LOG_ERROR("CCommPort::ReOpenCommPort", "OpenCommPort failed");
        return false;
    }
    const bool result = OpenConnection();
    if (!result) {
        ORIN_LOG_ERROR("CCommPort::ReOpenCommPort", "OpenConnection failed");
    }
    return result;
}

bool CCommPort::WriteData(const uint8_t* data, uint32_t size)
{
    ORIN_TRACE("CCommPort::WriteData");
    if (!m_bCommPortOpen || data == nullptr || size == 0) {
        ORIN_LOG_ERROR("CCommPort::WriteData", "CCommPort::WriteData() m_bCommPortOpen: %d",
                       m_bCommPortOpen ? 1 : 0);
        ORIN_LOG_ERROR("CCommPort::WriteData", "CCommPort::WriteData() pbtData: %p",
                       static_cast<const void*>(data));
        ORIN_LOG_ERROR("CCommPort::WriteData", "CCommPort::WriteData() uiDataSize: %d", static_cast<int>(size));
        return false;
    }
    std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.load();
    uint32_t written = 0;
    uint32_t lastProgress = platform::TickCount();
    int error = 0;
    while (written < size && fd >= 0) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n > 0) {
            written += static_cast<uint32_t>(n);
            lastProgress = platform::TickCount();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            error = errno;
            break;
        }
        const uint32_t waited = platform::TicksSince(lastProgress);
        if (waited >= kWriteTimeoutMs) {
            error = ETIMEDOUT;
            break;
        }
        struct pollfd pfd {fd, POLLOUT, 0};
        (void)::poll(&pfd, 1, static_cast<int>(kWriteTimeoutMs - waited));
        if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            error = EIO;
            break;
        }
    }
    if (written == size) {
        return true;
    }
    // A partial command would garble the camera's parser; the caller resynchronises.
    ORIN_LOG_ERROR("CCommPort::WriteData", "CCommPort::WriteData() WriteFile failed %s (%u of %u bytes written)",
                   std::strerror(error != 0 ? error : EIO), written, size);
    if (error == EIO || error == ENXIO) {
        MarkBroken("CCommPort::WriteData", "write", error);
    }
    return false;
}

size_t CCommPort::GetBufferedCount() const
{
    ORIN_TRACE("CCommPort::GetBufferedCount");
    std::lock_guard<std::mutex> lock(m_bufferMutex);
    return m_receiveBuffer.size() - m_nBufferStart;
}

uint32_t CCommPort::PortBytesAvailable()
{
    ORIN_TRACE("CCommPort::PortBytesAvailable");
    std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.load();
    int waiting = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &waiting) != 0) {
        if (fd >= 0) {
            ORIN_LOG_ERROR("CCommPort::GetBytesAvailable", "CCommPort::GetBytesAvailable() ClearCommError failed %s",
                           std::strerror(errno));
        }
        return 0;
    }
    return waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
}

uint32_t CCommPort::GetBytesAvailable()
{
    ORIN_TRACE("CCommPort::GetBytesAvailable");
    if (!IsConnected()) {
        return 0;
    }
    const size_t buffered = GetBufferedCount();
    const uint64_t total = static_cast<uint64_t>(buffered) + PortBytesAvailable();
    return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

bool CCommPort::IsConnected()
{
    ORIN_TRACE("CCommPort::IsConnected");
    if (!m_bCommPortOpen || m_bBroken) {
        return false;
    }
    std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.load();
    if (fd < 0) {
        return false;
    }
    if (LineHungUp(fd)) {
        handleLock.unlock();
        MarkBroken("CCommPort::IsConnected", "hang-up", 0);
        return false;
    }
    if (!m_bHasModemLines) {
        return true;
    }
    int status = 0;
    if (ioctl(fd, TIOCMGET, &status) != 0) {
        const int error = errno;
        ORIN_LOG_ERROR("CCommPort::IsConnected", "Failed to get DSR state: %s. Handle: 0x%08X", std::strerror(error),
                       static_cast<unsigned>(fd));
        if (error == EIO || error == ENXIO || error == ENODEV) {
            // The adapter itself went away (a USB serial adapter pulled out).
            handleLock.unlock();
            MarkBroken("CCommPort::IsConnected", "modem status", error);
        }
        return false;
    }
    return (status & (TIOCM_DSR | TIOCM_CD)) != 0;
}

bool CCommPort::WaitForData(uint32_t ms)
{
    ORIN_TRACE("CCommPort::WaitForData");
    if (GetBufferedCount() > 0) {
        return true;
    }
    int fd = -1;
    {
        std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
        fd = m_hPort.load();
        if (fd >= 0 && m_bCommPortOpen && !m_bBroken) {
            struct pollfd pfd {fd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(ms));
            if (ready > 0 && (pfd.revents & POLLIN) != 0) {
                return true;
            }
            if (ready > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                handleLock.unlock();
                MarkBroken("CCommPort::WaitForData", "hang-up", 0);
            } else {
                return false;
            }
        }
    }
    // Nothing to wait on: pause instead, so a caller's loop never spins.
    platform::SleepMs(ms);
    return false;
}

int CCommPort::ReadIntoBuffer(size_t count)
{
    ORIN_TRACE("CCommPort::ReadIntoBuffer");
    std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.load();
    if (fd < 0) {
        return -1;
    }
    std::lock_guard<std::mutex> lock(m_bufferMutex);
    if (m_nBufferStart > 0 && m_nBufferStart * 2 >= m_receiveBuffer.size()) {
        m_receiveBuffer.erase(m_receiveBuffer.begin(), m_receiveBuffer.begin() + static_cast<long>(m_nBufferStart));
        m_nScanPos -= m_nBufferStart;
        m_nBufferStart = 0;
    }
    const size_t held = m_receiveBuffer.size();
    m_receiveBuffer.resize(held + count);
    ssize_t n = 0;
    do {
        n = ::read(fd, m_receiveBuffer.data() + held, count);
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    m_receiveBuffer.resize(held + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n > 0) {
        return static_cast<int>(n);
    }
    if ((n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) || (n == 0 && !LineHungUp(fd))) {
        return 0;
    }
    handleLock.unlock();
    MarkBroken("CCommPort::ReadCommand", n == 0 ? "end of file" : "read", n == 0 ? 0 : error);
    return -1;
}

bool CCommPort::LineHungUp(int fd)
{
    struct pollfd pfd {fd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void CCommPort::TakeMessage(size_t i, std::string& message)
{
    ORIN_TRACE("CCommPort::TakeMessage");
    // i is an absolute index of the ">" in m_receiveBuffer; the caller holds m_bufferMutex.
    message.assign(1, '^');
    message.append(reinterpret_cast<const char*>(m_receiveBuffer.data() + m_nBufferStart), i + 1 - m_nBufferStart);
    m_nBufferStart = i + 1;
    m_nScanPos = m_nBufferStart;
    if (m_nBufferStart == m_receiveBuffer.size()) {
        m_receiveBuffer.clear();
        m_nBufferStart = 0;
        m_nScanPos = 0;
    }
}

bool CCommPort::ReadCommand(std::string& message)
{
    ORIN_TRACE("CCommPort::ReadCommand");
    if (!m_bCommPortOpen) {
        ORIN_LOG_ERROR("CCommPort::ReadCommand", "m_bCommPortOpen == false");
        ORIN_LOG_ERROR("CCommPort::ReadCommand", "command reading failed");
        return false;
    }
    uint32_t lastByte = platform::TickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_bufferMutex);
            // Only bytes not yet looked at are scanned, so a long message costs one pass.
            for (size_t i = std::max(m_nScanPos, m_nBufferStart); i < m_receiveBuffer.size(); ++i) {
                if (m_receiveBuffer[i] == '>') {
                    TakeMessage(i, message);
                    return true;
                }
            }
            m_nScanPos = m_receiveBuffer.size();
            const size_t held = m_receiveBuffer.size() - m_nBufferStart;
            if (held >= kMaxReceiveBuffer) {
                // No message is this long: it is noise, or the end of a message was lost.
                // Throw it away so the reader can find the next caret; the protocol layer
                // resynchronises.
                ORIN_LOG_ERROR("CCommPort::ReadCommand",
                               "Receive buffer full without the end of a message, %zu bytes discarded", held);
                m_receiveBuffer.clear();
                m_nBufferStart = 0;
                m_nScanPos = 0;
                ORIN_LOG_ERROR("CCommPort::ReadCommand", "command reading failed");
                return false;
            }
        }
        if (m_bBroken || m_hPort.load() < 0) {
            ORIN_LOG_ERROR("CCommPort::ReadCommand", "command reading failed");
            return false;
        }
        const size_t room = kMaxReceiveBuffer - GetBufferedCount();
        const size_t waiting = PortBytesAvailable();
        if (waiting > 0) {
            const int n = ReadIntoBuffer(std::min(room, std::max<size_t>(waiting, 1)));
            if (n < 0) {
                ORIN_LOG_ERROR("CCommPort::ReadCommand", "command reading failed");
                return false;
            }
            if (n > 0) {
                lastByte = platform::TickCount();
                continue;
            }
        }
        if (platform::TicksSince(lastByte) > m_dwCommandTimeout) {
            ORIN_LOG_INFO("CCommPort::ReadCommand", "break because timeout");
            ORIN_LOG_ERROR("CCommPort::ReadCommand", "command reading failed");
            return false;
        }
        std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
        const int fd = m_hPort.load();
        if (fd >= 0) {
            struct pollfd pfd {fd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(GetCommandSleepTime())) > 0 &&
                (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                handleLock.unlock();
                MarkBroken("CCommPort::ReadCommand", "hang-up", 0);
            }
        }
    }
}

int32_t CCommPort::ReadBytes(uint8_t* buffer, uint32_t count)
{
    ORIN_TRACE("CCommPort::ReadBytes");
    if (!IsConnected()) {
        return -1;
    }
    if (!m_bCommPortOpen) {
        return 0;
    }
    uint32_t delivered = 0;
    {
        std::lock_guard<std::mutex> lock(m_bufferMutex);
        const size_t held = m_receiveBuffer.size() - m_nBufferStart;
        const size_t take = std::min<size_t>(held, count);
        if (take > 0) {
            std::memcpy(buffer, m_receiveBuffer.data() + m_nBufferStart, take);
            m_nBufferStart += take;
            m_nScanPos = std::max(m_nScanPos, m_nBufferStart);
            if (m_nBufferStart == m_receiveBuffer.size()) {
                m_receiveBuffer.clear();
                m_nBufferStart = 0;
                m_nScanPos = 0;
            }
            delivered = static_cast<uint32_t>(take);
        }
    }
    uint32_t lastProgress = platform::TickCount();
    while (delivered < count) {
        std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
        const int fd = m_hPort.load();
        if (fd < 0) {
            break;
        }
        const ssize_t n = ::read(fd, buffer + delivered, count - delivered);
        if (n > 0) {
            delivered += static_cast<uint32_t>(n);
            lastProgress = platform::TickCount();
            continue;
        }
        if ((n == 0 && LineHungUp(fd)) || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            const int error = n == 0 ? 0 : errno;
            ORIN_LOG_ERROR("CCommPort::ReadBytes", "CCommPort::ReadBytes() ReadFile failed %s",
                           n == 0 ? "end of file" : std::strerror(error));
            handleLock.unlock();
            MarkBroken("CCommPort::ReadBytes", "read", error);
            break;
        }
        if (platform::TicksSince(lastProgress) > m_dwCommandTimeout) {
            break;
        }
        struct pollfd pfd {fd, POLLIN, 0};
        (void)::poll(&pfd, 1, static_cast<int>(GetCommandSleepTime()));
    }
    return static_cast<int32_t>(delivered);
}

void CCommPort::PurgeCommPort()
{
    ORIN_TRACE("CCommPort::PurgeCommPort");
    {
        std::lock_guard<std::mutex> lock(m_bufferMutex);
        m_receiveBuffer.clear();
        m_nBufferStart = 0;
        m_nScanPos = 0;
    }
    std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.load();
    if (!m_bCommPortOpen || fd < 0) {
        return;
    }
    if (tcflush(fd, TCIOFLUSH) != 0) {
        ORIN_LOG_ERROR("CCommPort::PurgeCommPort", "CCommPort::PurgeCommPort() PurgeComm failed %s",
                       std::strerror(errno));
    }
}

void CCommPort::LogState()
{
    ORIN_TRACE("CCommPort::LogState");
    std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.load();
    if (fd >= 0 && !m_bHasModemLines) {
        ORIN_LOG_INFO("CCommPort::LogState", "CCommPort::LogState line without modem signals");
        return;
    }
    int status = 0;
    if (fd < 0 || ioctl(fd, TIOCMGET, &status) != 0) {
        ORIN_LOG_ERROR("CCommPort::LogState", "Failed to get DSR state: Error: 0x%08X, Handle: 0x%08X",
                       static_cast<unsigned>(errno), static_cast<unsigned>(fd));
        return;
    }
    // The system's status word: CTS 0x10, DSR 0x20, RING 0x40, RLSD 0x80.
    const uint32_t word = ((status & TIOCM_CTS) ? 0x10u : 0u) | ((status & TIOCM_DSR) ? 0x20u : 0u) |
                          ((status & TIOCM_RI) ? 0x40u : 0u) | ((status & TIOCM_CD) ? 0x80u : 0u);
    std::string table = "\r\nCTS\tDSR\tRING\tRLSD\r\n";
    table += (word & 0x10u) ? "ON\t" : "OFF\t";
    table += (word & 0x20u) ? "ON\t" : "OFF\t";
    table += (word & 0x40u) ? "ON\t" : "OFF\t";
    table += (word & 0x80u) ? "ON\r\n" : "OFF\r\n";
    ORIN_LOG_INFO("CCommPort::LogState", "CCommPort::LogState 0x%08X %s", word, table.c_str());
}

void CCommPort::LogCommErrors()
{
    ORIN_TRACE("CCommPort::LogCommErrors");
    std::shared_lock<std::shared_mutex> handleLock(m_handleLock);
    const int fd = m_hPort.load();
    struct serial_icounter_struct counters {};
    std::string names;
    if (fd >= 0 && ioctl(fd, TIOCGICOUNT, &counters) == 0) {
        // Only errors since the last look are reported, as reading them clears them on the
        // handheld.
        if (counters.brk != m_lastCounters.brk) names += "CE_BREAK ";
        if (counters.frame != m_lastCounters.frame) names += "CE_FRAME ";
        if (counters.overrun != m_lastCounters.overrun) names += "CE_OVERRUN ";
        if (counters.buf_overrun != m_lastCounters.buf_overrun) names += "CE_RXOVER ";
        if (counters.parity != m_lastCounters.parity) names += "CE_RXPARITY ";
        m_lastCounters.brk = counters.brk;
        m_lastCounters.frame = counters.frame;
        m_lastCounters.overrun = counters.overrun;
        m_lastCounters.buf_overrun = counters.buf_overrun;
        m_lastCounters.parity = counters.parity;
    }
    ORIN_LOG_INFO("CCommPort::LogCommErrors", "CProtocolLayer::ReadImage ClearCommError return: %s", names.c_str());
}

uint32_t CCommPort::GetMinPacketSize()
{
    ORIN_TRACE("CCommPort::GetMinPacketSize");
    return ReadSetting(platform::DefaultRegistry(), kSerialKey, "MinPacketSize", 2048);
}

uint32_t CCommPort::GetGrowUpPacketSize()
{
    ORIN_TRACE("CCommPort::GetGrowUpPacketSize");
    return ReadSetting(platform::DefaultRegistry(), kSerialKey, "GrowUpPacketSize", 2048);
}

uint32_t CCommPort::GetBaudRate()
{
    ORIN_TRACE("CCommPort::GetBaudRate");
    return m_dwBaudRate;
}

int CCommPort::GetHandle()
{
    ORIN_TRACE("CCommPort::GetHandle");
    return m_hPort.load();
}

bool CCommPort::SupportsPacketSize()
{
    ORIN_TRACE("CCommPort::SupportsPacketSize");
    return true;
}

void CCommPort::OnWakeup()
{
    ORIN_TRACE("CCommPort::OnWakeup");
    ReOpenCommPort();
}
