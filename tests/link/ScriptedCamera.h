// A camera back that answers fixed bytes: the test queues answers per command name; without a
// queued answer a command gets its usual one. Also the message target and host the protocol
// layer talks to, recording what they are given.
#pragma once

#include "app/link/ProtocolCommand.h"
#include "app/link/ProtocolHost.h"
#include "app/platform/MessageTarget.h"
#include "tests/link/PtyPeer.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace linktest {

// The element name of a command the client wrote ("^<Name ... />" gives "Name").
std::string CommandName(const std::string& command);

class ScriptedCamera {
public:
    // An action writes the answer itself (for payloads, delays, unplugging).
    using Action = std::function<void(PtyPeer& peer, const std::string& command)>;
    static constexpr const char* kNoAnswer = "";

    explicit ScriptedCamera(PtyPeer& peer);
    ~ScriptedCamera() { m_peer.Stop(); }
    ScriptedCamera(const ScriptedCamera&) = delete;
    ScriptedCamera& operator=(const ScriptedCamera&) = delete;

    void Queue(const std::string& name, std::string answer);
    void QueueAction(const std::string& name, Action action);
    void SetDefault(const std::string& name, std::string answer);
    void SetDefaultAction(const std::string& name, Action action);
    // Commands the client wrote, in order.
    std::vector<std::string> Commands() const { return m_peer.Commands(); }
    std::vector<std::string> CommandsNamed(const std::string& name) const;

private:
    void Handle(PtyPeer& peer, const std::string& command);

    PtyPeer& m_peer;
    std::mutex m_mutex;
    std::map<std::string, std::deque<Action>> m_queued;
    std::map<std::string, Action> m_defaults;
};

class CollectingTarget : public platform::MessageTarget {
public:
    bool PostMessage(platform::Message message) override;
    intptr_t SendMessage(platform::Message message) override;
    // Waits until a message with this id arrived (counting earlier ones); false on time-out.
    bool WaitFor(uint32_t id, size_t count = 1, int timeoutMs = 10000);
    size_t Count(uint32_t id) const;
    std::vector<ProtocolCommand> PicturesTaken() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint32_t> m_ids;
    std::vector<ProtocolCommand> m_pictures;
};

class RecordingHost : public IProtocolHost {
public:
    void OnSynchronized(const ProtocolCommand& syncAnswer) override;
    void SetNewestPicture(const std::u16string& fullName) override;
    void ShowMessage(const std::u16string& text) override;
    void SetBusyIndicator(bool on) override;
    void OnPictureProgress(uint32_t received, uint32_t total) override;

    std::mutex m_mutex;
    std::vector<std::pair<uint32_t, uint32_t>> m_progress;
    std::vector<ProtocolCommand> m_syncs;
    std::u16string m_newest;
    std::vector<std::u16string> m_messages;
    int m_busyDepth = 0;
    int m_busyMax = 0;
};

}  // namespace linktest
