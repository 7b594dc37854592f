// Test pictures made on the spot with the JPEG library's own encoder, so no picture file is
// shipped and every variant (size, sampling, progressive, grey) is one call away.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace testjpeg {

struct Options {
    int components = 3;          // 3 colour, 1 grey, 4 CMYK
    int quality = 85;
    bool progressive = false;
    bool fullChroma = false;     // 4:4:4 instead of the default 4:2:0
    int restartInterval = 0;     // in MCU rows, 0 = none
};

// Pixel (x, y) from the top-left, channel c in red, green, blue order (or grey, or C, M, Y, K).
using PixelFunction = std::function<uint8_t(int x, int y, int c)>;

// A photo-like picture: smooth gradients with edges and a little deterministic noise.
uint8_t PhotoPixel(int x, int y, int c);

std::vector<uint8_t> Encode(int width, int height, const Options& options = {},
                            const PixelFunction& pixel = PhotoPixel);

}  // namespace testjpeg
