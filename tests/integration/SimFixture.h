// The program's link code (CCommPort + CProtocolLayer) against the simulated camera on a
// pseudo-terminal, in one process: the simulator's counters show what crossed the wire.
#pragma once

#include "app/link/CommPort.h"
#include "app/link/LinkMessages.h"
#include "app/link/ProtocolHost.h"
#include "app/link/ProtocolLayer.h"
#include "tests/support/TestSupport.h"
#include "tools/camsim/SimCamera.h"
#include "tools/orinctl/CtlInbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace integration {

// Answers that picture requests go out without a packet size, as over Bluetooth.
class StreamCommPort : public CCommPort {
public:
    using CCommPort::CCommPort;
    bool SupportsPacketSize() override { return false; }
};

class RecordingHost : public IProtocolHost {
public:
    void OnSynchronized(const ProtocolCommand& syncAnswer) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sync.CopyFrom(syncAnswer);
        ++m_syncCount;
    }
    ProtocolCommand Sync() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sync;
    }

private:
    mutable std::mutex m_mutex;
    ProtocolCommand m_sync;
    int m_syncCount = 0;
};

inline bool WaitUntil(const std::function<bool()>& condition, int ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SimFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        m_layer.reset();
        m_port.reset();
        m_sim.Stop();
        m_sim.Link().Close();
    }

    // A small demo disk, the camera on a pty at the given pacing.
    void StartSim(int baud = 0, int pictures = 5)
    {
        ASSERT_TRUE(m_sim.Disk().CreateDemo(m_home.Path() / "disk", pictures));
        m_sim.Link().SetBaud(baud);
        ASSERT_TRUE(m_sim.Link().OpenPty(m_home.Path() / "tty"));
        ASSERT_TRUE(m_sim.Start());
    }

    // The camera's picture stored under a known size, returned with its bytes.
    std::string AddPicture(const std::vector<uint8_t>& jpeg)
    {
        std::string name = m_sim.Disk().AddPicture("./Part2/Archive/", jpeg);
        EXPECT_FALSE(name.empty());
        return name;
    }

    bool StartLayer(bool stream = false, const ProtocolTimeouts* timeouts = nullptr)
    {
        if (stream) {
            m_port = std::make_unique<StreamCommPort>(m_sim.Link().Path(), 230400);
        } else {
            m_port = std::make_unique<CCommPort>(m_sim.Link().Path(), 230400);
        }
        m_layer = std::make_unique<CProtocolLayer>(m_port.get(), &m_inbox, &m_host);
        m_layer->SetDecompress(false);
        if (timeouts != nullptr) {
            m_layer->SetTimeouts(*timeouts);
        }
        return m_layer->Init() && m_layer->IsInSync();
    }

    std::vector<uint8_t> DiskBytes(const std::string& cameraName)
    {
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(m_sim.Disk().ReadPreview(cameraName, bytes, error)) << error;
        return bytes;
    }

    testsupport::TempHome m_home;
    camsim::SimCamera m_sim;
    CtlInbox m_inbox;
    RecordingHost m_host;
    std::unique_ptr<CCommPort> m_port;
    std::unique_ptr<CProtocolLayer> m_layer;
};

}  // namespace integration
