// The 24-bit bottom-up bitmap every decoded picture lives in: rows padded to 4 bytes, pixels in
// blue, green, red order, the first row in memory being the picture's bottom row. The views turn
// it into a screen image only when they paint.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace imaging {

class Dib {
public:
    // Largest side accepted anywhere in imaging: a preview is far smaller, and a header that
    // claims more is damaged or hostile.
    static constexpr int kMaxDimension = 16384;

    // A bitmap of width x height with undefined pixels, or null when the size is out of range
    // (not positive, above kMaxDimension) or the memory is not available.
    static std::unique_ptr<Dib> Create(int width, int height);

    // Bytes per row: 3 x width rounded up to a multiple of 4.
    static size_t RowSize(int width);

    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;
    ~Dib();

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    size_t Stride() const { return m_cbStride; }
    size_t SizeBytes() const { return m_cbStride * static_cast<size_t>(m_nHeight); }
    uint8_t* Bits() { return m_pBits.get(); }
    const uint8_t* Bits() const { return m_pBits.get(); }

    // Row in memory order (0 = bottom row of the picture).
    uint8_t* MemoryRow(int row) { return m_pBits.get() + m_cbStride * static_cast<size_t>(row); }
    const uint8_t* MemoryRow(int row) const
    {
        return m_pBits.get() + m_cbStride * static_cast<size_t>(row);
    }
    // Row as the picture is seen (0 = top row).
    uint8_t* PictureRow(int y) { return MemoryRow(m_nHeight - 1 - y); }
    const uint8_t* PictureRow(int y) const { return MemoryRow(m_nHeight - 1 - y); }

    // A copy with the same size and bytes, or null when the memory is not available.
    std::unique_ptr<Dib> Clone() const;

    // Writes a 24-bit BMP file whose pixel array is exactly this bitmap's bytes (3780 pixels per
    // metre both ways). The file appears complete or not at all.
    bool SaveBmp(const std::filesystem::path& path) const;

private:
    Dib(int width, int height, size_t stride, std::unique_ptr<uint8_t[]> bits);

    int m_nWidth;
    int m_nHeight;
    size_t m_cbStride;
    std::unique_ptr<uint8_t[]> m_pBits;
};

}  // namespace imaging
