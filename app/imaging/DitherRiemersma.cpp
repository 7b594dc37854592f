#include "app/imaging/DitherRiemersma.h"

#include "app/platform/Log.h"
#include "app/platform/TickCount.h"

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

enum Direction { UP = 1, RIGHT = 2, DOWN = 3, LEFT = 4 };

// One run's state. The error window of each channel is the 16 entries before m_nHistoryPos in a
// 32-entry buffer that is shifted down only every 16 pixels.
class Walk {
public:
    Walk(const Fastransform* transform, uint8_t* pixels, int width, int height)
        : m_pTransform(transform), m_pPixels(pixels), m_nWidth(width), m_nHeight(height),
          m_cbStride(Dib::RowSize(width))
    {
        std::memset(m_errors, 0, sizeof m_errors);
    }

    void Hilbert(int order, int direction)
    {
        const int span = (1 << order) - 1;
        // A square wholly outside the picture touches no pixel and no history: jump to its end.
        const int x0 = direction <= RIGHT ? m_x : m_x - span;
        const int y0 = direction <= RIGHT ? m_y : m_y - span;
        if (x0 >= m_nWidth || y0 >= m_nHeight || x0 + span < 0 || y0 + span < 0) {
            switch (direction) {
            case UP: m_x += span; break;
            case RIGHT: m_y += span; break;
            case DOWN: m_x -= span; break;
            default: m_y -= span; break;
            }
            return;
        }
        if (order == 1) {
            switch (direction) {
            case UP: Step(0, 1); Step(1, 0); Step(0, -1); break;
            case RIGHT: Step(1, 0); Step(0, 1); Step(-1, 0); break;
            case DOWN: Step(0, -1); Step(-1, 0); Step(0, 1); break;
            default: Step(-1, 0); Step(0, -1); Step(1, 0); break;
            }
            return;
        }
        const int n = order - 1;
        switch (direction) {
        case UP:
            Hilbert(n, RIGHT); Step(0, 1); Hilbert(n, UP); Step(1, 0); Hilbert(n, UP); Step(0, -1); Hilbert(n, LEFT);
            break;
        case RIGHT:
            Hilbert(n, UP); Step(1, 0); Hilbert(n, RIGHT); Step(0, 1); Hilbert(n, RIGHT); Step(-1, 0); Hilbert(n, DOWN);
            break;
        case DOWN:
            Hilbert(n, LEFT); Step(0, -1); Hilbert(n, DOWN); Step(-1, 0); Hilbert(n, DOWN); Step(0, 1); Hilbert(n, RIGHT);
            break;
        default:
            Hilbert(n, DOWN); Step(-1, 0); Hilbert(n, LEFT); Step(0, -1); Hilbert(n, LEFT); Step(1, 0); Hilbert(n, UP);
            break;
        }
    }

    // The last pixel of the walk is processed without moving on.
    void Finish() { Process(); }

private:
    void Step(int dx, int dy)
    {
        Process();
        m_x += dx;
        m_y += dy;
    }

    void Process()
    {
        if (m_x < 0 || m_y < 0 || m_x >= m_nWidth || m_y >= m_nHeight) {
            return;
        }
        uint8_t* pixel = m_pPixels + static_cast<size_t>(m_y) * m_cbStride + static_cast<size_t>(m_x) * 3;
        if (m_pTransform != nullptr) {
            m_pTransform->Correct(pixel);
        }
        if (m_nHistoryPos == 2 * CDitherRiemersma::kHistory) {
            for (auto& channel : m_errors) {
                std::memcpy(channel, channel + CDitherRiemersma::kHistory, CDitherRiemersma::kHistory * sizeof(int16_t));
            }
            m_nHistoryPos = CDitherRiemersma::kHistory;
        }
        pixel[0] = Quantize(0, pixel[0], 4, ~7);
        pixel[1] = Quantize(1, pixel[1], 2, ~3);
        pixel[2] = Quantize(2, pixel[2], 4, ~7);
        ++m_nHistoryPos;
    }

    uint8_t Quantize(int channel, int value, int bias, int keepMask)
    {
        const int16_t* window = m_errors[channel] + m_nHistoryPos - CDitherRiemersma::kHistory;
        int sum = 0;
        for (int i = 0; i < CDitherRiemersma::kHistory; ++i) {
            sum += CDitherRiemersma::kWeights[i] * window[i];
        }
        const int wanted = value + sum / CDitherRiemersma::kWeightDivisor;
        // The cap at 255 applies after the low bits are cleared, so a capped value is 255 itself.
        const int quantized = std::max(std::min((wanted + bias) & keepMask, 255), 0);
        // The error is measured from the pixel's own value, not from the value with the error added.
        m_errors[channel][m_nHistoryPos] = static_cast<int16_t>(value - quantized);
        return static_cast<uint8_t>(quantized);
    }

    const Fastransform* m_pTransform;
    uint8_t* m_pPixels;
    int m_nWidth;
    int m_nHeight;
    size_t m_cbStride;
    int m_x = 0;
    int m_y = 0;
    int m_nHistoryPos = CDitherRiemersma::kHistory;
    int16_t m_errors[3][2 * CDitherRiemersma::kHistory];
};

}  // namespace

CDitherRiemersma::CDitherRiemersma(int deviceModel, bool colourCorrection)
{
    ORIN_TRACE("CDitherRiemersma::CDitherRiemersma");
    if (colourCorrection) {
        m_transform.Init(deviceModel);
    }
}

CDitherRiemersma::~CDitherRiemersma() = default;

const CDitherRiemersma& CDitherRiemersma::Instance()
{
    ORIN_TRACE("CDitherRiemersma::Instance");
    static const CDitherRiemersma instance(DeviceModelCode(ReadOemInfo()));
    return instance;
}

int CDitherRiemersma::HilbertOrder(int width, int height)
{
    ORIN_TRACE("CDitherRiemersma::HilbertOrder");
    const int side = std::max(width, height);
    int order = 0;
    while ((1 << order) < side) {
        ++order;
    }
    return order;
}

uint32_t CDitherRiemersma::Run(uint8_t* pixels, int width, int height) const
{
    ORIN_TRACE("CDitherRiemersma::Run");
    const uint32_t start = platform::TickCount();
    if (pixels == nullptr || width <= 0 || height <= 0 || width > Dib::kMaxDimension ||
        height > Dib::kMaxDimension) {
        ORIN_LOG_ERROR("CDitherRiemersma::Run", "Invalid picture: %d x %d", width, height);
        return 0;
    }
    Walk walk(m_transform.IsEnabled() ? &m_transform : nullptr, pixels, width, height);
    const int order = HilbertOrder(width, height);
    if (order > 0) {
        walk.Hilbert(order, UP);
    }
    walk.Finish();
    return platform::TicksSince(start);
}

uint32_t CDitherRiemersma::Run(Dib& bitmap) const
{
    ORIN_TRACE("CDitherRiemersma::Run");
    return Run(bitmap.Bits(), bitmap.Width(), bitmap.Height());
}

}  // namespace imaging
