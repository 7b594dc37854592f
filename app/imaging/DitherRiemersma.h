// The display transform run over every picture before it is shown: colour correction for the
// screen (Fastransform) followed by error-diffusion dithering to the screen's 5-6-5 levels along
// a Hilbert curve (Riemersma dithering), so the diffused error stays local in both directions.
//
// The tables are built once and only read afterwards; each run keeps its walk position and error
// histories to itself, so any number of runs may overlap on different pictures.
#pragma once

#include "app/imaging/Dib.h"
#include "app/imaging/Fastransform.h"

#include <cstdint>

namespace imaging {

class CDitherRiemersma {
public:
    // Error weights from the oldest to the newest of the 16 remembered errors; their sum is
    // divided by kWeightDivisor.
    static constexpr int kHistory = 16;
    static constexpr int kWeights[kHistory] = {1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 6, 8, 9, 11, 13, 16};
    static constexpr int kWeightDivisor = 16;

    // Builds the colour tables for deviceModel; with colourCorrection false (or when the tables
    // cannot be built) the pixels are only dithered.
    explicit CDitherRiemersma(int deviceModel, bool colourCorrection = true);
    ~CDitherRiemersma();
    CDitherRiemersma(const CDitherRiemersma&) = delete;
    CDitherRiemersma& operator=(const CDitherRiemersma&) = delete;

    // The program's transform, for the machine it runs on; built on first use.
    static const CDitherRiemersma& Instance();

    // Colour-corrects and dithers every pixel of a 24-bit bottom-up bitmap in place; returns the
    // elapsed milliseconds.
    uint32_t Run(uint8_t* pixels, int width, int height) const;
    uint32_t Run(Dib& bitmap) const;

    const Fastransform& ColourTables() const { return m_transform; }
    bool IsColourCorrected() const { return m_transform.IsEnabled(); }

    // Smallest n with 2^n >= max(width, height).
    static int HilbertOrder(int width, int height);

private:
    Fastransform m_transform;
};

}  // namespace imaging
