// The process-wide pair (local path, bitmap) of the picture last decoded during a download, so the
// picture control can take the bitmap over instead of decoding the saved file a second time.
//
// The download decodes the payload and hands the bitmap in with SetBitmap; when the storage saves
// that payload it names the local file with SetPath. A new bitmap always arrives without a path:
// a path left from an earlier picture must never be paired with someone else's pixels.
#pragma once

#include "app/imaging/Dib.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace imaging {

class LastDecodedPicture {
public:
    // Replaces the held bitmap (null clears it) and forgets the path.
    static void SetBitmap(std::unique_ptr<Dib> bitmap);
    // Names the file the held bitmap was decoded from.
    static void SetPath(const std::filesystem::path& localPath);
    // Both at once.
    static void Set(const std::filesystem::path& localPath, std::unique_ptr<Dib> bitmap);
    // Hands the bitmap over when there is one and its path equals localPath (ignoring case, as the
    // camera's file names do); the pair is then cleared, so a second call gets null.
    static std::unique_ptr<Dib> TakeIf(const std::filesystem::path& localPath);
    static void Clear();

    // The download's decode step: decodes a received preview and holds the result (or nothing,
    // when the bytes are no usable picture) until the storage names its file. Returns whether a
    // picture was decoded.
    static bool DecodeAndHold(const uint8_t* bytes, size_t length);
};

}  // namespace imaging
