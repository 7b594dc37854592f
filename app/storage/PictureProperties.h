// The processing settings and measurements the camera reports for one picture.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum NewPictureState : int32_t { NEW_PICTURE_YES = 0, NEW_PICTURE_PROCESS = 1, NEW_PICTURE_NO = 2 };
enum PictureOrientation : int32_t { ORIENTATION_PORTRAIT_CCW = 0, ORIENTATION_PORTRAIT_CW = 1, ORIENTATION_LANDSCAPE = 2 };
enum PictureMark : int32_t { MARK_UNMARKED = 0, MARK_GOOD = 1, MARK_NOGOOD = 2 };
enum PictureColor : int32_t { COLOR_COLOR = 0, COLOR_BW = 1 };

// "Unmarked", "Good", "NoGood"; an empty text for any other value.
const char16_t* MarkName(int32_t mark);

class CPictureProperties {
public:
    // What applying one answer attribute asks of the file node that owns the record.
    enum class Effect { None, DateTime, ProcessedView };

    CPictureProperties() = default;

    // Applies one attribute of a GetPictureParams answer. Names compare case-sensitively except
    // "zoom", "alarm_dark" and "alarm_white"; enumerated values compare case-sensitively except
    // those of "Orientation" and the three flags.
    Effect ApplyAttribute(std::u16string_view name, std::u16string_view value);

    // The record of the initial values, read for a file that has none.
    static const CPictureProperties& Defaults();

    int32_t m_lHistogramLocation = -1;
    int32_t m_lAverageLocation = -1;
    int32_t m_lWhiteLocation = -1;
    int32_t m_lDarkLocation = -1;
    std::u16string m_strFrame;
    std::u16string m_strToning;
    std::u16string m_strLight;
    std::u16string m_strFstop;
    std::u16string m_strHistogramValue;
    std::u16string m_strHistogram;
    std::u16string m_strWhiteValue;
    std::u16string m_strDarkValue;
    std::u16string m_strAverage;
    std::u16string m_strAnnotation;
    int32_t m_nNewPicture = NEW_PICTURE_NO;
    int32_t m_nOrientation = ORIENTATION_LANDSCAPE;
    int32_t m_nMark = MARK_UNMARKED;
    int32_t m_nColor = COLOR_COLOR;
    bool m_bLoaded = false;
    bool m_bAlarmWhite = false;
    bool m_bAlarmDark = false;
    bool m_bZoom = false;
};
