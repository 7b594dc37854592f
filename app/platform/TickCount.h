// Millisecond tick count of a steady clock, 32 bits wide like the handheld's, so intervals are
// computed by unsigned subtraction and survive the wrap after 49.7 days.
#pragma once

#include <cstdint>

namespace platform {

uint32_t TickCount();

// Milliseconds from start to now, correct across one wrap of the counter.
inline uint32_t TicksSince(uint32_t start, uint32_t now) { return now - start; }
inline uint32_t TicksSince(uint32_t start) { return TicksSince(start, TickCount()); }

void SleepMs(uint32_t ms);

}  // namespace platform
