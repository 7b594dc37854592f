#include "tools/camsim/SimFaults.h"

#include "app/platform/Log.h"

#include <charconv>
#include <sstream>

namespace camsim {

namespace {

bool ParseInt(const std::string& text, int& out)
{
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, out);
    return result.ec == std::errc() && result.ptr == end;
}

}  // namespace

const char* SimFaults::KindName(SimFaultKind kind)
{
    ORIN_TRACE("SimFaults::KindName");
    switch (kind) {
    case SimFaultKind::ShortPacket: return "short";
    case SimFaultKind::Garbage: return "garbage";
    case SimFaultKind::Error: return "error";
    case SimFaultKind::Delay: return "delay";
    case SimFaultKind::Drop: return "drop";
    }
    return "drop";
}

std::optional<SimFault> SimFaults::Parse(const std::string& text, std::string& error)
{
    ORIN_TRACE("SimFaults::Parse");
    std::string words = text;
    for (char& c : words) {
        if (c == ':' || c == ',') {
            c = ' ';
        }
    }
    std::istringstream in(words);
    std::string kind;
    if (!(in >> kind)) {
        error = "no fault named";
        return std::nullopt;
    }
    SimFault fault;
    if (kind == "short") {
        fault.kind = SimFaultKind::ShortPacket;
        fault.bytes = 10;
    } else if (kind == "garbage") {
        fault.kind = SimFaultKind::Garbage;
        fault.bytes = 16;
    } else if (kind == "error") {
        fault.kind = SimFaultKind::Error;
    } else if (kind == "delay") {
        fault.kind = SimFaultKind::Delay;
    } else if (kind == "drop") {
        fault.kind = SimFaultKind::Drop;
    } else {
        error = "unknown fault: " + kind + " (short, garbage, error, delay, drop)";
        return std::nullopt;
    }
    std::string word;
    while (in >> word) {
        size_t eq = word.find('=');
        if (eq == std::string::npos) {
            error = "expected key=value: " + word;
            return std::nullopt;
        }
        std::string key = word.substr(0, eq);
        std::string value = word.substr(eq + 1);
        int number = 0;
        if (key == "cmd") {
            fault.command = value;
        } else if (key == "code" && !value.empty()) {
            fault.code = value;
        } else if (key == "count" && ParseInt(value, number) && number > 0) {
            fault.count = number;
        } else if (key == "bytes" && ParseInt(value, number) && number >= 0) {
            fault.bytes = number;
        } else if (key == "ms" && ParseInt(value, number) && number >= 0) {
            fault.ms = number;
        } else {
            error = "bad setting: " + word;
            return std::nullopt;
        }
    }
    return fault;
}

void SimFaults::Arm(const SimFault& fault)
{
    ORIN_TRACE("SimFaults::Arm");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed.push_back(fault);
}

void SimFaults::Clear()
{
    ORIN_TRACE("SimFaults::Clear");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed.clear();
}

std::optional<SimFault> SimFaults::Take(SimFaultKind kind, const std::string& command)
{
    ORIN_TRACE("SimFaults::Take");
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_armed.begin(); it != m_armed.end(); ++it) {
        if (it->kind != kind || (!it->command.empty() && it->command != command)) {
            continue;
        }
        SimFault taken = *it;
        if (--it->count <= 0) {
            m_armed.erase(it);
        }
        taken.count = 1;
        return taken;
    }
    return std::nullopt;
}

size_t SimFaults::ArmedCount() const
{
    ORIN_TRACE("SimFaults::ArmedCount");
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_armed.size();
}

}  // namespace camsim
