// The picture control's model, without its widget: which bitmap it shows, at what size, how it
// fits into a view's layout and how it turns. The widget in the views paints from it.
#pragma once

#include "app/imaging/Dib.h"
#include "app/imaging/Rect.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace imaging {

class CDitherRiemersma;

class CJPEGImage {
public:
    // Size reported while there is no picture: the built-in placeholder's.
    static constexpr int kPlaceholderWidth = 140;
    static constexpr int kPlaceholderHeight = 210;
    static constexpr uint32_t kDefaultBackground = 0xD2D2D2;  // RGB(210, 210, 210) as 0xRRGGBB
    // The application's default picture: never a real file.
    static constexpr const char* kSplashName = "Orin Splash Image.jpg";

    CJPEGImage();
    ~CJPEGImage();
    CJPEGImage(const CJPEGImage&) = delete;
    CJPEGImage& operator=(const CJPEGImage&) = delete;

    // Shows the picture at localPath: the bitmap the download already decoded when it belongs to
    // this path, otherwise the file decoded now. On failure the control has no bitmap and reports
    // the placeholder's size.
    bool Load(const std::filesystem::path& localPath);

    // The display transform over the current bitmap; the unprocessed bitmap stays on failure.
    bool PostProcessing();
    void EnablePostProcessing(bool enable) { m_bPostProcessing = enable; }
    bool IsPostProcessingEnabled() const { return m_bPostProcessing; }
    // The transform PostProcessing uses (not owned); defaults to the program's.
    void SetDisplayTransform(const CDitherRiemersma* transform) { m_pTransform = transform; }

    // Turns the picture a quarter clockwise: its top row becomes the right-hand column.
    bool Rotate();

    // Rectangle the control takes in fit layout 0, 1 or 2 for its picture, shifted by (dx, dy).
    Rect Fit(int layout, int dx, int dy) const;
    // The same rule for any picture size.
    static Rect FitRect(int layout, int pictureWidth, int pictureHeight);

    // Records a paint into an area of width x height: returns whether the bitmap had to be scaled.
    bool RecordDraw(int width, int height);
    bool IsStretched() const { return m_bStretched; }

    int GetPictureWidth() const { return m_nWidth; }
    int GetPictureHeight() const { return m_nHeight; }
    bool IsLoaded() const { return m_bLoaded; }
    const Dib* Bitmap() const { return m_pBitmap.get(); }
    void SetBitmap(std::unique_ptr<Dib> bitmap);

    void SetBackgroundColor(uint32_t rgb) { m_crBackground = rgb; }
    uint32_t BackgroundColor() const { return m_crBackground; }

private:
    bool ReadFile(const std::filesystem::path& localPath, std::unique_ptr<uint8_t[]>& buffer, size_t& length);

    bool m_bPostProcessing = true;
    bool m_bLoaded = false;
    bool m_bStretched = false;
    int m_nWidth = kPlaceholderWidth;
    int m_nHeight = kPlaceholderHeight;
    uint32_t m_crBackground = kDefaultBackground;
    std::unique_ptr<Dib> m_pBitmap;
    const CDitherRiemersma* m_pTransform = nullptr;
};

}  // namespace imaging
