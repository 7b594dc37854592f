#include "tools/orinctl/CtlInbox.h"

#include "app/platform/Log.h"

#include <chrono>

bool CtlInbox::PostMessage(platform::Message message)
{
    ORIN_TRACE("CtlInbox::PostMessage");
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(message));
    }
    m_ready.notify_one();
    return true;
}

intptr_t CtlInbox::SendMessage(platform::Message message)
{
    ORIN_TRACE("CtlInbox::SendMessage");
    return PostMessage(std::move(message)) ? 1 : 0;
}

std::optional<platform::Message> CtlInbox::Wait(uint32_t ms)
{
    ORIN_TRACE("CtlInbox::Wait");
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ready.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_queue.empty(); })) {
        return std::nullopt;
    }
    platform::Message message = std::move(m_queue.front());
    m_queue.pop_front();
    return message;
}
