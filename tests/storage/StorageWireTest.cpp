// The exact bytes the storage model puts on the wire, against a scripted camera on a
// pseudo-terminal, and how it reads answers a real camera may give.
#include <gtest/gtest.h>

#include "app/storage/Cache.h"
#include "app/storage/DiskCacheOp.h"
#include "tests/link/LinkFixture.h"
#include "tests/storage/StorageTestHelpers.h"

using namespace linktest;

namespace {

class StorageWireTest : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        InitInSync();
        m_camera.Queue("FileCommand", "^<Ack Dir=\"D-P,2005:01:02:03:04:05\" />");
        m_camera.Queue("FileCommand", "^<Ack Dir=\"F-a.mos,2005:01:02:03:04:05;F-b.mos\" />");
        m_cache = std::make_unique<CCache>(m_layer.get());
        ASSERT_TRUE(m_cache->Init(u"./P/"));
        m_before = m_camera.Commands().size();
    }
    void TearDown() override
    {
        m_cache.reset();
        LinkFixture::TearDown();
    }
    // Commands written since the model was initialised.
    std::vector<std::string> Sent() const
    {
        const std::vector<std::string> all = m_camera.Commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(m_before), all.end());
    }

    std::unique_ptr<CCache> m_cache;
    size_t m_before = 0;
};

}  // namespace

TEST_F(StorageWireTest, ListingsNameTheFolderAndLeaveRetransmissionForRepeats)
{
    const std::vector<std::string> dirs = m_camera.CommandsNamed("FileCommand");
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[0], "^<FileCommand FileCommand=\"dir\" Subject=\"./\" />");
    EXPECT_EQ(dirs[1], "^<FileCommand FileCommand=\"dir\" Subject=\"./P/\" />");
    EXPECT_EQ(m_cache->FindInTree(u"./P/")->GetTimeStamp(), u"2005:01:02:03:04:05");
}

TEST_F(StorageWireTest, FileCommandsSendSubjectThenTarget)
{
    std::u16string error;
    ASSERT_TRUE(m_cache->Move(u"./P/a.mos", u"./P/c.mos", error));
    ASSERT_TRUE(m_cache->Copy(u"./P/b.mos", u"./P/d.mos", error));
    ASSERT_TRUE(m_cache->Delete(u"./P/d.mos", error));
    ASSERT_TRUE(m_cache->MakeDir(u"./P/N", error));
    ASSERT_TRUE(m_cache->Recover(u"./P", error));
    ASSERT_TRUE(m_cache->QuickFormat(u"./P/", error));
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          "^<FileCommand FileCommand=\"move\" Subject=\"./P/a.mos\" Target=\"./P/c.mos\" />",
                          "^<FileCommand FileCommand=\"copy\" Subject=\"./P/b.mos\" Target=\"./P/d.mos\" />",
                          "^<FileCommand FileCommand=\"del\" Subject=\"./P/d.mos\" />",
                          "^<FileCommand FileCommand=\"mkdir\" Subject=\"./P/N/\" />",
                          "^<FileCommand FileCommand=\"recovery\" Subject=\"./P/\" />",
                          "^<FileCommand FileCommand=\"qformat\" Subject=\"./P/\" />",
                      }));
}

TEST_F(StorageWireTest, CameraStorageErrorBecomesTheUserText)
{
    std::u16string error;
    ASSERT_TRUE(m_cache->MakeDir(u"./P/N/", error));
    m_camera.Queue("FileCommand", "^<Ack error=\"8212\" />");
    EXPECT_FALSE(m_cache->Delete(u"./P/N/", error));
    EXPECT_EQ(error, u"Directory not empty.");
    EXPECT_EQ(Sent().back(), "^<FileCommand FileCommand=\"rmdir\" Subject=\"./P/N/\" />");
    EXPECT_NE(m_cache->FindInTree(u"./P/N/"), nullptr);
}

TEST_F(StorageWireTest, PropertiesAreFetchedAgainWhileTheCameraIsProcessing)
{
    m_camera.Queue("GetPictureParams", "^<Ack NewPicture=\"Yes\" Histogram=\"1;2;3\" />");
    m_camera.Queue("GetPictureParams", "^<Ack NewPicture=\"Process\" Histogram=\"4;5;6\" />");
    m_camera.Queue("GetPictureParams", "^<Ack NewPicture=\"No\" Histogram=\"7;8;9\" Orientation=\"portrait cw\" />");
    CPictureProperties props;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(m_cache->GetPictureProperties(u"./P/a.mos", props), 0);
    }
    EXPECT_EQ(props.m_strHistogram, u"7;8;9");
    EXPECT_EQ(props.m_nOrientation, ORIENTATION_PORTRAIT_CW);
    EXPECT_EQ(m_camera.CommandsNamed("GetPictureParams"),
              std::vector<std::string>(3, "^<GetPictureParams file_name=\"./P/a.mos\" />"));
}

TEST_F(StorageWireTest, PropertiesDateStampsTheCachedPreview)
{
    storagetest::WriteFile(storage::DiskCacheOp::CacheRoot() / "P/a.jpg", "jpeg");
    m_camera.Queue("GetPictureParams", "^<Ack Date=\"2004:2:3:4:5:6\" zoom=\"YES\" />");
    CPictureProperties props;
    ASSERT_EQ(m_cache->GetPictureProperties(u"./P/a.mos", props), 0);
    EXPECT_TRUE(props.m_bZoom);
    auto* file = static_cast<CDOSFile*>(m_cache->FindInTree(u"./P/a.mos"));
    EXPECT_TRUE(file->IsProcessedView());
    storage::TimeFields fields{};
    ASSERT_TRUE(storage::DiskCacheOp::ReadFileStamp(storage::DiskCacheOp::CacheRoot() / "P/a.jpg", fields));
    EXPECT_EQ(fields, (storage::TimeFields{2004, 2, 3, 4, 5, 6}));
}

TEST_F(StorageWireTest, MarkAndAnnotationAreSentByName)
{
    m_camera.SetDefault("GetPictureParams", "^<Ack NewPicture=\"No\" />");
    ASSERT_TRUE(m_cache->SetMarking(MARK_NOGOOD, u"./P/a.mos"));
    ASSERT_TRUE(m_cache->SetMarking(7, u"./P/a.mos"));
    ASSERT_TRUE(m_cache->SetAnnotation(u"soft focus", u"./P/a.mos"));
    const std::vector<std::string> sent = m_camera.CommandsNamed("SetPictureParams");
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "^<SetPictureParams file_name=\"./P/a.mos\" Marking=\"NoGood\" />",
                        "^<SetPictureParams file_name=\"./P/a.mos\" Marking=\"\" />",
                        "^<SetPictureParams file_name=\"./P/a.mos\" annotation=\"soft focus\" />",
                    }));
}

TEST_F(StorageWireTest, ImageFunctionsSendTheirAttributesInOrder)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./P/a.mos", false));
    m_camera.SetDefault("GetImage", "^<Ack />");
    const int32_t location[4] = {1, 2, 3, 4};
    m_cache->SetFraming(u"Full", location);
    m_cache->SetFraming(u"6x7.1", location);
    int32_t histogramLocation = 0;
    std::u16string histogramValue;
    m_camera.Queue("ImageFunction", "^<Ack histogramLocation=\"12\" histogramValue=\"3%\" />");
    EXPECT_TRUE(m_cache->SetFstop(-5, 2, histogramLocation, histogramValue));
    EXPECT_EQ(histogramLocation, 12);
    std::u16string light;
    m_camera.Queue("ImageFunction", "^<Ack Light=\"Daylight\" />");
    EXPECT_TRUE(m_cache->SetLightAndAttr(1, 2, light));
    EXPECT_EQ(light, u"Daylight");
    m_cache->SetZoom(false, 0, 0);
    m_cache->SetAlarm(false, false);
    EXPECT_EQ(m_camera.CommandsNamed("ImageFunction"),
              (std::vector<std::string>{
                  "^<ImageFunction file_name=\"./P/a.mos\" Framing=\"Full\" />",
                  "^<ImageFunction file_name=\"./P/a.mos\" Framing=\"6x7.1\" location=\"1,2,3,4\" />",
                  "^<ImageFunction file_name=\"./P/a.mos\" fstops=\"-5;2\" />",
                  "^<ImageFunction file_name=\"./P/a.mos\" light=\"1;2\" />",
                  "^<ImageFunction file_name=\"./P/a.mos\" zoom=\"no\" />",
                  "^<ImageFunction file_name=\"./P/a.mos\" Alarm=\"no\" edge=\"dark\" />",
              }));
}

TEST_F(StorageWireTest, FstopAnswerWithoutLocationFailsAndKeepsTheOutput)
{
    int32_t histogramLocation = 77;
    std::u16string histogramValue;
    m_camera.Queue("ImageFunction", "^<Ack histogramValue=\"3%\" />");
    EXPECT_FALSE(m_cache->SetFstop(1, 2, histogramLocation, histogramValue, u"./P/a.mos"));
    EXPECT_EQ(histogramLocation, 77);
}

TEST_F(StorageWireTest, CameraValuesMissingFromTheAnswerStayMinusOne)
{
    int32_t low = 5;
    int32_t high = 5;
    EXPECT_TRUE(m_cache->GetHistogramScale(low, high));
    EXPECT_EQ(low, -1);
    EXPECT_EQ(high, -1);
    m_camera.Queue("GetCameraParam", "^<Ack Histogram_scale=\"10;240\" />");
    EXPECT_TRUE(m_cache->GetHistogramScale(low, high));
    EXPECT_EQ(low, 10);
    EXPECT_EQ(high, 240);
    m_camera.Queue("GetCameraParam", "^<Ack battery_percent=\"64\" />");
    int32_t percent = 0;
    EXPECT_TRUE(m_cache->GetBatteryPercent(percent));
    EXPECT_EQ(percent, 64);
    m_camera.Queue("GetCameraParam", "^<Ack exp_left=\"99999999999\" />");
    int32_t left = 0;
    EXPECT_TRUE(m_cache->GetExposuresLeft(left));
    EXPECT_EQ(left, INT32_MAX) << "saturates instead of wrapping";
    EXPECT_TRUE(m_cache->SetHistogramDimensions(200, 100));
    EXPECT_EQ(m_camera.CommandsNamed("GetCameraParam").front(), "^<GetCameraParam GetParamList=\"Histogram_scale\" />");
    EXPECT_EQ(m_camera.CommandsNamed("SetCameraParam").back(), "^<SetCameraParam HistogramDim=\"200;100\" />");
}

TEST_F(StorageWireTest, NotSavedAnswerRemovesThePictureAfterTheRequest)
{
    ASSERT_TRUE(m_cache->SetCurrentFile(u"./P/b.mos", false));
    m_camera.Queue("SetPictureParams", "^<Ack />");
    m_camera.Queue("GetPictureParams", "^<Ack error=\"8179\" />");
    EXPECT_FALSE(m_cache->SetMarking(MARK_GOOD));
    EXPECT_EQ(m_cache->FindInTree(u"./P/b.mos"), nullptr);
    EXPECT_EQ(m_cache->GetCurrentFile(), nullptr);
}
