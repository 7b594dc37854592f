// The single-instance guard and the requests a later start sends to the running program, in place
// of the handheld's mutex "Orin KX-20 Mutex", its named events and the exit request from the
// installer. One Unix stream socket (mode 0600) carries one request line per connection:
// "suspend", "wakeup" or "exit"; the instance answers "ok" or "error". An flock on a lock file
// beside the socket is the mutex itself, so it is released by the kernel when the owner dies and a
// socket file left behind by a crash is simply taken over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

enum class InstanceRequest { Suspend, Wakeup };

class InstanceChannel {
public:
    InstanceChannel();
    // Closes the channel (see Close).
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    // Makes this process the running instance: takes the mutex and starts listening. False when
    // another instance holds it (or the channel cannot be set up; that is logged).
    bool Acquire();
    bool IsAcquired() const { return m_lockFd >= 0; }

    // Called on the listener thread when another process asks this one to exit. It must only
    // hand the request over (post a message); the channel stays open until Close, and the
    // requester keeps waiting until then. Without a handler an exit request is refused.
    void SetExitHandler(std::function<void()> handler);

    // Stops the listener, removes the socket, releases the mutex and finally lets every process
    // waiting in RequestExit return. Call at the very end of the program.
    void Close();

    // Hands the request to the running instance: "suspend" sets "Orin KX-20 Suspend Event",
    // "wakeup" the wake-up event. False when no instance runs or it did not confirm.
    static bool Signal(InstanceRequest request);
    // Asks the running instance to exit and waits until it has closed its channel (or died).
    // False when no instance runs, it refused, or it had not ended within timeoutMs.
    static bool RequestExit(uint32_t timeoutMs);

    // The socket of the current program folder: in $XDG_RUNTIME_DIR, named from a hash of the
    // program folder so each program folder has its own instance; else in the program folder.
    static std::filesystem::path SocketPath();

private:
    struct Client {
        int fd;
        std::string buffer;
        uint32_t acceptedAt;
    };

    void ListenerThread();
    void AcceptClients(std::vector<Client>& clients);
    // Reads what the client sent; false when the client is done with (closed, answered or kept).
    bool ServeClient(Client& client);
    // Answers one request line; true when the connection is kept until Close.
    bool HandleRequest(int fd, const std::string& line);

    std::filesystem::path m_socketPath;
    int m_lockFd = -1;
    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::thread m_listener;

    std::mutex m_mutex;
    std::function<void()> m_exitHandler;
    // Connections of processes waiting in RequestExit; closed last so that their EOF means the
    // instance is gone.
    std::vector<int> m_exitWaiters;
};

}  // namespace platform
