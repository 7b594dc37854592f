// Stand-ins for the camera link and the picture operations: they log and record what the
// dispatcher asks, so the controller runs before (and in tests, without) a camera.
#pragma once

#include "app/controller/CameraLink.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class CRecordingCameraLink : public ICameraLink {
public:
    bool Init() override;
    bool ReSync() override;
    void Shutdown() override;
    bool IsConnected() const override { return m_bConnected.load(); }

    void SetInitResult(bool result) { m_bInitResult = result; }
    std::vector<std::string> Calls() const;

private:
    void Record(const std::string& call);
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::atomic<bool> m_bConnected{false};
    std::atomic<bool> m_bInitResult{true};
};
