#include "tests/link/ScriptedCamera.h"

#include <chrono>

namespace linktest {

std::string CommandName(const std::string& command)
{
    const size_t start = command.find("^<");
    if (start == std::string::npos) {
        return std::string();
    }
    const size_t end = command.find_first_of(" />", start + 2);
    return command.substr(start + 2, end - start - 2);
}

ScriptedCamera::ScriptedCamera(PtyPeer& peer) : m_peer(peer)
{
    SetDefault("ReSyncRequest", "^<ReSyncResponse />");
    SetDefault("RequestSync", "^<Sync CameraName=\"Tessa\" ExposuresLeft=\"120\" />");
    for (const char* name : {"FileCommand", "GetPictureParams", "SetPictureParams", "SetCameraParam",
                             "GetCameraParam", "ImageFunction", "GetImage"}) {
        SetDefault(name, "^<Ack />");
    }
    SetDefault("Ack", kNoAnswer);
    SetDefault("Nak", kNoAnswer);
    m_peer.Start([this](PtyPeer& p, const std::string& command) { Handle(p, command); });
}

void ScriptedCamera::Queue(const std::string& name, std::string answer)
{
    QueueAction(name, [answer](PtyPeer& peer, const std::string&) {
        if (!answer.empty()) {
            peer.Write(answer);
        }
    });
}

void ScriptedCamera::QueueAction(const std::string& name, Action action)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queued[name].push_back(std::move(action));
}

void ScriptedCamera::SetDefault(const std::string& name, std::string answer)
{
    SetDefaultAction(name, [answer](PtyPeer& peer, const std::string&) {
        if (!answer.empty()) {
            peer.Write(answer);
        }
    });
}

void ScriptedCamera::SetDefaultAction(const std::string& name, Action action)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaults[name] = std::move(action);
}

std::vector<std::string> ScriptedCamera::CommandsNamed(const std::string& name) const
{
    std::vector<std::string> result;
    for (const std::string& command : m_peer.Commands()) {
        if (CommandName(command) == name) {
            result.push_back(command);
        }
    }
    return result;
}

void ScriptedCamera::Handle(PtyPeer& peer, const std::string& command)
{
    Action action;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::string name = CommandName(command);
        auto queued = m_queued.find(name);
        if (queued != m_queued.end() && !queued->second.empty()) {
            action = std::move(queued->second.front());
            queued->second.pop_front();
        } else if (auto found = m_defaults.find(name); found != m_defaults.end()) {
            action = found->second;
        }
    }
    if (action) {
        action(peer, command);
    }
}

bool CollectingTarget::PostMessage(platform::Message message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ids.push_back(message.id);
    if (ProtocolCommand* command = message.PayloadAs<ProtocolCommand>()) {
        m_pictures.push_back(*command);
    }
    m_changed.notify_all();
    return true;
}

intptr_t CollectingTarget::SendMessage(platform::Message message)
{
    PostMessage(std::move(message));
    return 1;
}

bool CollectingTarget::WaitFor(uint32_t id, size_t count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        size_t n = 0;
        for (uint32_t seen : m_ids) {
            n += seen == id ? 1 : 0;
        }
        return n >= count;
    });
}

size_t CollectingTarget::Count(uint32_t id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t n = 0;
    for (uint32_t seen : m_ids) {
        n += seen == id ? 1 : 0;
    }
    return n;
}

std::vector<ProtocolCommand> CollectingTarget::PicturesTaken() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pictures;
}

void RecordingHost::OnSynchronized(const ProtocolCommand& syncAnswer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_syncs.push_back(syncAnswer);
}

void RecordingHost::SetNewestPicture(const std::u16string& fullName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_newest = fullName;
}

void RecordingHost::ShowMessage(const std::u16string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(text);
}

void RecordingHost::SetBusyIndicator(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_busyDepth += on ? 1 : -1;
    m_busyMax = std::max(m_busyMax, m_busyDepth);
}

void RecordingHost::OnPictureProgress(uint32_t received, uint32_t total)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_progress.emplace_back(received, total);
}

}  // namespace linktest
