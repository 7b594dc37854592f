#include "app/imaging/HistogramStatic.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using imaging::CHistogramStatic;
using imaging::Rect;

// The exposure view's histogram: 127 x 48 pixels.
const Rect kClient{0, 0, 127, 48};

std::vector<int32_t> Bell(int bins, double peak)
{
    std::vector<int32_t> values(static_cast<size_t>(bins));
    for (int i = 0; i < bins; ++i) {
        const double t = (i - bins / 2.0) / (bins / 6.0);
        values[static_cast<size_t>(i)] = static_cast<int32_t>(peak * std::exp(-t * t));
    }
    return values;
}

TEST(HistogramStatic, PlotGeometryLeavesRoomForAxisAndLabels)
{
    const auto plot = CHistogramStatic::Geometry(kClient);
    EXPECT_EQ(plot.baseline, 34);
    EXPECT_EQ(plot.top, 0);
    EXPECT_EQ(plot.left, 8);
    EXPECT_EQ(plot.right, 118);
    EXPECT_EQ(plot.width, 109);
    EXPECT_EQ(plot.Height(), 34);
}

TEST(HistogramStatic, PlotSizeNeedsAWindow)
{
    CHistogramStatic histogram;
    int width = -1;
    int height = -1;
    EXPECT_FALSE(histogram.GetPlotSize(width, height));
    histogram.SetClientRect(kClient);
    ASSERT_TRUE(histogram.GetPlotSize(width, height));
    EXPECT_EQ(width, 109);
    EXPECT_EQ(height, 34);
}

TEST(HistogramStatic, SourceSizeFallsBackToThePlotSize)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(256, 1000);
    EXPECT_EQ(histogram.SourceWidth(), 256);
    EXPECT_EQ(histogram.SourceHeight(), 1000);
    histogram.SetSourceSize(0, 1000);
    EXPECT_EQ(histogram.SourceWidth(), 109);
    EXPECT_EQ(histogram.SourceHeight(), 34);
}

TEST(HistogramStatic, ManyBinsBecomeOneColumnEachWithTheTallestAtTheRange)
{
    const auto columns = CHistogramStatic::Resample(Bell(256, 5000), 200, 48);
    ASSERT_EQ(columns.size(), 200u);
    EXPECT_EQ(columns[0], 0);
    EXPECT_EQ(*std::max_element(columns.begin(), columns.end()), 48);
}

TEST(HistogramStatic, AllZeroHistogramGivesEmptyColumnsWithoutDividing)
{
    const auto columns = CHistogramStatic::Resample(std::vector<int32_t>(256, 0), 200, 48);
    ASSERT_EQ(columns.size(), 200u);
    EXPECT_TRUE(std::all_of(columns.begin(), columns.end(), [](int32_t v) { return v == 0; }));
}

TEST(HistogramStatic, TinyOccupiedColumnStillShowsOnePixel)
{
    std::vector<int32_t> bins(256, 0);
    bins[100] = 1000000;
    bins[30] = 1;
    const auto columns = CHistogramStatic::Resample(bins, 200, 48);
    EXPECT_EQ(*std::max_element(columns.begin(), columns.end()), 48);
    int ones = 0;
    for (int32_t v : columns) {
        ones += v == 1 ? 1 : 0;
    }
    EXPECT_GE(ones, 1);  // the tiny bin's column (or the two sharing it)
    EXPECT_EQ(std::count_if(columns.begin(), columns.end(), [](int32_t v) { return v > 0; }),
              std::count_if(columns.begin(), columns.end(), [](int32_t v) { return v != 0; }));
}

TEST(HistogramStatic, FewerBinsThanColumnsRepeatEachBinUnscaled)
{
    std::vector<int32_t> bins(100);
    for (int i = 0; i < 100; ++i) {
        bins[static_cast<size_t>(i)] = 1000 + i;
    }
    const auto columns = CHistogramStatic::Resample(bins, 200, 48);
    ASSERT_EQ(columns.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(columns[static_cast<size_t>(i)], 1000 + i / 2) << i;
    }
}

TEST(HistogramStatic, LargeCountsAreScaledWithoutOverflow)
{
    // Column sums of about 128000 times a million are far beyond 32 bits.
    const auto columns = CHistogramStatic::Resample(std::vector<int32_t>(256, 100000), 200, 48);
    for (size_t i = 1; i < columns.size(); ++i) {
        EXPECT_GE(columns[i], 47) << i;
        EXPECT_LE(columns[i], 48) << i;
    }
    const auto huge = CHistogramStatic::Resample(std::vector<int32_t>(512, INT32_MAX), 100, 48);
    for (size_t i = 1; i < huge.size(); ++i) {
        EXPECT_GE(huge[i], 47) << i;
        EXPECT_LE(huge[i], 48) << i;
    }
}

TEST(HistogramStatic, FlatHistogramGivesEvenColumnsAtEveryBinBoundary)
{
    // 256 bins into 200 columns: every 25th column ends exactly on a bin boundary; those columns
    // must not count a bin twice.
    const auto columns = CHistogramStatic::Resample(std::vector<int32_t>(256, 1000), 200, 100);
    for (size_t i = 1; i < columns.size(); ++i) {
        EXPECT_NEAR(columns[i], 100, 1) << i;
    }
}

TEST(HistogramStatic, EqualBinsAndColumnsCopyTheShape)
{
    std::vector<int32_t> bins = {0, 10, 20, 40};
    const auto columns = CHistogramStatic::Resample(bins, 4, 40);
    EXPECT_EQ(columns, (std::vector<int32_t>{0, 10, 20, 40}));
}

TEST(HistogramStatic, NegativeCountsShowAsEmpty)
{
    std::vector<int32_t> bins = {0, -50, 20, 40, -7, 10};
    const auto columns = CHistogramStatic::Resample(bins, 3, 40);
    for (int32_t v : columns) {
        EXPECT_GE(v, 0);
    }
}

TEST(HistogramStatic, EmptyArrayKeepsThePreviousColumnsAndIsLogged)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(256, 34);
    const auto bins = Bell(256, 400);
    testsupport::LogCapture log;
    histogram.SetHistogramData(&bins);
    ASSERT_EQ(histogram.Columns().size(), 109u);
    EXPECT_TRUE(log.Contains(3, "CHistogramStatic::SetHistogramData() Size of original histogram data array: 256"));
    EXPECT_TRUE(log.Contains(3, "CHistogramStatic::SetHistogramData() m_saHistogramData.GetArrLength(): 109"));
    const auto before = histogram.Columns();

    const std::vector<int32_t> empty;
    histogram.SetHistogramData(&empty);
    EXPECT_TRUE(log.Contains(2, "Histogram data array size is zero"));
    EXPECT_EQ(histogram.Columns(), before);

    histogram.SetHistogramData(nullptr);
    EXPECT_TRUE(histogram.Columns().empty());
}

TEST(HistogramStatic, SourceWidthLargerThanTheArrayNeverReadsPastIt)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(1024, 34);  // the view's idea, but the camera sent fewer bins
    const std::vector<int32_t> bins(200, 7);
    histogram.SetHistogramData(&bins);
    EXPECT_EQ(histogram.Columns().size(), 109u);
}

TEST(HistogramStatic, CentreMarkerLinesTickAndLabelSitOnItsColumn)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(256, 34);
    histogram.SetCentreMarker(128, u"128");
    const auto layout = histogram.ComputeLayout();
    ASSERT_TRUE(layout.centre);
    // Column 128 x 109 / 256 = 54.
    EXPECT_EQ(layout.centreLineX[0], 62);
    EXPECT_EQ(layout.centreLineX[1], 63);
    EXPECT_EQ(layout.centreLineX[2], 64);
    EXPECT_EQ(layout.centreLineBottom, 36);
    EXPECT_EQ(layout.centreLineTop, -1);
    EXPECT_EQ(layout.centreTickFrom.x, 64);
    EXPECT_EQ(layout.centreTickFrom.y, 38);
    EXPECT_EQ(layout.centreTickTo.x, 63);
    EXPECT_EQ(layout.centreTickTo.y, 43);
    EXPECT_EQ(layout.centreLabel.left, 54 - 7 + 8 + 1);
    EXPECT_EQ(layout.centreLabel.right, 56 + 15);
    EXPECT_EQ(layout.labelY, 38);
}

TEST(HistogramStatic, AverageAndTickMarkersSitBesideTheirColumns)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(256, 34);
    histogram.SetAverageMarker(64);
    histogram.SetDarkWhiteMarkers(64, 192, u"a", u"b");
    const auto layout = histogram.ComputeLayout();
    ASSERT_TRUE(layout.average);
    EXPECT_EQ(layout.averagePointer.x, 8 + 27 - 3);
    EXPECT_EQ(layout.averagePointer.y, 30);
    EXPECT_EQ(layout.darkTick.x, 8 + 27 + 1);
    EXPECT_EQ(layout.darkTick.y, 33);
    EXPECT_EQ(layout.whiteTick.x, 8 + 81 + 1);  // 192 x 109 / 256 = 81
    EXPECT_FALSE(layout.centre);
}

TEST(HistogramStatic, DarkLabelStopsAtTheLeftEdgeAndWhiteLabelAtTheRightEdge)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(256, 34);
    histogram.SetDarkWhiteMarkers(0, 255, u"-2.5 EV", u"255 xx");
    const auto layout = histogram.ComputeLayout();
    EXPECT_EQ(layout.darkLabel.left, 0);
    EXPECT_EQ(layout.darkLabel.right, 35);
    EXPECT_EQ(layout.whiteLabel.right, 127);
    EXPECT_EQ(layout.whiteLabel.left, 97);
    EXPECT_TRUE(layout.darkLabel.shown);
    EXPECT_TRUE(layout.whiteLabel.shown);
}

TEST(HistogramStatic, LabelsOverlappingTheCentreLabelAreHidden)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(256, 34);
    histogram.SetCentreMarker(128, u"128");   // label 56 .. 71
    histogram.SetDarkWhiteMarkers(100, 150, u"100", u"150");  // 44 .. 59 and 65 .. 80
    auto layout = histogram.ComputeLayout();
    EXPECT_FALSE(layout.darkLabel.shown);
    EXPECT_FALSE(layout.whiteLabel.shown);
    EXPECT_TRUE(layout.dark);  // the ticks themselves stay
    EXPECT_TRUE(layout.white);

    histogram.SetDarkWhiteMarkers(10, 250, u"10", u"250");
    layout = histogram.ComputeLayout();
    EXPECT_TRUE(layout.darkLabel.shown);
    EXPECT_TRUE(layout.whiteLabel.shown);

    histogram.SetCentreMarker(-1, u"");
    histogram.SetDarkWhiteMarkers(100, 150, u"100", u"150");
    layout = histogram.ComputeLayout();
    EXPECT_TRUE(layout.darkLabel.shown);
    EXPECT_TRUE(layout.whiteLabel.shown);
}

TEST(HistogramStatic, MeasuredLabelWidthsDecideTheOverlap)
{
    CHistogramStatic histogram;
    histogram.SetClientRect(kClient);
    histogram.SetSourceSize(256, 34);
    histogram.SetCentreMarker(128, u"128");
    histogram.SetDarkWhiteMarkers(90, 250, u"90", u"250");  // dark label starts at 38 - 5 + 9 = 42
    CHistogramStatic::LabelWidths widths;
    widths.dark = 10;
    EXPECT_TRUE(histogram.ComputeLayout(widths).darkLabel.shown);  // ends at 52
    widths.dark = 20;
    EXPECT_FALSE(histogram.ComputeLayout(widths).darkLabel.shown);  // ends at 62
}

TEST(HistogramStatic, MarkerColumnScalesBinPositionsToThePlot)
{
    EXPECT_EQ(CHistogramStatic::MarkerColumn(128, 109, 256), 54);
    EXPECT_EQ(CHistogramStatic::MarkerColumn(256, 109, 256), 109);
    EXPECT_EQ(CHistogramStatic::MarkerColumn(0, 109, 256), 0);
    EXPECT_EQ(CHistogramStatic::MarkerColumn(2000000000, 200, 256), 1562500000);  // no overflow
}

}  // namespace
