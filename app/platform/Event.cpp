#include "app/platform/Event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

namespace {
// One lock and one condition for all events: waits on several events at once stay simple and
// correct, and the program has only a handful of events, so the shared wake-ups cost nothing.
std::mutex& EventMutex()
{
    static std::mutex m;
    return m;
}
std::condition_variable& EventCondition()
{
    static std::condition_variable c;
    return c;
}
}  // namespace

Event::Event(bool manualReset, bool initiallySet) : m_bManualReset(manualReset), m_bSet(initiallySet) {}

void Event::Set()
{
    {
        std::lock_guard lock(EventMutex());
        m_bSet = true;
    }
    EventCondition().notify_all();
}

void Event::Reset()
{
    std::lock_guard lock(EventMutex());
    m_bSet = false;
}

bool Event::IsSet() const
{
    std::lock_guard lock(EventMutex());
    return m_bSet;
}

bool Event::TryConsumeLocked()
{
    if (!m_bSet) {
        return false;
    }
    if (!m_bManualReset) {
        m_bSet = false;
    }
    return true;
}

bool Event::Wait(uint32_t ms)
{
    Event* self = this;
    return WaitAnyArray(&self, 1, ms) == 0;
}

int WaitAny(std::initializer_list<Event*> events, uint32_t ms)
{
    return WaitAnyArray(events.begin(), static_cast<int>(events.size()), ms);
}

int WaitAnyArray(Event* const* events, int count, uint32_t ms)
{
    std::unique_lock lock(EventMutex());
    auto ready = [&]() -> int {
        for (int i = 0; i < count; ++i) {
            if (events[i] != nullptr && events[i]->TryConsumeLocked()) {
                return i;
            }
        }
        return WAIT_TIMED_OUT;
    };
    int index = ready();
    if (index != WAIT_TIMED_OUT || ms == 0) {
        return index;
    }
    if (ms == INFINITE_WAIT) {
        EventCondition().wait(lock, [&] { return (index = ready()) != WAIT_TIMED_OUT; });
        return index;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    EventCondition().wait_until(lock, deadline, [&] { return (index = ready()) != WAIT_TIMED_OUT; });
    return index;
}

}  // namespace platform
