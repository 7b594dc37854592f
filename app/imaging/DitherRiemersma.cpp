#include "app/imaging/DitherRiemersma.h"

#include "app/platform/Log.h"
#include "app/platform/TickCount.h"

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

enum Direction { UP = 1, RIGHT = 2, DOWN = 3, LEFT = 4 };
enum Move : uint8_t { MOVE_UP, MOVE_RIGHT, MOVE_DOWN, MOVE_LEFT };

// Squares of this order that lie wholly inside the picture are walked from a prepared list of
// moves, without recursion or bounds checks; that is nearly every pixel of a preview.
constexpr int kBlockOrder = 4;
constexpr int kBlockMoves = (1 << (2 * kBlockOrder)) - 1;

class BlockMoves {
public:
    BlockMoves()
    {
        for (int d = UP; d <= LEFT; ++d) {
            int count = 0;
            Record(kBlockOrder, d, m_moves[d - 1], count);
        }
    }
    const uint8_t* For(int direction) const { return m_moves[direction - 1]; }

private:
    // The same sequence as Walk::Hilbert, written down instead of walked.
    static void Record(int order, int d, uint8_t* out, int& count)
    {
        if (order == 1) {
            static constexpr uint8_t kLeaf[4][3] = {
                {MOVE_UP, MOVE_RIGHT, MOVE_DOWN},
                {MOVE_RIGHT, MOVE_UP, MOVE_LEFT},
                {MOVE_DOWN, MOVE_LEFT, MOVE_UP},
                {MOVE_LEFT, MOVE_DOWN, MOVE_RIGHT},
            };
            for (uint8_t m : kLeaf[d - 1]) {
                out[count++] = m;
            }
            return;
        }
        static constexpr int kSub[4][4] = {
            {RIGHT, UP, UP, LEFT}, {UP, RIGHT, RIGHT, DOWN}, {LEFT, DOWN, DOWN, RIGHT}, {DOWN, LEFT, LEFT, UP}};
        static constexpr uint8_t kJoin[4][3] = {
            {MOVE_UP, MOVE_RIGHT, MOVE_DOWN},
            {MOVE_RIGHT, MOVE_UP, MOVE_LEFT},
            {MOVE_DOWN, MOVE_LEFT, MOVE_UP},
            {MOVE_LEFT, MOVE_DOWN, MOVE_RIGHT},
        };
        for (int part = 0; part < 4; ++part) {
            Record(order - 1, kSub[d - 1][part], out, count);
            if (part < 3) {
                out[count++] = kJoin[d - 1][part];
            }
        }
    }

    uint8_t m_moves[4][kBlockMoves];
};

const BlockMoves& Moves()
{
    static const BlockMoves moves;
    return moves;
}

constexpr int kHistory = CDitherRiemersma::kHistory;

// One channel of one pixel: add the diffused error, round to the screen's level, remember the new
// error and move the weighted sum on.
//
// The weighted sum of the 16 remembered errors is not summed afresh for every pixel: moving the
// window on by one pixel changes it by 16 x the newest error, less each remembered error times the
// step of its weight (w[m] - w[m-1]: 1 for the oldest, then 0 0 1 0 1 0 1 0 1 1 2 1 2 2 3), which
// is exact in integers.
template <int kBias, int kKeepMask>
[[gnu::always_inline]] inline uint8_t DitherChannel(int value, int& sum, const int16_t (*old)[4], int c, int16_t* newest)
{
    const int wanted = value + sum / CDitherRiemersma::kWeightDivisor;
    // The cap at 255 applies after the low bits are cleared, so a capped value is 255 itself.
    const int quantized = std::max(std::min((wanted + kBias) & kKeepMask, 255), 0);
    // The error is measured from the pixel's own value, not from the value with the error added.
    const int error = value - quantized;
    newest[c] = static_cast<int16_t>(error);
    const int leaving = old[0][c] + old[3][c] + old[5][c] + old[7][c] + old[9][c] + old[10][c] + old[12][c] +
                        2 * (old[11][c] + old[13][c] + old[14][c]) + 3 * old[15][c];
    sum += kHistory * error - leaving;
    return static_cast<uint8_t>(quantized);
}

// The per-run dithering state: three weighted sums and the errors of the last pixels, the window
// being the 16 entries before `pos` in a buffer that is shifted down every 16 pixels.
struct DitherState {
    int sum[3] = {0, 0, 0};
    int pos = kHistory;
    int16_t errors[2 * kHistory][4] = {};
};

// Colour correction (when tables are given) and dithering of one pixel. Callers keep the sums and
// the position in locals so the byte stores into the picture cannot force them back to memory.
[[gnu::always_inline]] inline void ProcessPixel(uint8_t* pixel, const int16_t* input, const uint8_t* output,
                                                int16_t (*errors)[4], int& pos, int& sum0, int& sum1, int& sum2)
{
    int b = pixel[0];
    int g = pixel[1];
    int r = pixel[2];
    if (input != nullptr) {
        constexpr int kLevels = Fastransform::kInputLevels;
        const uint16_t s0 = static_cast<uint16_t>(input[b] + input[kLevels + g] + input[2 * kLevels + r]);
        const uint16_t s1 = static_cast<uint16_t>(input[3 * kLevels + b] + input[4 * kLevels + g] + input[5 * kLevels + r]);
        const uint16_t s2 = static_cast<uint16_t>(input[6 * kLevels + b] + input[7 * kLevels + g] + input[8 * kLevels + r]);
        b = output[s0];
        g = output[Fastransform::kOutputEntries + s1];
        r = output[2 * Fastransform::kOutputEntries + s2];
    }
    if (pos == 2 * kHistory) {
        std::memcpy(errors, errors + kHistory, kHistory * sizeof errors[0]);
        pos = kHistory;
    }
    int16_t* newest = errors[pos];
    const int16_t(*old)[4] = errors + (pos - kHistory);
    pixel[0] = DitherChannel<4, ~7>(b, sum0, old, 0, newest);
    pixel[1] = DitherChannel<2, ~3>(g, sum1, old, 1, newest);
    pixel[2] = DitherChannel<4, ~7>(r, sum2, old, 2, newest);
    ++pos;
}

// One run: the walk position over the picture and the dithering state.
class Walk {
public:
    Walk(const Fastransform* transform, uint8_t* pixels, int width, int height)
        : m_pInput(transform != nullptr ? transform->InputTable() : nullptr),
          m_pOutput(transform != nullptr ? transform->OutputTable() : nullptr), m_pPixels(pixels),
          m_nWidth(width), m_nHeight(height), m_cbStride(Dib::RowSize(width)), m_moves(Moves())
    {
        const ptrdiff_t stride = static_cast<ptrdiff_t>(m_cbStride);
        m_delta[MOVE_UP] = stride;
        m_delta[MOVE_RIGHT] = 3;
        m_delta[MOVE_DOWN] = -stride;
        m_delta[MOVE_LEFT] = -3;
    }

    void Hilbert(int order, int direction)
    {
        const int span = (1 << order) - 1;
        const int x0 = direction <= RIGHT ? m_x : m_x - span;
        const int y0 = direction <= RIGHT ? m_y : m_y - span;
        const bool outside = x0 >= m_nWidth || y0 >= m_nHeight || x0 + span < 0 || y0 + span < 0;
        const bool inside = x0 >= 0 && y0 >= 0 && x0 + span < m_nWidth && y0 + span < m_nHeight;
        if (outside || (inside && order == kBlockOrder)) {
            // A square wholly outside touches no pixel and no history: only the position moves.
            if (!outside) {
                WalkBlock(direction);
            }
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
    void Finish() { Step(0, 0); }

private:
    void Step(int dx, int dy)
    {
        if (m_x >= 0 && m_y >= 0 && m_x < m_nWidth && m_y < m_nHeight) {
            ProcessPixel(PixelAt(m_x, m_y), m_pInput, m_pOutput, m_state.errors, m_state.pos, m_state.sum[0],
                         m_state.sum[1], m_state.sum[2]);
        }
        m_x += dx;
        m_y += dy;
    }

    uint8_t* PixelAt(int x, int y) const
    {
        return m_pPixels + static_cast<size_t>(y) * m_cbStride + static_cast<size_t>(x) * 3;
    }

    // The square's pixels but its last, which the step after the square processes.
    void WalkBlock(int direction)
    {
        const uint8_t* moves = m_moves.For(direction);
        // The walk crosses a row at almost every other step, in an order no hardware prefetcher
        // foresees; asking for the square's rows up front lets their fetches overlap.
        constexpr int kSide = 1 << kBlockOrder;
        const int left = direction <= RIGHT ? m_x : m_x - (kSide - 1);
        const int bottom = direction <= RIGHT ? m_y : m_y - (kSide - 1);
        for (int row = 0; row < kSide; ++row) {
            const uint8_t* start = PixelAt(left, bottom + row);
            __builtin_prefetch(start, 1);
            __builtin_prefetch(start + 3 * kSide - 1, 1);
        }
        const ptrdiff_t delta[4] = {m_delta[0], m_delta[1], m_delta[2], m_delta[3]};
        const int16_t* input = m_pInput;
        const uint8_t* output = m_pOutput;
        int16_t(*errors)[4] = m_state.errors;
        int pos = m_state.pos;
        int sum0 = m_state.sum[0];
        int sum1 = m_state.sum[1];
        int sum2 = m_state.sum[2];
        uint8_t* pixel = PixelAt(m_x, m_y);
        if (input != nullptr) {
            for (int i = 0; i < kBlockMoves; ++i) {
                ProcessPixel(pixel, input, output, errors, pos, sum0, sum1, sum2);
                pixel += delta[moves[i]];
            }
        } else {
            for (int i = 0; i < kBlockMoves; ++i) {
                ProcessPixel(pixel, nullptr, nullptr, errors, pos, sum0, sum1, sum2);
                pixel += delta[moves[i]];
            }
        }
        m_state.pos = pos;
        m_state.sum[0] = sum0;
        m_state.sum[1] = sum1;
        m_state.sum[2] = sum2;
    }

    const int16_t* m_pInput;
    const uint8_t* m_pOutput;
    uint8_t* m_pPixels;
    int m_nWidth;
    int m_nHeight;
    size_t m_cbStride;
    const BlockMoves& m_moves;
    ptrdiff_t m_delta[4];
    int m_x = 0;
    int m_y = 0;
    DitherState m_state;
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
