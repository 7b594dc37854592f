// A bare handheld end for the simulator's tests: opens the simulator's path raw and reads and
// writes exact bytes, so the tests see the wire as it is.
#pragma once

#include <cstdint>
#include <string>

namespace camsimtest {

class SimTestClient {
public:
    explicit SimTestClient(const std::string& path);
    ~SimTestClient();
    SimTestClient(const SimTestClient&) = delete;
    SimTestClient& operator=(const SimTestClient&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    bool Write(const std::string& bytes);
    // Exactly count bytes unless the line stays quiet for quietMs or hangs up.
    std::string Read(size_t count, int quietMs = 2000);
    // Up to and including the first ">" (one message), or what came before a quiet quietMs.
    std::string ReadMessage(int quietMs = 2000);
    // Everything that arrives until the line has been quiet for quietMs.
    std::string ReadAll(int quietMs);
    // True when the far end hung up (POLLHUP, read 0 or EIO) within ms.
    bool WaitHangup(int ms);

private:
    int m_fd = -1;
};

}  // namespace camsimtest
