#include "tools/orinctl/CtlSession.h"

#include "app/link/CommPort.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

CtlSession::CtlSession(std::string devicePath, uint32_t baud)
    : m_strDevice(std::move(devicePath)), m_dwBaud(baud), m_bProgressOnTerminal(::isatty(STDERR_FILENO) == 1)
{
    ORIN_TRACE("CtlSession::CtlSession");
}

CtlSession::~CtlSession()
{
    ORIN_TRACE("CtlSession::~CtlSession");
    // The layer's threads use the port: stop them first.
    m_pLayer.reset();
    m_pPort.reset();
}

const std::string& CtlSession::DevicePath() const
{
    ORIN_TRACE("CtlSession::DevicePath");
    return m_pPort ? m_pPort->GetDevicePath() : m_strDevice;
}

bool CtlSession::Open(uint32_t waitMs)
{
    ORIN_TRACE("CtlSession::Open");
    m_pPort = std::make_unique<CCommPort>(m_strDevice, m_dwBaud);
    m_pLayer = std::make_unique<CProtocolLayer>(m_pPort.get(), &m_inbox, this);
    // orinctl only stores previews; nothing here decodes them.
    m_pLayer->SetDecompress(false);
    ProtocolTimeouts timeouts = m_pLayer->GetTimeouts();
    timeouts.connectTimeoutMs = waitMs;
    timeouts.connectRetryMs = std::min<uint32_t>(timeouts.connectRetryMs, 250);
    // A camera that comes back is tried at once rather than after the program's pause.
    timeouts.reconnectSleepMs = 500;
    m_pLayer->SetTimeouts(timeouts);

    if (!m_pLayer->Init()) {
        m_strError = "cannot start the link on " + DevicePath();
        return false;
    }
    if (!m_pPort->IsOpen()) {
        m_strError = "cannot open " + DevicePath();
        return false;
    }
    if (!m_pLayer->IsInSync()) {
        m_strError = "no answer from the camera on " + DevicePath();
        return false;
    }
    return true;
}

ProtocolCommand CtlSession::SyncAnswer() const
{
    ORIN_TRACE("CtlSession::SyncAnswer");
    std::lock_guard<std::mutex> lock(m_syncMutex);
    return m_syncAnswer;
}

void CtlSession::OnSynchronized(const ProtocolCommand& syncAnswer)
{
    ORIN_TRACE("CtlSession::OnSynchronized");
    std::lock_guard<std::mutex> lock(m_syncMutex);
    m_syncAnswer.CopyFrom(syncAnswer);
}

void CtlSession::SetNewestPicture(const std::u16string& fullName)
{
    std::lock_guard<std::mutex> lock(m_syncMutex);
    m_strNewestPicture = platform::ToUtf8(fullName);
}

std::string CtlSession::NewestPicture() const
{
    std::lock_guard<std::mutex> lock(m_syncMutex);
    return m_strNewestPicture;
}

void CtlSession::ShowProgress(bool show)
{
    std::lock_guard<std::mutex> lock(m_progressMutex);
    m_bShowProgress = show;
    m_dwLastReceived = 0;
    m_dwLastTenth = 0;
    if (m_bProgressLineOpen) {
        // A download that stopped part way: whatever is printed next starts on its own line.
        std::fputc('\n', stderr);
        m_bProgressLineOpen = false;
    }
}

void CtlSession::OnPictureProgress(uint32_t received, uint32_t total)
{
    std::lock_guard<std::mutex> lock(m_progressMutex);
    if (!m_bShowProgress || total == 0) {
        return;
    }
    if (received <= m_dwLastReceived) {
        // A new picture, or the same one asked for again after a failure.
        m_dwLastTenth = 0;
    }
    m_dwLastReceived = received;
    const auto percent = static_cast<unsigned>(static_cast<uint64_t>(received) * 100 / total);
    if (m_bProgressOnTerminal) {
        std::fprintf(stderr, "\rorinctl: received %u of %u bytes (%u%%)%s", received, total, percent,
                     received >= total ? "\n" : "");
        m_bProgressLineOpen = received < total;
        return;
    }
    const uint32_t tenth = percent / 10;
    if (tenth > m_dwLastTenth) {
        m_dwLastTenth = tenth;
        std::fprintf(stderr, "orinctl: received %u of %u bytes (%u%%)\n", received, total, percent);
    }
}
