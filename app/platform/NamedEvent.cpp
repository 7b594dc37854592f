#include "app/platform/NamedEvent.h"

#include "app/platform/Log.h"

#include <map>
#include <mutex>

namespace platform {

std::shared_ptr<Event> OpenNamedEvent(const std::string& name, bool manualReset, bool initiallySet)
{
    ORIN_TRACE("platform::OpenNamedEvent");
    static std::mutex tableMutex;
    static std::map<std::string, std::shared_ptr<Event>> table;
    std::lock_guard lock(tableMutex);
    std::shared_ptr<Event>& slot = table[name];
    if (!slot) {
        slot = std::make_shared<Event>(manualReset, initiallySet);
    }
    return slot;
}

}  // namespace platform
