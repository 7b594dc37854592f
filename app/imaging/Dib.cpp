#include "app/imaging/Dib.h"

#include "app/platform/Log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

namespace imaging {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr int32_t kPixelsPerMetre = 3780;

void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

Dib::Dib(int width, int height, size_t stride, std::unique_ptr<uint8_t[]> bits)
    : m_nWidth(width), m_nHeight(height), m_cbStride(stride), m_pBits(std::move(bits))
{
}

Dib::~Dib() = default;

size_t Dib::RowSize(int width)
{
    return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
}

std::unique_ptr<Dib> Dib::Create(int width, int height)
{
    ORIN_TRACE("Dib::Create");
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
        ORIN_LOG_ERROR("Dib::Create", "Bitmap size out of range: %d x %d", width, height);
        return nullptr;
    }
    const size_t stride = RowSize(width);
    std::unique_ptr<uint8_t[]> bits(new (std::nothrow) uint8_t[stride * static_cast<size_t>(height)]);
    if (!bits) {
        ORIN_LOG_ERROR("Dib::Create", "Out of memory for a %d x %d bitmap", width, height);
        return nullptr;
    }
    // Padding bytes are part of the bitmap's bytes (files and comparisons see them): keep them 0.
    if (stride != static_cast<size_t>(width) * 3) {
        for (int row = 0; row < height; ++row) {
            std::memset(bits.get() + stride * static_cast<size_t>(row) + static_cast<size_t>(width) * 3, 0,
                        stride - static_cast<size_t>(width) * 3);
        }
    }
    return std::unique_ptr<Dib>(new (std::nothrow) Dib(width, height, stride, std::move(bits)));
}

std::unique_ptr<Dib> Dib::Clone() const
{
    ORIN_TRACE("Dib::Clone");
    std::unique_ptr<Dib> copy = Create(m_nWidth, m_nHeight);
    if (copy) {
        std::memcpy(copy->Bits(), Bits(), SizeBytes());
    }
    return copy;
}

bool Dib::SaveBmp(const std::filesystem::path& path) const
{
    ORIN_TRACE("Dib::SaveBmp");
    const uint64_t imageSize = SizeBytes();
    const uint64_t fileSize = kFileHeaderSize + kInfoHeaderSize + imageSize;
    if (fileSize > UINT32_MAX) {
        ORIN_LOG_ERROR("Dib::SaveBmp", "Bitmap too large for a BMP file: %d x %d", m_nWidth, m_nHeight);
        return false;
    }
    uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutU32(header + 2, static_cast<uint32_t>(fileSize));
    PutU32(header + 10, kFileHeaderSize + kInfoHeaderSize);
    uint8_t* info = header + kFileHeaderSize;
    PutU32(info + 0, kInfoHeaderSize);
    PutU32(info + 4, static_cast<uint32_t>(m_nWidth));
    PutU32(info + 8, static_cast<uint32_t>(m_nHeight));  // positive: bottom-up
    PutU16(info + 12, 1);                                // planes
    PutU16(info + 14, 24);                               // bits per pixel
    PutU32(info + 16, 0);                                // no compression
    PutU32(info + 20, static_cast<uint32_t>(imageSize));
    PutU32(info + 24, static_cast<uint32_t>(kPixelsPerMetre));
    PutU32(info + 28, static_cast<uint32_t>(kPixelsPerMetre));

    // Written beside the target and renamed over it, so a reader never sees half a picture.
    std::filesystem::path temp = path;
    temp += ".part";
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) {
        ORIN_LOG_ERROR("Dib::SaveBmp", "Cannot create %s: %s", temp.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header &&
              std::fwrite(Bits(), 1, imageSize, file) == imageSize;
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        ORIN_LOG_ERROR("Dib::SaveBmp", "Failed to write %s", temp.c_str());
        std::remove(temp.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        ORIN_LOG_ERROR("Dib::SaveBmp", "Cannot rename %s: %s", temp.c_str(), ec.message().c_str());
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace imaging
