#include "app/platform/MessageQueue.h"

#include "app/platform/TickCount.h"

namespace platform {

MessageQueue::MessageQueue(Handler handler) : m_handler(std::move(handler)) {}

MessageQueue::~MessageQueue() { Close(); }

bool MessageQueue::Enqueue(Entry* entry)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosed) {
            return false;
        }
        m_queue.push_back(entry);
    }
    m_messageReady.Set();
    return true;
}

bool MessageQueue::PostMessage(Message message)
{
    auto* entry = new Entry{std::move(message)};
    if (!Enqueue(entry)) {
        delete entry;
        return false;
    }
    return true;
}

intptr_t MessageQueue::SendMessage(Message message)
{
    bool onPumpThread = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_bClosed) {
            return 0;
        }
        onPumpThread = std::this_thread::get_id() == m_pumpThread;
    }
    if (onPumpThread) {
        return m_handler(message);
    }
    Entry entry{std::move(message), true};
    if (!Enqueue(&entry)) {
        return 0;
    }
    std::unique_lock lock(m_mutex);
    m_sendDone.wait(lock, [&] { return entry.done; });
    return entry.result;
}

int MessageQueue::DispatchPending()
{
    {
        std::lock_guard lock(m_mutex);
        m_pumpThread = std::this_thread::get_id();
    }
    int count = 0;
    for (;;) {
        Entry* entry = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) {
                break;
            }
            entry = m_queue.front();
            m_queue.pop_front();
        }
        intptr_t result = m_handler(entry->message);
        ++count;
        if (entry->isSend) {
            std::lock_guard lock(m_mutex);
            entry->result = result;
            entry->done = true;
            m_sendDone.notify_all();
        } else {
            delete entry;
        }
    }
    return count;
}

bool MessageQueue::WaitWithMessageLoop(Event& event, uint32_t ms)
{
    const uint32_t start = TickCount();
    for (;;) {
        DispatchPending();
        if (event.Wait(0)) {
            return true;
        }
        uint32_t wait = INFINITE_WAIT;
        if (ms != INFINITE_WAIT) {
            uint32_t elapsed = TicksSince(start);
            if (elapsed >= ms) {
                return false;
            }
            wait = ms - elapsed;
        }
        int index = WaitAny({&event, &m_messageReady}, wait);
        if (index == 0) {
            return true;
        }
        if (index == WAIT_TIMED_OUT) {
            return false;
        }
    }
}

void MessageQueue::Close()
{
    std::deque<Entry*> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
        // A sent entry lives on its sender's stack: once marked done it may be gone at any moment,
        // so only the posted entries (ours) are kept to delete below.
        for (Entry* entry : m_queue) {
            if (entry->isSend) {
                entry->done = true;
            } else {
                dropped.push_back(entry);
            }
        }
        m_queue.clear();
        m_sendDone.notify_all();
    }
    for (Entry* entry : dropped) {
        delete entry;
    }
}

bool MessageQueue::IsClosed() const
{
    std::lock_guard lock(m_mutex);
    return m_bClosed;
}

}  // namespace platform
