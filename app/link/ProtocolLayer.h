// The one object through which the program talks to the camera back: a read thread that takes
// every message off the transport, request/answer transactions with time-outs (one at a time),
// resynchronisation, the watch on the far end, and picture download.
#pragma once

#include "app/link/ProtocolCommand.h"
#include "app/platform/Event.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {
class MessageTarget;
}

class CTransport;
class CXMLParser;
class IImageDecodeHook;
class IProtocolHost;

// Every time limit of the protocol layer. The program uses the defaults; tests shorten them.
struct ProtocolTimeouts {
    uint32_t synchronizeMs = 4000;
    uint32_t requestSyncMs = 8000;
    // Picture answers: counted from the last progress of the payload, not from the request.
    uint32_t getImageMs = 5000;
    uint32_t getPictureParamsMs = 4000;
    uint32_t setPictureParamsMs = 10000;
    uint32_t setCameraParamMs = 12000;
    uint32_t getCameraParamMs = 4000;
    uint32_t imageFunctionMs = 4000;
    uint32_t watchdogPeriodMs = 4000;
    // Init waits this long for the far end, looking every connectRetryMs.
    uint32_t connectTimeoutMs = 25000;
    uint32_t connectRetryMs = 1000;
    // Read thread: pause between reopen attempts while the far end is absent.
    uint32_t reconnectSleepMs = 2000;
    // Packet download: wait for a packet's first byte, and the floor of the per-packet limit.
    uint32_t packetFirstByteMs = 1000;
    uint32_t minPacketMs = 500;
};

class CProtocolLayer {
public:
    // Refused above this: a payload or packet length a camera preview never reaches.
    static constexpr int64_t kMaxPayloadLength = 64 * 1024 * 1024;
    static constexpr uint32_t kDefaultPacketSize = 1536;

    // None of the pointers is owned; each may be null and set later. The message target must
    // keep taking (or refusing) messages until this object is destroyed: the watchdog sends to it.
    explicit CProtocolLayer(CTransport* pTransport, platform::MessageTarget* pHiddenWindow = nullptr,
                            IProtocolHost* pHost = nullptr);
    ~CProtocolLayer();
    CProtocolLayer(const CProtocolLayer&) = delete;
    CProtocolLayer& operator=(const CProtocolLayer&) = delete;

    // Connect, start the read thread, first resynchronisation (with RequestSync), watchdog.
    bool Init();
    // Stops and joins every thread; a waiting transaction ends at once. Called by the destructor.
    void Shutdown();

    // --- wiring ---
    void SetTransport(CTransport* pTransport);  // under the transport lock
    CTransport* GetTransport() const { return m_pTransport.load(); }
    void SetMessageTarget(platform::MessageTarget* pTarget) { m_pHiddenWindow.store(pTarget); }
    void SetHost(IProtocolHost* pHost) { m_pHost.store(pHost); }
    void SetImageDecodeHook(IImageDecodeHook* pHook) { m_pDecodeHook.store(pHook); }
    // PacketSize asked for in picture requests, in bytes (read from the registry at start).
    void SetPacketSize(uint32_t bytes);
    uint32_t GetPacketSize() const { return m_dwPacketSize.load(); }
    void SetDecompress(bool bDecompress) { m_bDecompress.store(bDecompress); }
    bool GetDecompress() const { return m_bDecompress.load(); }
    // May be changed at any time; an operation already waiting keeps the limit it started with.
    void SetTimeouts(const ProtocolTimeouts& timeouts);
    ProtocolTimeouts GetTimeouts() const;

    // --- state other parts read ---
    void EnableThreads(bool bEnable);
    void BeginActivity() { ++m_lActivity; }
    void EndActivity();  // never below 0
    bool IsIdle() const { return m_lActivity.load() == 0; }
    long GetActivityCount() const { return m_lActivity.load(); }
    bool IsInSync() const { return m_bInSync.load(); }
    // Marks the link as needing resynchronisation (the views do this when they go offline).
    void SetOutOfSync() { m_bInSync.store(false); }
    // The far end is present (the DSR OFF event is not set).
    bool IsOnline() const { return !m_evDsrOff.IsSet(); }
    bool IsReadingImage() const { return m_bReadingImage.load(); }
    // Ends busy mode; the view calls it when the camera's calibration wait is over.
    void ResetBusyMode();
    bool IsBusyMode() const { return m_evBusyMode.IsSet(); }
    platform::Event& PictureTakenEvent() { return m_evPictureTaken; }
    platform::Event& BusyModeEvent() { return m_evBusyMode; }
    platform::Event& DsrOffEvent() { return m_evDsrOff; }
    // Lock order: transaction lock, then command lock. The views hold the command lock while
    // they update their picture; transport changes hold the transport lock.
    std::recursive_mutex& TransactionLock() { return m_transactionLock; }
    std::recursive_mutex& CommandLock() { return m_commandLock; }
    std::recursive_mutex& TransportLock() { return m_transportLock; }
    // The machine woke up: the wake-up thread reopens the port.
    void SignalWakeup() { m_evWakeup.Set(); }

    // --- transactions ---
    // Sends commandName with the first attributeCount pairs and waits up to waitMs for the
    // answer with identifier expectedAnswer (or an Error answer, whose text goes to errorText).
    bool ExecuteCommandTransaction(const char* commandName, const AttributeList* attributes,
                                   size_t attributeCount, int32_t expectedAnswer,
                                   ProtocolCommand* answer, uint32_t waitMs,
                                   std::u16string& errorText, bool showBusy);
    // Purge, then one ReSyncRequest/ReSyncResponse exchange.
    bool Synchronize(bool showBusy);
    // The camera's whole state as a Sync answer.
    bool RequestSync(ProtocolCommand& answer);
    // Up to attempts resynchronisations; then, with requestSync and an answer record, RequestSync.
    bool ReSync(bool requestSync, ProtocolCommand* answer, int attempts, bool showBusy);

    // Per-command operations: up to 3 attempts with a resynchronisation between them. An answer
    // carrying an "error" attribute fails with that error's text.
    // A last pair named Retransmission is sent only when the command is repeated.
    bool FileCommand(ProtocolCommand& answer, const AttributeList& attributes,
                     std::u16string& errorText, uint32_t waitMs);
    // Adds PacketSize to attributes when the transport takes one; true only with a payload.
    bool GetImage(ProtocolCommand& answer, AttributeList& attributes, std::u16string& errorText);
    bool GetPictureParams(ProtocolCommand& answer, const AttributeList& attributes,
                          std::u16string& errorText);
    bool SetPictureParams(const AttributeList& attributes, std::u16string& errorText);
    bool SetCameraParam(const AttributeList& attributes, std::u16string& errorText);
    bool GetCameraParam(ProtocolCommand& answer, const AttributeList& attributes,
                        std::u16string& errorText);
    bool ImageFunction(ProtocolCommand& answer, const AttributeList& attributes,
                       std::u16string& errorText);

    // --- receiving (read thread) ---
    // One received message ("^<...>") into a record.
    bool ParseCommand(const std::string& message, ProtocolCommand& command);
    // True when the command is an Error answer; errorText then holds its text.
    static bool OnError(const ProtocolCommand& command, std::u16string& errorText);
    bool OnReceiveCommand(const std::string& message);
    // Reads a payload of length bytes in packets of packetSize (-1: one stream).
    bool ReadImage(uint8_t* buffer, uint32_t length, int32_t packetSize);

private:
    enum class Attempt { Done, Retry, Stop };

    void ReadThread();
    void IsConnectionAliveThreadProc();
    void WakeupThreadProc();
    bool StartReadThread();
    // One pass of the read thread under the transport lock; false when it should pause.
    bool ReadThreadStep(bool& bWasConnected);
    void UpdateConnectionState(CTransport* pTransport, bool& bWasConnected);
    void ThroughputLog(uint32_t startTick, uint32_t byteCount);
    void Post(uint32_t id);
    // Per-command frame shared by every operation but Synchronize and RequestSync.
    bool RunCommandFrame(const char* commandName, const char* operationName,
                         const AttributeList& attributes, size_t firstCount, bool growCount,
                         ProtocolCommand& answer, uint32_t waitMs, std::u16string& errorText,
                         bool pictureRequest);
    // Starts an operation found out of sync with the purge-and-resync barrier when the far end
    // is there; false (and the usual log line) when the link cannot be brought back.
    bool EnsureInSync();
    // Waits for the answer event, the far end vanishing or busy mode. Picture answers keep
    // waiting while their payload still makes progress.
    int WaitForAnswer(uint32_t waitMs, bool pictureRequest);

    std::atomic<CTransport*> m_pTransport;
    std::atomic<platform::MessageTarget*> m_pHiddenWindow;
    std::atomic<IProtocolHost*> m_pHost;
    std::atomic<IImageDecodeHook*> m_pDecodeHook{nullptr};
    std::unique_ptr<CXMLParser> m_pXMLParser;
    mutable std::mutex m_timeoutsLock;
    ProtocolTimeouts m_timeouts;

    std::atomic<bool> m_bRunning{true};
    std::atomic<bool> m_bInSync{false};
    std::atomic<bool> m_bReadingImage{false};
    std::atomic<bool> m_bDecompress{true};
    std::atomic<bool> m_bThreadsEnabled{true};
    std::atomic<uint32_t> m_dwPacketSize{kDefaultPacketSize};
    std::atomic<long> m_lActivity{0};
    // Tick of the last payload bytes received; keeps a picture answer's wait alive.
    std::atomic<uint32_t> m_dwPayloadProgressTick{0};

    std::recursive_mutex m_transactionLock;
    std::recursive_mutex m_commandLock;
    std::recursive_mutex m_transportLock;
    std::mutex m_threadsLock;

    // Guarded by m_answerLock: what the running transaction waits for and what completed it.
    std::mutex m_answerLock;
    int32_t m_lLastCommandId = COMMAND_NONE;
    int32_t m_lExpectedCommandId = COMMAND_NONE;
    // The waiting transaction is a picture request, so a payload may answer it.
    bool m_bPictureRequestWaiting = false;
    std::unique_ptr<ProtocolCommand> m_pLastAnswer;
    // Of the last transaction (under the transaction lock): whether its wait ran out, and the
    // hexadecimal error_code of an Error answer.
    bool m_bLastWaitTimedOut = false;
    unsigned long m_lLastErrorCode = 0;

    platform::Event m_hEventExpectedCommandCame{false, false};
    platform::Event m_evDsrOff{true, true};
    platform::Event m_evReadThreadReady{true, false};
    platform::Event m_evPictureTaken{true, false};
    platform::Event m_evBusyMode{true, false};
    platform::Event m_evStop{true, false};
    platform::Event m_evWakeup{false, false};

    std::thread m_hReadThread;
    std::thread m_hIsConnectionAliveThreadHandle;
    std::thread m_hWakeupThread;
};
