#include "tests/controller/SimControllerFixture.h"

#include "app/controller/PrivateMessages.h"
#include "app/controller/ProtocolCameraLink.h"
#include "app/link/LinkMessages.h"
#include "app/platform/TextConvert.h"
#include "tools/camsim/SimPictures.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace controllertest {

bool Inbox::PostMessage(platform::Message message)
{
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(message));
    m_ready.notify_all();
    return true;
}

intptr_t Inbox::SendMessage(platform::Message message)
{
    PostMessage(std::move(message));
    return 0;
}

std::optional<platform::Message> Inbox::Wait(uint32_t ms)
{
    std::unique_lock lock(m_mutex);
    if (!m_ready.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_queue.empty(); })) {
        return std::nullopt;
    }
    platform::Message message = std::move(m_queue.front());
    m_queue.pop_front();
    return message;
}

std::optional<platform::Message> Inbox::WaitFor(uint32_t id, uint32_t ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        std::optional<platform::Message> message = Wait(static_cast<uint32_t>(left.count()));
        if (message && message->id == id) {
            return message;
        }
    }
}

bool WaitUntil(const std::function<bool()>& condition, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::unique_ptr<platform::Payload<ProtocolCommand>> MakeCameraMessage(int32_t id, const Pairs& attributes)
{
    auto payload = std::make_unique<platform::Payload<ProtocolCommand>>(ProtocolCommand());
    payload->value.commandID = id;
    for (const auto& [name, value] : attributes) {
        payload->value.attributes.emplace_back(platform::FromUtf8(name), platform::FromUtf8(value));
    }
    return payload;
}

void Recorder::Attach(CControlApplication& app)
{
    app.SetViewFactory([this](ViewId id) {
        auto view = std::make_unique<CRecordingViewProcessor>(id);
        views[static_cast<size_t>(id)] = view.get();
        return view;
    });
    app.SetMessageBox([this](IViewProcessor*, const std::u16string& text, int) {
        messages.push_back(text);
        return 1;
    });
}

SimController::SimController(int pictures) : disk(home.Path() / "disk")
{
    fs::create_directories(disk / "Part1" / "Folder");
    fs::create_directories(disk / "Part1" / "Studio");
    fs::create_directories(disk / "Part2" / "Archive");
    camera.Disk().Open(disk);
    for (int i = 0; i < pictures; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "Pic%04d.jpg", i + 1);
        AddPicture("Part1/Folder", name);
    }
    AddPicture("Part1/Studio", "Pic0100.jpg");
    recorder.Attach(app);
}

// The controller (declared last) goes first, its link's threads with it, then the camera.
SimController::~SimController() = default;

void SimController::AddPicture(const std::string& folder, const std::string& name, bool saved)
{
    fs::create_directories(disk / folder);
    std::ofstream out(disk / folder / name, std::ios::binary);
    if (saved) {
        static unsigned seed = 1;
        const std::vector<uint8_t> jpeg =
            camsim::SimPictures::Jpeg(camsim::SimPictures::SceneForShot(seed), 64, 48, 80, seed);
        ++seed;
        out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    }
}

bool SimController::Start()
{
    camera.Link().SetBaud(0);
    if (!camera.Link().OpenPty() || !camera.Start()) {
        return false;
    }
    ProtocolTimeouts timeouts;
    timeouts.connectTimeoutMs = 3000;
    timeouts.connectRetryMs = 100;
    timeouts.reconnectSleepMs = 200;
    CProtocolCameraLink::Attach(app, camera.Link().Path(), 0, &timeouts);
    if (!app.Initialize()) {
        return false;
    }
    auto* link = dynamic_cast<CProtocolCameraLink*>(app.CameraLink());
    if (link == nullptr) {
        return false;
    }
    link->Layer().SetMessageTarget(&inbox);
    return link->IsConnected();
}

int SimController::ProcessPictureMessages(int expected, uint32_t ms)
{
    int processed = 0;
    std::vector<platform::Message> messages;
    while (static_cast<int>(messages.size()) < expected) {
        std::optional<platform::Message> message = inbox.WaitFor(linkmsg::WM_PICTURE_TAKEN, ms);
        if (!message) {
            break;
        }
        messages.push_back(std::move(*message));
    }
    for (platform::Message& message : messages) {
        EventParameter parameter;
        parameter.message = message.payload.get();
        if (app.ProcessEvent(ON_PICTURE_TAKEN, &parameter)) {
            ++processed;
        }
    }
    return processed;
}

}  // namespace controllertest
