// The simulated camera back: answers the handheld's messages on a SimLink from a table of
// handlers, sends picture-taken messages for new shots, and commits the faults it is told to.
//
// Built in: ReSyncRequest, RequestSync, GetImage (packets acknowledged with Ack/Nak when the
// request carries PacketSize, else one stream), GetCameraParam, SetCameraParam and FileCommand,
// which dispatches on its "FileCommand" attribute through a second table. More commands, or
// other behaviour for these, are added with RegisterHandler / RegisterFileCommand before Start.
//
// One thread (started by Start) owns the link and runs every handler and console command, so
// handlers need no locks of their own; Command may be called from any thread.
#pragma once

#include "tools/camsim/SimDisk.h"
#include "tools/camsim/SimFaults.h"
#include "tools/camsim/SimLink.h"
#include "tools/camsim/SimMessage.h"
#include "tools/camsim/SimMessageReader.h"
#include "tools/camsim/SimSettings.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace camsim {

class SimStorageCommands;
class SimPictureFunctions;
class SimSetupHandlers;

// What a handler answers. The default is a bare ^<Ack />.
struct SimAnswer {
    SimMessage message{"Ack"};
    std::vector<uint8_t> payload;
    bool hasPayload = false;
    int packetSize = -1;  // bytes per acknowledged packet; -1 sends the payload as one stream
    bool silent = false;  // send nothing at all

    static SimAnswer Error(const std::string& code);
    // ^<Ack error="code" />: the camera's storage error numbers.
    static SimAnswer StorageError(int code);
};

using SimHandler = std::function<void(const SimMessage& request, SimAnswer& answer)>;

struct SimStats {
    std::map<std::string, int> received;  // messages by name
    int packetsSent = 0;
    int naksReceived = 0;
    int downloadsCompleted = 0;
    int downloadsAbandoned = 0;
    int picturesTaken = 0;
};

class SimCamera {
public:
    static constexpr int kAckWaitMs = 5000;
    static constexpr int kMaxPacketSize = 65536;

    SimCamera();
    ~SimCamera();
    SimCamera(const SimCamera&) = delete;
    SimCamera& operator=(const SimCamera&) = delete;

    SimDisk& Disk() { return m_disk; }
    SimSettings& Settings() { return m_settings; }
    SimFaults& Faults() { return m_faults; }
    SimLink& Link() { return m_link; }

    void RegisterHandler(const std::string& command, SimHandler handler);
    // A stdin command of another part of the simulator; it runs on the camera's thread.
    using SimConsoleCommand = std::function<std::string(const std::string& arguments)>;
    void RegisterConsoleCommand(const std::string& verb, SimConsoleCommand command);
    void RegisterFileCommand(const std::string& subcommand, SimHandler handler);
    // The handler now registered, or null (so a new one can wrap or keep it).
    const SimHandler* FindHandler(const std::string& command) const;
    const SimHandler* FindFileCommand(const std::string& subcommand) const;
    void SetPreviewSize(int width, int height);

    // The link must be open (Link().OpenPty / OpenDevice) and the disk served.
    bool Start();
    void Stop();
    bool IsRunning() const { return m_thread.joinable() && !m_bStop.load(); }

    // Runs one console command on the camera's thread and returns its one-line result:
    // "OK ..." or "ERR ...". Commands: shoot [scene], busy, unplug, plug, fault KIND [key=value]..,
    // fault clear, baud N, status, help, quit. unplug and quit cut short a transfer in progress.
    std::string Command(const std::string& line);

    // Receives a line for every message in and out and every fault committed (for --verbose).
    void SetEventSink(std::function<void(const std::string&)> sink);
    SimStats Stats() const;

private:
    enum class AckResult { Ack, Nak, Other, Timeout, Interrupted, Gone };
    struct PendingCommand {
        std::string line;
        std::promise<std::string> result;
    };

    void Run();
    void RunPendingCommands();
    std::string Execute(const std::string& line);
    std::string Shoot(const std::string& sceneName);
    // N pictures taken and announced back to back, as the camera's burst mode does.
    std::string Burst(const std::string& count);
    std::string Busy();

    void HandleText(const std::string& text);
    void SendAnswer(const std::string& command, SimAnswer& answer);
    bool SendPackets(const std::string& header, const std::vector<uint8_t>& payload, size_t packetSize);
    bool SendStream(const std::string& header, const std::vector<uint8_t>& payload);
    AckResult WaitForAcknowledgement(int timeoutMs);
    bool SendMessage(const SimMessage& message);
    void Note(const std::string& text);

    void OnReSyncRequest(const SimMessage& request, SimAnswer& answer);
    void OnRequestSync(const SimMessage& request, SimAnswer& answer);
    void OnGetImage(const SimMessage& request, SimAnswer& answer);
    void OnGetCameraParam(const SimMessage& request, SimAnswer& answer);
    void OnSetCameraParam(const SimMessage& request, SimAnswer& answer);
    void OnFileCommand(const SimMessage& request, SimAnswer& answer);

    SimDisk m_disk;
    SimSettings m_settings;
    SimFaults m_faults;
    SimLink m_link;
    SimMessageReader m_reader;
    std::deque<std::string> m_pendingMessages;  // taken off the line while a transfer ran
    std::map<std::string, SimHandler> m_handlers;
    std::map<std::string, SimHandler> m_fileCommands;
    std::map<std::string, SimConsoleCommand> m_consoleCommands;
    // The disk commands and picture requests, installed by Start over the disk being served
    // (handlers registered before Start are kept).
    std::unique_ptr<SimStorageCommands> m_pStorageCommands;
    std::unique_ptr<SimPictureFunctions> m_pPictureFunctions;
    std::unique_ptr<SimSetupHandlers> m_pSetupHandlers;
    int m_previewWidth = 320;
    int m_previewHeight = 240;
    unsigned m_shots = 0;

    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::mutex m_commandMutex;
    std::deque<PendingCommand> m_commands;

    mutable std::mutex m_statsMutex;
    SimStats m_stats;
    std::mutex m_sinkMutex;
    std::function<void(const std::string&)> m_sink;
};

}  // namespace camsim
