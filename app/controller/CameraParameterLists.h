// The camera's parameter lists as a synchronisation leaves them: the choices of every capture
// parameter, the defaults, the framings, thresholds, picture dimensions and the firmware version.
#pragma once

#include "app/controller/SimpleArray.h"

#include <cstdint>
#include <string>
#include <string_view>

// A row of the colour or orientation table: the name the camera uses and four identifiers the
// views use for the entry's button, menu and command.
struct CameraEnumEntry {
    const char16_t* name;
    int32_t ids[4];
};

inline constexpr CameraEnumEntry kColorTable[] = {
    {u"color", {272, 315, 286, 32876}},
    {u"BW", {273, 314, 286, 32875}},
};
inline constexpr int kColorTableSize = 2;

inline constexpr CameraEnumEntry kOrientationTable[] = {
    {u"Portrait CCW", {276, 306, 285, 32873}},
    {u"Portrait CW", {278, 311, 282, 32872}},
    {u"Landscape", {277, 303, 284, 32871}},
    {u"Auto", {300, 298, 299, 32874}},
};
inline constexpr int kOrientationTableSize = 4;

// A framing: a name and four numbers in the order the framing view draws them.
struct FramingEntry {
    int32_t location[4] = {0, 0, 0, 0};
    std::u16string name;
    bool operator==(const FramingEntry&) const = default;
};

class CCameraParameterLists {
public:
    SimpleArray<std::u16string> m_saISO;
    SimpleArray<std::u16string> m_saImageQuality;
    SimpleArray<int32_t> m_saColor;
    int32_t m_iDefaultColor = -1;
    SimpleArray<FramingEntry> m_saFraming;
    SimpleArray<std::u16string> m_saToning;
    SimpleArray<std::u16string> m_saLight;
    SimpleArray<int32_t> m_saOrientation;
    int32_t m_iDefaultOrientation = -1;
    SimpleArray<std::u16string> m_saSharpTable;
    SimpleArray<std::u16string> m_saInputProfile;
    SimpleArray<std::u16string> m_saOutputProfile;
    SimpleArray<std::u16string> m_saCameraType;
    SimpleArray<int32_t> m_saDiskThresholds;
    SimpleArray<int32_t> m_saHistogramScale;
    int32_t m_iPictureWidth = 0;
    int32_t m_iPictureHeight = 0;
    std::u16string m_strDcbVersion = u"N/A";
    bool m_bProfilesAvailable = false;
    bool m_bCameraTypesAvailable = false;

    // Every list to length 0, the version back to "N/A", the flags cleared. Defaults and
    // dimensions stay.
    void ResetForSync();
    // What the camera left empty gets its default.
    void FillDefaults();

    // Splits at `separator` and appends each item; false when the value holds no item.
    static bool FillComBSTRArr(std::u16string_view value, SimpleArray<std::u16string>& list,
                               std::u16string_view separator = u";");
    // Splits at ";" and appends each item's decimal value (leading digits, 0 when none).
    static bool FillIntArr(std::u16string_view value, SimpleArray<int32_t>& list);
    // Splits at ";" and appends the table index of each item (names ignoring case); an unknown
    // item is logged as a warning and skipped. False only when the value holds no item.
    static bool FillEnumArr(std::u16string_view value, SimpleArray<int32_t>& list, const CameraEnumEntry* table,
                            int tableSize);
    // The index of the table entry named `value` (ignoring case), -1 when none.
    static int32_t EnumIndex(std::u16string_view value, const CameraEnumEntry* table, int tableSize);
    // Items "name,n1,n2,n3,n4" separated by ";". No item: one "No Selection" entry and true.
    bool FillFraming(std::u16string_view value);
    // "width,height": a negative number becomes 0, a missing item leaves the old value.
    void SetPictureDimensions(std::u16string_view value);
    // A non-empty value replaces "N/A"; trimmed, and "N/A" again when nothing is left.
    void SetDcbVersion(std::u16string_view value);
};
