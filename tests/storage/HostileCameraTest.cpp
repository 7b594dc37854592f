// A camera whose listings are hostile or endless, and one that goes away in the middle.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/storage/WideText.h"
#include "tests/storage/SimulatorFixture.h"
#include "tests/storage/StorageTestHelpers.h"

namespace fs = std::filesystem;
using namespace storagetest;

namespace {

// Lists names that would climb out of the local cache, a folder "." inside every folder, and a
// folder "Sub" below every folder without end.
class HostileListingTest : public SimulatorFixture {
protected:
    void PrepareCamera() override
    {
        m_camera.RegisterFileCommand("dir", [this](const camsim::SimMessage& request, camsim::SimAnswer& answer) {
            ++m_listings;
            const std::string* subject = request.Find("Subject");
            if (subject != nullptr && *subject == "./") {
                answer.message.Add("Dir", "D-Part1;D-.;D-..;F-../../evil.mos;D-a\\b;F-con:x.mos;F-ok.mos");
            } else {
                answer.message.Add("Dir", "D-.,2005:01:01:00:00:00;D-Sub;F-..;F-Pic0001.mos,2005:01:01:00:00:00");
            }
        });
    }
    std::atomic<int> m_listings{0};
};

}  // namespace

TEST_F(HostileListingTest, HostileNamesAreSkippedAndEndlessNestingStops)
{
    ASSERT_TRUE(m_cache->Init(u"./Part1/"));
    EXPECT_LE(m_listings.load(), CDOSDirectory::kMaxDepth + 2);
    EXPECT_NE(m_cache->FindInTree(u"./ok.mos"), nullptr);
    EXPECT_NE(m_cache->FindInTree(u"./Part1/Pic0001.mos"), nullptr);
    EXPECT_NE(m_cache->FindInTree(u"./Part1/Sub/Sub/Pic0001.mos"), nullptr);
    std::u16string listing;
    m_cache->GetFolderListing(u"./", listing);
    EXPECT_EQ(listing, u"Part1,d;ok.mos,f;");
    // Nothing was created next to the program folder's cache.
    EXPECT_FALSE(Exists(m_home.Path() / "evil.jpg"));
    EXPECT_FALSE(Exists(m_root.parent_path() / "evil.jpg"));
    for (const auto& entry : fs::directory_iterator(m_home.Path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "Last Orin Captures" || name == "camera-disk" || name == "registry.reg" || name == "log.txt" || name == "orinctl-log.txt")
            << name;
    }
}

TEST_F(HostileListingTest, PreviewOfAListedPictureLandsBelowTheCache)
{
    ASSERT_TRUE(m_cache->Init(u"./Part1/"));
    fs::path path;
    bool exists = false;
    ASSERT_TRUE(m_cache->GetLocalPreview(u"./Part1/Sub/Pic0001.mos", path, exists));
    EXPECT_EQ(path, m_root / "Part1/Sub/Pic0001.jpg");
}

namespace {

class VanishingCameraTest : public SimulatorFixture {
protected:
    void SetUp() override
    {
        SimulatorFixture::SetUp();
        if (!HasFatalFailure()) {
            ASSERT_TRUE(m_cache->Init(u"./Part1/Folder/"));
        }
    }
};

}  // namespace

TEST_F(VanishingCameraTest, CommandsFailWithATextAndLeaveTheTreeWhenTheCableIsPulled)
{
    ASSERT_EQ(m_camera.Command("unplug"), "OK unplug");
    std::u16string error;
    EXPECT_FALSE(m_cache->Delete(u"./Part1/Folder/Pic0001.mos", error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(m_cache->FindInTree(u"./Part1/Folder/Pic0001.mos"), nullptr);
    EXPECT_FALSE(m_cache->CachePicture(u"./Part1/Folder/Pic0002.mos", false));
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/Pic0002.jpg"));
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/Pic0002.jpg.part"));
    EXPECT_FALSE(m_cache->MakeDir(u"./Part1/New/", error));
    EXPECT_EQ(m_cache->FindInTree(u"./Part1/New/"), nullptr);
    CPictureProperties props;
    EXPECT_EQ(m_cache->GetPictureProperties(u"./Part1/Folder/Pic0003.mos", props), CDOSFile::PROPERTIES_FAILED);
    EXPECT_NE(m_cache->FindInTree(u"./Part1/Folder/Pic0003.mos"), nullptr) << "a failed fetch removes nothing";
}

TEST_F(VanishingCameraTest, CameraParamCountBeyondTheListsSendsNothing)
{
    const std::vector<std::u16string> names{u"ISO", u"Light"};
    const std::vector<std::u16string> values{u"100"};
    std::u16string error;
    const int before = Received("SetCameraParam");
    EXPECT_FALSE(m_cache->SetCameraParam(&names, &values, 2, error));
    EXPECT_FALSE(m_cache->SetCameraParam(&names, &values, 0, error));
    EXPECT_FALSE(m_cache->SetCameraParam(nullptr, &values, 1, error));
    EXPECT_EQ(Received("SetCameraParam"), before);
    EXPECT_TRUE(m_cache->SetCameraParam(&names, &values, 1, error));
    EXPECT_EQ(Received("SetCameraParam"), before + 1);
}

TEST(CacheConcurrency, ListingsAndRemovalsOnTwoThreadsNeverMeetAFreedNode)
{
    testsupport::TempHome home;
    CCache cache(nullptr);
    ASSERT_TRUE(cache.Add(u"./P/", false));
    cache.FindInTree(u"./")->SetCached(true);
    cache.FindInTree(u"./P/")->SetCached(true);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        std::u16string listing;
        while (!stop.load()) {
            cache.GetFolderListing(u"./P/", listing);
            cache.Find(u"./P/a.mos", false, false);
            cache.GetCurrentFileName();
        }
    });
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(cache.Add(u"./P/a.mos", true));
        cache.SetCurrentFile(u"./P/a.mos", false);
        ASSERT_TRUE(cache.Remove(u"./P/a.mos"));
        EXPECT_EQ(cache.GetCurrentFile(), nullptr);
    }
    stop.store(true);
    reader.join();
}
