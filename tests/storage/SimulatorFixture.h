// The storage model against the camera simulator over a pseudo-terminal: a small known disk,
// the real serial port and protocol layer, and a model initialised on the first partition.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/link/CommPort.h"
#include "app/link/ProtocolLayer.h"
#include "app/storage/Cache.h"
#include "app/storage/DiskCacheOp.h"
#include "tests/support/TestSupport.h"
#include "tools/camsim/SimCamera.h"
#include "tools/camsim/SimPictureFunctions.h"
#include "tools/camsim/SimPictures.h"
#include "tools/camsim/SimStorageCommands.h"

namespace storagetest {

class SimulatorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_disk = m_home.Path() / "camera-disk";
        namespace fs = std::filesystem;
        fs::create_directories(m_disk / "Part1/Folder");
        fs::create_directories(m_disk / "Part1/Empty");
        fs::create_directories(m_disk / "Part2/Sub/Deep");
        for (int i = 1; i <= 3; ++i) {
            WriteJpeg(m_disk / "Part1/Folder" / ("Pic000" + std::to_string(i) + ".jpg"),
                      static_cast<camsim::SimScene>(i));
        }
        WriteJpeg(m_disk / "Part2/Sub/Deep/Pic0100.jpg", camsim::SimScene::ClippedBoth);
        ASSERT_TRUE(m_camera.Disk().Open(m_disk));
        PrepareCamera();
        ASSERT_TRUE(m_camera.Link().OpenPty());
        ASSERT_TRUE(m_camera.Start());
        m_port = std::make_unique<CCommPort>(m_camera.Link().Path(), 0);
        m_layer = std::make_unique<CProtocolLayer>(m_port.get());
        ASSERT_TRUE(m_layer->Init());
        ASSERT_TRUE(m_layer->IsInSync());
        m_cache = std::make_unique<CCache>(m_layer.get());
        m_root = storage::DiskCacheOp::CacheRoot();
    }
    void TearDown() override
    {
        m_cache.reset();
        m_layer.reset();
        m_port.reset();
        m_camera.Stop();
    }
    // Tests that change the camera's handlers do it here, before it starts.
    virtual void PrepareCamera() {}

    static void WriteJpeg(const std::filesystem::path& path, camsim::SimScene scene)
    {
        const std::vector<uint8_t> jpeg = camsim::SimPictures::Jpeg(scene, 128, 96, 90);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(jpeg.data(), 1, jpeg.size(), file);
        std::fclose(file);
    }
    int Received(const std::string& name) const
    {
        const camsim::SimStats stats = m_camera.Stats();
        const auto found = stats.received.find(name);
        return found == stats.received.end() ? 0 : found->second;
    }

    testsupport::TempHome m_home;
    std::filesystem::path m_disk;
    std::filesystem::path m_root;
    camsim::SimCamera m_camera;
    std::unique_ptr<CCommPort> m_port;
    std::unique_ptr<CProtocolLayer> m_layer;
    std::unique_ptr<CCache> m_cache;
};

}  // namespace storagetest
