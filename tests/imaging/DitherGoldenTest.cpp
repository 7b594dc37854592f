// The display transform's output for hard pictures, pinned down as checksums of every byte the
// transform wrote. They were taken from the straightforward step-by-step walk, so any faster walk
// must reproduce it exactly: noise that drives the errors to their extremes, saturated
// checkerboards, sizes whose squares overhang the picture on every side, and decoded photos.
#include "app/imaging/DitherRiemersma.h"
#include "app/imaging/Fastransform.h"
#include "app/imaging/loadjpeg.h"
#include "tests/imaging/JpegFixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using imaging::CDitherRiemersma;
using imaging::Dib;

uint64_t Fnv1a(const uint8_t* bytes, size_t size)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

enum class Pattern { Noise, Checker, Extremes, Photo };

// A bitmap with its row padding filled too, so a walk that writes past a row's pixels shows.
std::vector<uint8_t> MakePixels(Pattern pattern, int width, int height)
{
    const size_t stride = Dib::RowSize(width);
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(height));
    uint32_t state = 0x9E3779B9u ^ static_cast<uint32_t>(width * 7919 + height);
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int y = 0; y < height; ++y) {
        for (size_t i = 0; i < stride; ++i) {
            const int x = static_cast<int>(i / 3);
            const int c = static_cast<int>(i % 3);
            uint8_t v = 0;
            switch (pattern) {
            case Pattern::Noise: v = static_cast<uint8_t>(next() >> 24); break;
            case Pattern::Checker: v = ((x + y) % 2 == 0) == (c != 1) ? 255 : 0; break;
            case Pattern::Extremes: {
                const uint32_t r = next() >> 28;
                v = r < 6 ? 0 : r < 12 ? 255 : static_cast<uint8_t>(r * 16 + 3);
                break;
            }
            case Pattern::Photo: v = testjpeg::PhotoPixel(x, y, c); break;
            }
            pixels[static_cast<size_t>(y) * stride + i] = v;
        }
    }
    return pixels;
}

uint64_t TransformHash(Pattern pattern, int width, int height, int model, bool colour)
{
    std::vector<uint8_t> pixels = MakePixels(pattern, width, height);
    CDitherRiemersma(model, colour).Run(pixels.data(), width, height);
    return Fnv1a(pixels.data(), pixels.size());
}

uint64_t DecodedHash(int width, int height, int model)
{
    const auto jpeg = testjpeg::Encode(width, height);
    auto dib = imaging::LoadJpeg(jpeg.data(), jpeg.size());
    if (!dib) {
        return 0;
    }
    CDitherRiemersma(model).Run(*dib);
    return Fnv1a(dib->Bits(), dib->SizeBytes());
}

struct Case {
    Pattern pattern;
    int width;
    int height;
    int model;
    bool colour;
    uint64_t hash;
};

struct DecodedCase {
    int width;
    int height;
    int model;
    uint64_t hash;
};

const Case kCases[] = {
    {Pattern::Noise, 203, 151, 0, true, 0x28a45494f86eabfdull},
    {Pattern::Noise, 203, 151, 4150, true, 0x871e5ff4561b111eull},
    {Pattern::Noise, 203, 151, 4151, true, 0x28a45494f86eabfdull},
    {Pattern::Noise, 203, 151, 0, false, 0xaa45a2323d8415fcull},
    {Pattern::Noise, 64, 64, 0, true, 0xb3efa5e0231ac49full},
    {Pattern::Noise, 64, 64, 4150, true, 0xac18d65af40c6a49ull},
    {Pattern::Noise, 64, 64, 4151, true, 0xb3efa5e0231ac49full},
    {Pattern::Noise, 64, 64, 0, false, 0x8b4e978be804ec70ull},
    {Pattern::Noise, 17, 300, 0, true, 0x7fe481addaf1d351ull},
    {Pattern::Noise, 17, 300, 4150, true, 0x28747cab4203a302ull},
    {Pattern::Noise, 17, 300, 4151, true, 0x7fe481addaf1d351ull},
    {Pattern::Noise, 17, 300, 0, false, 0x658981d8ff1df031ull},
    {Pattern::Noise, 1, 1, 0, true, 0xbfd49d7c788daf4aull},
    {Pattern::Noise, 1, 1, 4150, true, 0x57acf17c3d80589eull},
    {Pattern::Noise, 1, 1, 4151, true, 0xbfd49d7c788daf4aull},
    {Pattern::Noise, 1, 1, 0, false, 0x87c688bb0fc76e5eull},
    {Pattern::Noise, 129, 1, 0, true, 0xd382c9991415c786ull},
    {Pattern::Noise, 129, 1, 4150, true, 0xddf712c9bcb4bdadull},
    {Pattern::Noise, 129, 1, 4151, true, 0xd382c9991415c786ull},
    {Pattern::Noise, 129, 1, 0, false, 0x3be8b098cb26a798ull},
    {Pattern::Noise, 1, 77, 0, true, 0x85c83db040dcfedaull},
    {Pattern::Noise, 1, 77, 4150, true, 0x9c13f3acf7d70d90ull},
    {Pattern::Noise, 1, 77, 4151, true, 0x85c83db040dcfedaull},
    {Pattern::Noise, 1, 77, 0, false, 0x5caf0b07f30fb0adull},
    {Pattern::Checker, 97, 61, 0, true, 0x23ff47206e3ca81dull},
    {Pattern::Checker, 97, 61, 4150, true, 0x23ff47206e3ca81dull},
    {Pattern::Checker, 97, 61, 4151, true, 0x23ff47206e3ca81dull},
    {Pattern::Checker, 97, 61, 0, false, 0x23ff47206e3ca81dull},
    {Pattern::Checker, 48, 32, 0, true, 0x236933f56eb24325ull},
    {Pattern::Checker, 48, 32, 4150, true, 0x236933f56eb24325ull},
    {Pattern::Checker, 48, 32, 4151, true, 0x236933f56eb24325ull},
    {Pattern::Checker, 48, 32, 0, false, 0x236933f56eb24325ull},
    {Pattern::Extremes, 150, 113, 0, true, 0xd4dcfb578f857238ull},
    {Pattern::Extremes, 150, 113, 4150, true, 0xc67831d550156114ull},
    {Pattern::Extremes, 150, 113, 4151, true, 0xd4dcfb578f857238ull},
    {Pattern::Extremes, 150, 113, 0, false, 0xde90b6a24f5bc948ull},
    {Pattern::Extremes, 33, 31, 0, true, 0x214115e2c1670799ull},
    {Pattern::Extremes, 33, 31, 4150, true, 0x2a84e212bf676d03ull},
    {Pattern::Extremes, 33, 31, 4151, true, 0x214115e2c1670799ull},
    {Pattern::Extremes, 33, 31, 0, false, 0xea53e13031258a51ull},
    {Pattern::Photo, 255, 257, 0, true, 0x2675caa383c82dd3ull},
    {Pattern::Photo, 255, 257, 4150, true, 0x1faf3579b824120dull},
    {Pattern::Photo, 255, 257, 4151, true, 0x2675caa383c82dd3ull},
    {Pattern::Photo, 255, 257, 0, false, 0x9e5ef9106e03766aull},
    {Pattern::Photo, 31, 17, 0, true, 0x574415bd4be5a883ull},
    {Pattern::Photo, 31, 17, 4150, true, 0xbad06f55bb498bebull},
    {Pattern::Photo, 31, 17, 4151, true, 0x574415bd4be5a883ull},
    {Pattern::Photo, 31, 17, 0, false, 0x60421cc9e4cf8324ull},
};

const DecodedCase kDecodedCases[] = {
    {333, 250, 0, 0x782d851a1898d5fcull},
    {333, 250, 4150, 0xd268712790bcdf49ull},
    {640, 480, 0, 0xcea3121d0b677226ull},
    {640, 480, 4150, 0x65ec8124b87dc838ull},
    {161, 97, 0, 0xfb3d3d3f92c3d718ull},
    {161, 97, 4150, 0x947d988ff69b4756ull},
    {1023, 769, 0, 0x4966909d947d218cull},
    {1023, 769, 4150, 0x20afe5e9d88770d3ull},
};

TEST(DitherGolden, PackedColourTablesCorrectLikeThePlainOnesForEveryModel)
{
    for (int model : {0, 4150, 4151}) {
        imaging::Fastransform ft;
        ASSERT_TRUE(ft.Init(model));
        const uint64_t* in = ft.PackedInput();
        const uint8_t* out = ft.PackedOutput();
        ASSERT_NE(in, nullptr);
        ASSERT_NE(out, nullptr);
        constexpr size_t kEntries = imaging::Fastransform::kPackedEntries;
        // Every level of each channel against a spread of the other two, extremes included.
        const int others[] = {0, 1, 37, 128, 200, 254, 255};
        size_t differing = 0;
        for (int channel = 0; channel < 3; ++channel) {
            for (int v = 0; v < 256; ++v) {
                for (int a : others) {
                    for (int c : others) {
                        uint8_t pixel[3];
                        pixel[channel] = static_cast<uint8_t>(v);
                        pixel[(channel + 1) % 3] = static_cast<uint8_t>(a);
                        pixel[(channel + 2) % 3] = static_cast<uint8_t>(c);
                        const uint64_t sums = in[pixel[0]] + in[256 + pixel[1]] + in[512 + pixel[2]];
                        const uint8_t packed[3] = {out[sums & 0xFFFF], out[kEntries + ((sums >> 16) & 0xFFFF)],
                                                   out[2 * kEntries + ((sums >> 32) & 0xFFFF)]};
                        ft.Correct(pixel);
                        differing += std::memcmp(packed, pixel, 3) != 0 ? 1 : 0;
                    }
                }
            }
        }
        EXPECT_EQ(differing, 0u) << "model " << model;
    }
}

TEST(DitherGolden, HardPicturesGiveTheSameBytesAsTheStepByStepWalk)
{
    for (const Case& c : kCases) {
        EXPECT_EQ(TransformHash(c.pattern, c.width, c.height, c.model, c.colour), c.hash)
            << "pattern " << static_cast<int>(c.pattern) << ", " << c.width << " x " << c.height << ", model "
            << c.model << (c.colour ? "" : ", dither only");
    }
}

TEST(DitherGolden, DecodedPhotosOfOddSizesGiveTheSameBytesAsTheStepByStepWalk)
{
    for (const DecodedCase& c : kDecodedCases) {
        EXPECT_EQ(DecodedHash(c.width, c.height, c.model), c.hash) << c.width << " x " << c.height << ", model " << c.model;
    }
}

}  // namespace
