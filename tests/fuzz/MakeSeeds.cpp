// Writes the fuzzer's starting pictures into a folder: the JPEG variants a preview may come in,
// plus a few damaged ones, all made by the library's own encoder.
#include "tests/imaging/JpegFixtures.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Write(const std::filesystem::path& folder, const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    testjpeg::Options plain;
    testjpeg::Options full;
    full.fullChroma = true;
    testjpeg::Options progressive;
    progressive.progressive = true;
    testjpeg::Options restart;
    restart.restartInterval = 1;
    testjpeg::Options grey;
    grey.components = 1;
    testjpeg::Options cmyk;
    cmyk.components = 4;
    testjpeg::Options low;
    low.quality = 10;

    Write(folder, "colour-420.jpg", testjpeg::Encode(48, 32, plain));
    Write(folder, "colour-444.jpg", testjpeg::Encode(33, 17, full));
    Write(folder, "progressive.jpg", testjpeg::Encode(40, 40, progressive));
    Write(folder, "restart.jpg", testjpeg::Encode(64, 24, restart));
    Write(folder, "grey.jpg", testjpeg::Encode(16, 16, grey));
    Write(folder, "cmyk.jpg", testjpeg::Encode(16, 8, cmyk));
    Write(folder, "one-pixel.jpg", testjpeg::Encode(1, 1, plain));
    Write(folder, "low-quality.jpg", testjpeg::Encode(80, 60, low));
    auto cut = testjpeg::Encode(48, 32, plain);
    cut.resize(cut.size() * 2 / 3);
    Write(folder, "truncated.jpg", cut);
    return 0;
}
