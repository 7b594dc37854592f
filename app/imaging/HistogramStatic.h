// The histogram control's data side, without its widget: the camera's bins resampled to one bar
// per plot column and scaled to the plot height, and the geometry of the axis, bars, markers and
// labels as plain numbers the widget paints from.
#pragma once

#include "app/imaging/Rect.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace imaging {

class CHistogramStatic {
public:
    struct PlotGeometry {
        int baseline = 0;  // client bottom - 14
        int top = 0;       // client top
        int left = 0;      // client left + 8
        int right = 0;     // client right - 9
        int width = 0;     // right - left - 1: one bar per column
        int Height() const { return baseline - top; }
    };

    struct Label {
        bool shown = false;
        int left = 0;
        int right = 0;  // exclusive
    };

    struct Point {
        int x = 0;
        int y = 0;
    };

    // Everything the widget draws besides the bars (bar i: x = left + i + 1, from
    // baseline - height up to the baseline).
    struct Layout {
        PlotGeometry plot;
        bool centre = false;
        int centreLineX[3] = {0, 0, 0};  // black, green, black
        int centreLineTop = 0;           // top - 1
        int centreLineBottom = 0;        // baseline + 2
        Point centreTickFrom;
        Point centreTickTo;
        Label centreLabel;
        bool average = false;
        Point averagePointer;  // top-left of the 7 x 10 pointer
        bool dark = false;
        Point darkTick;  // top-left of the 1 x 9 tick
        Label darkLabel;
        bool white = false;
        Point whiteTick;
        Label whiteLabel;
        int labelY = 0;  // baseline + 4
    };

    // Widths of the label texts as the widget's font measures them; -1 takes 5 pixels a character.
    struct LabelWidths {
        int centre = -1;
        int dark = -1;
        int white = -1;
    };

    static constexpr int64_t kScale = 1000000;

    CHistogramStatic();
    ~CHistogramStatic();

    static PlotGeometry Geometry(const Rect& client);

    // The control's client rectangle; until it is set the control has no window.
    void SetClientRect(const Rect& client);
    bool GetPlotSize(int& width, int& height) const;
    // Number of bins and value range of the camera's histogram; non-positive values take the
    // plot size instead.
    void SetSourceSize(int bins, int range);
    int SourceWidth() const { return m_nSourceWidth; }
    int SourceHeight() const { return m_nSourceHeight; }

    // Null empties the columns; an empty array is refused and changes nothing.
    void SetHistogramData(const std::vector<int32_t>* data);
    const std::vector<int32_t>& Columns() const { return m_saHistogramData; }

    // One bar per column: fewer bins than columns repeat bins unscaled; otherwise the bins are
    // combined by area and scaled so the tallest column is `range`.
    static std::vector<int32_t> Resample(std::span<const int32_t> bins, int columns, int range);

    void SetCentreMarker(int position, const std::u16string& text);
    void SetDarkWhiteMarkers(int darkPosition, int whitePosition, const std::u16string& darkText,
                             const std::u16string& whiteText);
    void SetAverageMarker(int position);

    // Column of a marker at a position in bin units: pos x W / N.
    static int MarkerColumn(int position, int plotWidth, int sourceWidth);

    Layout ComputeLayout() const;
    Layout ComputeLayout(const LabelWidths& widths) const;
    // Remembered by the widget after drawing the centre label.
    void SetCentreLabelExtent(int left, int right);

private:
    int EffectiveSourceWidth() const;

    bool m_bHasWindow = false;
    Rect m_rcClient;
    int m_nSourceWidth = 0;
    int m_nSourceHeight = 0;
    std::vector<int32_t> m_saHistogramData;
    int m_nCentrePos = -1;
    std::u16string m_strCentre;
    int m_nCentreLabelLeft = 0;
    int m_nCentreLabelRight = 0;
    int m_nDarkPos = -1;
    int m_nWhitePos = -1;
    std::u16string m_strDark;
    std::u16string m_strWhite;
    int m_nAveragePos = -1;
};

}  // namespace imaging
