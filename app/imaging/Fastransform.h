// Colour correction for the handheld's screen: a 3 x 3 matrix in linear light with per-model
// output gains, reduced to table lookups once so each pixel costs nine reads and three sums.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace imaging {

// Device model code from the machine's model string: 4150 for "hp iPAQ h4150" (whole string),
// 4151 for anything beginning with "hp IPAQ hx2", 0 otherwise; case is ignored.
int DeviceModelCode(const std::string& oemInfo);

// The machine's model string (the DMI product name, else the device-tree model, else empty).
std::string ReadOemInfo();

class Fastransform {
public:
    static constexpr int kInputLevels = 256;
    static constexpr int kOutputEntries = 65536;
    static constexpr int kFullScale = 4095;

    Fastransform() = default;
    ~Fastransform();
    Fastransform(const Fastransform&) = delete;
    Fastransform& operator=(const Fastransform&) = delete;

    // Builds the tables for a device model code. On failure logs "Error" and stays disabled, in
    // which case Correct is never to be called (the dithering runs alone).
    bool Init(int deviceModel);

    bool IsEnabled() const { return m_bEnabled; }
    int DeviceModel() const { return m_nDeviceModel; }

    // Corrects one pixel in place; channel 0 blue, 1 green, 2 red.
    void Correct(uint8_t* pixel) const
    {
        const int16_t* t = m_pInput.get();
        const int b0 = pixel[0], b1 = pixel[1], b2 = pixel[2];
        for (int r = 0; r < 3; ++r) {
            const int16_t* row = t + r * 3 * kInputLevels;
            const uint16_t sum = static_cast<uint16_t>(row[b0] + row[kInputLevels + b1] + row[2 * kInputLevels + b2]);
            pixel[r] = m_pOutput[static_cast<size_t>(r) * kOutputEntries + sum];
        }
    }

    // The tables as laid out for the per-pixel loop: T[(r * 3 + c) * 256 + v], L[c * 65536 + x].
    const int16_t* InputTable() const { return m_pInput.get(); }
    const uint8_t* OutputTable() const { return m_pOutput.get(); }

    // The same correction in three reads and one addition per stage. PackedInput()[c * 256 + v]
    // holds T[0][c][v], T[1][c][v] and T[2][c][v], each raised by kPackedBias, in the 16-bit fields
    // 0, 1 and 2 of one word: every raised entry is positive and three of them stay below
    // kPackedEntries, so one 64-bit addition sums all three rows without a carry crossing a field.
    // PackedOutput()[r * kPackedEntries + y] is L[r][(y - 3 x kPackedBias) as a 16-bit value].
    static constexpr int kPackedBias = 1024;
    static constexpr int kPackedEntries = 32768;
    const uint64_t* PackedInput() const { return m_pPackedInput.get(); }
    const uint8_t* PackedOutput() const { return m_pPackedOutput.get(); }

    // Table access for tests: T[r][c][v] and L[c][x].
    int16_t InputEntry(int r, int c, int v) const { return m_pInput[(r * 3 + c) * kInputLevels + v]; }
    uint8_t OutputEntry(int c, int x) const { return m_pOutput[static_cast<size_t>(c) * kOutputEntries + x]; }

private:
    bool Pack();
    void Release();

    bool m_bEnabled = false;
    int m_nDeviceModel = 0;
    std::unique_ptr<int16_t[]> m_pInput;   // 9 x 256
    std::unique_ptr<uint8_t[]> m_pOutput;  // 3 x 65536
    std::unique_ptr<uint64_t[]> m_pPackedInput;  // 3 x 256
    std::unique_ptr<uint8_t[]> m_pPackedOutput;  // 3 x kPackedEntries
};

}  // namespace imaging
