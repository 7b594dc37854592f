// Auto- and manual-reset events with a wait on several at once, in place of the handheld's
// kernel events and WaitForMultipleObjects.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace platform {

constexpr uint32_t INFINITE_WAIT = 0xFFFFFFFFu;
constexpr int WAIT_TIMED_OUT = -1;

class Event {
public:
    // manualReset: stays set until Reset; otherwise one successful wait clears it.
    explicit Event(bool manualReset = false, bool initiallySet = false);
    ~Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // Waits up to ms milliseconds (0 = poll, INFINITE_WAIT = forever); true when the event was set.
    bool Wait(uint32_t ms);
    // Whether the event is set, without consuming an auto-reset event.
    bool IsSet() const;
    bool IsManualReset() const { return m_bManualReset; }

private:
    friend int WaitAny(std::initializer_list<Event*> events, uint32_t ms);
    friend int WaitAnyArray(Event* const* events, int count, uint32_t ms);
    bool TryConsumeLocked();

    const bool m_bManualReset;
    bool m_bSet;
};

// Waits until one of the events is set; returns its index (the lowest when several are set),
// or WAIT_TIMED_OUT. An auto-reset event that ends the wait is cleared. Null entries are ignored.
int WaitAny(std::initializer_list<Event*> events, uint32_t ms);
int WaitAnyArray(Event* const* events, int count, uint32_t ms);

}  // namespace platform
