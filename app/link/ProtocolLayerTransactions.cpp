// CProtocolLayer, second half: transactions, resynchronisation and the per-command operations.
// (The first half, ProtocolLayer.cpp, holds construction, receiving and the threads.)
#include "app/link/ProtocolLayer.h"

#include "app/link/LinkMessages.h"
#include "app/link/ProtocolHost.h"
#include "app/link/TagText.h"
#include "app/link/Transport.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/platform/TickCount.h"

#include <cstring>

namespace {

constexpr long kPinRefused = 8184;
constexpr unsigned long kPictureParamsRefused = 0x1FF3;

class BusyScope {
public:
    BusyScope(IProtocolHost* host, bool on) : m_pHost(on ? host : nullptr)
    {
        if (m_pHost != nullptr) {
            m_pHost->SetBusyIndicator(true);
        }
    }
    ~BusyScope()
    {
        if (m_pHost != nullptr) {
            m_pHost->SetBusyIndicator(false);
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    IProtocolHost* m_pHost;
};

const char* TrueFalse(bool value)
{
    return value ? "true" : "false";
}

}  // namespace

int CProtocolLayer::WaitForAnswer(uint32_t waitMs, bool pictureRequest)
{
    ORIN_TRACE("CProtocolLayer::WaitForAnswer");
    const uint32_t start = platform::TickCount();
    for (;;) {
        // A picture answer is alive as long as its payload moves: the limit counts from the
        // request or from the last payload bytes, whichever is later. That holds after the
        // last bytes too, while the picture is decoded and its answer handed over; progress
        // from before this request belongs to an earlier one.
        uint32_t reference = start;
        if (pictureRequest) {
            const uint32_t progress = m_dwPayloadProgressTick.load();
            if (static_cast<int32_t>(progress - start) > 0) {
                reference = progress;
            }
        }
        const uint32_t elapsed = platform::TicksSince(reference);
        const uint32_t remaining = elapsed >= waitMs ? 0 : waitMs - elapsed;
        const int result = platform::WaitAny({&m_hEventExpectedCommandCame, &m_evDsrOff, &m_evBusyMode, &m_evStop},
                                             remaining);
        if (result != platform::WAIT_TIMED_OUT) {
            return result == 3 ? 1 : result;
        }
        if (remaining == 0) {
            return platform::WAIT_TIMED_OUT;
        }
    }
}

bool CProtocolLayer::ExecuteCommandTransaction(const char* commandName, const AttributeList* attributes,
                                               size_t attributeCount, int32_t expectedAnswer,
                                               ProtocolCommand* answer, uint32_t waitMs,
                                               std::u16string& errorText, bool showBusy)
{
    ORIN_TRACE("CProtocolLayer::ExecuteCommandTransaction");
    if (m_evDsrOff.IsSet()) {
        ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction", "command send failed because DSR is off");
        return false;
    }
    if (m_evBusyMode.IsSet()) {
        ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction", "command send failed because in busy mode");
        return false;
    }
    if (commandName == nullptr || answer == nullptr || expectedAnswer == COMMAND_NONE) {
        ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction",
                       "CProtocolLayer::ExecuteCommandTransaction() Invalid parameters szCommandName: %s, pResponseCommand: %p",
                       commandName != nullptr ? commandName : "(null)", static_cast<void*>(answer));
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(m_transactionLock);
    m_bLastWaitTimedOut = false;
    BusyScope busy(m_pHost.load(), showBusy);
    const std::string text = platform::ToUtf8(BuildCommandText(platform::FromUtf8(commandName), attributes, attributeCount));
    const bool picture = std::strcmp(commandName, "GetImage") == 0;
    {
        // Whatever arrived before this request cannot be its answer.
        std::lock_guard<std::mutex> answerLock(m_answerLock);
        m_pLastAnswer.reset();
        m_hEventExpectedCommandCame.Reset();
        m_lExpectedCommandId = expectedAnswer;
        m_bPictureRequestWaiting = picture;
    }
    ORIN_LOG_INFO("CProtocolLayer::ExecuteCommandTransaction", "CProtocolLayer::ExecuteCommandTransaction Sending command: %s",
                  text.c_str());
    bool result = false;
    CTransport* transport = m_pTransport.load();
    if (transport == nullptr ||
        !transport->WriteData(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()))) {
        ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction", "WriteData failed");
    } else {
        const int wait = WaitForAnswer(waitMs, picture);
        if (wait == 0) {
            std::lock_guard<std::mutex> answerLock(m_answerLock);
            if (m_pLastAnswer && m_pLastAnswer->commandID == expectedAnswer) {
                answer->CopyFrom(*m_pLastAnswer);
                result = true;
            } else if (m_pLastAnswer && m_pLastAnswer->commandID == ERROR_REPLY) {
                OnError(*m_pLastAnswer, errorText);
                const std::u16string* code = m_pLastAnswer->FindAttribute(u"error_code");
                m_lLastErrorCode = code != nullptr ? HexValue(*code) : 0;
            }
        } else {
            if (wait == 1) {
                ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction", "DSR Off");
            } else if (wait == 2) {
                ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction", "Busy detected");
            } else {
                m_bLastWaitTimedOut = true;
            }
            ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction",
                           "CProtocolLayer::ExecuteCommandTransaction() Error while waiting for response for %d msec. Code %d",
                           static_cast<int>(waitMs), wait);
        }
    }
    {
        std::lock_guard<std::mutex> answerLock(m_answerLock);
        m_lExpectedCommandId = COMMAND_NONE;
        m_bPictureRequestWaiting = false;
        m_pLastAnswer.reset();
        m_hEventExpectedCommandCame.Reset();
    }
    if (result) {
        ORIN_LOG_INFO("CProtocolLayer::ExecuteCommandTransaction", "CProtocolLayer::ExecuteCommandTransaction() succeeded");
    } else {
        ORIN_LOG_ERROR("CProtocolLayer::ExecuteCommandTransaction", "CProtocolLayer::ExecuteCommandTransaction() failed: %s",
                       platform::ToUtf8(errorText).c_str());
    }
    return result;
}

bool CProtocolLayer::Synchronize(bool showBusy)
{
    ORIN_TRACE("CProtocolLayer::Synchronize");
    std::lock_guard<std::recursive_mutex> lock(m_transactionLock);
    CTransport* transport = m_pTransport.load();
    if (transport != nullptr) {
        transport->PurgeCommPort();
    }
    ProtocolCommand answer;
    std::u16string errorText;
    const bool result = ExecuteCommandTransaction("ReSyncRequest", nullptr, 0, RESYNC_RESPONSE, &answer,
                                                  GetTimeouts().synchronizeMs, errorText, showBusy);
    if (!result) {
        ORIN_LOG_ERROR("CProtocolLayer::Synchronize", "ExecuteCommandTransaction failed");
    }
    ORIN_LOG_INFO("CProtocolLayer::Synchronize", "CProtocolLayer::Synchronize returned: %s", TrueFalse(result));
    return result;
}

bool CProtocolLayer::RequestSync(ProtocolCommand& answer)
{
    ORIN_TRACE("CProtocolLayer::RequestSync");
    std::lock_guard<std::recursive_mutex> lock(m_transactionLock);
    if (!m_bInSync) {
        ORIN_LOG_ERROR("CProtocolLayer::RequestSync", "Can't perform requsted command. PDA is out of sync");
        return false;
    }
    std::u16string errorText;
    bool result = false;
    for (int attempt = 3; attempt > 0; --attempt) {
        result = ExecuteCommandTransaction("RequestSync", nullptr, 0, SYNC_REPLY, &answer, GetTimeouts().requestSyncMs,
                                           errorText, true);
        if (result || attempt == 1 || !m_bInSync || !ReSync(false, nullptr, 3, true)) {
            break;
        }
    }
    if (result) {
        // Only an error attribute carries the PIN refusal; an ordinary value that happens to be
        // 8184 (exposures left, say) is not one.
        bool pinRefused = false;
        for (const AttributePair& pair : answer.attributes) {
            const std::u16string value = pair.value.value_or(u"");
            if ((pair.name == u"error" && DecimalValue(value) == kPinRefused) ||
                (pair.name == u"error_code" && (HexValue(value) == 0x1FF8 || value == u"8184"))) {
                pinRefused = true;
            }
        }
        IProtocolHost* host = m_pHost.load();
        if (pinRefused && host != nullptr) {
            host->ShowMessage(u"Invalid pin code. Open Transport dialog, select bluetooth device and modify pin code.");
        }
    }
    ORIN_LOG_INFO("CProtocolLayer::RequestSync", "CProtocolLayer::RequestSync() returned: %s", TrueFalse(result));
    return result;
}

bool CProtocolLayer::ReSync(bool requestSync, ProtocolCommand* answer, int attempts, bool showBusy)
{
    ORIN_TRACE("CProtocolLayer::ReSync");
    std::lock_guard<std::recursive_mutex> lock(m_transactionLock);
    if (m_evBusyMode.IsSet()) {
        ORIN_LOG_ERROR("CProtocolLayer::ReSync", "ReSync failed because in busy mode");
        return false;
    }
    bool synced = false;
    for (int attempt = 1; attempt <= attempts && !synced; ++attempt) {
        synced = Synchronize(showBusy);
        if (synced) {
            m_bInSync = true;
            ORIN_LOG_INFO("CProtocolLayer::ReSync", "In sync");
        } else {
            ORIN_LOG_ERROR("CProtocolLayer::ReSync", "CProtocolLayer::ReSync Synchronize failed Attempt: %d", attempt);
            if (m_evDsrOff.IsSet() || m_evBusyMode.IsSet()) {
                break;
            }
        }
    }
    if (!synced) {
        ORIN_LOG_ERROR("CProtocolLayer::ReSync", "Synchronize failed");
        m_bInSync = false;
        Post(linkmsg::WM_OFFLINE);
        return false;
    }
    bool result = true;
    if (requestSync && answer != nullptr) {
        result = RequestSync(*answer);
        if (!result) {
            ORIN_LOG_ERROR("CProtocolLayer::ReSync", "CProtocolLayer::ReSync(). RequestSync failed Error: %s", "no Sync answer");
            m_bInSync = false;
        }
    }
    ORIN_LOG_INFO("CProtocolLayer::ReSync", "CProtocolLayer::ReSync returned: %s", TrueFalse(result));
    return result;
}

bool CProtocolLayer::EnsureInSync()
{
    ORIN_TRACE("CProtocolLayer::EnsureInSync");
    if (m_bInSync) {
        return true;
    }
    // Purge and resynchronise first when the camera is there: after a failed operation the
    // line may still carry its late answer, which must not be taken for the next one's.
    if (!m_evDsrOff.IsSet() && !m_evBusyMode.IsSet() && ReSync(false, nullptr, 1, true)) {
        return true;
    }
    ORIN_LOG_ERROR("CProtocolLayer::EnsureInSync", "Can't perform requsted command. PDA is out of sync");
    return false;
}

bool CProtocolLayer::RunCommandFrame(const char* commandName, const char* operationName,
                                     const AttributeList& attributes, size_t firstCount, bool growCount,
                                     ProtocolCommand& answer, uint32_t waitMs, std::u16string& errorText,
                                     bool pictureRequest)
{
    ORIN_TRACE("CProtocolLayer::RunCommandFrame");
    bool result = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_transactionLock);
        if (!EnsureInSync()) {
            ORIN_LOG_INFO(operationName, "CProtocolLayer::%s() returned: false", operationName);
            return false;
        }
        size_t count = firstCount;
        m_lLastErrorCode = 0;
        for (int attempt = 3; attempt > 0; --attempt) {
            m_bLastWaitTimedOut = false;
            // Whether the line may still carry something of this attempt (a late answer, the
            // rest of a payload): then only a purge-and-resync makes it safe again.
            bool unclean = false;
            if (pictureRequest) {
                std::lock_guard<std::recursive_mutex> commandLock(m_commandLock);
                answer.Release();
                result = ExecuteCommandTransaction(commandName, &attributes, count, ACK_REPLY, &answer, waitMs,
                                                   errorText, true);
                m_bReadingImage = false;
                // A picture answer whose payload did not arrive whole is no answer.
                if (result && !answer.HasAttachment()) {
                    ORIN_LOG_ERROR(operationName, "Picture answer without its payload");
                    result = false;
                    unclean = true;
                }
            } else {
                result = ExecuteCommandTransaction(commandName, &attributes, count, ACK_REPLY, &answer, waitMs,
                                                   errorText, true);
            }
            unclean = unclean || m_bLastWaitTimedOut;
            if (result) {
                break;
            }
            if (std::strcmp(commandName, "GetPictureParams") == 0) {
                const std::u16string* code = answer.FindAttribute(u"error_code");
                if ((code != nullptr && HexValue(*code) == kPictureParamsRefused) ||
                    m_lLastErrorCode == kPictureParamsRefused) {
                    ORIN_LOG_ERROR(operationName, "CProtocolLayer::GetPictureParams() : %s",
                                   "error x1ff3 arrivs, return false immediately");
                    return false;
                }
            }
            if (attempt == 1) {
                // The next operation starts with a purge-and-resync, so a late answer to this
                // one cannot be taken for its own.
                if (unclean) {
                    m_bInSync = false;
                }
                break;
            }
            if (!m_bInSync || !ReSync(false, nullptr, 3, true)) {
                break;
            }
            if (growCount && count < attributes.size()) {
                ++count;
            }
        }
    }
    const std::u16string* error = answer.FindAttribute(u"error");
    if (error != nullptr) {
        ErrorCodeToText(*error, errorText);
        result = false;
    }
    ORIN_LOG_INFO(operationName, "CProtocolLayer::%s() returned: %s", operationName, TrueFalse(result));
    return result;
}

bool CProtocolLayer::FileCommand(ProtocolCommand& answer, const AttributeList& attributes, std::u16string& errorText,
                                 uint32_t waitMs)
{
    ORIN_TRACE("CProtocolLayer::FileCommand");
    // The retransmission marker travels only with a repeated command.
    size_t firstCount = attributes.size();
    if (firstCount > 0 && attributes.back().name == u"Retransmission") {
        --firstCount;
    }
    return RunCommandFrame("FileCommand", "FileCommand", attributes, firstCount, true, answer, waitMs, errorText,
                           false);
}

bool CProtocolLayer::GetImage(ProtocolCommand& answer, AttributeList& attributes, std::u16string& errorText)
{
    ORIN_TRACE("CProtocolLayer::GetImage");
    CTransport* transport = m_pTransport.load();
    if (transport != nullptr && transport->SupportsPacketSize()) {
        const std::u16string size = platform::FromUtf8(std::to_string(m_dwPacketSize.load()));
        bool replaced = false;
        for (AttributePair& pair : attributes) {
            if (pair.name == u"PacketSize") {
                pair.value = size;
                replaced = true;
            }
        }
        if (!replaced) {
            attributes.emplace_back(u"PacketSize", size);
        }
    }
    return RunCommandFrame("GetImage", "GetImage", attributes, attributes.size(), false, answer,
                           GetTimeouts().getImageMs, errorText, true);
}

bool CProtocolLayer::GetPictureParams(ProtocolCommand& answer, const AttributeList& attributes,
                                      std::u16string& errorText)
{
    ORIN_TRACE("CProtocolLayer::GetPictureParams");
    return RunCommandFrame("GetPictureParams", "GetPictureParams", attributes, attributes.size(), false, answer,
                           GetTimeouts().getPictureParamsMs, errorText, false);
}

bool CProtocolLayer::SetPictureParams(const AttributeList& attributes, std::u16string& errorText)
{
    ORIN_TRACE("CProtocolLayer::SetPictureParams");
    ProtocolCommand answer;
    return RunCommandFrame("SetPictureParams", "SetPictureParams", attributes, attributes.size(), false, answer,
                           GetTimeouts().setPictureParamsMs, errorText, false);
}

bool CProtocolLayer::SetCameraParam(const AttributeList& attributes, std::u16string& errorText)
{
    ORIN_TRACE("CProtocolLayer::SetCameraParam");
    ProtocolCommand answer;
    return RunCommandFrame("SetCameraParam", "SetCameraParam", attributes, attributes.size(), false, answer,
                           GetTimeouts().setCameraParamMs, errorText, false);
}

bool CProtocolLayer::GetCameraParam(ProtocolCommand& answer, const AttributeList& attributes,
                                    std::u16string& errorText)
{
    ORIN_TRACE("CProtocolLayer::GetCameraParam");
    return RunCommandFrame("GetCameraParam", "GetCameraParam", attributes, attributes.size(), false, answer,
                           GetTimeouts().getCameraParamMs, errorText, false);
}

bool CProtocolLayer::ImageFunction(ProtocolCommand& answer, const AttributeList& attributes,
                                   std::u16string& errorText)
{
    ORIN_TRACE("CProtocolLayer::ImageFunction");
    return RunCommandFrame("ImageFunction", "ImageFunction", attributes, attributes.size(), false, answer,
                           GetTimeouts().imageFunctionMs, errorText, false);
}
