#include "app/imaging/loadjpeg.h"
#include "tests/imaging/BmpFile.h"
#include "tests/imaging/JpegFixtures.h"
#include "app/platform/Log.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using imaging::Dib;
using imaging::LoadJpeg;

std::filesystem::path WriteFile(const std::filesystem::path& folder, const std::string& name,
                                const std::vector<uint8_t>& bytes)
{
    const std::filesystem::path path = folder / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

bool HaveDjpeg() { return std::system("command -v djpeg >/dev/null 2>&1") == 0; }

// The reference decode: libjpeg-turbo's own command-line decoder writing a BMP file.
bool DecodeWithDjpeg(const std::filesystem::path& folder, const std::vector<uint8_t>& jpeg, testjpeg::BmpPixels& out)
{
    const auto in = WriteFile(folder, "reference.jpg", jpeg);
    const auto bmp = folder / "reference.bmp";
    const std::string command = "djpeg -bmp -outfile '" + bmp.string() + "' '" + in.string() + "'";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    return testjpeg::ReadBmp(bmp, out);
}

void ExpectSameAsDjpeg(int width, int height, const testjpeg::Options& options)
{
    if (!HaveDjpeg()) {
        GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
    }
    testsupport::TempHome home;
    const std::vector<uint8_t> jpeg = testjpeg::Encode(width, height, options);
    testjpeg::BmpPixels reference;
    ASSERT_TRUE(DecodeWithDjpeg(home.Path(), jpeg, reference));
    ASSERT_EQ(reference.bitsPerPixel, 24);
    ASSERT_EQ(reference.width, width);
    ASSERT_EQ(reference.height, height);  // positive: bottom-up, as ours

    const std::unique_ptr<Dib> dib = LoadJpeg(jpeg.data(), jpeg.size());
    ASSERT_TRUE(dib);
    ASSERT_EQ(dib->Width(), width);
    ASSERT_EQ(dib->Height(), height);
    ASSERT_EQ(dib->Stride(), (static_cast<size_t>(width) * 3 + 3) / 4 * 4);
    ASSERT_EQ(dib->SizeBytes(), reference.bytes.size());
    size_t differing = 0;
    for (size_t i = 0; i < reference.bytes.size(); ++i) {
        differing += dib->Bits()[i] != reference.bytes[i] ? 1 : 0;
    }
    EXPECT_EQ(differing, 0u) << "bytes differing from djpeg's decode";
}

std::vector<uint8_t> Truncate(std::vector<uint8_t> bytes, size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

size_t FindMarker(const std::vector<uint8_t>& bytes, uint8_t marker)
{
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == marker) {
            return i;
        }
    }
    return std::string::npos;
}

TEST(LoadJpeg, ColourPictureMatchesDjpegByteForByte) { ExpectSameAsDjpeg(160, 120, {}); }

TEST(LoadJpeg, OddWidthRowsArePaddedLikeDjpeg) { ExpectSameAsDjpeg(37, 23, {}); }

TEST(LoadJpeg, FullChromaPictureMatchesDjpeg)
{
    testjpeg::Options options;
    options.fullChroma = true;
    ExpectSameAsDjpeg(101, 67, options);
}

TEST(LoadJpeg, ProgressivePictureMatchesDjpeg)
{
    testjpeg::Options options;
    options.progressive = true;
    ExpectSameAsDjpeg(130, 90, options);
}

TEST(LoadJpeg, PictureWithRestartMarkersMatchesDjpeg)
{
    testjpeg::Options options;
    options.restartInterval = 1;
    ExpectSameAsDjpeg(64, 80, options);
}

TEST(LoadJpeg, PreviewSizedPictureMatchesDjpeg) { ExpectSameAsDjpeg(640, 480, {}); }

TEST(LoadJpeg, TopScanlineLandsInLastMemoryRow)
{
    // Red top half, blue bottom half: a bottom-up bitmap starts with the blue rows.
    const auto jpeg = testjpeg::Encode(16, 16, {}, [](int, int y, int c) -> uint8_t {
        const bool top = y < 8;
        return static_cast<uint8_t>(c == 0 ? (top ? 255 : 0) : c == 2 ? (top ? 0 : 255) : 0);
    });
    const auto dib = LoadJpeg(jpeg.data(), jpeg.size());
    ASSERT_TRUE(dib);
    const uint8_t* bottom = dib->MemoryRow(0);
    const uint8_t* top = dib->MemoryRow(15);
    EXPECT_GT(bottom[0], 200);  // blue byte first
    EXPECT_LT(bottom[2], 50);
    EXPECT_LT(top[0], 50);
    EXPECT_GT(top[2], 200);  // red byte last
}

TEST(LoadJpeg, SoundPictureLogsNoLibraryMessage)
{
    testsupport::LogCapture log;
    const auto jpeg = testjpeg::Encode(64, 64);
    ASSERT_TRUE(LoadJpeg(jpeg.data(), jpeg.size()));
    EXPECT_FALSE(log.Contains("JPEG library error"));
    EXPECT_FALSE(log.Contains(1, ""));
}

TEST(LoadJpeg, StrayBytesBeforeAMarkerAreLoggedButThePictureIsKept)
{
    // Bytes between two header segments: the library warns, the picture is intact.
    auto jpeg = testjpeg::Encode(32, 32);
    const auto clean = LoadJpeg(jpeg.data(), jpeg.size());
    const size_t sof = FindMarker(jpeg, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    jpeg.insert(jpeg.begin() + static_cast<long>(sof), {0x12, 0x34, 0x56});
    testsupport::LogCapture log;
    const auto dib = LoadJpeg(jpeg.data(), jpeg.size());
    ASSERT_TRUE(dib);
    EXPECT_EQ(0, std::memcmp(dib->Bits(), clean->Bits(), clean->SizeBytes()));
    EXPECT_TRUE(log.Contains(2, "JPEG library error: Corrupt JPEG data: 3 extraneous bytes before marker 0xc0"));
}

TEST(LoadJpeg, GreyScalePictureIsRefusedWithItsLogLine)
{
    testsupport::LogCapture log;
    testjpeg::Options options;
    options.components = 1;
    const auto jpeg = testjpeg::Encode(32, 32, options);
    EXPECT_FALSE(LoadJpeg(jpeg.data(), jpeg.size()));
    EXPECT_TRUE(log.Contains(2, "LoadJpeg() Unsupported color format. Number of color components: 1"));
}

TEST(LoadJpeg, CmykPictureIsRefusedWithItsComponentCount)
{
    testsupport::LogCapture log;
    testjpeg::Options options;
    options.components = 4;
    const auto jpeg = testjpeg::Encode(16, 16, options);
    EXPECT_FALSE(LoadJpeg(jpeg.data(), jpeg.size()));
    EXPECT_TRUE(log.Contains("Number of color components: 4"));
}

TEST(LoadJpeg, TruncatedPictureIsRefusedNotFilledWithGrey)
{
    const auto jpeg = testjpeg::Encode(160, 120);
    for (const double part : {0.3, 0.6, 0.9, 0.99}) {
        testsupport::LogCapture log;
        const auto cut = Truncate(jpeg, static_cast<size_t>(static_cast<double>(jpeg.size()) * part));
        EXPECT_FALSE(LoadJpeg(cut.data(), cut.size())) << "cut at " << part;
        EXPECT_TRUE(log.Contains(2, "JPEG library error: ")) << "cut at " << part;
    }
}

TEST(LoadJpeg, TruncatedProgressivePictureIsRefused)
{
    testjpeg::Options options;
    options.progressive = true;
    const auto jpeg = testjpeg::Encode(160, 120, options);
    testsupport::LogCapture log;
    const auto cut = Truncate(jpeg, jpeg.size() * 3 / 4);
    EXPECT_FALSE(LoadJpeg(cut.data(), cut.size()));
    EXPECT_TRUE(log.Contains("JPEG library error: Premature end of JPEG file"));
}

TEST(LoadJpeg, PictureCutInsideItsHeaderIsRefused)
{
    const auto jpeg = testjpeg::Encode(40, 40);
    for (size_t keep : {size_t{1}, size_t{2}, size_t{20}, FindMarker(jpeg, 0xC0) + 5}) {
        testsupport::LogCapture log;
        const auto cut = Truncate(jpeg, keep);
        EXPECT_FALSE(LoadJpeg(cut.data(), cut.size())) << "kept " << keep;
        EXPECT_TRUE(log.Contains("JPEG library error: ")) << "kept " << keep;
    }
}

TEST(LoadJpeg, MisnumberedRestartMarkerIsRefusedNotPatchedOver)
{
    testjpeg::Options options;
    options.restartInterval = 1;
    auto jpeg = testjpeg::Encode(64, 64, options);
    const size_t sos = FindMarker(jpeg, 0xDA);
    ASSERT_NE(sos, std::string::npos);
    size_t restart = std::string::npos;
    int seen = 0;
    for (size_t i = sos; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7 && ++seen == 3) {
            restart = i;
            break;
        }
    }
    ASSERT_NE(restart, std::string::npos);
    jpeg[restart + 1] = static_cast<uint8_t>(0xD0 + (jpeg[restart + 1] - 0xD0 + 4) % 8);
    testsupport::LogCapture log;
    EXPECT_FALSE(LoadJpeg(jpeg.data(), jpeg.size()));
    EXPECT_TRUE(log.Contains(2, "JPEG library error: Corrupt JPEG data: found marker"));
}

TEST(LoadJpeg, TextFileIsNotAJpeg)
{
    testsupport::LogCapture log;
    const std::string text = "this is not a picture";
    EXPECT_FALSE(LoadJpeg(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    EXPECT_TRUE(log.Contains(2, "JPEG library error: Not a JPEG file"));
}

TEST(LoadJpeg, EmptyAndNullInputAreRefused)
{
    testsupport::LogCapture log;
    const uint8_t byte = 0;
    EXPECT_FALSE(LoadJpeg(&byte, 0));
    EXPECT_FALSE(LoadJpeg(nullptr, 0));
    EXPECT_TRUE(log.Contains("JPEG library error: "));
}

TEST(LoadJpeg, UnsupportedPrecisionEndsWithTheLibraryError)
{
    auto jpeg = testjpeg::Encode(40, 40);
    const size_t sof = FindMarker(jpeg, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    jpeg[sof + 4] = 12;  // sample precision
    testsupport::LogCapture log;
    EXPECT_FALSE(LoadJpeg(jpeg.data(), jpeg.size()));
    EXPECT_TRUE(log.Contains(2, "JPEG library error: Unsupported JPEG data precision 12"));
}

TEST(LoadJpeg, HeaderClaimingAHugePictureIsRefusedBeforeAllocating)
{
    auto jpeg = testjpeg::Encode(40, 40);
    const size_t sof = FindMarker(jpeg, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    // Height 20000, width 30000.
    jpeg[sof + 5] = 20000 >> 8;
    jpeg[sof + 6] = 20000 & 0xFF;
    jpeg[sof + 7] = 30000 >> 8;
    jpeg[sof + 8] = 30000 & 0xFF;
    testsupport::LogCapture log;
    EXPECT_FALSE(LoadJpeg(jpeg.data(), jpeg.size()));
    EXPECT_TRUE(log.Contains("LoadJpeg() Picture too large: 30000 x 20000"));
}

TEST(LoadJpeg, DamagedEntropyDataNeverCrashesAndNeverReturnsAWrongSize)
{
    const auto jpeg = testjpeg::Encode(96, 64);
    const size_t sos = FindMarker(jpeg, 0xDA);
    ASSERT_NE(sos, std::string::npos);
    testsupport::LogCapture log;
    for (size_t at = sos + 20; at + 2 < jpeg.size(); at += 37) {
        auto damaged = jpeg;
        damaged[at] = 0xFF;  // a stray marker prefix in the scan
        damaged[at + 1] = static_cast<uint8_t>(0xD0 + at % 8);
        const auto dib = LoadJpeg(damaged.data(), damaged.size());
        if (dib) {
            EXPECT_EQ(dib->Width(), 96);
            EXPECT_EQ(dib->Height(), 64);
        }
    }
}

// A log function that fails once, at the start of the bitmap's creation, then records.
std::vector<std::string> g_unexpectedLog;
bool g_thrown = false;
bool ThrowingLog(int, const char*, int, const char* function, const char* message)
{
    if (!g_thrown && function != nullptr && std::string(function) == "Dib::Create" && message != nullptr &&
        std::string(message) == "- enter") {
        g_thrown = true;
        throw std::runtime_error("log failed");
    }
    g_unexpectedLog.push_back(message != nullptr ? message : "");
    return true;
}

TEST(LoadJpeg, ForeignExceptionIsLoggedAsUnknownCriticalErrorAndFreesEverything)
{
    const auto jpeg = testjpeg::Encode(40, 30);
    const auto previous = platform::GetLogFunction();
    g_unexpectedLog.clear();
    g_thrown = false;
    platform::SetLogFunction(ThrowingLog);
    const auto dib = LoadJpeg(jpeg.data(), jpeg.size());
    platform::SetLogFunction(previous);
    EXPECT_TRUE(g_thrown);
    EXPECT_FALSE(dib);
    EXPECT_NE(std::find(g_unexpectedLog.begin(), g_unexpectedLog.end(), "UNKNOWN CRITICAL ERROR"), g_unexpectedLog.end());
}

TEST(LoadJpeg, DecodesTheSameBytesTheSameWayTwice)
{
    const auto jpeg = testjpeg::Encode(50, 30);
    const auto a = LoadJpeg(jpeg.data(), jpeg.size());
    const auto b = LoadJpeg(jpeg.data(), jpeg.size());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(0, std::memcmp(a->Bits(), b->Bits(), a->SizeBytes()));
}

}  // namespace
