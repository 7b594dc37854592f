#include "app/imaging/Fastransform.h"

#include "app/platform/Log.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <new>

namespace imaging {

namespace {

constexpr double kInputGamma = 1.8;

// Rows: output channel; columns: input channel; both blue, green, red. Rows sum to 1 so greys
// stay grey before the gains.
constexpr double kMatrix[3][3] = {
    {1.28, -0.2, -0.08},
    {-0.12, 1.2, -0.08},
    {-0.12, -0.2, 1.32},
};

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(text[i])) != lower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::string FirstLine(const char* path)
{
    std::ifstream in(path);
    std::string line;
    if (in) {
        std::getline(in, line, '\n');
    }
    // Device-tree strings end in a NUL; DMI strings in a newline.
    const size_t nul = line.find('\0');
    if (nul != std::string::npos) {
        line.resize(nul);
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

}  // namespace

int DeviceModelCode(const std::string& oemInfo)
{
    ORIN_TRACE("DeviceModelCode");
    if (oemInfo.size() == 13 && StartsWithIgnoringCase(oemInfo, "hp iPAQ h4150")) {
        return 4150;
    }
    if (StartsWithIgnoringCase(oemInfo, "hp IPAQ hx2")) {
        return 4151;
    }
    return 0;
}

std::string ReadOemInfo()
{
    ORIN_TRACE("ReadOemInfo");
    std::string info = FirstLine("/sys/class/dmi/id/product_name");
    if (info.empty()) {
        info = FirstLine("/proc/device-tree/model");
    }
    return info;
}

Fastransform::~Fastransform() = default;

bool Fastransform::Init(int deviceModel)
{
    ORIN_TRACE("Fastransform::Init");
    m_bEnabled = false;
    m_nDeviceModel = deviceModel;
    m_pInput.reset(new (std::nothrow) int16_t[9 * kInputLevels]);
    m_pOutput.reset(new (std::nothrow) uint8_t[3 * static_cast<size_t>(kOutputEntries)]);
    m_pPackedInput.reset(new (std::nothrow) uint64_t[3 * kInputLevels]);
    m_pPackedOutput.reset(new (std::nothrow) uint8_t[3 * static_cast<size_t>(kPackedEntries)]);
    if (!m_pInput || !m_pOutput || !m_pPackedInput || !m_pPackedOutput) {
        ORIN_LOG_ERROR("Fastransform::Init", "Error");
        Release();
        return false;
    }

    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int v = 0; v < kInputLevels; ++v) {
                const double linear = std::pow(v / 255.0, kInputGamma);
                m_pInput[(r * 3 + c) * kInputLevels + v] =
                    static_cast<int16_t>(linear * kFullScale * kMatrix[r][c] + 0.5);
            }
        }
    }

    const double outputGain[3] = {
        deviceModel == 4150 ? 150.0 / 255.0 : 215.0 / 255.0,
        deviceModel == 4150 ? 260.0 / 255.0 : 245.0 / 255.0,
        deviceModel == 4150 ? 270.0 / 255.0 : 1.0,
    };
    const double g1 = 1.0 / kInputGamma;
    const double k1 = 1.0;
    const double g2 = 1.0;
    for (int c = 0; c < 3; ++c) {
        uint8_t* table = m_pOutput.get() + static_cast<size_t>(c) * kOutputEntries;
        for (int x = 0; x <= kFullScale; ++x) {
            const double f = 255.0 * std::min(1.0, outputGain[c] * std::pow(std::min(1.0, k1 * std::pow(x / 4095.0, g1)), g2));
            table[x] = static_cast<uint8_t>(static_cast<int>(f + 0.5));
        }
        // 4096..32767: sums above full scale; 32768..65535: negative sums seen as 16-bit values.
        std::fill(table + kFullScale + 1, table + 32768, uint8_t{255});
        std::fill(table + 32768, table + kOutputEntries, uint8_t{0});
    }
    if (!Pack()) {
        ORIN_LOG_ERROR("Fastransform::Init", "Error");
        Release();
        return false;
    }
    m_bEnabled = true;
    return true;
}

bool Fastransform::Pack()
{
    ORIN_TRACE("Fastransform::Pack");
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < kInputLevels; ++v) {
            uint64_t word = 0;
            for (int r = 0; r < 3; ++r) {
                const int raised = m_pInput[(r * 3 + c) * kInputLevels + v] + kPackedBias;
                // Three fields must add up without leaving 15 bits, or sums would spill into the
                // next field.
                if (raised < 0 || 3 * raised >= kPackedEntries) {
                    return false;
                }
                word |= static_cast<uint64_t>(raised) << (16 * r);
            }
            m_pPackedInput[c * kInputLevels + v] = word;
        }
    }
    for (int r = 0; r < 3; ++r) {
        for (int y = 0; y < kPackedEntries; ++y) {
            const uint16_t sum = static_cast<uint16_t>(y - 3 * kPackedBias);
            m_pPackedOutput[static_cast<size_t>(r) * kPackedEntries + static_cast<size_t>(y)] =
                m_pOutput[static_cast<size_t>(r) * kOutputEntries + sum];
        }
    }
    return true;
}

void Fastransform::Release()
{
    ORIN_TRACE("Fastransform::Release");
    m_pInput.reset();
    m_pOutput.reset();
    m_pPackedInput.reset();
    m_pPackedOutput.reset();
}

}  // namespace imaging
