#include "app/imaging/DitherRiemersma.h"
#include "app/imaging/JPEGImage.h"
#include "app/imaging/LastDecodedPicture.h"
#include "app/imaging/loadjpeg.h"
#include "tests/imaging/JpegFixtures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <fstream>

namespace {

using imaging::CJPEGImage;
using imaging::Dib;
using imaging::LastDecodedPicture;
using imaging::Rect;

std::filesystem::path WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

class JPEGImageTest : public ::testing::Test {
protected:
    void SetUp() override { LastDecodedPicture::Clear(); }
    void TearDown() override { LastDecodedPicture::Clear(); }
    testsupport::TempHome m_home;
};

TEST_F(JPEGImageTest, StartsWithThePlaceholderSize)
{
    CJPEGImage image;
    EXPECT_EQ(image.GetPictureWidth(), 140);
    EXPECT_EQ(image.GetPictureHeight(), 210);
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.Bitmap(), nullptr);
    EXPECT_TRUE(image.IsPostProcessingEnabled());
    EXPECT_EQ(image.BackgroundColor(), 0xD2D2D2u);
}

TEST_F(JPEGImageTest, LoadDecodesTheFileAndPostProcessesIt)
{
    const auto jpeg = testjpeg::Encode(64, 48);
    const auto path = WriteFile(m_home.Path() / "Part1" / "Pic0001.jpg", jpeg);
    testsupport::LogCapture log;
    CJPEGImage image;
    ASSERT_TRUE(image.Load(path));
    EXPECT_TRUE(image.IsLoaded());
    EXPECT_EQ(image.GetPictureWidth(), 64);
    EXPECT_EQ(image.GetPictureHeight(), 48);
    EXPECT_TRUE(log.Contains(3, "CJPEGImage::Load()  DecompressImageIndirect time: "));
    EXPECT_TRUE(log.Contains(3, "TimeElapsed: "));

    // The bitmap shown is the decoded one passed through the program's display transform.
    auto expected = imaging::LoadJpeg(jpeg.data(), jpeg.size());
    imaging::CDitherRiemersma::Instance().Run(*expected);
    EXPECT_EQ(0, std::memcmp(image.Bitmap()->Bits(), expected->Bits(), expected->SizeBytes()));
}

TEST_F(JPEGImageTest, LoadWithoutPostProcessingShowsTheDecodedPixels)
{
    const auto jpeg = testjpeg::Encode(30, 20);
    const auto path = WriteFile(m_home.Path() / "a.jpg", jpeg);
    CJPEGImage image;
    image.EnablePostProcessing(false);
    ASSERT_TRUE(image.Load(path));
    auto expected = imaging::LoadJpeg(jpeg.data(), jpeg.size());
    EXPECT_EQ(0, std::memcmp(image.Bitmap()->Bits(), expected->Bits(), expected->SizeBytes()));
}

TEST_F(JPEGImageTest, TakesTheDownloadedBitmapOverOnceThenDecodesTheFile)
{
    const auto jpeg = testjpeg::Encode(64, 48);
    const auto path = WriteFile(m_home.Path() / "Part1" / "Folder" / "Pic0001.jpg", jpeg);
    // The download decoded a picture of a different size, so the two sources can be told apart.
    auto downloaded = Dib::Create(8, 6);
    std::memset(downloaded->Bits(), 0x40, downloaded->SizeBytes());
    const Dib* handedOver = downloaded.get();
    LastDecodedPicture::SetBitmap(std::move(downloaded));
    LastDecodedPicture::SetPath(m_home.Path() / "PART1" / "Folder" / "pic0001.JPG");

    testsupport::LogCapture log;
    CJPEGImage image;
    image.EnablePostProcessing(false);
    ASSERT_TRUE(image.Load(path));
    EXPECT_EQ(image.Bitmap(), handedOver);
    EXPECT_EQ(image.GetPictureWidth(), 8);
    EXPECT_TRUE(log.Contains(3, "Decompression skipped (decompressed during downloading)"));
    EXPECT_FALSE(log.Contains("DecompressImageIndirect time"));

    log.Clear();
    ASSERT_TRUE(image.Load(path));
    EXPECT_EQ(image.GetPictureWidth(), 64);
    EXPECT_FALSE(log.Contains("Decompression skipped"));
    EXPECT_TRUE(log.Contains("DecompressImageIndirect time"));
}

TEST_F(JPEGImageTest, DownloadedBitmapOfAnotherPictureIsNotTakenOver)
{
    const auto path = WriteFile(m_home.Path() / "Pic0002.jpg", testjpeg::Encode(32, 24));
    LastDecodedPicture::Set(m_home.Path() / "Pic0001.jpg", Dib::Create(8, 6));
    CJPEGImage image;
    ASSERT_TRUE(image.Load(path));
    EXPECT_EQ(image.GetPictureWidth(), 32);
    // Still there for the picture it belongs to.
    EXPECT_NE(LastDecodedPicture::TakeIf(m_home.Path() / "Pic0001.jpg"), nullptr);
}

TEST_F(JPEGImageTest, ANewDownloadedBitmapNeverInheritsTheOldPath)
{
    LastDecodedPicture::Set(m_home.Path() / "Pic0001.jpg", Dib::Create(8, 6));
    // The next picture was decoded but its file was never saved.
    LastDecodedPicture::SetBitmap(Dib::Create(4, 4));
    EXPECT_EQ(LastDecodedPicture::TakeIf(m_home.Path() / "Pic0001.jpg"), nullptr);
}

TEST_F(JPEGImageTest, DownloadDecodeIsTakenOverByTheSavedFile)
{
    const auto jpeg = testjpeg::Encode(48, 32);
    const auto path = WriteFile(m_home.Path() / "Pic0003.jpg", jpeg);
    ASSERT_TRUE(LastDecodedPicture::DecodeAndHold(jpeg.data(), jpeg.size()));
    LastDecodedPicture::SetPath(path);
    testsupport::LogCapture log;
    CJPEGImage image;
    image.EnablePostProcessing(false);
    ASSERT_TRUE(image.Load(path));
    EXPECT_TRUE(log.Contains("Decompression skipped (decompressed during downloading)"));
    const auto expected = imaging::LoadJpeg(jpeg.data(), jpeg.size());
    EXPECT_EQ(0, std::memcmp(image.Bitmap()->Bits(), expected->Bits(), expected->SizeBytes()));
}

TEST_F(JPEGImageTest, FailedDownloadDecodeDropsTheHeldPicture)
{
    LastDecodedPicture::Set(m_home.Path() / "Pic0001.jpg", Dib::Create(8, 6));
    const uint8_t garbage[] = {0xFF, 0xD8, 0x00, 0x01};
    EXPECT_FALSE(LastDecodedPicture::DecodeAndHold(garbage, sizeof garbage));
    LastDecodedPicture::SetPath(m_home.Path() / "Pic0002.jpg");
    EXPECT_EQ(LastDecodedPicture::TakeIf(m_home.Path() / "Pic0001.jpg"), nullptr);
    EXPECT_EQ(LastDecodedPicture::TakeIf(m_home.Path() / "Pic0002.jpg"), nullptr);
}

TEST_F(JPEGImageTest, EachDownloadedBitmapIsTakenOverAtMostOnceAcrossThreads)
{
    const auto path = m_home.Path() / "Pic0009.jpg";
    std::atomic<int> taken{0};
    std::atomic<bool> done{false};
    std::thread download([&] {
        for (int i = 0; i < 500; ++i) {
            LastDecodedPicture::Set(path, Dib::Create(2, 2));
        }
        done = true;
    });
    std::vector<std::thread> views;
    for (int v = 0; v < 2; ++v) {
        views.emplace_back([&] {
            while (!done) {
                if (LastDecodedPicture::TakeIf(path)) {
                    ++taken;
                }
            }
        });
    }
    download.join();
    for (auto& view : views) {
        view.join();
    }
    const int last = LastDecodedPicture::TakeIf(path) ? 1 : 0;
    EXPECT_LE(taken + last, 500);
    EXPECT_EQ(LastDecodedPicture::TakeIf(path), nullptr);
}

TEST_F(JPEGImageTest, MissingSplashPictureIsLogged)
{
    testsupport::LogCapture log;
    CJPEGImage image;
    EXPECT_FALSE(image.Load("xx../Orin Splash Image.jpg"));
    EXPECT_TRUE(log.Contains(3, "CJPEGImage::Load(). Default Image file not found: xx../Orin Splash Image.jpg "));
    EXPECT_EQ(image.GetPictureWidth(), 140);
}

TEST_F(JPEGImageTest, AnyOtherMissingFileFailsSilently)
{
    testsupport::LogCapture log;
    CJPEGImage image;
    EXPECT_FALSE(image.Load(m_home.Path() / "nothing.jpg"));
    EXPECT_FALSE(log.Contains(1, ""));
    EXPECT_FALSE(log.Contains(2, ""));
    EXPECT_FALSE(image.IsLoaded());
}

TEST_F(JPEGImageTest, FailedLoadDropsThePreviousPictureAndReportsThePlaceholderSize)
{
    const auto good = WriteFile(m_home.Path() / "good.jpg", testjpeg::Encode(64, 48));
    auto truncated = testjpeg::Encode(64, 48);
    truncated.resize(truncated.size() / 2);
    const auto bad = WriteFile(m_home.Path() / "bad.jpg", truncated);
    CJPEGImage image;
    ASSERT_TRUE(image.Load(good));
    testsupport::LogCapture log;
    EXPECT_FALSE(image.Load(bad));
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.Bitmap(), nullptr);
    EXPECT_EQ(image.GetPictureWidth(), 140);
    EXPECT_EQ(image.GetPictureHeight(), 210);
    EXPECT_TRUE(log.Contains(2, "JPEG library error: "));
    EXPECT_TRUE(log.Contains(1, "CJPEGImage::Load(). Error in JPEG decompressor: " + bad.string() + " "));
}

TEST_F(JPEGImageTest, GreyScaleFileIsNotShown)
{
    testjpeg::Options options;
    options.components = 1;
    const auto path = WriteFile(m_home.Path() / "grey.jpg", testjpeg::Encode(20, 20, options));
    testsupport::LogCapture log;
    CJPEGImage image;
    EXPECT_FALSE(image.Load(path));
    EXPECT_TRUE(log.Contains("Number of color components: 1"));
    EXPECT_TRUE(log.Contains(1, "Error in JPEG decompressor"));
}

TEST_F(JPEGImageTest, FolderInPlaceOfAPictureFailsCleanly)
{
    std::filesystem::create_directories(m_home.Path() / "folder.jpg");
    testsupport::LogCapture log;
    CJPEGImage image;
    EXPECT_FALSE(image.Load(m_home.Path() / "folder.jpg"));
    EXPECT_TRUE(log.Contains(1, "CJPEGImage::Load(). failed to get file size, err: "));
}

TEST_F(JPEGImageTest, FileFarLargerThanAnyPreviewIsNotReadIntoMemory)
{
    const auto path = m_home.Path() / "huge.jpg";
    {
        std::ofstream out(path, std::ios::binary);
    }
    std::filesystem::resize_file(path, 300ull * 1024 * 1024);  // sparse: costs no disk
    testsupport::LogCapture log;
    CJPEGImage image;
    EXPECT_FALSE(image.Load(path));
    EXPECT_TRUE(log.Contains(1, "CJPEGImage::Load(). failed to read file, err: 27 "));
}

TEST_F(JPEGImageTest, EmptyFileFailsAsABadPicture)
{
    const auto path = WriteFile(m_home.Path() / "empty.jpg", {});
    testsupport::LogCapture log;
    CJPEGImage image;
    EXPECT_FALSE(image.Load(path));
    EXPECT_TRUE(log.Contains(1, "Error in JPEG decompressor"));
}

TEST(JPEGImageFit, LandscapePreviewFillsTheFullViewFrame)
{
    EXPECT_EQ(CJPEGImage::FitRect(0, 640, 480), (Rect{15, 6, 225, 164}));
}

TEST(JPEGImageFit, UprightPreviewIsMovedDownToEndThreePixelsAboveTheFrame)
{
    EXPECT_EQ(CJPEGImage::FitRect(0, 480, 640), (Rect{95, 17, 239, 209}));
}

TEST(JPEGImageFit, NarrowerPictureIsCentredInTheFullViewAndRightAlignedElsewhere)
{
    // A 200 x 190 picture (aspect 1.053) is narrower than the wide frames (1.329 and 1.299).
    const Rect centred = CJPEGImage::FitRect(0, 200, 190);  // aspect 1.0526
    EXPECT_EQ(centred.top, 6);
    EXPECT_EQ(centred.bottom, 164);
    EXPECT_EQ(centred.Width(), 166);  // 158 x 1.0526 = 166.3
    EXPECT_EQ(centred.left, 15 + (210 - 166) / 2);

    const Rect right = CJPEGImage::FitRect(1, 200, 190);  // frame 10,7,110,84: 100 x 77
    EXPECT_EQ(right.right, 110);
    EXPECT_EQ(right.Width(), 81);  // 77 x 1.0526 = 81.05
    EXPECT_EQ(right.top, 7);
    EXPECT_EQ(right.bottom, 84);

    const Rect small = CJPEGImage::FitRect(2, 100, 200);  // frame 19,3,71,65: 52 x 62, aspect 0.839
    EXPECT_EQ(small.right, 71);
    EXPECT_EQ(small.Width(), 31);  // 62 x 0.5
    EXPECT_EQ(small.top, 3);
}

TEST(JPEGImageFit, FlatterPictureKeepsTheFrameTopInTheSmallLayouts)
{
    const Rect fit = CJPEGImage::FitRect(1, 400, 100);  // frame 100 x 77, height 100 / 4 = 25
    EXPECT_EQ(fit, (Rect{10, 7, 110, 32}));
    const Rect fit2 = CJPEGImage::FitRect(2, 64, 45);  // frame 64 x 45: equal aspect
    EXPECT_EQ(fit2, (Rect{7, 5, 71, 50}));
}

TEST(JPEGImageFit, WidePictureInTheFullViewIsCentredVertically)
{
    const Rect fit = CJPEGImage::FitRect(0, 400, 100);  // height 210 / 4 = 52.5 -> 53
    EXPECT_EQ(fit.Height(), 53);
    EXPECT_EQ(fit.top, 6 + (158 - 53) / 2);
    EXPECT_EQ(fit.left, 15);
    EXPECT_EQ(fit.right, 225);
}

TEST(JPEGImageFit, ControlIsShiftedByTheOffsetAndUsesThePlaceholderSizeWithoutAPicture)
{
    CJPEGImage image;
    const Rect base = CJPEGImage::FitRect(0, 140, 210);
    const Rect moved = image.Fit(0, 5, -2);
    EXPECT_EQ(moved, (Rect{base.left + 5, base.top - 2, base.right + 5, base.bottom - 2}));
}

TEST(JPEGImageRotate, QuarterTurnClockwiseMakesTheTopRowTheRightColumn)
{
    // A 3 x 2 picture with a distinct value in each pixel.
    auto dib = Dib::Create(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint8_t* p = dib->PictureRow(y) + 3 * x;
            p[0] = static_cast<uint8_t>(10 * y + x);
            p[1] = static_cast<uint8_t>(100 + 10 * y + x);
            p[2] = static_cast<uint8_t>(200 + 10 * y + x);
        }
    }
    CJPEGImage image;
    image.SetBitmap(std::move(dib));
    ASSERT_TRUE(image.Rotate());
    ASSERT_EQ(image.GetPictureWidth(), 2);
    ASSERT_EQ(image.GetPictureHeight(), 3);
    const Dib& turned = *image.Bitmap();
    ASSERT_EQ(turned.Width(), 2);
    ASSERT_EQ(turned.Height(), 3);
    EXPECT_EQ(turned.Stride(), 8u);
    // Top row (0,0) (1,0) (2,0) is now the right column from top to bottom; the bottom row the left.
    for (int x = 0; x < 3; ++x) {
        const uint8_t* right = turned.PictureRow(x) + 3 * 1;
        EXPECT_EQ(right[0], x);
        EXPECT_EQ(right[1], 100 + x);
        EXPECT_EQ(right[2], 200 + x);
        const uint8_t* left = turned.PictureRow(x);
        EXPECT_EQ(left[0], 10 + x);
    }
    // Four turns give the picture back.
    auto original = turned.Clone();
    ASSERT_TRUE(image.Rotate());
    ASSERT_TRUE(image.Rotate());
    ASSERT_TRUE(image.Rotate());
    ASSERT_TRUE(image.Rotate());
    EXPECT_EQ(0, std::memcmp(image.Bitmap()->Bits(), original->Bits(), original->SizeBytes()));
}

TEST(JPEGImageRotate, NothingToTurnWithoutAPicture)
{
    CJPEGImage image;
    EXPECT_FALSE(image.Rotate());
    EXPECT_EQ(image.GetPictureWidth(), 140);
}

TEST(JPEGImageDraw, PictureOfTheAreaSizeIsCopiedOneToOneAnyOtherIsScaled)
{
    CJPEGImage image;
    image.SetBitmap(Dib::Create(140, 210));
    testsupport::LogCapture log;
    EXPECT_FALSE(image.RecordDraw(140, 210));
    EXPECT_FALSE(image.IsStretched());
    EXPECT_TRUE(log.Contains(3, "Image updated on the screen"));
    EXPECT_TRUE(image.RecordDraw(138, 208));
    EXPECT_TRUE(image.IsStretched());
}

TEST(JPEGImagePostProcessing, WithoutAPictureThereIsNothingToProcess)
{
    CJPEGImage image;
    EXPECT_FALSE(image.PostProcessing());
}

TEST(JPEGImagePostProcessing, UsesTheTransformItIsGiven)
{
    CJPEGImage image;
    auto dib = Dib::Create(16, 16);
    std::memset(dib->Bits(), 200, dib->SizeBytes());
    auto expected = dib->Clone();
    image.SetBitmap(std::move(dib));
    const imaging::CDitherRiemersma model4150(4150);
    image.SetDisplayTransform(&model4150);
    ASSERT_TRUE(image.PostProcessing());
    model4150.Run(*expected);
    EXPECT_EQ(0, std::memcmp(image.Bitmap()->Bits(), expected->Bits(), expected->SizeBytes()));
}

}  // namespace
