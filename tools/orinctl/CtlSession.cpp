#include "tools/orinctl/CtlSession.h"

#include "app/link/CommPort.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"

#include <algorithm>

CtlSession::CtlSession(std::string devicePath, uint32_t baud)
    : m_strDevice(std::move(devicePath)), m_dwBaud(baud)
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
