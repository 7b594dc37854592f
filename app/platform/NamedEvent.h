// Events known by name across the program, in place of the handheld's named kernel events: the
// instance channel sets them by name on behalf of a second start, while the controller and the
// protocol layer open and wait on them by the same name.
#pragma once

#include "app/platform/Event.h"

#include <memory>
#include <string>

namespace platform {

// Set by a second start of the program by the user; wakes the running instance from the background.
inline constexpr const char* kSuspendEventName = "Orin KX-20 Suspend Event";
// Set by a start with "AppRunAfterWakeup"; the protocol layer reopens the link on it.
inline constexpr const char* kWakeupEventName = "{0783C1FF-748B-4b9a-9B63-C9CEE29C9B3D}";
inline constexpr const char* kDiscAndBatteryRunEventName = "Orin KX-20 Disc And Battery Thread Run Event";

// The event of that name, created on the first open with the given reset mode and state; later
// opens return the same event and ignore both arguments. Events live for the rest of the process,
// so a signal that arrives before its waiter has opened the event is not lost.
std::shared_ptr<Event> OpenNamedEvent(const std::string& name, bool manualReset, bool initiallySet);

}  // namespace platform
