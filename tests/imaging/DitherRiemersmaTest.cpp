#include "app/imaging/DitherRiemersma.h"
#include "app/imaging/Fastransform.h"
#include "app/imaging/loadjpeg.h"
#include "tests/imaging/JpegFixtures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

namespace {

using imaging::CDitherRiemersma;
using imaging::Dib;

// ---- An independent, deliberately plain model of the display transform ------------------------

struct ReferenceTables {
    int16_t t[3][3][256];
    std::vector<uint8_t> l[3];
};

ReferenceTables MakeReferenceTables(int model)
{
    const double m[3][3] = {{1.28, -0.2, -0.08}, {-0.12, 1.2, -0.08}, {-0.12, -0.2, 1.32}};
    const double k2_4150[3] = {150.0 / 255, 260.0 / 255, 270.0 / 255};
    const double k2_other[3] = {215.0 / 255, 245.0 / 255, 1.0};
    ReferenceTables tables{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int v = 0; v < 256; ++v) {
                tables.t[r][c][v] = static_cast<int16_t>(std::trunc(std::pow(v / 255.0, 1.8) * 4095 * m[r][c] + 0.5));
            }
        }
    }
    for (int c = 0; c < 3; ++c) {
        const double k2 = model == 4150 ? k2_4150[c] : k2_other[c];
        tables.l[c].assign(65536, 0);
        for (int x = 0; x < 65536; ++x) {
            if (x <= 4095) {
                const double f = 255 * std::min(1.0, k2 * std::pow(std::min(1.0, std::pow(x / 4095.0, 1 / 1.8)), 1.0));
                tables.l[c][x] = static_cast<uint8_t>(std::trunc(f + 0.5));
            } else if (x <= 32767) {
                tables.l[c][x] = 255;
            }
        }
    }
    return tables;
}

struct ReferencePoint {
    int x;
    int y;
};

void ReferenceHilbert(int n, int d, ReferencePoint& at, std::vector<ReferencePoint>& visits)
{
    auto step = [&](int dx, int dy) {
        visits.push_back(at);
        at.x += dx;
        at.y += dy;
    };
    if (n == 1) {
        if (d == 1) { step(0, 1); step(1, 0); step(0, -1); }
        if (d == 2) { step(1, 0); step(0, 1); step(-1, 0); }
        if (d == 3) { step(0, -1); step(-1, 0); step(0, 1); }
        if (d == 4) { step(-1, 0); step(0, -1); step(1, 0); }
        return;
    }
    if (d == 1) {
        ReferenceHilbert(n - 1, 2, at, visits); step(0, 1); ReferenceHilbert(n - 1, 1, at, visits); step(1, 0);
        ReferenceHilbert(n - 1, 1, at, visits); step(0, -1); ReferenceHilbert(n - 1, 4, at, visits);
    } else if (d == 2) {
        ReferenceHilbert(n - 1, 1, at, visits); step(1, 0); ReferenceHilbert(n - 1, 2, at, visits); step(0, 1);
        ReferenceHilbert(n - 1, 2, at, visits); step(-1, 0); ReferenceHilbert(n - 1, 3, at, visits);
    } else if (d == 3) {
        ReferenceHilbert(n - 1, 4, at, visits); step(0, -1); ReferenceHilbert(n - 1, 3, at, visits); step(-1, 0);
        ReferenceHilbert(n - 1, 3, at, visits); step(0, 1); ReferenceHilbert(n - 1, 2, at, visits);
    } else {
        ReferenceHilbert(n - 1, 3, at, visits); step(-1, 0); ReferenceHilbert(n - 1, 4, at, visits); step(0, -1);
        ReferenceHilbert(n - 1, 4, at, visits); step(1, 0); ReferenceHilbert(n - 1, 1, at, visits);
    }
}

std::vector<ReferencePoint> ReferenceWalk(int width, int height)
{
    int order = 0;
    while ((1 << order) < std::max(width, height)) {
        ++order;
    }
    std::vector<ReferencePoint> visits;
    ReferencePoint at{0, 0};
    if (order > 0) {
        ReferenceHilbert(order, 1, at, visits);
    }
    visits.push_back(at);
    return visits;
}

void ReferenceTransform(std::vector<uint8_t>& pixels, int width, int height, const ReferenceTables* tables)
{
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    const int weights[16] = {1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 6, 8, 9, 11, 13, 16};
    std::deque<int> history[3] = {std::deque<int>(16, 0), std::deque<int>(16, 0), std::deque<int>(16, 0)};
    for (const ReferencePoint& p : ReferenceWalk(width, height)) {
        if (p.x < 0 || p.y < 0 || p.x >= width || p.y >= height) {
            continue;
        }
        uint8_t* px = pixels.data() + static_cast<size_t>(p.y) * stride + static_cast<size_t>(p.x) * 3;
        if (tables != nullptr) {
            uint8_t out[3];
            for (int r = 0; r < 3; ++r) {
                const int sum = tables->t[r][0][px[0]] + tables->t[r][1][px[1]] + tables->t[r][2][px[2]];
                out[r] = tables->l[r][static_cast<uint16_t>(sum)];
            }
            std::memcpy(px, out, 3);
        }
        for (int c = 0; c < 3; ++c) {
            int weighted = 0;
            for (int i = 0; i < 16; ++i) {
                weighted += weights[i] * history[c][static_cast<size_t>(i)];
            }
            const int v = px[c] + weighted / 16;
            const int bias = c == 1 ? 2 : 4;
            const int lowBits = c == 1 ? 3 : 7;
            int q = (v + bias) & ~lowBits;
            q = std::min(q, 255);
            const int stored = std::max(q, 0);
            history[c].pop_front();
            history[c].push_back(px[c] - stored);
            px[c] = static_cast<uint8_t>(stored);
        }
    }
}

std::vector<uint8_t> PhotoPixels(int width, int height)
{
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3 + static_cast<size_t>(c)] =
                    testjpeg::PhotoPixel(x, y, c);
            }
        }
    }
    return pixels;
}

void ExpectSameAsReference(int width, int height, int model, bool colour)
{
    const CDitherRiemersma transform(model, colour);
    const ReferenceTables tables = MakeReferenceTables(model);
    std::vector<uint8_t> ours = PhotoPixels(width, height);
    std::vector<uint8_t> expected = ours;
    transform.Run(ours.data(), width, height);
    ReferenceTransform(expected, width, height, colour ? &tables : nullptr);
    ASSERT_EQ(ours.size(), expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        differing += ours[i] != expected[i] ? 1 : 0;
    }
    EXPECT_EQ(differing, 0u) << width << " x " << height << " model " << model << " colour " << colour;
}

// ---- Tests -------------------------------------------------------------------------------------

TEST(DeviceModelCode, NamesTheTwoKnownHandheldsAndNothingElse)
{
    EXPECT_EQ(imaging::DeviceModelCode("hp iPAQ h4150"), 4150);
    EXPECT_EQ(imaging::DeviceModelCode("HP IPAQ H4150"), 4150);
    EXPECT_EQ(imaging::DeviceModelCode("hp iPAQ h4150 rev 2"), 0);  // the whole string must match
    EXPECT_EQ(imaging::DeviceModelCode("hp IPAQ hx2"), 4151);
    EXPECT_EQ(imaging::DeviceModelCode("HP iPAQ hx2790b"), 4151);
    EXPECT_EQ(imaging::DeviceModelCode("hp iPAQ hx4700"), 0);
    EXPECT_EQ(imaging::DeviceModelCode(""), 0);
    EXPECT_EQ(imaging::DeviceModelCode("Standard PC (Q35 + ICH9, 2009)"), 0);
}

TEST(Fastransform, InputTablesRoundTowardZeroAfterAddingAHalf)
{
    imaging::Fastransform ft;
    ASSERT_TRUE(ft.Init(0));
    // White: 5242 - 818 - 327 in the blue row.
    EXPECT_EQ(ft.InputEntry(0, 0, 255), 5242);
    EXPECT_EQ(ft.InputEntry(0, 1, 255), -818);
    EXPECT_EQ(ft.InputEntry(0, 2, 255), -327);
    EXPECT_EQ(ft.InputEntry(0, 0, 0), 0);
    const ReferenceTables reference = MakeReferenceTables(0);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int v = 0; v < 256; ++v) {
                ASSERT_EQ(ft.InputEntry(r, c, v), reference.t[r][c][v]) << r << "," << c << "," << v;
            }
        }
    }
}

TEST(Fastransform, OutputTablesSaturateAboveFullScaleAndClipNegativeSums)
{
    for (int model : {0, 4150, 4151}) {
        imaging::Fastransform ft;
        ASSERT_TRUE(ft.Init(model));
        const ReferenceTables reference = MakeReferenceTables(model);
        for (int c = 0; c < 3; ++c) {
            for (int x = 0; x < 65536; ++x) {
                ASSERT_EQ(ft.OutputEntry(c, x), reference.l[c][static_cast<size_t>(x)]) << model << " " << c << " " << x;
            }
            EXPECT_EQ(ft.OutputEntry(c, 4096), 255);
            EXPECT_EQ(ft.OutputEntry(c, 32767), 255);
            EXPECT_EQ(ft.OutputEntry(c, 32768), 0);
            EXPECT_EQ(ft.OutputEntry(c, 65535), 0);
        }
    }
}

TEST(Fastransform, WhiteSumsTo4097InEveryChannelAndStaysWhiteForEveryModel)
{
    for (int model : {0, 4150, 4151}) {
        imaging::Fastransform ft;
        ASSERT_TRUE(ft.Init(model));
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(ft.InputEntry(r, 0, 255) + ft.InputEntry(r, 1, 255) + ft.InputEntry(r, 2, 255), 4097);
        }
        uint8_t pixel[3] = {255, 255, 255};
        ft.Correct(pixel);
        EXPECT_EQ(pixel[0], 255);
        EXPECT_EQ(pixel[1], 255);
        EXPECT_EQ(pixel[2], 255);
    }
}

TEST(Fastransform, MidGreyKeepsEqualSumsSoOnlyTheGainsSeparateTheChannels)
{
    imaging::Fastransform ft;
    ASSERT_TRUE(ft.Init(0));
    int sums[3];
    for (int r = 0; r < 3; ++r) {
        sums[r] = ft.InputEntry(r, 0, 128) + ft.InputEntry(r, 1, 128) + ft.InputEntry(r, 2, 128);
    }
    EXPECT_LE(std::abs(sums[0] - sums[1]), 1);
    EXPECT_LE(std::abs(sums[1] - sums[2]), 1);
    uint8_t pixel[3] = {128, 128, 128};
    ft.Correct(pixel);
    // Gains 215/255, 245/255 and 1: blue < green < red, red back at (about) its input.
    EXPECT_LT(pixel[0], pixel[1]);
    EXPECT_LT(pixel[1], pixel[2]);
    EXPECT_NEAR(pixel[2], 128, 1);
}

TEST(DitherRiemersma, OnePixelPictureIsProcessedByTheFinalStepAlone)
{
    EXPECT_EQ(CDitherRiemersma::HilbertOrder(1, 1), 0);
    const CDitherRiemersma transform(0);
    uint8_t pixel[4] = {255, 255, 255, 0xAB};  // one pixel and its row padding
    transform.Run(pixel, 1, 1);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[2], 255);
    EXPECT_EQ(pixel[3], 0xAB);  // padding untouched
    ExpectSameAsReference(1, 1, 0, true);
}

TEST(DitherRiemersma, PlaceholderSizedPictureUsesOrder8AndEveryPixelOnce)
{
    EXPECT_EQ(CDitherRiemersma::HilbertOrder(140, 210), 8);
    std::vector<int> seen(140 * 210, 0);
    for (const ReferencePoint& p : ReferenceWalk(140, 210)) {
        if (p.x >= 0 && p.y >= 0 && p.x < 140 && p.y < 210) {
            ++seen[static_cast<size_t>(p.y * 140 + p.x)];
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 29400);
    ExpectSameAsReference(140, 210, 0, true);
}

TEST(DitherRiemersma, WhitePictureStaysWhite)
{
    for (int model : {0, 4150, 4151}) {
        const CDitherRiemersma transform(model);
        auto dib = Dib::Create(140, 210);
        std::memset(dib->Bits(), 255, dib->SizeBytes());
        transform.Run(*dib);
        for (int row = 0; row < 210; ++row) {
            for (int i = 0; i < 140 * 3; ++i) {
                ASSERT_EQ(dib->MemoryRow(row)[i], 255) << "model " << model;
            }
        }
    }
}

TEST(DitherRiemersma, MatchesThePlainModelBitForBit)
{
    for (int model : {0, 4150, 4151}) {
        ExpectSameAsReference(37, 23, model, true);
        ExpectSameAsReference(160, 120, model, true);
    }
    ExpectSameAsReference(2, 1, 0, true);
    ExpectSameAsReference(1, 5, 0, true);
    ExpectSameAsReference(257, 3, 0, true);
}

TEST(DitherRiemersma, WithoutColourTablesThePixelsAreOnlyDithered)
{
    const CDitherRiemersma transform(0, false);
    EXPECT_FALSE(transform.IsColourCorrected());
    ExpectSameAsReference(37, 23, 0, false);
    ExpectSameAsReference(140, 210, 0, false);
    // Values already on the 5-6-5 levels carry no error and pass unchanged.
    auto dib = Dib::Create(9, 7);
    for (int row = 0; row < 7; ++row) {
        for (int x = 0; x < 9; ++x) {
            dib->MemoryRow(row)[3 * x] = static_cast<uint8_t>(8 * ((x + row) % 32));
            dib->MemoryRow(row)[3 * x + 1] = static_cast<uint8_t>(4 * ((x * row) % 64));
            dib->MemoryRow(row)[3 * x + 2] = static_cast<uint8_t>(8 * (row % 32));
        }
    }
    const auto before = dib->Clone();
    transform.Run(*dib);
    EXPECT_EQ(0, std::memcmp(before->Bits(), dib->Bits(), dib->SizeBytes()));
}

TEST(DitherRiemersma, EveryOutputPixelOfARealPictureSitsOnTheScreenLevels)
{
    const auto jpeg = testjpeg::Encode(320, 240);
    for (int model : {0, 4150}) {
        auto dib = imaging::LoadJpeg(jpeg.data(), jpeg.size());
        ASSERT_TRUE(dib);
        CDitherRiemersma(model).Run(*dib);
        size_t capped = 0;
        for (int row = 0; row < dib->Height(); ++row) {
            const uint8_t* p = dib->MemoryRow(row);
            for (int x = 0; x < dib->Width(); ++x, p += 3) {
                // A value capped at 255 keeps its low bits; every other one has them clear.
                for (int c = 0; c < 3; ++c) {
                    const int lowBits = c == 1 ? 3 : 7;
                    if (p[c] == 255) {
                        ++capped;
                    } else {
                        ASSERT_EQ(p[c] & lowBits, 0) << "channel " << c << " at " << x << "," << row;
                    }
                }
            }
        }
        EXPECT_GT(capped, 0u);  // the picture has highlights, so the cap is exercised
    }
}

TEST(DitherRiemersma, RunsOnDifferentPicturesMayOverlap)
{
    const CDitherRiemersma transform(0);
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<std::vector<uint8_t>> expected;
    for (int i = 0; i < 4; ++i) {
        pictures.push_back(PhotoPixels(150 + i, 100 + 3 * i));
        expected.push_back(pictures.back());
        transform.Run(expected.back().data(), 150 + i, 100 + 3 * i);
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 3; ++round) {
                auto copy = PhotoPixels(150 + i, 100 + 3 * i);
                transform.Run(copy.data(), 150 + i, 100 + 3 * i);
                if (round == 2) {
                    pictures[static_cast<size_t>(i)] = copy;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(pictures, expected);
}

TEST(DitherRiemersma, EachRunStartsWithFreshErrorHistories)
{
    const CDitherRiemersma transform(0);
    auto first = PhotoPixels(64, 48);
    auto second = first;
    transform.Run(first.data(), 64, 48);
    auto other = PhotoPixels(33, 17);
    transform.Run(other.data(), 33, 17);
    transform.Run(second.data(), 64, 48);
    EXPECT_EQ(first, second);
}

TEST(DitherRiemersma, RefusesAnImpossiblePicture)
{
    testsupport::LogCapture log;
    const CDitherRiemersma transform(0);
    EXPECT_EQ(transform.Run(nullptr, 10, 10), 0u);
    uint8_t pixel[4] = {};
    EXPECT_EQ(transform.Run(pixel, 0, 1), 0u);
    EXPECT_TRUE(log.Contains(1, "Invalid picture"));
}

}  // namespace
