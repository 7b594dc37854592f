#include "tests/imaging/BmpFile.h"

#include <fstream>
#include <iterator>

namespace testjpeg {

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

}  // namespace

bool ReadBmp(const std::filesystem::path& path, BmpPixels& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') {
        return false;
    }
    const uint32_t offset = U32(file, 10);
    out.width = static_cast<int32_t>(U32(file, 18));
    out.height = static_cast<int32_t>(U32(file, 22));
    out.bitsPerPixel = file[28] | file[29] << 8;
    if (offset > file.size()) {
        return false;
    }
    const size_t stride = (static_cast<size_t>(out.width) * 3 + 3) / 4 * 4;
    const size_t size = stride * static_cast<size_t>(out.height < 0 ? -out.height : out.height);
    if (offset + size > file.size()) {
        return false;
    }
    out.bytes.assign(file.begin() + offset, file.begin() + static_cast<long>(offset + size));
    return true;
}

}  // namespace testjpeg
