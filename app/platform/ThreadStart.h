// Starting a thread without letting the system's refusal escape as an exception: the callers
// run their own failure path (a log line, and either give up or carry on without the thread).
#pragma once

#include <functional>
#include <thread>

namespace platform {

// Starts body on thread (which must not hold a running thread); false when the system has no
// thread to give.
bool StartThread(std::thread& thread, std::function<void()> body);

// For tests of the failure paths: the next count starts are refused as the system would.
void RefuseThreadStarts(int count);

}  // namespace platform
