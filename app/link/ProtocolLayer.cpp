#include "app/link/ProtocolLayer.h"

#include "app/link/ImageDecodeHook.h"
#include "app/link/ImageReader.h"
#include "app/link/LinkMessages.h"
#include "app/link/ProtocolHost.h"
#include "app/link/TagText.h"
#include "app/link/Transport.h"
#include "app/link/XMLParser.h"
#include "app/platform/Log.h"
#include "app/platform/MessageTarget.h"
#include "app/platform/Registry.h"
#include "app/platform/TextConvert.h"
#include "app/platform/ThreadStart.h"
#include "app/platform/TickCount.h"

#include <cstring>

namespace {

std::string Narrow(const std::u16string& text)
{
    return platform::ToUtf8(text);
}

}  // namespace

CProtocolLayer::CProtocolLayer(CTransport* pTransport, platform::MessageTarget* pHiddenWindow, IProtocolHost* pHost)
    : m_pTransport(pTransport), m_pHiddenWindow(pHiddenWindow), m_pHost(pHost),
      m_pXMLParser(std::make_unique<CXMLParser>())
{
    ORIN_TRACE("CProtocolLayer::CProtocolLayer");
    const platform::Registry registry = platform::DefaultRegistry();
    const std::optional<uint32_t> packetSize =
        registry.ReadDword(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "PacketSize");
    if (packetSize) {
        SetPacketSize(*packetSize);
    }
    if (!platform::StartThread(m_hWakeupThread, [this] { WakeupThreadProc(); })) {
        ORIN_LOG_ERROR("CProtocolLayer::CProtocolLayer", "Failed to create Wakeup thread");
    }
}

CProtocolLayer::~CProtocolLayer()
{
    ORIN_TRACE("CProtocolLayer::~CProtocolLayer");
    Shutdown();
}

void CProtocolLayer::Shutdown()
{
    ORIN_TRACE("CProtocolLayer::Shutdown");
    m_bRunning = false;
    m_bReadingImage = false;
    m_evStop.Set();
    // Releases a transaction that is waiting for its answer.
    m_evDsrOff.Set();
    for (std::thread* thread : {&m_hIsConnectionAliveThreadHandle, &m_hReadThread, &m_hWakeupThread}) {
        if (thread->joinable() && thread->get_id() != std::this_thread::get_id()) {
            thread->join();
        }
    }
}

void CProtocolLayer::SetTransport(CTransport* pTransport)
{
    ORIN_TRACE("CProtocolLayer::SetTransport");
    std::lock_guard<std::recursive_mutex> lock(m_transportLock);
    m_pTransport = pTransport;
}

void CProtocolLayer::SetPacketSize(uint32_t bytes)
{
    ORIN_TRACE("CProtocolLayer::SetPacketSize");
    if (bytes == 0 || bytes > kMaxPayloadLength) {
        ORIN_LOG_WARNING("CProtocolLayer::SetPacketSize", "Invalid entry found: %s%s\\%s: %d!",
                         platform::kOrinRootKey, "", "PacketSize", static_cast<int>(bytes));
        return;
    }
    m_dwPacketSize = bytes;
}

void CProtocolLayer::SetTimeouts(const ProtocolTimeouts& timeouts)
{
    ORIN_TRACE("CProtocolLayer::SetTimeouts");
    std::lock_guard<std::mutex> lock(m_timeoutsLock);
    m_timeouts = timeouts;
}

ProtocolTimeouts CProtocolLayer::GetTimeouts() const
{
    ORIN_TRACE("CProtocolLayer::GetTimeouts");
    std::lock_guard<std::mutex> lock(m_timeoutsLock);
    return m_timeouts;
}

void CProtocolLayer::EnableThreads(bool bEnable)
{
    ORIN_TRACE("CProtocolLayer::EnableThreads");
    std::lock_guard<std::mutex> lock(m_threadsLock);
    m_bThreadsEnabled = bEnable;
}

void CProtocolLayer::EndActivity()
{
    ORIN_TRACE("CProtocolLayer::EndActivity");
    long current = m_lActivity.load();
    while (current > 0 && !m_lActivity.compare_exchange_weak(current, current - 1)) {
    }
}

void CProtocolLayer::ResetBusyMode()
{
    ORIN_TRACE("CProtocolLayer::ResetBusyMode");
    m_evBusyMode.Reset();
}

void CProtocolLayer::Post(uint32_t id)
{
    ORIN_TRACE("CProtocolLayer::Post");
    platform::MessageTarget* target = m_pHiddenWindow.load();
    if (target != nullptr && !target->PostMessage(platform::MakeMessage(id))) {
        ORIN_LOG_ERROR("CProtocolLayer::Post", "PostMessage failed");
    }
}

bool CProtocolLayer::Init()
{
    ORIN_TRACE("CProtocolLayer::Init");
    CTransport* transport = m_pTransport.load();
    if (transport == nullptr) {
        ORIN_LOG_ERROR("CProtocolLayer::Init", "m_pTransport == NULL");
        return false;
    }
    if (!m_pXMLParser) {
        ORIN_LOG_ERROR("CProtocolLayer::Init", "m_pXMLParser == NULL");
        return false;
    }
    if (!m_pXMLParser->Init()) {
        ORIN_LOG_ERROR("CProtocolLayer::Init", "m_pXMLParser->Init failed");
        return false;
    }
    m_bInSync = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_transportLock);
        if (!transport->IsConnected()) {
            const uint32_t start = platform::TickCount();
            while (!transport->OpenConnection() && platform::TicksSince(start) < GetTimeouts().connectTimeoutMs) {
                if (m_evStop.Wait(GetTimeouts().connectRetryMs)) {
                    return false;
                }
            }
            if (!transport->IsConnected()) {
                ORIN_LOG_ERROR("CProtocolLayer::Init", "OpenConnection failed");
            }
        }
    }
    if (!StartReadThread()) {
        return false;
    }
    ProtocolCommand answer;
    if (ReSync(true, &answer, 1, true)) {
        IProtocolHost* host = m_pHost.load();
        if (host != nullptr) {
            host->OnSynchronized(answer);
        }
    }
    if (!m_hIsConnectionAliveThreadHandle.joinable() &&
        !platform::StartThread(m_hIsConnectionAliveThreadHandle, [this] { IsConnectionAliveThreadProc(); })) {
        // The link still works; only a camera that drops out of sync is not noticed by itself.
        ORIN_LOG_ERROR("CProtocolLayer::Init", "Failed to create IsConnectionAlive thread");
    }
    return true;
}

bool CProtocolLayer::StartReadThread()
{
    ORIN_TRACE("CProtocolLayer::StartReadThread");
    if (!m_hReadThread.joinable() && !platform::StartThread(m_hReadThread, [this] { ReadThread(); })) {
        // Nobody would ever set the ready event: waiting for it would hang the caller.
        ORIN_LOG_ERROR("CProtocolLayer::StartReadThread", "Failed to create thread m_hReadThread");
        return false;
    }
    if (platform::WaitAny({&m_evReadThreadReady, &m_evStop}, platform::INFINITE_WAIT) != 0) {
        ORIN_LOG_ERROR("CProtocolLayer::StartReadThread", "Error while waiting for m_hReadThreadReadyEvent");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Receiving

bool CProtocolLayer::ParseCommand(const std::string& message, ProtocolCommand& command)
{
    ORIN_TRACE("CProtocolLayer::ParseCommand");
    if (message.empty()) {
        ORIN_LOG_ERROR("CProtocolLayer::ParseCommand", "invalid input stream");
        return false;
    }
    const std::optional<std::string> tag = ExtractTag(message);
    if (!tag) {
        ORIN_LOG_ERROR("CProtocolLayer::ParseCommand", "Message doesn't contain an XML tag");
        return false;
    }
    const std::u16string wide = platform::FromUtf8(*tag);
    ORIN_LOG_INFO("CProtocolLayer::ParseCommand", "%s", Narrow(wide).c_str());
    AttributeList attributes;
    std::u16string name;
    m_pXMLParser->ParseTag(wide, attributes, name);
    if (name.empty()) {
        ORIN_LOG_ERROR("CProtocolLayer::ParseCommand", "Failed to parse an XML tag");
        return false;
    }
    command.Release();
    command.commandID = CommandIdFromName(name);
    command.attributes = std::move(attributes);
    return true;
}

bool CProtocolLayer::OnError(const ProtocolCommand& command, std::u16string& errorText)
{
    ORIN_TRACE("CProtocolLayer::OnError");
    if (command.commandID != ERROR_REPLY) {
        ORIN_LOG_ERROR("CProtocolLayer::OnError", "CProtocolLayer::OnError() ERROR_REPLY != pCommand->commandID (%d)",
                       command.commandID);
        return false;
    }
    for (const AttributePair& pair : command.attributes) {
        if (pair.name == u"error_code") {
            errorText = ErrorReplyText(ErrorReplyCode(pair.value.value_or(u"")));
        }
    }
    return true;
}

bool CProtocolLayer::OnReceiveCommand(const std::string& message)
{
    ORIN_TRACE("CProtocolLayer::OnReceiveCommand");
    if (message.empty()) {
        return false;
    }
    ProtocolCommand command;
    if (!ParseCommand(message, command)) {
        return false;
    }
    int64_t payloadLength = 0;
    int64_t packetSize = -1;
    for (const AttributePair& pair : command.attributes) {
        if (pair.name == u"ATTACHMENT") {
            payloadLength = DecimalValue(pair.value.value_or(u""));
        } else if (pair.name == u"Size") {
            packetSize = DecimalValue(pair.value.value_or(u""));
            if (packetSize == 0) {
                ORIN_LOG_ERROR("CProtocolLayer::OnReceiveCommand", "Error reading packet size or packet size is zero");
                packetSize = -1;
            }
        }
    }
    // Lengths come from the far end: a wrong one must neither exhaust memory nor break the
    // packet arithmetic. The message is dropped; the waiting operation times out and resyncs.
    if (payloadLength < 0 || payloadLength > kMaxPayloadLength || packetSize < -1 ||
        packetSize > kMaxPayloadLength) {
        ORIN_LOG_ERROR("CProtocolLayer::OnReceiveCommand", "Refused payload header: ATTACHMENT %lld, Size %lld",
                       static_cast<long long>(payloadLength), static_cast<long long>(packetSize));
        return false;
    }
    bool pictureWanted = false;
    {
        std::lock_guard<std::mutex> lock(m_answerLock);
        m_lLastCommandId = command.commandID;
        pictureWanted = m_bPictureRequestWaiting && command.commandID == m_lExpectedCommandId;
    }
    if (payloadLength > 0 && packetSize > 0 && !pictureWanted) {
        // The late answer of a picture request already given up: acknowledging its packets
        // would keep the camera sending a picture nobody waits for, in the middle of the
        // resynchronisation that followed. Left unacknowledged, the camera drops it and
        // answers the next command; its first packet is stray bytes to the reader.
        ORIN_LOG_WARNING("CProtocolLayer::OnReceiveCommand", "Picture that no request waits for is not read: %lld bytes",
                         static_cast<long long>(payloadLength));
        payloadLength = 0;
    }
    if (payloadLength > 0) {
        command.attachment.resize(static_cast<size_t>(payloadLength));
        m_bReadingImage = true;
        m_dwPayloadProgressTick = platform::TickCount();
        if (!ReadImage(command.attachment.data(), static_cast<uint32_t>(payloadLength),
                       static_cast<int32_t>(packetSize))) {
            ORIN_LOG_ERROR("CProtocolLayer::OnReceiveCommand", "ReadImage failed");
            std::vector<uint8_t>().swap(command.attachment);
        } else if (m_bDecompress) {
            IImageDecodeHook* hook = m_pDecodeHook.load();
            if (hook != nullptr) {
                const uint32_t start = platform::TickCount();
                hook->DecodePicture(command.attachment.data(), command.attachment.size());
                ORIN_LOG_INFO("CProtocolLayer::OnReceiveCommand", "Decompression time - %d",
                              static_cast<int>(platform::TicksSince(start)));
            }
        }
    }
    {
        std::unique_lock<std::mutex> lock(m_answerLock);
        // Identifier 0 (any unknown element) never answers anything, and an Error answers only
        // a transaction that is waiting: a stray message must not complete the next request.
        const bool waiting = m_lExpectedCommandId != COMMAND_NONE;
        if (waiting && (command.commandID == m_lExpectedCommandId || command.commandID == ERROR_REPLY)) {
            m_evPictureTaken.Reset();
            ORIN_LOG_INFO("CProtocolLayer::OnReceiveCommand", "CProtocolLayer::OnReceiveCommand(). Expected command received: %s",
                          Narrow(CommandNameFromId(command.commandID)).c_str());
            m_pLastAnswer = std::make_unique<ProtocolCommand>(std::move(command));
            m_hEventExpectedCommandCame.Set();
            ORIN_LOG_INFO("CProtocolLayer::OnReceiveCommand", "Expected command came");
            return true;
        }
    }
    ORIN_LOG_INFO("CProtocolLayer::OnReceiveCommand", "Asynchronous incoming command came");
    if (command.commandID == PICTURE_TAKEN) {
        IProtocolHost* host = m_pHost.load();
        for (const AttributePair& pair : command.attributes) {
            if (pair.name == u"file_name" && pair.value && host != nullptr) {
                host->SetNewestPicture(*pair.value);
            }
        }
        ORIN_LOG_INFO("CProtocolLayer::OnReceiveCommand", "Handling PICTURE_TAKEN command");
        if (host != nullptr) {
            host->CloseMessageBox();
        }
        const std::u16string* busy = command.FindAttributeNoCase(u"busy");
        if (busy != nullptr && EqualsNoCase(*busy, u"yes")) {
            m_evBusyMode.Set();
        } else {
            // A normal picture means the camera's busy period is over.
            m_evBusyMode.Reset();
            m_evPictureTaken.Set();
        }
        platform::MessageTarget* target = m_pHiddenWindow.load();
        if (target != nullptr &&
            !target->PostMessage(platform::MakeMessage(linkmsg::WM_PICTURE_TAKEN, std::move(command)))) {
            ORIN_LOG_ERROR("CProtocolLayer::OnReceiveCommand", "PostMessage failed");
        }
        return true;
    }
    int32_t expected = COMMAND_NONE;
    {
        std::lock_guard<std::mutex> lock(m_answerLock);
        expected = m_lExpectedCommandId;
    }
    ORIN_LOG_WARNING("CProtocolLayer::OnReceiveCommand", "CProtocolLayer::OnReceiveCommand Unexpected command came: %s, Expected command %s",
                     Narrow(CommandNameFromId(command.commandID)).c_str(), Narrow(CommandNameFromId(expected)).c_str());
    if (!m_bInSync) {
        Post(linkmsg::WM_SYNC);
    }
    return true;
}

bool CProtocolLayer::ReadImage(uint8_t* buffer, uint32_t length, int32_t packetSize)
{
    ORIN_TRACE("CProtocolLayer::ReadImage");
    CTransport* transport = m_pTransport.load();
    if (transport == nullptr) {
        m_bReadingImage = false;
        return false;
    }
    CImageReader::Limits limits;
    limits.firstByteMs = GetTimeouts().packetFirstByteMs;
    limits.minPacketMs = GetTimeouts().minPacketMs;
    limits.streamStallMs = GetTimeouts().getImageMs;
    CImageReader reader(*transport, m_bReadingImage, m_dwPayloadProgressTick, limits);
    if (IProtocolHost* host = m_pHost.load(); host != nullptr) {
        reader.SetProgress([host](uint32_t received, uint32_t total) { host->OnPictureProgress(received, total); });
    }
    const uint32_t start = platform::TickCount();
    const bool result = reader.ReadImage(buffer, length, packetSize);
    if (packetSize < 0) {
        ThroughputLog(start, result ? length : 0);
    }
    return result;
}

void CProtocolLayer::ThroughputLog(uint32_t startTick, uint32_t byteCount)
{
    ORIN_TRACE("CProtocolLayer::ThroughputLog");
    const uint32_t elapsed = platform::TicksSince(startTick);
    const uint64_t rate = elapsed == 0 ? 0 : static_cast<uint64_t>(byteCount) * 8000u / elapsed;
    ORIN_LOG_INFO("CProtocolLayer::ThroughputLog", "CProtocolLayer baudrate: %d", static_cast<int>(rate));
}

// ---------------------------------------------------------------------------------------------
// Threads

void CProtocolLayer::UpdateConnectionState(CTransport* transport, bool& bWasConnected)
{
    ORIN_TRACE("CProtocolLayer::UpdateConnectionState");
    bool connected = transport->IsConnected();
    if (!connected && !bWasConnected) {
        if (transport->OpenConnection()) {
            connected = transport->IsConnected();
        }
        if (!connected) {
            return;
        }
    }
    if (!connected && bWasConnected) {
        transport->LogState();
        ORIN_LOG_WARNING("CProtocolLayer::ReadThread", "connection offline after being online.");
        ORIN_LOG_WARNING("CProtocolLayer::ReadThread", "DSR is OFF after being ON.");
        m_evDsrOff.Set();
        m_bInSync = false;
        // Whatever the camera was busy with ended with the link.
        m_evBusyMode.Reset();
        IProtocolHost* host = m_pHost.load();
        if (host != nullptr) {
            host->CloseMessageBox();
        }
        Post(linkmsg::WM_OFFLINE);
    } else if (connected && !bWasConnected) {
        transport->LogState();
        if (!transport->ReOpenCommPort()) {
            ORIN_LOG_ERROR("CProtocolLayer::ReadThread", "ReOpenCommPort failed");
        }
        ORIN_LOG_INFO("CProtocolLayer::ReadThread", "connection online after being offline. Starting sync process.");
        m_bInSync = false;
        m_evBusyMode.Reset();
        m_evDsrOff.Reset();
        Post(linkmsg::WM_SYNC);
    }
    bWasConnected = connected;
}

bool CProtocolLayer::ReadThreadStep(bool& bWasConnected)
{
    ORIN_TRACE("CProtocolLayer::ReadThreadStep");
    std::lock_guard<std::recursive_mutex> lock(m_transportLock);
    CTransport* transport = m_pTransport.load();
    if (transport == nullptr) {
        return false;
    }
    UpdateConnectionState(transport, bWasConnected);
    if (!bWasConnected) {
        return false;
    }
    if (transport->GetBytesAvailable() == 0) {
        // Wait for the line here rather than sleeping: a message is taken the moment it lands.
        transport->WaitForData(GetCommandSleepTime());
        return true;
    }
    uint8_t byte = 0;
    if (transport->ReadBytes(&byte, 1) != 1) {
        return true;
    }
    if (byte != '^') {
        ORIN_LOG_INFO("CProtocolLayer::ReadThread", "CProtocolLayer::ReadThread byte read: %d (%c)", byte,
                      (byte >= 32 && byte < 127) ? byte : '.');
        return true;
    }
    const uint32_t start = platform::TickCount();
    std::string message;
    const bool read = transport->ReadCommand(message);
    ThroughputLog(start, 1);
    if (!read) {
        // A message torn by silence or drowned in noise: the stream can no longer be trusted,
        // so the next operation (or the watchdog) resynchronises first.
        ORIN_LOG_ERROR("CProtocolLayer::ReadThread", "ReadCommand failed");
        m_bInSync = false;
        return true;
    }
    OnReceiveCommand(message);
    return true;
}

void CProtocolLayer::ReadThread()
{
    ORIN_TRACE("CProtocolLayer::ReadThread");
    bool bWasConnected = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_transportLock);
        CTransport* transport = m_pTransport.load();
        bWasConnected = transport != nullptr && transport->IsConnected();
        if (bWasConnected) {
            ORIN_LOG_INFO("CProtocolLayer::ReadThread", "Reset DSR off event");
            m_evDsrOff.Reset();
        } else {
            ORIN_LOG_INFO("CProtocolLayer::ReadThread", "Set DSR off event");
            m_evDsrOff.Set();
        }
    }
    m_evReadThreadReady.Set();
    while (m_bRunning) {
        const bool active = ReadThreadStep(bWasConnected);
        if (!active) {
            // Far end absent: try again a little later (the open is retried by the step).
            m_evStop.Wait(GetTimeouts().reconnectSleepMs);
        } else if (!m_bThreadsEnabled) {
            // A transport change is waiting for the transport lock: stay out of its way.
            platform::SleepMs(GetCommandSleepTime());
        } else {
            std::this_thread::yield();
        }
    }
}

void CProtocolLayer::IsConnectionAliveThreadProc()
{
    ORIN_TRACE("CProtocolLayer::IsConnectionAliveThreadProc");
    while (m_bRunning) {
        if (m_evStop.Wait(GetTimeouts().watchdogPeriodMs)) {
            break;
        }
        bool synced = false;
        {
            std::lock_guard<std::mutex> lock(m_threadsLock);
            CTransport* transport = m_pTransport.load();
            if (m_bThreadsEnabled && !m_bInSync && !m_evBusyMode.IsSet() && !m_evDsrOff.IsSet() &&
                transport != nullptr && transport->IsConnected()) {
                synced = Synchronize(false);
                if (synced) {
                    m_bInSync = true;
                }
            }
        }
        // Sent outside the threads lock: the receiver may switch the threads off meanwhile.
        platform::MessageTarget* target = m_pHiddenWindow.load();
        if (synced && target != nullptr && m_bRunning) {
            ORIN_LOG_INFO("CProtocolLayer::IsConnectionAliveThreadProc", "sending WM_SYNC");
            target->SendMessage(platform::MakeMessage(linkmsg::WM_SYNC));
        }
    }
}

void CProtocolLayer::WakeupThreadProc()
{
    ORIN_TRACE("CProtocolLayer::WakeupThreadProc");
    for (;;) {
        const int result = platform::WaitAny({&m_evWakeup, &m_evStop}, platform::INFINITE_WAIT);
        if (result != 0) {
            ORIN_LOG_INFO("CProtocolLayer::WakeupThreadProc", "CProtocolLayer::WakeupThreadProc. Wait result 0x%08X, code 0x%08X",
                          static_cast<unsigned>(result), 0u);
            break;
        }
        ORIN_LOG_INFO("CProtocolLayer::WakeupThreadProc", "Wakeup event occur. Reopening the port");
        std::lock_guard<std::recursive_mutex> lock(m_transportLock);
        CTransport* transport = m_pTransport.load();
        if (transport != nullptr) {
            transport->OnWakeup();
        }
    }
}
