// File commands, properties and previews of the storage model against the camera simulator.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/storage/ObjectNames.h"
#include "app/storage/WideText.h"
#include "tests/storage/SimulatorFixture.h"
#include "tests/storage/StorageTestHelpers.h"

namespace fs = std::filesystem;
using namespace storagetest;

namespace {

class CacheSimulatorTest : public SimulatorFixture {
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

TEST_F(CacheSimulatorTest, InitListsEveryFolderOnceAndLookupsSendNothingMore)
{
    // Root, Part1, Part1/Empty, Part1/Folder, Part2, Part2/Sub, Part2/Sub/Deep.
    EXPECT_EQ(Received("FileCommand"), 7);
    EXPECT_EQ(m_cache->GetCurrentDirectoryName(), u"./Part1/Folder/");
    EXPECT_EQ(m_cache->GetPartitionCount(), 2);
    ASSERT_NE(m_cache->Find(u"./Part2/Sub/Deep/Pic0100.mos", false, false), nullptr);
    std::u16string listing;
    EXPECT_TRUE(m_cache->GetFolderListing(u"./Part1/Folder/", listing));
    EXPECT_EQ(listing, u"Pic0001.mos,f;Pic0002.mos,f;Pic0003.mos,f;");
    EXPECT_FALSE(m_cache->GetFolderListing(u"./Part1/Empty/", listing));
    EXPECT_EQ(Received("FileCommand"), 7);
    EXPECT_TRUE(fs::is_directory(m_root / "Part2/Sub/Deep"));
    const std::u16string stamp = m_cache->FindInTree(u"./Part1/Folder/Pic0001.mos")->GetTimeStamp();
    storage::TimeFields fields{};
    EXPECT_EQ(storage::ParseTimeStamp(stamp, fields), 6) << "listed with the camera's time stamp";
}

TEST_F(CacheSimulatorTest, PreviewIsDownloadedOnceAndKeptWithTheCameraTime)
{
    ASSERT_TRUE(m_cache->CachePicture(u"./Part1/Folder/Pic0001.mos", false));
    EXPECT_EQ(ReadFile(m_root / "Part1/Folder/Pic0001.jpg"), ReadFile(m_disk / "Part1/Folder/Pic0001.jpg"));
    ASSERT_TRUE(m_cache->CachePicture(u"./Part1/Folder/Pic0001.mos", false));
    EXPECT_EQ(Received("GetImage"), 1) << "a cached preview is shown without a request";
    storage::TimeFields local{};
    storage::TimeFields camera{};
    ASSERT_TRUE(storage::DiskCacheOp::ReadFileStamp(m_root / "Part1/Folder/Pic0001.jpg", local));
    storage::ParseTimeStamp(m_cache->FindInTree(u"./Part1/Folder/Pic0001.mos")->GetTimeStamp(), camera);
    EXPECT_EQ(local, camera);
}

TEST_F(CacheSimulatorTest, ZoomStoresTheProcessedPreviewAndZoomOffReturnsToThePlainOne)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./Part1/Folder/Pic0002.mos", true));
    ASSERT_TRUE(Exists(m_root / "Part1/Folder/Pic0002.jpg"));
    ASSERT_TRUE(m_cache->SetZoom(true, 10, 10));
    EXPECT_TRUE(Exists(m_root / "Part1/Folder/~Pic0002.jpg"));
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/Pic0002.jpg"));
    EXPECT_NE(ReadFile(m_root / "Part1/Folder/~Pic0002.jpg"), ReadFile(m_disk / "Part1/Folder/Pic0002.jpg"));
    EXPECT_TRUE(m_cache->GetCurrentFile()->IsProcessedView());

    ASSERT_TRUE(m_cache->SetZoom(false, 0, 0));
    EXPECT_FALSE(m_cache->GetCurrentFile()->IsProcessedView());
    ASSERT_TRUE(m_cache->CachePicture(u"./Part1/Folder/Pic0002.mos", false));
    EXPECT_TRUE(Exists(m_root / "Part1/Folder/Pic0002.jpg"));
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/~Pic0002.jpg"));
}

TEST_F(CacheSimulatorTest, AlarmOffSucceedsEvenWhenTheCameraRefuses)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./Part1/Folder/Pic0003.mos", false));
    ASSERT_TRUE(m_cache->SetAlarm(true, true));
    EXPECT_TRUE(m_cache->GetCurrentFile()->Properties().m_bAlarmWhite);
    EXPECT_TRUE(Exists(m_root / "Part1/Folder/~Pic0003.jpg"));
    // The picture vanishes from the camera: the request is refused, the view still goes back.
    fs::remove(m_disk / "Part1/Folder/Pic0003.jpg");
    EXPECT_TRUE(m_cache->SetAlarm(false, true));
    EXPECT_FALSE(m_cache->GetCurrentFile()->IsProcessedView());
}

TEST_F(CacheSimulatorTest, MarksAndAnnotationsReachTheCameraAndTheRecord)
{
    ASSERT_TRUE(m_cache->SetMarking(MARK_GOOD, u"./Part1/Folder/Pic0001.mos"));
    ASSERT_TRUE(m_cache->SetAnnotation(u"keeper", u"./Part1/Folder/Pic0001.mos"));
    CPictureProperties props;
    ASSERT_EQ(m_cache->GetPictureProperties(u"./Part1/Folder/Pic0001.mos", props), 0);
    EXPECT_EQ(props.m_nMark, MARK_GOOD);
    EXPECT_EQ(props.m_strAnnotation, u"keeper");
    EXPECT_FALSE(props.m_strHistogram.empty());
    EXPECT_EQ(props.m_nOrientation, ORIENTATION_LANDSCAPE);
    EXPECT_FALSE(m_cache->SetMarking(MARK_GOOD, u"./Part1/Folder/Nothing.mos"));
}

TEST_F(CacheSimulatorTest, PropertiesOfAFinishedPictureAreFetchedOnce)
{
    CPictureProperties props;
    ASSERT_EQ(m_cache->GetPictureProperties(u"./Part1/Folder/Pic0001.mos", props), 0);
    ASSERT_EQ(m_cache->GetPictureProperties(u"./Part1/Folder/Pic0001.mos", props), 0);
    EXPECT_EQ(Received("GetPictureParams"), 1);
    EXPECT_EQ(props.m_nNewPicture, NEW_PICTURE_NO);
}

TEST_F(CacheSimulatorTest, PropertiesOfANewPictureAreFetchedUntilTheCameraIsDone)
{
    const std::string result = m_camera.Command("shoot");
    ASSERT_EQ(result.rfind("OK", 0), 0u) << result;
    const std::string name = result.substr(result.find("./"));
    const std::u16string fullName = storage::FromUtf8(name.substr(0, name.find(' ')));
    ASSERT_TRUE(m_cache->Add(fullName, true));
    CPictureProperties props;
    ASSERT_EQ(m_cache->GetPictureProperties(fullName, props), 0);
    EXPECT_EQ(props.m_nNewPicture, NEW_PICTURE_YES);
    ASSERT_EQ(m_cache->GetPictureProperties(fullName, props), 0);
    EXPECT_EQ(props.m_nNewPicture, NEW_PICTURE_PROCESS);
    ASSERT_EQ(m_cache->GetPictureProperties(fullName, props), 0);
    EXPECT_EQ(props.m_nNewPicture, NEW_PICTURE_NO);
    ASSERT_EQ(m_cache->GetPictureProperties(fullName, props), 0);
    EXPECT_EQ(Received("GetPictureParams"), 3);
}

TEST_F(CacheSimulatorTest, APictureTheCameraDidNotSaveIsRemovedWithItsPreview)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./Part1/Folder/Pic0002.mos", true));
    ASSERT_TRUE(Exists(m_root / "Part1/Folder/Pic0002.jpg"));
    std::u16string shown;
    m_cache->SetUserMessageHook([&](const std::u16string& text, CCache::MessageIcon) { shown = text; });
    { std::ofstream truncate(m_disk / "Part1/Folder/Pic0002.jpg", std::ios::trunc); }
    CPictureProperties props;
    EXPECT_EQ(m_cache->GetPictureProperties(u"./Part1/Folder/Pic0002.mos", props), CDOSFile::PROPERTIES_NOT_SAVED);
    EXPECT_EQ(shown, u"The file Part1/Folder/Pic0002.mos is not saved. Reset the Orin Digital Camera Back.");
    EXPECT_EQ(m_cache->FindInTree(u"./Part1/Folder/Pic0002.mos"), nullptr);
    EXPECT_EQ(m_cache->GetCurrentFile(), nullptr) << "the current file is not left dangling";
    EXPECT_FALSE(Exists(m_root / "Part1/Folder/Pic0002.jpg"));
}

TEST_F(CacheSimulatorTest, FstopAndLightCarryTheCamerasAnswers)
{
    int32_t location = -7;
    std::u16string value;
    ASSERT_TRUE(m_cache->SetFstop(10, 0, location, value, u"./Part1/Folder/Pic0001.mos"));
    EXPECT_GE(location, 0);
    EXPECT_FALSE(value.empty());
    std::u16string light;
    ASSERT_TRUE(m_cache->SetLightAndAttr(3, 4, light, u"./Part1/Folder/Pic0001.mos"));
    EXPECT_EQ(light, u"3;4");
    const int32_t framing[4] = {1, 2, 3, 4};
    ASSERT_TRUE(m_cache->SetFraming(u"6x4.5.1", framing, u"./Part1/Folder/Pic0001.mos"));
    std::u16string frame;
    m_cache->FindInTree(u"./Part1/Folder/Pic0001.mos");
    ASSERT_TRUE(m_cache->GetFrame(frame, u"./Part1/Folder/Pic0001.mos"));
    EXPECT_EQ(frame, u"6x4.5.1,1,2,3,4");
}

TEST_F(CacheSimulatorTest, CameraValuesAreReadAndMissingOnesStayMinusOne)
{
    ASSERT_TRUE(m_cache->SetHistogramDimensions(32, 20));
    EXPECT_FALSE(m_cache->SetHistogramDimensions(0, 20));
    int32_t percent = -5;
    EXPECT_TRUE(m_cache->GetBatteryPercent(percent));
    int32_t low = 0;
    int32_t high = 0;
    m_cache->GetHistogramScale(low, high);
    CPictureProperties props;
    ASSERT_EQ(m_cache->GetPictureProperties(u"./Part1/Folder/Pic0001.mos", props), 0);
    size_t bins = 1;
    for (char16_t c : props.m_strHistogram) {
        bins += c == u';' ? 1 : 0;
    }
    EXPECT_EQ(bins, 32u) << "the histogram has the asked width";
}
