#include "app/imaging/DitherRiemersma.h"

#include "app/platform/Log.h"
#include "app/platform/TickCount.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// How much each remembered error's weight grows as it gets one pixel newer (w[m] - w[m-1], the
// oldest starting from 0); ProcessPixel subtracts exactly these taps: lag 16 - m for step m.
constexpr int kWeightSteps[kHistory] = {1, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 2, 1, 2, 2, 3};

constexpr bool StepsMatchWeights()
{
    int weight = 0;
    for (int m = 0; m < kHistory; ++m) {
        weight += kWeightSteps[m];
        if (weight != CDitherRiemersma::kWeights[m]) {
            return false;
        }
    }
    return weight == CDitherRiemersma::kWeightDivisor;
}
static_assert(StepsMatchWeights(), "the running error sum must follow the weights");

// The three channels of a pixel are dithered side by side in the lanes of one vector (blue,
// green, red, then unused lanes held at 0); the compiler maps it onto whatever SIMD unit the
// machine has.
using Lanes = int16_t __attribute__((vector_size(16)));
using UnsignedLanes = uint16_t __attribute__((vector_size(16)));

constexpr Lanes kBias = {4, 2, 4, 0, 0, 0, 0, 0};
constexpr Lanes kKeepMask = {~7, ~3, ~7, 0, 0, 0, 0, 0};

using Halves = long long __attribute__((vector_size(16)));

// The errors of one pixel: 4 lanes of 16 bits, the fourth always 0, moved as one 64-bit word so
// the load is one register move.
inline Lanes LoadErrors(const int16_t* at)
{
    long long word;
    std::memcpy(&word, at, sizeof word);
    const Halves halves = {word, 0};
    return reinterpret_cast<Lanes>(halves);
}

inline void StoreErrors(int16_t* at, Lanes errors)
{
    const long long word = reinterpret_cast<Halves>(errors)[0];
    std::memcpy(at, &word, sizeof word);
}

// The per-run dithering state.
//
// The weighted sum of the 16 remembered errors (sum) is not summed afresh for every pixel: moving
// the window on by one pixel changes it by 16 x the newest error, less each remembered error times
// the step of its weight (w[m] - w[m-1]: 1 for the oldest, then 0 0 1 0 1 0 1 0 1 1 2 1 2 2 3),
// which is exact in integers. What is carried is x = sum - 16 x the previous error, so the
// previous error enters the next pixel's rounding by additions alone. The errors themselves are
// appended to a buffer with room for a whole square; only before a square (or a single step) that
// would overrun it are the last 16 moved back to its start.
constexpr int kHistoryCapacity = kHistory + (1 << (2 * kBlockOrder));

// The buffer holds each error raised by kErrorBias (1..511 instead of -255..255, the unused fourth
// lane 0): so a weighted sum of remembered errors can be formed in one 64-bit general register,
// the three lanes side by side, without a borrow ever crossing from one lane into the next.
constexpr int kErrorBias = 256;
constexpr uint64_t kErrorBiasWord = 0x0000'0100'0100'0100ull;
constexpr Lanes kErrorBiasLanes = {kErrorBias, kErrorBias, kErrorBias, 0, 0, 0, 0, 0};

struct DitherState {
    DitherState()
    {
        for (int i = 0; i < kHistory; ++i) {
            StoreErrors(errors[i], kErrorBiasLanes);  // no error yet
        }
    }

    Lanes x = {};
    Lanes previous = {};  // errors of the pixel before
    Lanes beforePrevious = {};
    int pos = kHistory;   // where the next pixel's errors go
    int16_t errors[kHistoryCapacity][4] = {};

    // Makes room for `count` more pixels.
    void Reserve(int count)
    {
        if (pos + count > kHistoryCapacity) {
            std::memmove(errors, errors + (pos - kHistory), kHistory * sizeof errors[0]);
            pos = kHistory;
        }
    }
};

// Colour correction (when tables are given) and dithering of one pixel; `slot` is where its errors
// go, with the 16 pixels before it in front. Callers keep the state in locals so the byte stores
// into the picture cannot force it back to memory.
[[gnu::always_inline]] inline void ProcessPixel(uint8_t* pixel, const int16_t* input, const uint8_t* output,
                                                int16_t (*slot)[4], Lanes& x, Lanes& previous, Lanes& beforePrevious)
{
    uint64_t b = pixel[0];
    uint64_t g = pixel[1];
    uint64_t r = pixel[2];
    if (input != nullptr) {
        constexpr int kLevels = Fastransform::kInputLevels;
        const uint16_t s0 = static_cast<uint16_t>(input[b] + input[kLevels + g] + input[2 * kLevels + r]);
        const uint16_t s1 = static_cast<uint16_t>(input[3 * kLevels + b] + input[4 * kLevels + g] + input[5 * kLevels + r]);
        const uint16_t s2 = static_cast<uint16_t>(input[6 * kLevels + b] + input[7 * kLevels + g] + input[8 * kLevels + r]);
        b = output[s0];
        g = output[Fastransform::kOutputEntries + s1];
        r = output[2 * Fastransform::kOutputEntries + s2];
    }
    const Halves packed = {static_cast<long long>(b | g << 16 | r << 32), 0};
    const Lanes value = reinterpret_cast<Lanes>(packed);

    // sum / 16 rounded toward zero, from sum = 16 x previous + x: floor(x / 16) + previous, plus
    // one when x / 16 has a remainder and the whole sum is negative.
    const Lanes base = previous + (x >> 4);
    const Lanes roundUp = (base < 0) & ((x & 15) > 0);  // -1 where true
    const Lanes wanted = value + base - roundUp;
    Lanes quantized = (wanted + kBias) & kKeepMask;
    // The cap at 255 applies after the low bits are cleared, so a capped value is 255 itself.
    quantized = quantized > 255 ? Lanes{} + 255 : quantized;
    quantized = quantized < 0 ? Lanes{} : quantized;
    // The error is measured from the pixel's own value, not from the value with the error added.
    const Lanes error = value - quantized;
    StoreErrors(*slot, error + kErrorBiasLanes);
    const uint64_t out = static_cast<uint64_t>(reinterpret_cast<Halves>(quantized)[0]);
    pixel[0] = static_cast<uint8_t>(out);
    pixel[1] = static_cast<uint8_t>(out >> 16);
    pixel[2] = static_cast<uint8_t>(out >> 32);

    // x for the next pixel: x + 16 x previous - (the errors leaving the sum, weighted by their
    // steps), the two newest of which are still at hand. Wrapping arithmetic: only the result is
    // known to fit 16 bits.
    const int16_t(*back)[4] = slot;  // back[-k]: the errors k pixels back
    const UnsignedLanes older = reinterpret_cast<UnsignedLanes>(
        LoadErrors(back[-16]) + LoadErrors(back[-13]) + LoadErrors(back[-11]) + LoadErrors(back[-9]) +
        LoadErrors(back[-7]) + LoadErrors(back[-6]) + LoadErrors(back[-4]));
    const UnsignedLanes doubled = reinterpret_cast<UnsignedLanes>(LoadErrors(back[-5]) + LoadErrors(back[-3]));
    // The buffer's errors are raised by kErrorBias: 7 + 2 x 2 of them are subtracted here.
    constexpr UnsignedLanes kRaised = {11 * kErrorBias, 11 * kErrorBias, 11 * kErrorBias, 0, 0, 0, 0, 0};
    const UnsignedLanes next = reinterpret_cast<UnsignedLanes>(x) + 13 * reinterpret_cast<UnsignedLanes>(previous) -
                               2 * reinterpret_cast<UnsignedLanes>(beforePrevious) - older - 2 * doubled + kRaised;
    x = reinterpret_cast<Lanes>(next);
    beforePrevious = previous;
    previous = error;
}

// a - b, or 0 where b > a.
inline UnsignedLanes SaturatingSubtract(UnsignedLanes a, UnsignedLanes b)
{
#if defined(__SSE2__)
    return reinterpret_cast<UnsignedLanes>(
        _mm_subs_epu16(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b)));
#else
    return a - (b < a ? b : a);
#endif
}

// The value as it stands, kept from being merged into the expression it feeds: the compiler would
// otherwise reorder a sum so that the operand arriving last (the one on the chain) waits for more
// additions.
inline UnsignedLanes Settled(UnsignedLanes value)
{
#if defined(__SSE2__)
    asm("" : "+x"(value));
#endif
    return value;
}

inline uint64_t LoadWord(const int16_t* at)
{
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

inline UnsignedLanes WordLanes(uint64_t word)
{
    const Halves halves = {static_cast<long long>(word), 0};
    return reinterpret_cast<UnsignedLanes>(halves);
}

// The pixels of one square but its last, in walk order, `offsets` giving each one's place from the
// first. The same arithmetic as ProcessPixel, rearranged for the chain that runs from one pixel's
// output to the next one's, which bounds the speed:
// - what is carried along the chain is the quantized output q, not the error value - q; the
//   pixel's own value joins the next pixel's sum off the chain;
// - whether the truncating division by 16 rounds up (the sum is negative and has a remainder) is
//   decided by one comparison of q with a threshold worked out from x alone: the sum is negative
//   exactly when the previous q > the previous value + floor(x / 16), and without a remainder the
//   threshold is raised past any output;
// - the weighted sum of the older errors is formed in a general register from the raised errors
//   (every lane stays below 9 x 511), leaving the vector unit, the busier of the two, to the
//   chain itself.
// Every value is the one ProcessPixel forms, in the same 16-bit lanes, so the results are
// identical.
template <bool kColour>
[[gnu::noinline]] void DitherBlock(uint8_t* origin, const int32_t* offsets, const uint64_t* packedInput,
                                   const uint8_t* packedOutput, int16_t (*slot)[4], Lanes& xState,
                                   Lanes& previousState, Lanes& beforePreviousState)
{
    constexpr size_t kEntries = Fastransform::kPackedEntries;
    // Above every output once added to a floor of at least -2048 and a value of at least -255.
    constexpr UnsignedLanes kNoRemainder = {4096, 4096, 4096, 0, 0, 0, 0, 0};
    constexpr UnsignedLanes kThirteen = {13, 13, 13, 0, 0, 0, 0, 0};
    // The taps read from the buffer weigh 9 in all, so their raised errors carry 9 x kErrorBias;
    // subtracting the sum from that with bit 15 of each lane lent in advance and given back
    // afterwards leaves -(sum of the true errors) in every lane, whatever its sign.
    constexpr uint64_t kLent = 0x8000'8000'8000'8000ull;
    constexpr uint64_t kTapsStart = kLent | (9ull * kErrorBias) * 0x0000'0001'0001'0001ull;
    UnsignedLanes x = reinterpret_cast<UnsignedLanes>(xState);
    // The previous pixel as (value, output) with value - output its error; a square starts from the
    // error alone, as (error, 0).
    Lanes valuePrevious = previousState;
    Lanes outputPrevious = {};
    // The errors two and three pixels back, kept in registers: read back from the buffer, a store
    // just made would put its forwarding delay on the way to the next x.
    UnsignedLanes errorBeforePrevious = reinterpret_cast<UnsignedLanes>(beforePreviousState);
    UnsignedLanes errorThreeBack = reinterpret_cast<UnsignedLanes>(LoadErrors(slot[-3]) - kErrorBiasLanes);
    for (int i = 0; i < kBlockMoves; ++i, ++slot) {
        uint8_t* pixel = origin + offsets[i];
        uint64_t b = pixel[0];
        uint64_t g = pixel[1];
        uint64_t r = pixel[2];
        if constexpr (kColour) {
            const uint64_t sums = packedInput[b] + packedInput[Fastransform::kInputLevels + g] +
                                  packedInput[2 * Fastransform::kInputLevels + r];
            b = packedOutput[sums & 0xFFFF];
            g = packedOutput[kEntries + ((sums >> 16) & 0xFFFF)];
            r = packedOutput[2 * kEntries + (sums >> 32)];
        }
        const uint64_t valueWord = b | g << 16 | r << 32;
        const Lanes value = reinterpret_cast<Lanes>(WordLanes(valueWord));

        // Minus the older errors' weight steps (lags 4 to 16), for the next pixel's x.
        const int16_t(*back)[4] = slot;
        const uint64_t taps = LoadWord(back[-16]) + LoadWord(back[-13]) + LoadWord(back[-11]) + LoadWord(back[-9]) +
                              LoadWord(back[-7]) + LoadWord(back[-6]) + LoadWord(back[-4]) +
                              2 * LoadWord(back[-5]);
        const UnsignedLanes minusTaps = WordLanes((kTapsStart - taps) ^ kLent);

        // Off the chain: everything that depends on x and the pixel values only.
        const Lanes floorPart = reinterpret_cast<Lanes>(x) >> 4;
        const UnsignedLanes noRemainder = SaturatingSubtract(kNoRemainder, x << 12);
        const Lanes reach = valuePrevious + floorPart;
        const Lanes threshold = reach + reinterpret_cast<Lanes>(noRemainder);
        const Lanes base = reach + (value + kBias);

        // The chain.
        const Lanes roundUp = outputPrevious > threshold;  // -1 where true
        Lanes quantized = ((base - outputPrevious) - roundUp) & kKeepMask;
        quantized = quantized > 255 ? Lanes{} + 255 : quantized;
        quantized = quantized < 0 ? Lanes{} : quantized;

        const uint64_t outputWord = static_cast<uint64_t>(reinterpret_cast<Halves>(quantized)[0]);
        const uint64_t raisedError = (valueWord + kErrorBiasWord) - outputWord;  // no lane goes below 1
        std::memcpy(*slot, &raisedError, sizeof raisedError);
        pixel[0] = static_cast<uint8_t>(outputWord);
        pixel[1] = static_cast<uint8_t>(outputWord >> 16);
        pixel[2] = static_cast<uint8_t>(outputWord >> 32);

        // x for the next pixel: x + 13 x (error before) - 2 x (the two errors before that) - the
        // older errors' weight steps.
        x = Settled(x + minusTaps - 2 * (errorBeforePrevious + errorThreeBack) +
                    kThirteen * reinterpret_cast<UnsignedLanes>(valuePrevious)) -
            kThirteen * reinterpret_cast<UnsignedLanes>(outputPrevious);
        errorThreeBack = errorBeforePrevious;
        errorBeforePrevious = reinterpret_cast<UnsignedLanes>(valuePrevious - outputPrevious);
        valuePrevious = value;
        outputPrevious = quantized;
    }
    xState = reinterpret_cast<Lanes>(x);
    previousState = valuePrevious - outputPrevious;
    beforePreviousState = reinterpret_cast<Lanes>(errorBeforePrevious);
}

// One run: the walk position over the picture and the dithering state.
class Walk {
public:
    Walk(const Fastransform* transform, uint8_t* pixels, int width, int height)
        : m_pInput(transform != nullptr ? transform->InputTable() : nullptr),
          m_pOutput(transform != nullptr ? transform->OutputTable() : nullptr),
          m_pPackedInput(transform != nullptr ? transform->PackedInput() : nullptr),
          m_pPackedOutput(transform != nullptr ? transform->PackedOutput() : nullptr), m_pPixels(pixels),
          m_nWidth(width), m_nHeight(height), m_cbStride(Dib::RowSize(width)), m_moves(Moves())
    {
        const ptrdiff_t stride = static_cast<ptrdiff_t>(m_cbStride);
        m_delta[MOVE_UP] = stride;
        m_delta[MOVE_RIGHT] = 3;
        m_delta[MOVE_DOWN] = -stride;
        m_delta[MOVE_LEFT] = -3;
        for (int d = UP; d <= LEFT; ++d) {
            const uint8_t* moves = m_moves.For(d);
            ptrdiff_t offset = 0;
            for (int i = 0; i < kBlockMoves; ++i) {
                m_offsets[d - 1][i] = static_cast<int32_t>(offset);
                offset += m_delta[moves[i]];
            }
        }
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
            m_state.Reserve(1);
            ProcessPixel(PixelAt(m_x, m_y), m_pInput, m_pOutput, m_state.errors + m_state.pos, m_state.x,
                         m_state.previous, m_state.beforePrevious);
            ++m_state.pos;
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
        m_state.Reserve(kBlockMoves);
        int16_t(*slot)[4] = m_state.errors + m_state.pos;
        uint8_t* origin = PixelAt(m_x, m_y);
        if (m_pPackedInput != nullptr) {
            DitherBlock<true>(origin, m_offsets[direction - 1], m_pPackedInput, m_pPackedOutput, slot, m_state.x,
                              m_state.previous, m_state.beforePrevious);
        } else {
            DitherBlock<false>(origin, m_offsets[direction - 1], nullptr, nullptr, slot, m_state.x, m_state.previous,
                               m_state.beforePrevious);
        }
        m_state.pos += kBlockMoves;
    }

    const int16_t* m_pInput;
    const uint8_t* m_pOutput;
    const uint64_t* m_pPackedInput;
    const uint8_t* m_pPackedOutput;
    uint8_t* m_pPixels;
    int m_nWidth;
    int m_nHeight;
    size_t m_cbStride;
    const BlockMoves& m_moves;
    ptrdiff_t m_delta[4];
    int32_t m_offsets[4][kBlockMoves];  // each square pixel's place from the first, per direction
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
