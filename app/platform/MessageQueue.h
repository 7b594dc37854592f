// A thread-safe queue that makes one thread a MessageTarget: that thread pumps, any thread
// posts or sends.
#pragma once

#include "app/platform/Event.h"
#include "app/platform/MessageTarget.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

class MessageQueue : public MessageTarget {
public:
    using Handler = std::function<intptr_t(Message&)>;

    explicit MessageQueue(Handler handler);
    ~MessageQueue() override;
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    bool PostMessage(Message message) override;
    // A send from the pumping thread itself is handled at once, as a window would.
    intptr_t SendMessage(Message message) override;

    // Handles every queued message on the calling thread; returns how many.
    int DispatchPending();
    // Pumps messages until the event is set (true) or ms pass (false).
    bool WaitWithMessageLoop(Event& event, uint32_t ms = INFINITE_WAIT);
    // Refuses further messages and releases every waiting sender.
    void Close();
    bool IsClosed() const;

private:
    struct Entry {
        Message message;
        bool isSend = false;
        bool done = false;
        intptr_t result = 0;
    };

    bool Enqueue(Entry* entry);

    Handler m_handler;
    mutable std::mutex m_mutex;
    std::condition_variable m_sendDone;
    std::deque<Entry*> m_queue;
    Event m_messageReady{false, false};
    std::thread::id m_pumpThread;
    bool m_bClosed = false;
};

}  // namespace platform
