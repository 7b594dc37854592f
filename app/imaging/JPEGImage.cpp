#include "app/imaging/JPEGImage.h"

#include "app/imaging/DitherRiemersma.h"
#include "app/imaging/LastDecodedPicture.h"
#include "app/imaging/loadjpeg.h"
#include "app/platform/Log.h"
#include "app/platform/TickCount.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

// A preview is a few hundred kilobytes; a file far larger than any picture Dib accepts is not
// read into memory at all.
constexpr off_t kMaxFileSize = 256L * 1024 * 1024;

struct FitFrames {
    Rect wide;   // pictures wider than high
    Rect other;  // all others
};

constexpr FitFrames kFrames[3] = {
    {{15, 6, 225, 164}, {95, 2, 239, 212}},
    {{10, 7, 110, 84}, {31, 4, 110, 104}},
    {{7, 5, 71, 50}, {19, 3, 71, 65}},
};

// Room a centred upright picture may leave under it in the full view before it is moved down.
constexpr int kFullViewBottomGap = 3;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

CJPEGImage::CJPEGImage() { ORIN_TRACE("CJPEGImage::CJPEGImage"); }

CJPEGImage::~CJPEGImage() { ORIN_TRACE("CJPEGImage::~CJPEGImage"); }

void CJPEGImage::SetBitmap(std::unique_ptr<Dib> bitmap)
{
    ORIN_TRACE("CJPEGImage::SetBitmap");
    m_pBitmap = std::move(bitmap);
    m_bLoaded = m_pBitmap != nullptr;
    m_nWidth = m_pBitmap ? m_pBitmap->Width() : kPlaceholderWidth;
    m_nHeight = m_pBitmap ? m_pBitmap->Height() : kPlaceholderHeight;
}

bool CJPEGImage::ReadFile(const std::filesystem::path& localPath, std::unique_ptr<uint8_t[]>& buffer,
                          size_t& length)
{
    ORIN_TRACE("CJPEGImage::ReadFile");
    FileDescriptor file(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        if (localPath.string().find(kSplashName) != std::string::npos) {
            ORIN_LOG_INFO("CJPEGImage::Load", "CJPEGImage::Load(). Default Image file not found: %s ",
                          localPath.c_str());
        }
        return false;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        ORIN_LOG_ERROR("CJPEGImage::Load", "CJPEGImage::Load(). failed to get file size, err: %d ", errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        ORIN_LOG_ERROR("CJPEGImage::Load", "CJPEGImage::Load(). failed to get file size, err: %d ", EISDIR);
        return false;
    }
    if (info.st_size > kMaxFileSize) {
        ORIN_LOG_ERROR("CJPEGImage::Load", "CJPEGImage::Load(). failed to read file, err: %d ", EFBIG);
        return false;
    }
    length = static_cast<size_t>(info.st_size);
    buffer.reset(new (std::nothrow) uint8_t[length == 0 ? 1 : length]);
    if (!buffer) {
        ORIN_LOG_ERROR("CJPEGImage::Load", "CJPEGImage::Load(). failed to read file, err: %d ", ENOMEM);
        return false;
    }
    size_t done = 0;
    while (done < length) {
        const ssize_t got = ::read(file.Get(), buffer.get() + done, length - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // A file cut short under us is a read failure, not a smaller picture.
            ORIN_LOG_ERROR("CJPEGImage::Load", "CJPEGImage::Load(). failed to read file, err: %d ",
                           got < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool CJPEGImage::Load(const std::filesystem::path& localPath)
{
    ORIN_TRACE("CJPEGImage::Load");
    m_bLoaded = false;
    m_nWidth = kPlaceholderWidth;
    m_nHeight = kPlaceholderHeight;
    m_pBitmap.reset();

    std::unique_ptr<Dib> bitmap = LastDecodedPicture::TakeIf(localPath);
    if (bitmap) {
        ORIN_LOG_INFO("CJPEGImage::Load", "Decompression skipped (decompressed during downloading)");
    } else {
        std::unique_ptr<uint8_t[]> buffer;
        size_t length = 0;
        if (!ReadFile(localPath, buffer, length)) {
            return false;
        }
        const uint32_t start = platform::TickCount();
        bitmap = LoadJpeg(buffer.get(), length);
        ORIN_LOG_INFO("CJPEGImage::Load", "CJPEGImage::Load()  DecompressImageIndirect time: %d",
                      static_cast<int>(platform::TicksSince(start)));
    }
    if (!bitmap) {
        ORIN_LOG_ERROR("CJPEGImage::Load", "CJPEGImage::Load(). Error in JPEG decompressor: %s ", localPath.c_str());
        return false;
    }
    m_pBitmap = std::move(bitmap);
    m_nWidth = m_pBitmap->Width();
    m_nHeight = m_pBitmap->Height();
    if (m_bPostProcessing) {
        PostProcessing();
    }
    m_bLoaded = true;
    return true;
}

bool CJPEGImage::PostProcessing()
{
    ORIN_TRACE("CJPEGImage::PostProcessing");
    if (!m_pBitmap) {
        return false;
    }
    std::unique_ptr<Dib> processed = m_pBitmap->Clone();
    if (!processed) {
        return false;
    }
    const CDitherRiemersma& transform = m_pTransform != nullptr ? *m_pTransform : CDitherRiemersma::Instance();
    const auto start = std::chrono::steady_clock::now();
    transform.Run(*processed);
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    ORIN_LOG_INFO("CJPEGImage::PostProcessing", "TimeElapsed: %f", elapsed.count());
    m_pBitmap = std::move(processed);
    return true;
}

bool CJPEGImage::Rotate()
{
    ORIN_TRACE("CJPEGImage::Rotate");
    if (!m_pBitmap) {
        return false;
    }
    const Dib& source = *m_pBitmap;
    const int width = source.Width();
    const int height = source.Height();
    std::unique_ptr<Dib> turned = Dib::Create(height, width);
    if (!turned) {
        return false;
    }
    // Picture point (x, y) from the top-left goes to (height - 1 - y, x).
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = source.PictureRow(y);
        const int column = height - 1 - y;
        for (int x = 0; x < width; ++x) {
            uint8_t* to = turned->PictureRow(x) + static_cast<size_t>(column) * 3;
            to[0] = from[3 * x];
            to[1] = from[3 * x + 1];
            to[2] = from[3 * x + 2];
        }
    }
    m_pBitmap = std::move(turned);
    m_nWidth = height;
    m_nHeight = width;
    return true;
}

Rect CJPEGImage::FitRect(int layout, int pictureWidth, int pictureHeight)
{
    ORIN_TRACE("CJPEGImage::FitRect");
    if (layout < 0 || layout > 2) {
        ORIN_LOG_WARNING("CJPEGImage::FitRect", "Unknown fit layout %d, using 0", layout);
        layout = 0;
    }
    if (pictureWidth <= 0 || pictureHeight <= 0) {
        pictureWidth = kPlaceholderWidth;
        pictureHeight = kPlaceholderHeight;
    }
    const bool wide = pictureWidth > pictureHeight;
    const Rect frame = wide ? kFrames[layout].wide : kFrames[layout].other;
    const double aspect = static_cast<double>(pictureWidth) / pictureHeight;
    const double frameAspect = static_cast<double>(frame.Width()) / frame.Height();

    Rect fit = frame;
    if (frameAspect > aspect) {
        const int newWidth = static_cast<int>(frame.Height() * aspect + 0.5);
        if (layout == 0) {
            fit.left = frame.left + (frame.Width() - newWidth) / 2;
        } else {
            fit.left = frame.right - newWidth;
        }
        fit.right = fit.left + newWidth;
    } else if (frameAspect < aspect) {
        const int newHeight = static_cast<int>(frame.Width() / aspect + 0.5);
        if (layout == 0) {
            fit.top = frame.top + (frame.Height() - newHeight) / 2;
            if (!wide && frame.bottom - (fit.top + newHeight) > kFullViewBottomGap) {
                fit.top = frame.bottom - kFullViewBottomGap - newHeight;
            }
        }
        fit.bottom = fit.top + newHeight;
    }
    return fit;
}

Rect CJPEGImage::Fit(int layout, int dx, int dy) const
{
    ORIN_TRACE("CJPEGImage::Fit");
    Rect fit = FitRect(layout, m_nWidth, m_nHeight);
    fit.left += dx;
    fit.right += dx;
    fit.top += dy;
    fit.bottom += dy;
    return fit;
}

bool CJPEGImage::RecordDraw(int width, int height)
{
    ORIN_TRACE("CJPEGImage::RecordDraw");
    m_bStretched = !(width == m_nWidth && height == m_nHeight);
    if (m_pBitmap) {
        ORIN_LOG_INFO("CJPEGImage::Draw", "Image updated on the screen");
    }
    return m_bStretched;
}

}  // namespace imaging
