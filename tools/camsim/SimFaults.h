// Faults the simulated camera can be told to commit, each armed for a number of occasions:
//   short    [bytes=10] [count=1]            the next packet (or stream payload) ends bytes early
//   garbage  [bytes=16] [count=1] [cmd=X]    noise without a caret before the next answer
//   error    [code=1]   [count=1] [cmd=X]    the next answer becomes ^<Error error_code="code" />
//   delay    [ms=1000]  [count=1] [cmd=X]    the next answer comes ms late
//   drop     [count=1]  [cmd=X]              the next answer is never sent
// cmd=X limits the fault to the answer of command X (for example cmd=GetImage).
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

enum class SimFaultKind { ShortPacket, Garbage, Error, Delay, Drop };

struct SimFault {
    SimFaultKind kind = SimFaultKind::Drop;
    int count = 1;
    int bytes = 0;
    std::string code = "1";
    int ms = 1000;
    std::string command;  // empty: any command
};

class SimFaults {
public:
    // "short bytes=10 count=2"; words may also be separated by ":" and "," (command-line form
    // "short:bytes=10,count=2"). nullopt with a reason on a bad text.
    static std::optional<SimFault> Parse(const std::string& text, std::string& error);
    static const char* KindName(SimFaultKind kind);

    void Arm(const SimFault& fault);
    void Clear();
    // Uses up one occasion of the first armed fault of that kind for the command.
    std::optional<SimFault> Take(SimFaultKind kind, const std::string& command);
    size_t ArmedCount() const;

private:
    mutable std::mutex m_mutex;
    std::vector<SimFault> m_armed;
};

}  // namespace camsim
