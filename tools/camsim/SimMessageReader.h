// Cuts the handheld's messages out of the incoming byte stream: bytes before a caret are noise,
// a message runs from its caret to the first ">" after it. The buffer is bounded so that a
// stream of noise without ">" cannot grow it without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace camsim {

class SimMessageReader {
public:
    static constexpr size_t kMaxMessage = 64 * 1024;

    void Feed(const uint8_t* data, size_t size);
    // The next complete message text ("^<...>"), or nullopt when none is complete yet.
    std::optional<std::string> Next();
    void Clear();
    size_t Buffered() const { return m_buffer.size(); }
    // Bytes thrown away as noise or as an over-long message so far.
    size_t Discarded() const { return m_discarded; }

private:
    std::string m_buffer;
    size_t m_discarded = 0;
};

}  // namespace camsim
