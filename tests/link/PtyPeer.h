// The far end of a pseudo-terminal pair, standing in for the camera back in the link tests.
// The client opens Path() with the real serial code; the test reads what the client wrote and
// answers fixed bytes, either directly or from a script run on the peer's own thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace linktest {

class PtyPeer {
public:
    // Called on the peer thread for every complete command the client wrote ("^<... />").
    using Script = std::function<void(PtyPeer& peer, const std::string& command)>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // A stable name for the line (a symlink), so that a "replugged" camera keeps its path.
    const std::string& Path() const { return m_link; }

    void Write(std::string_view bytes);
    // Writes and waits until the client has taken every byte off the line.
    void WriteAndDrain(std::string_view bytes);

    // Runs the script on a thread of its own until Stop or the destructor.
    void Start(Script script);
    void Stop();

    // Commands the client wrote so far, in order.
    std::vector<std::string> Commands() const;
    // Waits until at least n commands were seen; false on time-out.
    bool WaitForCommands(size_t n, int timeoutMs = 10000) const;
    // Every byte the client wrote so far.
    std::string Received() const;

    // The cable is pulled: the master closes and the line hangs up.
    void Unplug();
    // A new line appears under the same name.
    void Plug();
    bool IsPlugged() const { return m_master >= 0; }

    // Without a script: reads what the client wrote until `count` commands arrived.
    std::vector<std::string> ReadCommands(size_t count, int timeoutMs = 10000);

private:
    void OpenMaster();
    void Run();
    void PumpOnce(int waitMs);

    std::string m_link;
    std::atomic<int> m_master{-1};
    Script m_script;
    std::thread m_thread;
    bool m_bStop = false;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::string m_pending;
    std::string m_received;
    std::vector<std::string> m_commands;
    std::mutex m_writeMutex;
};

// Picture payload bytes that are easy to check: byte i is (i * 7 + i / 251) & 0xFF.
std::string TestPayload(size_t length);

}  // namespace linktest
