#include "tools/camsim/SimMessageReader.h"

#include "app/platform/Log.h"

namespace camsim {

void SimMessageReader::Feed(const uint8_t* data, size_t size)
{
    ORIN_TRACE("SimMessageReader::Feed");
    m_buffer.append(reinterpret_cast<const char*>(data), size);
}

std::optional<std::string> SimMessageReader::Next()
{
    ORIN_TRACE("SimMessageReader::Next");
    size_t caret = m_buffer.find('^');
    if (caret == std::string::npos) {
        m_discarded += m_buffer.size();
        m_buffer.clear();
        return std::nullopt;
    }
    if (caret > 0) {
        m_discarded += caret;
        m_buffer.erase(0, caret);
    }
    size_t end = m_buffer.find('>');
    if (end == std::string::npos) {
        if (m_buffer.size() > kMaxMessage) {
            // No sane message is this long: drop it and look for the next caret.
            size_t next = m_buffer.find('^', 1);
            size_t cut = next == std::string::npos ? m_buffer.size() : next;
            m_discarded += cut;
            m_buffer.erase(0, cut);
        }
        return std::nullopt;
    }
    std::string message = m_buffer.substr(0, end + 1);
    m_buffer.erase(0, end + 1);
    return message;
}

void SimMessageReader::Clear()
{
    ORIN_TRACE("SimMessageReader::Clear");
    m_discarded += m_buffer.size();
    m_buffer.clear();
}

}  // namespace camsim
