#include "app/imaging/LastDecodedPicture.h"

#include "app/imaging/loadjpeg.h"
#include "app/platform/Log.h"

#include <mutex>
#include <string>

namespace imaging {

namespace {

struct Pair {
    std::mutex mutex;
    std::string path;
    std::unique_ptr<Dib> bitmap;
};

Pair& Global()
{
    static Pair pair;
    return pair;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

void LastDecodedPicture::SetBitmap(std::unique_ptr<Dib> bitmap)
{
    ORIN_TRACE("LastDecodedPicture::SetBitmap");
    std::unique_ptr<Dib> old;
    {
        Pair& pair = Global();
        std::lock_guard<std::mutex> lock(pair.mutex);
        old = std::move(pair.bitmap);
        pair.bitmap = std::move(bitmap);
        pair.path.clear();
    }
}

void LastDecodedPicture::SetPath(const std::filesystem::path& localPath)
{
    ORIN_TRACE("LastDecodedPicture::SetPath");
    Pair& pair = Global();
    std::lock_guard<std::mutex> lock(pair.mutex);
    pair.path = localPath.string();
}

void LastDecodedPicture::Set(const std::filesystem::path& localPath, std::unique_ptr<Dib> bitmap)
{
    ORIN_TRACE("LastDecodedPicture::Set");
    std::unique_ptr<Dib> old;
    {
        Pair& pair = Global();
        std::lock_guard<std::mutex> lock(pair.mutex);
        old = std::move(pair.bitmap);
        pair.bitmap = std::move(bitmap);
        pair.path = localPath.string();
    }
}

std::unique_ptr<Dib> LastDecodedPicture::TakeIf(const std::filesystem::path& localPath)
{
    ORIN_TRACE("LastDecodedPicture::TakeIf");
    Pair& pair = Global();
    std::lock_guard<std::mutex> lock(pair.mutex);
    if (!pair.bitmap || pair.path.empty() || !EqualIgnoringCase(pair.path, localPath.string())) {
        return nullptr;
    }
    pair.path.clear();
    return std::move(pair.bitmap);
}

void LastDecodedPicture::Clear()
{
    ORIN_TRACE("LastDecodedPicture::Clear");
    std::unique_ptr<Dib> old;
    {
        Pair& pair = Global();
        std::lock_guard<std::mutex> lock(pair.mutex);
        old = std::move(pair.bitmap);
        pair.path.clear();
    }
}

bool LastDecodedPicture::DecodeAndHold(const uint8_t* bytes, size_t length)
{
    ORIN_TRACE("LastDecodedPicture::DecodeAndHold");
    std::unique_ptr<Dib> bitmap = LoadJpeg(bytes, length);
    const bool decoded = bitmap != nullptr;
    // A failed decode still replaces the held picture: the previous one must not be taken for this.
    SetBitmap(std::move(bitmap));
    return decoded;
}

}  // namespace imaging
