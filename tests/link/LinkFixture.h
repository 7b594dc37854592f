// A protocol layer on a real serial port over a pseudo-terminal, with a scripted camera at the
// far end and short time limits.
#pragma once

#include "app/link/CommPort.h"
#include "app/link/LinkMessages.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/TextConvert.h"
#include "tests/link/PtyPeer.h"
#include "tests/link/ScriptedCamera.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace linktest {

inline ProtocolTimeouts ShortTimeouts()
{
    ProtocolTimeouts t;
    t.synchronizeMs = 500;
    t.requestSyncMs = 500;
    t.getImageMs = 600;
    t.getPictureParamsMs = 500;
    t.setPictureParamsMs = 500;
    t.setCameraParamMs = 500;
    t.getCameraParamMs = 500;
    t.imageFunctionMs = 500;
    // The watchdog stays out of the way unless a test wants it.
    t.watchdogPeriodMs = 600000;
    t.connectTimeoutMs = 2000;
    t.connectRetryMs = 50;
    t.reconnectSleepMs = 50;
    t.packetFirstByteMs = 300;
    t.minPacketMs = 100;
    return t;
}

// Polls a condition for at most ms; for states reached by other threads.
inline bool Eventually(const std::function<bool()>& condition, int ms = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline std::string Text(const std::u16string& text)
{
    return platform::ToUtf8(text);
}

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_port = std::make_unique<CCommPort>(m_peer.Path());
        m_port->SetCommandTimeout(300);
        m_layer = std::make_unique<CProtocolLayer>(m_port.get(), &m_target, &m_host);
        m_layer->SetTimeouts(m_timeouts);
    }

    void TearDown() override
    {
        m_layer.reset();
        m_port.reset();
    }

    void InitInSync()
    {
        ASSERT_TRUE(m_layer->Init());
        ASSERT_TRUE(m_layer->IsInSync());
    }

    testsupport::TempHome m_home;
    testsupport::LogCapture m_log;
    PtyPeer m_peer;
    ScriptedCamera m_camera{m_peer};
    CollectingTarget m_target;
    RecordingHost m_host;
    ProtocolTimeouts m_timeouts = ShortTimeouts();
    std::unique_ptr<CCommPort> m_port;
    std::unique_ptr<CProtocolLayer> m_layer;
};

}  // namespace linktest
