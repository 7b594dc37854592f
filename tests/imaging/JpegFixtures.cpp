#include "tests/imaging/JpegFixtures.h"

#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace testjpeg {

uint8_t PhotoPixel(int x, int y, int c)
{
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                 static_cast<uint32_t>(c) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const int noise = static_cast<int>(h % 17) - 8;
    int base = 0;
    switch (c % 3) {
    case 0: base = (x * 255) / 160 % 256; break;
    case 1: base = (y * 255) / 120 % 256; break;
    default: base = ((x / 24 + y / 24) % 2 == 0) ? 220 : 40; break;
    }
    const int value = base + noise;
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

std::vector<uint8_t> Encode(int width, int height, const Options& options, const PixelFunction& pixel)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = options.components;
    cinfo.in_color_space = options.components == 1 ? JCS_GRAYSCALE : options.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.fullChroma && options.components == 3) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    if (options.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    cinfo.restart_in_rows = options.restartInterval;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width) * static_cast<size_t>(options.components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < options.components; ++c) {
                row[static_cast<size_t>(x * options.components + c)] = pixel(x, y, c);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

}  // namespace testjpeg
