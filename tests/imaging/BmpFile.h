// Reads the pixel array of a 24-bit BMP file, as djpeg and orinimg write them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testjpeg {

struct BmpPixels {
    int width = 0;
    int height = 0;  // positive: bottom-up
    int bitsPerPixel = 0;
    std::vector<uint8_t> bytes;  // the pixel array, exactly as stored
};

bool ReadBmp(const std::filesystem::path& path, BmpPixels& out);

}  // namespace testjpeg
