#include "app/platform/ThreadStart.h"

#include "app/platform/Log.h"

#include <atomic>
#include <system_error>

namespace platform {

namespace {
std::atomic<int> g_refusals{0};
}  // namespace

bool StartThread(std::thread& thread, std::function<void()> body)
{
    ORIN_TRACE("platform::StartThread");
    int refusals = g_refusals.load();
    while (refusals > 0) {
        if (g_refusals.compare_exchange_weak(refusals, refusals - 1)) {
            return false;
        }
    }
    try {
        thread = std::thread(std::move(body));
    } catch (const std::system_error& error) {
        ORIN_LOG_ERROR("platform::StartThread", "%s", error.what());
        return false;
    }
    return true;
}

void RefuseThreadStarts(int count)
{
    g_refusals = count;
}

}  // namespace platform
