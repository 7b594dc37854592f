// A controller running against the simulated camera back in the same process: the simulator on a
// pseudo-terminal, the real serial port, protocol layer and storage model on the other end, and
// recording views. Camera messages the link posts land in an inbox the test empties by hand, so
// a burst can be queued before the controller sees any of it.
#pragma once

#include "app/controller/ControlApplication.h"
#include "app/controller/RecordingViewProcessor.h"
#include "app/link/ProtocolCommand.h"
#include "tests/support/TestSupport.h"
#include "tools/camsim/SimCamera.h"
#include "tools/camsim/SimSetupHandlers.h"
#include "tools/camsim/SimStorageCommands.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace controllertest {

class Inbox : public platform::MessageTarget {
public:
    bool PostMessage(platform::Message message) override;
    intptr_t SendMessage(platform::Message message) override;
    std::optional<platform::Message> Wait(uint32_t ms);
    // The next message of that number, others dropped.
    std::optional<platform::Message> WaitFor(uint32_t id, uint32_t ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<platform::Message> m_queue;
};

// The camera-side members a test calls directly.
class ControllerUnderTest : public CControlApplication {
public:
    using CControlApplication::BrowseBack;
    using CControlApplication::BrowseForward;
    using CControlApplication::OnPictureTaken;
    using CControlApplication::OnSynchronize;
    using CControlApplication::SaveShootSetup;
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Polls the condition every 10 ms for at most ms.
bool WaitUntil(const std::function<bool()>& condition, int ms);

// A camera message as the link hands it over.
std::unique_ptr<platform::Payload<ProtocolCommand>> MakeCameraMessage(int32_t id, const Pairs& attributes);

// Views and message box of a controller, recorded.
struct Recorder {
    std::array<CRecordingViewProcessor*, kViewCount> views{};
    std::vector<std::u16string> messages;
    void Attach(CControlApplication& app);
};

class SimController {
public:
    // A disk with `pictures` pictures in ./Part1/Folder/ (the default setup's shooting folder) and
    // one in ./Part1/Studio/.
    explicit SimController(int pictures = 3);
    ~SimController();

    // The identity of the served disk (made now when it has none yet).
    std::string DiskId() const { return camsim::SimSetupHandlers::DiskIdOf(disk); }
    // Starts the simulator and the controller (Initialize: link, first sync, directory fill).
    bool Start();
    // Adds a picture to the served disk before Start; bytes empty: one the camera did not save.
    void AddPicture(const std::string& folder, const std::string& name, bool saved = true);
    // Runs the picture-taken messages waiting in the inbox through the dispatcher, in order.
    int ProcessPictureMessages(int expected, uint32_t ms = 10000);

    testsupport::TempHome home;
    testsupport::LogCapture log;
    std::filesystem::path disk;
    camsim::SimCamera camera;
    Inbox inbox;
    ControllerUnderTest app;
    Recorder recorder;
};

}  // namespace controllertest
