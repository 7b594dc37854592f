// One picture of the current directory as the controller and the picture views see it.
//
// An entry holds names, never pointers into the storage model: a file command, a format or a
// resynchronisation destroys nodes, and an entry must outlive them harmlessly. The node is
// looked up by full name whenever the camera side is needed.
#pragma once

#include "app/storage/PictureProperties.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CCurrentDirectoryEntry {
public:
    // Capture date as an OLE date (days since 1899-12-30, time as the fraction); 0 when unknown.
    double m_dtDate = 0.0;
    // 1 for the single entry that stands for an empty folder.
    uint8_t m_bPlaceholder = 0;
    // Index of the entry after the last sort.
    int32_t m_iPosition = 0;
    // Folder path (ending in "/") and file name; together the full path.
    std::u16string m_strFolder;
    std::u16string m_strName;
    // Snapshot of the picture's properties as last read from the storage model; none until read.
    std::optional<CPictureProperties> m_properties;
    // 0 once the camera reported the picture as not displayable.
    uint8_t m_bDisplayable = 1;

    std::u16string FullPath() const { return m_strFolder + m_strName; }
    // The properties, or the record of initial values when none were read.
    const CPictureProperties& Properties() const;
    int32_t Mark() const { return Properties().m_nMark; }

    // The entry that stands for an empty folder; its full path is the splash picture path.
    static CCurrentDirectoryEntry Placeholder();
    bool IsPlaceholder() const;

    // Reads a camera time stamp ("%d:%d:%d:%d:%d:%d", leading zeros optional) into m_dtDate.
    // A stamp that is short or out of range leaves the date unchanged and returns false.
    bool SetDateFromStamp(std::u16string_view stamp);
    // year, month (1-12), day, hour, minute, second to an OLE date; fields are not checked.
    static double ToOleDate(int year, int month, int day, int hour, int minute, int second);
};
