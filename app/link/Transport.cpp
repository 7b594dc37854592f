#include "app/link/Transport.h"

#include "app/platform/Log.h"
#include "app/platform/TickCount.h"

#include <atomic>

namespace {

std::atomic<uint32_t> g_dwCommandSleepTime{10};

}  // namespace

uint32_t GetCommandSleepTime()
{
    return g_dwCommandSleepTime.load();
}

void SetCommandSleepTime(uint32_t ms)
{
    ORIN_TRACE("SetCommandSleepTime");
    g_dwCommandSleepTime.store(ms);
}

bool CTransport::WaitForData(uint32_t ms)
{
    ORIN_TRACE("CTransport::WaitForData");
    if (GetBytesAvailable() > 0) {
        return true;
    }
    platform::SleepMs(ms);
    return GetBytesAvailable() > 0;
}
