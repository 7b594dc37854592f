// The orinimg tool as a user runs it: exit codes, one-line errors, files written.
#include "app/imaging/DitherRiemersma.h"
#include "app/imaging/loadjpeg.h"
#include "tests/imaging/BmpFile.h"
#include "tests/imaging/JpegFixtures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class OrinImgTest : public ::testing::Test {
protected:
    Result Run(const std::string& arguments)
    {
#ifdef ORINIMG_PATH
        const std::filesystem::path tool = ORINIMG_PATH;
#else
        const auto tool = testsupport::BuildDir() / "tools" / "orinimg" / "orinimg";
#endif
        const auto out = m_home.Path() / "stdout.txt";
        const auto err = m_home.Path() / "stderr.txt";
        const std::string command =
            "'" + tool.string() + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        Result result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadText(out);
        result.err = ReadText(err);
        return result;
    }

    std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const auto path = m_home.Path() / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

    static void ExpectOneLine(const std::string& text)
    {
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }

    testsupport::TempHome m_home;
};

TEST_F(OrinImgTest, DecodeWritesABmpWhosePixelArrayIsTheBitmap)
{
    const auto jpeg = testjpeg::Encode(77, 41);
    const auto in = Write("in.jpg", jpeg);
    const auto out = m_home.Path() / "out.bmp";
    const Result result = Run("decode " + Quote(in) + " " + Quote(out));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;  // the log never goes to the terminal
    testjpeg::BmpPixels bmp;
    ASSERT_TRUE(testjpeg::ReadBmp(out, bmp));
    EXPECT_EQ(bmp.width, 77);
    EXPECT_EQ(bmp.height, 41);
    EXPECT_EQ(bmp.bitsPerPixel, 24);
    const auto dib = imaging::LoadJpeg(jpeg.data(), jpeg.size());
    ASSERT_EQ(bmp.bytes.size(), dib->SizeBytes());
    EXPECT_EQ(0, std::memcmp(bmp.bytes.data(), dib->Bits(), dib->SizeBytes()));
    EXPECT_FALSE(std::filesystem::exists(m_home.Path() / "out.bmp.part"));
}

TEST_F(OrinImgTest, DisplayAppliesTheTransformOfTheChosenModel)
{
    const auto jpeg = testjpeg::Encode(50, 70);
    const auto in = Write("in.jpg", jpeg);
    for (int model : {0, 4150}) {
        const auto out = m_home.Path() / ("display" + std::to_string(model) + ".bmp");
        const std::string extra = model == 0 ? "" : " --model " + std::to_string(model);
        const Result result = Run("display " + Quote(in) + " " + Quote(out) + extra);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        testjpeg::BmpPixels bmp;
        ASSERT_TRUE(testjpeg::ReadBmp(out, bmp));
        auto dib = imaging::LoadJpeg(jpeg.data(), jpeg.size());
        imaging::CDitherRiemersma(model).Run(*dib);
        ASSERT_EQ(bmp.bytes.size(), dib->SizeBytes());
        EXPECT_EQ(0, std::memcmp(bmp.bytes.data(), dib->Bits(), dib->SizeBytes())) << "model " << model;
    }
}

TEST_F(OrinImgTest, MissingFileIsOneClearLine)
{
    const Result result = Run("decode " + Quote(m_home.Path() / "none.jpg") + " " + Quote(m_home.Path() / "o.bmp"));
    EXPECT_EQ(result.exitCode, 1);
    ExpectOneLine(result.err);
    EXPECT_NE(result.err.find("No such file"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(m_home.Path() / "o.bmp"));
}

TEST_F(OrinImgTest, BadPicturesAreRefusedWithTheReason)
{
    testjpeg::Options grey;
    grey.components = 1;
    auto truncated = testjpeg::Encode(64, 64);
    truncated.resize(truncated.size() / 2);
    const std::string text = "plain text\n";
    const struct {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string reason;
    } cases[] = {
        {"text.jpg", std::vector<uint8_t>(text.begin(), text.end()), "Not a JPEG file"},
        {"cut.jpg", truncated, "Premature end of JPEG file"},
        {"grey.jpg", testjpeg::Encode(16, 16, grey), "Number of color components: 1"},
        {"empty.jpg", {}, "JPEG library error"},
    };
    for (const auto& c : cases) {
        const auto in = Write(c.name, c.bytes);
        for (const char* command : {"decode ", "display "}) {
            const Result result = Run(command + Quote(in) + " " + Quote(m_home.Path() / "o.bmp"));
            EXPECT_EQ(result.exitCode, 1) << c.name;
            ExpectOneLine(result.err);
            EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
            EXPECT_FALSE(std::filesystem::exists(m_home.Path() / "o.bmp"));
        }
    }
}

TEST_F(OrinImgTest, UnwritableOutputIsReported)
{
    const auto in = Write("in.jpg", testjpeg::Encode(8, 8));
    const Result result = Run("decode " + Quote(in) + " " + Quote(m_home.Path() / "no" / "such" / "o.bmp"));
    EXPECT_EQ(result.exitCode, 1);
    ExpectOneLine(result.err);
}

TEST_F(OrinImgTest, HistogramPrintsTheColumnHeights)
{
    Result result = Run("histogram --columns 4 --range 10 '1;2'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "1;1;2;2\n");
    result = Run("histogram --columns 3 --range 10 '5;5;5;5;5;5'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "0;10;10\n");
    result = Run("histogram --columns 3 --range 10 '0;0;0;0;0;0'");
    EXPECT_EQ(result.out, "0;0;0\n");
}

TEST_F(OrinImgTest, FitPrintsTheControlRectangle)
{
    Result result = Run("fit --layout 0 640x480");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "15,6,225,164\n");
    result = Run("fit --layout 0 480x640");
    EXPECT_EQ(result.out, "95,17,239,209\n");
}

TEST_F(OrinImgTest, UsageErrorsExitWithTwoAndOneLine)
{
    for (const char* arguments : {"", "frobnicate", "decode", "histogram --columns 0 --range 10 1", "histogram --columns 3 --range 10 '1;x'",
                                  "histogram --columns 3 --range 10 ''", "fit --layout 3 10x10", "fit --layout 0 10by10",
                                  "fit --layout 0 0x10", "display a b --model", "decode a b c"}) {
        const Result result = Run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments;
        ExpectOneLine(result.err);
        EXPECT_TRUE(result.out.empty());
    }
}

}  // namespace
