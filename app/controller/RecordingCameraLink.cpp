#include "app/controller/RecordingCameraLink.h"

#include "app/platform/Log.h"

void CRecordingCameraLink::Record(const std::string& call)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(call);
}

bool CRecordingCameraLink::Init()
{
    ORIN_TRACE("CRecordingCameraLink::Init");
    ORIN_LOG_INFO("CRecordingCameraLink::Init", "no camera link attached: running without a camera");
    Record("Init");
    m_bConnected = m_bInitResult.load();
    return m_bInitResult;
}

bool CRecordingCameraLink::ReSync()
{
    ORIN_TRACE("CRecordingCameraLink::ReSync");
    Record("ReSync");
    return m_bConnected.load();
}

void CRecordingCameraLink::Shutdown()
{
    ORIN_TRACE("CRecordingCameraLink::Shutdown");
    Record("Shutdown");
    m_bConnected = false;
}

std::vector<std::string> CRecordingCameraLink::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}
