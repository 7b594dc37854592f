#include "app/imaging/HistogramStatic.h"

#include "app/platform/Log.h"

#include <algorithm>
#include <cmath>

namespace imaging {

namespace {

// Pixels a label character is reckoned at when placing labels.
constexpr int kCharWidth = 5;

// Bin counts are never negative; a negative one from a damaged answer shows as empty.
double BinValue(std::span<const int32_t> bins, int64_t index)
{
    return std::max<int32_t>(bins[static_cast<size_t>(index)], 0);
}

int64_t ToInt64(double value)
{
    constexpr double kLimit = 9.0e18;
    if (!(value < kLimit)) {
        return value > 0 ? static_cast<int64_t>(kLimit) : 0;
    }
    if (value <= -kLimit) {
        return -static_cast<int64_t>(kLimit);
    }
    return static_cast<int64_t>(value);
}

int LabelWidth(int measured, const std::u16string& text)
{
    return measured >= 0 ? measured : static_cast<int>(text.size()) * kCharWidth;
}

int LabelLeft(int column, const std::u16string& text, int plotLeft)
{
    return column - (static_cast<int>(text.size()) * kCharWidth) / 2 + plotLeft + 1;
}

}  // namespace

CHistogramStatic::CHistogramStatic() { ORIN_TRACE("CHistogramStatic::CHistogramStatic"); }

CHistogramStatic::~CHistogramStatic() { ORIN_TRACE("CHistogramStatic::~CHistogramStatic"); }

CHistogramStatic::PlotGeometry CHistogramStatic::Geometry(const Rect& client)
{
    ORIN_TRACE("CHistogramStatic::Geometry");
    PlotGeometry plot;
    plot.baseline = client.bottom - 14;
    plot.top = client.top;
    plot.left = client.left + 8;
    plot.right = client.right - 9;
    plot.width = plot.right - plot.left - 1;
    return plot;
}

void CHistogramStatic::SetClientRect(const Rect& client)
{
    ORIN_TRACE("CHistogramStatic::SetClientRect");
    m_rcClient = client;
    m_bHasWindow = true;
}

bool CHistogramStatic::GetPlotSize(int& width, int& height) const
{
    ORIN_TRACE("CHistogramStatic::GetPlotSize");
    if (!m_bHasWindow) {
        return false;
    }
    const PlotGeometry plot = Geometry(m_rcClient);
    width = plot.width;
    height = plot.Height();
    return true;
}

void CHistogramStatic::SetSourceSize(int bins, int range)
{
    ORIN_TRACE("CHistogramStatic::SetSourceSize");
    if (bins > 0 && range > 0) {
        m_nSourceWidth = bins;
        m_nSourceHeight = range;
        return;
    }
    int width = 0;
    int height = 0;
    if (GetPlotSize(width, height)) {
        m_nSourceWidth = width;
        m_nSourceHeight = height;
    }
}

std::vector<int32_t> CHistogramStatic::Resample(std::span<const int32_t> bins, int columns, int range)
{
    ORIN_TRACE("CHistogramStatic::Resample");
    std::vector<int32_t> result;
    if (columns <= 0 || bins.empty()) {
        return result;
    }
    const int64_t n = static_cast<int64_t>(bins.size());
    const int64_t w = columns;
    result.assign(static_cast<size_t>(columns), 0);

    if (n < w) {
        for (int64_t i = 0; i < w; ++i) {
            result[static_cast<size_t>(i)] = static_cast<int32_t>(BinValue(bins, n * i / w));
        }
        return result;
    }

    // Each column stands for N / W bins. Column i takes the bins up to position s_i = N x i / W,
    // the whole ones not yet used plus the fraction f of the bin the position falls in; the rest
    // of that bin is carried into the next column. Column 0 stays empty.
    std::vector<double> sums(static_cast<size_t>(columns), 0.0);
    const int64_t share = n / w;
    double carry = 0.0;
    int64_t lastUsed = 0;
    for (int64_t i = 1; i < w; ++i) {
        const double position = static_cast<double>(n) * static_cast<double>(i) / static_cast<double>(w);
        if (position - static_cast<double>(share) < 0) {
            continue;
        }
        double sum = carry;
        carry = 0.0;
        for (int64_t m = share; m >= 0; --m) {
            const int64_t j = static_cast<int64_t>(position - static_cast<double>(m));
            if (j > lastUsed && j < n) {
                sum += BinValue(bins, j);
            }
        }
        const double whole = std::floor(position);
        const double fraction = position - whole;
        if (fraction > 0.0) {
            const int64_t split = static_cast<int64_t>(position + 1.0);
            if (split < n) {
                sum += fraction * BinValue(bins, split);
                carry = (1.0 - fraction) * BinValue(bins, split);
            }
            lastUsed = split;
        } else {
            // The column ends exactly on a bin boundary: that bin is used up and nothing carries,
            // or the next column would count both again.
            lastUsed = static_cast<int64_t>(whole);
        }
        sums[static_cast<size_t>(i)] = sum;
    }

    const double largest = *std::max_element(sums.begin(), sums.end());
    if (range <= 0) {
        return result;
    }
    // Sums reach N x 2^31; with the factor of a million they need 64 bits.
    const int64_t scale = ToInt64(largest / range * static_cast<double>(kScale));
    if (scale == 0) {
        return result;
    }
    for (size_t i = 0; i < sums.size(); ++i) {
        int64_t height = ToInt64(sums[i] * static_cast<double>(kScale)) / scale;
        if (sums[i] > 0.0 && height == 0) {
            height = 1;  // an occupied column always shows
        }
        result[i] = static_cast<int32_t>(std::clamp<int64_t>(height, 0, INT32_MAX));
    }
    return result;
}

void CHistogramStatic::SetHistogramData(const std::vector<int32_t>* data)
{
    ORIN_TRACE("CHistogramStatic::SetHistogramData");
    if (data == nullptr) {
        m_saHistogramData.clear();
        return;
    }
    if (data->empty()) {
        ORIN_LOG_WARNING("CHistogramStatic::SetHistogramData", "Histogram data array size is zero");
        return;
    }
    ORIN_LOG_INFO("CHistogramStatic::SetHistogramData",
                  "CHistogramStatic::SetHistogramData() Size of original histogram data array: %d",
                  static_cast<int>(data->size()));
    int width = 0;
    int height = 0;
    if (!GetPlotSize(width, height) || width <= 0) {
        ORIN_LOG_WARNING("CHistogramStatic::SetHistogramData", "No plot to fit the histogram into");
        m_saHistogramData.clear();
        return;
    }
    // The bins are resampled by the array's own length, so a source size that disagrees with it
    // can never make the resampling read past the array.
    const int range = m_nSourceHeight > 0 ? m_nSourceHeight : height;
    m_saHistogramData = Resample(std::span<const int32_t>(data->data(), data->size()), width, range);
    ORIN_LOG_INFO("CHistogramStatic::SetHistogramData",
                  "CHistogramStatic::SetHistogramData() m_saHistogramData.GetArrLength(): %d",
                  static_cast<int>(m_saHistogramData.size()));
}

void CHistogramStatic::SetCentreMarker(int position, const std::u16string& text)
{
    ORIN_TRACE("CHistogramStatic::SetCentreMarker");
    m_nCentrePos = position;
    m_strCentre = text;
}

void CHistogramStatic::SetDarkWhiteMarkers(int darkPosition, int whitePosition, const std::u16string& darkText,
                                           const std::u16string& whiteText)
{
    ORIN_TRACE("CHistogramStatic::SetDarkWhiteMarkers");
    m_nDarkPos = darkPosition;
    m_nWhitePos = whitePosition;
    m_strDark = darkText;
    m_strWhite = whiteText;
}

void CHistogramStatic::SetAverageMarker(int position)
{
    ORIN_TRACE("CHistogramStatic::SetAverageMarker");
    m_nAveragePos = position;
}

int CHistogramStatic::MarkerColumn(int position, int plotWidth, int sourceWidth)
{
    ORIN_TRACE("CHistogramStatic::MarkerColumn");
    if (sourceWidth <= 0) {
        return position;
    }
    return static_cast<int>(static_cast<int64_t>(position) * plotWidth / sourceWidth);
}

int CHistogramStatic::EffectiveSourceWidth() const
{
    if (m_nSourceWidth > 0) {
        return m_nSourceWidth;
    }
    return Geometry(m_rcClient).width;
}

void CHistogramStatic::SetCentreLabelExtent(int left, int right)
{
    ORIN_TRACE("CHistogramStatic::SetCentreLabelExtent");
    m_nCentreLabelLeft = left;
    m_nCentreLabelRight = right;
}

CHistogramStatic::Layout CHistogramStatic::ComputeLayout() const
{
    ORIN_TRACE("CHistogramStatic::ComputeLayout");
    return ComputeLayout(LabelWidths{});
}

CHistogramStatic::Layout CHistogramStatic::ComputeLayout(const LabelWidths& widths) const
{
    ORIN_TRACE("CHistogramStatic::ComputeLayout");
    Layout layout;
    const PlotGeometry plot = Geometry(m_rcClient);
    layout.plot = plot;
    layout.labelY = plot.baseline + 4;
    const int n = EffectiveSourceWidth();

    if (m_nCentrePos >= 0) {
        const int c = MarkerColumn(m_nCentrePos, plot.width, n);
        layout.centre = true;
        layout.centreLabel.shown = true;
        layout.centreLabel.left = LabelLeft(c, m_strCentre, plot.left);
        layout.centreLabel.right = layout.centreLabel.left + LabelWidth(widths.centre, m_strCentre);
        layout.centreLineX[0] = plot.left + c;
        layout.centreLineX[1] = plot.left + c + 1;
        layout.centreLineX[2] = plot.left + c + 2;
        layout.centreLineBottom = plot.baseline + 2;
        layout.centreLineTop = plot.top - 1;
        layout.centreTickFrom = {plot.left + c + 2, plot.baseline + 4};
        layout.centreTickTo = {plot.left + c + 1, plot.baseline + 9};
    }
    if (m_nAveragePos >= 0) {
        const int c = MarkerColumn(m_nAveragePos, plot.width, n);
        layout.average = true;
        layout.averagePointer = {plot.left + c - 3, plot.baseline - 4};
    }
    if (m_nDarkPos >= 0) {
        const int c = MarkerColumn(m_nDarkPos, plot.width, n);
        layout.dark = true;
        layout.darkTick = {plot.left + c + 1, plot.baseline - 1};
        const int width = LabelWidth(widths.dark, m_strDark);
        layout.darkLabel.left = std::max(LabelLeft(c, m_strDark, plot.left), 0);
        layout.darkLabel.right = layout.darkLabel.left + width;
        // Shown only when it ends before the centre label begins.
        layout.darkLabel.shown = !layout.centre || layout.darkLabel.right <= layout.centreLabel.left;
    }
    if (m_nWhitePos >= 0) {
        const int c = MarkerColumn(m_nWhitePos, plot.width, n);
        layout.white = true;
        layout.whiteTick = {plot.left + c + 1, plot.baseline - 1};
        const int width = LabelWidth(widths.white, m_strWhite);
        int left = LabelLeft(c, m_strWhite, plot.left);
        if (left + width > m_rcClient.right) {
            left = m_rcClient.right - width;
        }
        layout.whiteLabel.left = left;
        layout.whiteLabel.right = left + width;
        // Shown only when it begins after the centre label ends.
        layout.whiteLabel.shown = !layout.centre || layout.whiteLabel.left >= layout.centreLabel.right;
    }
    return layout;
}

}  // namespace imaging
