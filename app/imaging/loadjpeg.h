// The JPEG decoder shared by the picture control and the download: compressed bytes in, a 24-bit
// bottom-up blue-green-red bitmap out.
#pragma once

#include "app/imaging/Dib.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace imaging {

// Decodes a whole colour JPEG at full size. Returns null, having logged why, for a damaged or
// truncated file (no partly decoded picture is ever returned), a grey-scale or four-colour file,
// or a picture larger than Dib::kMaxDimension on either side.
std::unique_ptr<Dib> LoadJpeg(const uint8_t* bytes, size_t length);

}  // namespace imaging
