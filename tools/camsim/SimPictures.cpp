#include "tools/camsim/SimPictures.h"

#include "app/platform/Log.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <jpeglib.h>

namespace camsim {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    ORIN_LOG_ERROR("SimPictures::EncodeRgb", "JPEG encoder: %s", text);
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}

// Grey bands as (level, share in quarters of the width).
struct Band {
    uint8_t level;
    int quarters;
};

std::vector<Band> BandsOf(SimScene scene)
{
    switch (scene) {
    case SimScene::Bands: return {{32, 1}, {96, 1}, {160, 1}, {224, 1}};
    case SimScene::ClippedHighlights: return {{128, 3}, {255, 1}};
    case SimScene::ClippedShadows: return {{0, 1}, {128, 3}};
    case SimScene::ClippedBoth: return {{0, 1}, {128, 2}, {255, 1}};
    default: return {};
    }
}

}  // namespace

std::vector<uint8_t> SimPictures::Render(SimScene scene, int width, int height, uint32_t seed)
{
    ORIN_TRACE("SimPictures::Render");
    if (width <= 0 || height <= 0) {
        return {};
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    auto put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        rgb[at] = r;
        rgb[at + 1] = g;
        rgb[at + 2] = b;
    };
    if (scene == SimScene::Gradient) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                auto v = static_cast<uint8_t>(width > 1 ? (x * 255) / (width - 1) : 0);
                put(x, y, v, v, v);
            }
        }
        return rgb;
    }
    if (scene == SimScene::Noise) {
        std::mt19937 random(seed);
        for (size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = static_cast<uint8_t>(random() & 0xFF);
        }
        return rgb;
    }
    std::vector<Band> bands = BandsOf(scene);
    for (int x = 0; x < width; ++x) {
        // Which band holds column x: band edges fall on quarters of the width.
        int quarter = (x * 4) / width;
        int acc = 0;
        uint8_t level = bands.back().level;
        for (const Band& band : bands) {
            acc += band.quarters;
            if (quarter < acc) {
                level = band.level;
                break;
            }
        }
        for (int y = 0; y < height; ++y) {
            put(x, y, level, level, level);
        }
    }
    return rgb;
}

std::vector<uint8_t> SimPictures::EncodeRgb(const uint8_t* rgb, int width, int height, int quality)
{
    ORIN_TRACE("SimPictures::EncodeRgb");
    if (rgb == nullptr || width <= 0 || height <= 0) {
        return {};
    }
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnJpegError;
    errors.pub.output_message = OnJpegMessage;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> SimPictures::Jpeg(SimScene scene, int width, int height, int quality, uint32_t seed)
{
    ORIN_TRACE("SimPictures::Jpeg");
    std::vector<uint8_t> rgb = Render(scene, width, height, seed);
    return EncodeRgb(rgb.data(), width, height, quality);
}

std::vector<SimLevel> SimPictures::ExpectedLevels(SimScene scene)
{
    ORIN_TRACE("SimPictures::ExpectedLevels");
    std::vector<SimLevel> levels;
    for (const Band& band : BandsOf(scene)) {
        levels.push_back(SimLevel{band.level, band.quarters / 4.0});
    }
    return levels;
}

std::vector<uint8_t> SimPictures::JpegOfSize(size_t minBytes, uint32_t seed)
{
    ORIN_TRACE("SimPictures::JpegOfSize");
    // Noise at quality 90 takes a little under 1.3 bytes a pixel; start there and grow.
    const int width = 640;
    int height = static_cast<int>(minBytes / (width * 13 / 10)) + 16;
    for (int tries = 0; tries < 20; ++tries) {
        std::vector<uint8_t> jpeg = Jpeg(SimScene::Noise, width, height, 90, seed);
        if (jpeg.empty()) {
            return jpeg;
        }
        if (jpeg.size() >= minBytes) {
            return jpeg;
        }
        height += static_cast<int>((minBytes - jpeg.size()) / (width + 0u)) + 16;
    }
    return {};
}

const char* SimPictures::SceneName(SimScene scene)
{
    ORIN_TRACE("SimPictures::SceneName");
    switch (scene) {
    case SimScene::Gradient: return "gradient";
    case SimScene::Bands: return "bands";
    case SimScene::ClippedHighlights: return "highlights";
    case SimScene::ClippedShadows: return "shadows";
    case SimScene::ClippedBoth: return "clipped";
    case SimScene::Noise: return "noise";
    }
    return "gradient";
}

std::optional<SimScene> SimPictures::SceneFromName(const std::string& name)
{
    ORIN_TRACE("SimPictures::SceneFromName");
    for (int i = 0; i < kSceneCount; ++i) {
        auto scene = static_cast<SimScene>(i);
        if (name == SceneName(scene)) {
            return scene;
        }
    }
    return std::nullopt;
}

SimScene SimPictures::SceneForShot(unsigned n)
{
    ORIN_TRACE("SimPictures::SceneForShot");
    return static_cast<SimScene>(n % (kSceneCount - 1));
}

}  // namespace camsim
