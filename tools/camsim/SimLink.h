// The camera end of the cable: a pseudo-terminal (or a real serial device) with output paced to
// a baud rate, and a way to make the far end vanish and return.
//
// Pseudo-terminal model: clients open a stable path, a symbolic link to the current slave
// ("/tmp/orin-camsim-XXXXXX/tty" unless a path is given). The simulator holds a slave descriptor
// itself, so a client closing and reopening the port never hangs the line up. Unplug closes the
// master and removes the link: every open slave sees POLLHUP and read() fails with EIO at once,
// and opening the path fails (ENOENT) while the cable is out. Plug creates a fresh
// pseudo-terminal and points the link at it (atomically, by rename), so a client reopening the
// same path is back on the line at once.
//
// Device model (--device): unplug drops DTR and RTS and ignores all traffic; plug raises them.
//
// Threads: one thread (the camera's) reads, writes, plugs and unplugs; any thread may call
// Wake and RequestAbort.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace camsim {

class SimLink {
public:
    enum class Status { Ok, Timeout, Woken, Interrupted, Gone };

    SimLink();
    ~SimLink();
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // linkPath empty: a link in a new temporary folder, removed again by Close.
    bool OpenPty(const std::filesystem::path& linkPath = {});
    bool OpenDevice(const std::string& device, int baud);
    void Close();

    // Pacing of the output: baud / 10 bytes a second (start bit, 8 data bits, stop bit);
    // 0 writes as fast as the far end takes the bytes.
    void SetBaud(int baud) { m_baud.store(baud); }
    int Baud() const { return m_baud.load(); }

    // The path clients open: the stable link (pty) or the device.
    const std::string& Path() const { return m_path; }
    // The slave the link currently points at (pty only).
    const std::string& SlaveName() const { return m_slaveName; }
    bool IsPlugged() const { return m_bPlugged.load(); }
    bool IsPty() const { return m_bPty; }

    void Unplug();
    bool Plug();

    // Up to capacity bytes; Ok with got > 0, Timeout, Woken (Wake was called), Interrupted
    // (RequestAbort), Gone (unplugged or a device error).
    Status Read(uint8_t* buffer, size_t capacity, size_t& got, int timeoutMs);
    // The whole block, paced; stops early on RequestAbort or when the far end stalls 10 s.
    Status Write(const uint8_t* data, size_t size);
    Status Write(const std::string& text)
    {
        return Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    // Throws away what has arrived and not been read.
    void DiscardInput();
    // Waits ms milliseconds unless an abort is requested meanwhile (Interrupted).
    Status Pause(int ms);

    void Wake();
    void RequestAbort();
    void ClearAbort();
    bool AbortRequested() const { return m_bAbort.load(); }

private:
    bool CreatePty();
    void ClosePty();
    Status WriteRaw(const uint8_t* data, size_t size);
    Status SleepUntil(std::chrono::steady_clock::time_point when);
    void DrainWake();

    int m_master = -1;       // pty master or device descriptor
    int m_heldSlave = -1;    // our own slave descriptor: keeps the line up between client opens
    int m_wakeFd = -1;       // eventfd
    bool m_bPty = false;
    bool m_bOwnLinkFolder = false;
    std::string m_path;
    std::string m_slaveName;
    std::filesystem::path m_linkFolder;
    std::atomic<int> m_baud{0};
    std::atomic<bool> m_bPlugged{false};
    std::atomic<bool> m_bAbort{false};
    std::chrono::steady_clock::time_point m_lineFree{};
};

}  // namespace camsim
