// Synthetic scenes for the simulated camera's previews, encoded as real JPEG files. The flat
// scenes have grey bands on 16-pixel boundaries, so their decoded histogram is known exactly:
// the tests of the histogram and of the clipping alarms can compare against ExpectedLevels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

enum class SimScene {
    Gradient,           // grey ramp from 0 at the left to 255 at the right
    Bands,              // four equal bands: 32, 96, 160, 224
    ClippedHighlights,  // three quarters at 128, the right quarter pure white (255)
    ClippedShadows,     // the left quarter pure black (0), the rest at 128
    ClippedBoth,        // a quarter at 0, a half at 128, a quarter at 255
    Noise,              // random colours: large files, for transfer measurements
};

struct SimLevel {
    uint8_t level;
    double fraction;  // of all pixels
};

class SimPictures {
public:
    static constexpr int kSceneCount = 6;

    // RGB, 3 bytes a pixel, rows top to bottom.
    static std::vector<uint8_t> Render(SimScene scene, int width, int height, uint32_t seed = 1);
    static std::vector<uint8_t> Jpeg(SimScene scene, int width, int height, int quality = 95,
                                     uint32_t seed = 1);
    // Empty on failure (bad size or encoder error).
    static std::vector<uint8_t> EncodeRgb(const uint8_t* rgb, int width, int height, int quality);
    // The grey levels of a flat scene (width a multiple of 64, height of 16) and their share of
    // the picture; empty for the gradient and the noise.
    static std::vector<SimLevel> ExpectedLevels(SimScene scene);
    // A noise picture of at least minBytes, 640 pixels wide.
    static std::vector<uint8_t> JpegOfSize(size_t minBytes, uint32_t seed = 1);

    static const char* SceneName(SimScene scene);
    static std::optional<SimScene> SceneFromName(const std::string& name);
    // The scenes in turn, without the noise: the n-th shot of a session.
    static SimScene SceneForShot(unsigned n);
};

}  // namespace camsim
