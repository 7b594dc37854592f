// Where the protocol layer's private messages (picture taken, offline, sync) land for orinctl:
// a queue the command's own thread takes them from. Sending never blocks the sender, so the
// watchdog can announce a resynchronisation while the main thread waits for a picture.
#pragma once

#include "app/platform/MessageTarget.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

class CtlInbox : public platform::MessageTarget {
public:
    bool PostMessage(platform::Message message) override;
    intptr_t SendMessage(platform::Message message) override;

    // The oldest message, waiting at most ms for one.
    std::optional<platform::Message> Wait(uint32_t ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<platform::Message> m_queue;
};
