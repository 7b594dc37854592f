#include "app/storage/PictureProperties.h"

#include <algorithm>
#include <climits>

#include "app/link/TagText.h"
#include "app/platform/Log.h"

namespace {

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// Decimal as the camera writes it; a value out of range saturates rather than wrapping.
int32_t DecimalField(std::u16string_view value)
{
    return static_cast<int32_t>(std::clamp<long>(DecimalValue(value), INT32_MIN, INT32_MAX));
}

}  // namespace

const char16_t* MarkName(int32_t mark)
{
    switch (mark) {
    case MARK_UNMARKED: return u"Unmarked";
    case MARK_GOOD: return u"Good";
    case MARK_NOGOOD: return u"NoGood";
    default: return u"";
    }
}

const CPictureProperties& CPictureProperties::Defaults()
{
    static const CPictureProperties s_defaults;
    return s_defaults;
}

CPictureProperties::Effect CPictureProperties::ApplyAttribute(std::u16string_view name, std::u16string_view value)
{
    ORIN_TRACE("CPictureProperties::ApplyAttribute");
    if (name == u"histogramLocation") {
        m_lHistogramLocation = DecimalField(value);
    } else if (name == u"averageLocation") {
        m_lAverageLocation = DecimalField(value);
    } else if (name == u"HwhiteLoc") {
        m_lWhiteLocation = DecimalField(value);
    } else if (name == u"HdarkLoc") {
        m_lDarkLocation = DecimalField(value);
    } else if (name == u"frame") {
        m_strFrame = value;
    } else if (name == u"Toning") {
        m_strToning = value;
    } else if (name == u"Light") {
        m_strLight = value;
    } else if (name == u"fstop") {
        m_strFstop = value;
    } else if (name == u"histogramValue") {
        m_strHistogramValue = value;
    } else if (name == u"Histogram") {
        m_strHistogram = value;
    } else if (name == u"Hwhite") {
        m_strWhiteValue = value;
    } else if (name == u"Hdark") {
        m_strDarkValue = value;
    } else if (name == u"Average") {
        m_strAverage = value;
    } else if (name == u"text") {
        m_strAnnotation = value;
    } else if (name == u"NewPicture") {
        if (value == u"Yes") {
            m_nNewPicture = NEW_PICTURE_YES;
        } else if (value == u"Process") {
            m_nNewPicture = NEW_PICTURE_PROCESS;
        } else if (value == u"No") {
            m_nNewPicture = NEW_PICTURE_NO;
        }
    } else if (name == u"Orientation") {
        if (EqualsIgnoringCase(value, u"Portrait CCW")) {
            m_nOrientation = ORIENTATION_PORTRAIT_CCW;
        } else if (EqualsIgnoringCase(value, u"Portrait CW")) {
            m_nOrientation = ORIENTATION_PORTRAIT_CW;
        } else if (EqualsIgnoringCase(value, u"Landscape")) {
            m_nOrientation = ORIENTATION_LANDSCAPE;
        }
    } else if (name == u"Marking") {
        if (value == u"Unmarked") {
            m_nMark = MARK_UNMARKED;
        } else if (value == u"Good") {
            m_nMark = MARK_GOOD;
        } else if (value == u"NoGood") {
            m_nMark = MARK_NOGOOD;
        }
    } else if (name == u"Color") {
        if (value == u"color") {
            m_nColor = COLOR_COLOR;
        } else if (value == u"BW") {
            m_nColor = COLOR_BW;
        }
    } else if (name == u"Date") {
        return value.empty() ? Effect::None : Effect::DateTime;
    } else if (EqualsIgnoringCase(name, u"zoom") || EqualsIgnoringCase(name, u"alarm_dark") ||
               EqualsIgnoringCase(name, u"alarm_white")) {
        const bool on = EqualsIgnoringCase(value, u"Yes");
        bool& flag = EqualsIgnoringCase(name, u"zoom") ? m_bZoom
                     : EqualsIgnoringCase(name, u"alarm_dark") ? m_bAlarmDark
                                                               : m_bAlarmWhite;
        flag = on;
        return on ? Effect::ProcessedView : Effect::None;
    }
    return Effect::None;
}
