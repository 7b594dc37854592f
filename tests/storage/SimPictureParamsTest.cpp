// The simulator's picture answers are computed from the picture itself.
#include <gtest/gtest.h>

#include <numeric>

#include "app/platform/TextConvert.h"
#include "tests/storage/SimulatorFixture.h"

using namespace storagetest;

namespace {

class SimPictureParamsTest : public SimulatorFixture {
protected:
    ProtocolCommand Params(const std::u16string& file)
    {
        ProtocolCommand answer;
        std::u16string error;
        EXPECT_TRUE(m_layer->GetPictureParams(answer, {{u"file_name", file}}, error)) << platform::ToUtf8(error);
        return answer;
    }
    std::string Value(const ProtocolCommand& answer, const char16_t* name)
    {
        const std::u16string* value = answer.FindAttribute(name);
        return value != nullptr ? platform::ToUtf8(*value) : std::string("(none)");
    }
    std::vector<uint8_t> Preview(const std::u16string& file)
    {
        ProtocolCommand answer;
        AttributeList attributes{{u"file_name", file}};
        std::u16string error;
        EXPECT_TRUE(m_layer->GetImage(answer, attributes, error));
        return answer.attachment;
    }
};

const std::u16string kBoth = u"./Part2/Sub/Deep/Pic0100.mos";  // a quarter black, a quarter white

}  // namespace

TEST_F(SimPictureParamsTest, HistogramCountsEveryPixelAndFindsTheClippedEnds)
{
    const ProtocolCommand answer = Params(kBoth);
    uint64_t total = 0;
    std::string histogram = Value(answer, u"Histogram");
    size_t bins = 0;
    for (size_t start = 0; start < histogram.size();) {
        const size_t end = histogram.find(';', start);
        total += std::stoull(histogram.substr(start, end - start));
        ++bins;
        start = end == std::string::npos ? histogram.size() : end + 1;
    }
    EXPECT_EQ(bins, 64u);
    EXPECT_EQ(total, 128u * 96u);
    EXPECT_EQ(Value(answer, u"Hwhite").rfind("255 ", 0), 0u) << Value(answer, u"Hwhite");
    EXPECT_EQ(Value(answer, u"Hdark").rfind("0 ", 0), 0u) << Value(answer, u"Hdark");
    EXPECT_EQ(Value(answer, u"HwhiteLoc"), "63");
    EXPECT_EQ(Value(answer, u"HdarkLoc"), "0");
    EXPECT_EQ(Value(answer, u"NewPicture"), "No");
    EXPECT_EQ(Value(answer, u"Orientation"), "Landscape");
    EXPECT_EQ(Value(answer, u"Marking"), "Unmarked");
}

TEST_F(SimPictureParamsTest, MarksAndAnnotationsAreKeptForTheSession)
{
    std::u16string error;
    ASSERT_TRUE(m_layer->SetPictureParams({{u"file_name", kBoth}, {u"Marking", u"Good"}}, error));
    ASSERT_TRUE(m_layer->SetPictureParams({{u"file_name", kBoth}, {u"annotation", u"check"}}, error));
    EXPECT_FALSE(m_layer->SetPictureParams({{u"file_name", kBoth}, {u"Marking", u"Great"}}, error));
    EXPECT_EQ(error, u"Missing or invalid parameters.");
    const ProtocolCommand answer = Params(kBoth);
    EXPECT_EQ(Value(answer, u"Marking"), "Good");
    EXPECT_EQ(Value(answer, u"text"), "check");
}

TEST_F(SimPictureParamsTest, WhiteAlarmPaintsClippedHighlightsRed)
{
    ProtocolCommand answer;
    std::u16string error;
    ASSERT_TRUE(m_layer->ImageFunction(answer, {{u"file_name", kBoth}, {u"Alarm", u"yes"}, {u"edge", u"white"}}, error));
    std::vector<uint8_t> rgb;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(camsim::SimPictureFunctions::DecodeRgb(Preview(kBoth), rgb, width, height));
    ASSERT_EQ(width, 128);
    // The right quarter was pure white.
    const uint8_t* px = &rgb[(static_cast<size_t>(height / 2) * width + width - 8) * 3];
    EXPECT_GT(px[0], 200);
    EXPECT_LT(px[1], 60);
    EXPECT_LT(px[2], 60);
    EXPECT_EQ(Value(Params(kBoth), u"alarm_white"), "Yes");
}

TEST_F(SimPictureParamsTest, ZoomSendsAOneToOneCropAroundThePoint)
{
    ProtocolCommand answer;
    std::u16string error;
    ASSERT_TRUE(m_layer->ImageFunction(
        answer, {{u"file_name", kBoth}, {u"zoom", u"yes"}, {u"XCoord", u"120"}, {u"YCoord", u"10"}}, error));
    std::vector<uint8_t> rgb;
    int width = 0;
    int height = 0;
    ASSERT_TRUE(camsim::SimPictureFunctions::DecodeRgb(Preview(kBoth), rgb, width, height));
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    // Kept inside the picture: the crop's right edge is the picture's white quarter.
    EXPECT_GT(rgb[(static_cast<size_t>(10) * width + width - 2) * 3], 240);
    ASSERT_TRUE(m_layer->ImageFunction(answer, {{u"file_name", kBoth}, {u"zoom", u"no"}}, error));
    ASSERT_TRUE(camsim::SimPictureFunctions::DecodeRgb(Preview(kBoth), rgb, width, height));
    EXPECT_EQ(width, 128);
}

TEST_F(SimPictureParamsTest, UnknownPictureAndMissingCoordinatesAreRefused)
{
    ProtocolCommand answer;
    std::u16string error;
    EXPECT_FALSE(m_layer->GetPictureParams(answer, {{u"file_name", u"./Part1/Folder/Nope.mos"}}, error));
    EXPECT_EQ(error, u"Filename not found.");
    EXPECT_FALSE(m_layer->ImageFunction(answer, {{u"file_name", kBoth}, {u"zoom", u"yes"}}, error));
    EXPECT_EQ(error, u"Missing or invalid parameters.");
    EXPECT_FALSE(m_layer->GetPictureParams(answer, {{u"file_name", u"./Part1/../../etc/passwd"}}, error));
    EXPECT_EQ(error, u"Illegal pathname.");
}
