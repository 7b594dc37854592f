// The serial transport on a Linux tty (termios, raw 8N1). Also serves pseudo-terminals and
// sockets: where the line has no modem signals, the far end counts as present while the
// descriptor is healthy.
#pragma once

#include "app/link/Transport.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

class CCommPort : public CTransport {
public:
    static constexpr uint32_t kDefaultBaudRate = 230400;
    static constexpr const char* kDefaultDevice = "/dev/ttyUSB0";
    // Silence after which a half-received message is given up.
    static constexpr uint32_t kCommandTimeoutMs = 2000;
    // A message may grow the receive buffer up to this size (a folder listing of ten thousand
    // pictures fits); a buffer that fills without a ">" is noise and is thrown away.
    static constexpr size_t kInitialReceiveBuffer = 16384;
    static constexpr size_t kMaxReceiveBuffer = 8u * 1024u * 1024u;

    // devicePath empty: registry value Device under the Serial key, else /dev/ttyUSB0.
    // baudRate 0: registry value Baudrate under the root key, else 230400.
    explicit CCommPort(std::string devicePath = std::string(), uint32_t baudRate = 0);
    ~CCommPort() override;
    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

    bool WriteData(const uint8_t* data, uint32_t size) override;
    int32_t ReadBytes(uint8_t* buffer, uint32_t count) override;
    bool IsConnected() override;
    bool OpenConnection() override;
    bool CloseConnection() override;
    bool ReOpenCommPort() override;
    void LogState() override;
    void LogCommErrors() override;
    bool ReadCommand(std::string& message) override;
    void PurgeCommPort() override;
    uint32_t GetBytesAvailable() override;
    uint32_t GetMinPacketSize() override;
    uint32_t GetGrowUpPacketSize() override;
    uint32_t GetBaudRate() override;
    int GetHandle() override;
    bool SupportsPacketSize() override;
    void OnWakeup() override;
    bool WaitForData(uint32_t ms) override;

    const std::string& GetDevicePath() const { return m_strDevicePath; }
    bool IsOpen() const { return m_bCommPortOpen; }
    // Tests shorten the silence limit; the program keeps kCommandTimeoutMs.
    void SetCommandTimeout(uint32_t ms) { m_dwCommandTimeout = ms; }
    // Bytes received but not yet handed out.
    size_t GetBufferedCount() const;

    // The five time-out settings as read at construction.
    uint32_t m_dwReadIntervalTimeout = 50;
    uint32_t m_dwReadTotalTimeoutMultiplier = 2;
    uint32_t m_dwReadTotalTimeoutConstant = 100;
    uint32_t m_dwReadCommandInternalTimeout = 0;
    uint32_t m_dwReadCommandSleepTimeout = 10;

protected:
    // Opens and configures the device; the port number is kept for the system's naming
    // ("COM%d:"), the device path decides what is opened.
    bool OpenCommPort(int portNumber);
    void CloseHandle();
    // Marks the far end gone after a hang-up or an I/O error on the descriptor.
    void MarkBroken(const char* function, const char* what, int error);
    // Whether the descriptor reports a hang-up. A zero-byte read alone does not say so: with
    // VMIN and VTIME at 0 a tty returns 0 whenever it holds nothing, e.g. just after a purge
    // emptied what the count of waiting bytes had promised.
    static bool LineHungUp(int fd);
    // Moves up to count bytes from the port into the receive buffer; -1 on a broken line.
    int ReadIntoBuffer(size_t count);
    // Hands out "^" + buffer up to and including position i, removes it from the buffer.
    void TakeMessage(size_t i, std::string& message);
    uint32_t PortBytesAvailable();

    std::string m_strDevicePath;
    uint32_t m_dwBaudRate = kDefaultBaudRate;
    std::atomic<bool> m_bCommPortOpen{false};
    std::atomic<int> m_hPort{-1};
    // Whether the line reports modem signals (a real serial line) or not (pseudo-terminal).
    bool m_bHasModemLines = false;
    // Set when the descriptor hung up or failed; cleared by a new open.
    std::atomic<bool> m_bBroken{false};
    uint32_t m_dwCommandTimeout = kCommandTimeoutMs;

    // Received, not yet consumed bytes are m_receiveBuffer[m_nBufferStart, m_receiveBuffer.size()).
    mutable std::mutex m_bufferMutex;
    std::vector<uint8_t> m_receiveBuffer;
    size_t m_nBufferStart = 0;
    // Bytes before this index hold no ">" (the scan of a long message never starts over).
    size_t m_nScanPos = 0;

    // Readers and writers of the descriptor hold it shared; opening and closing hold it
    // exclusively, so a descriptor number is never reused under a reader's feet.
    mutable std::shared_mutex m_handleLock;

    struct ErrorCounters {
        int brk = 0, frame = 0, overrun = 0, buf_overrun = 0, parity = 0;
    } m_lastCounters;
};
