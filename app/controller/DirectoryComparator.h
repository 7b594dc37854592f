// The comparator table of the current directory: the chosen criterion is the first key and, when
// it differs from the criterion the directory was sorted by before, that one breaks ties.
#pragma once

#include "app/controller/CurrentDirectoryEntry.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

enum SortCriterion : int32_t { SORT_BY_NAME = 0, SORT_BY_DATE = 1, SORT_BY_MARK = 2 };

class CDirectoryComparator {
public:
    // criterion and previous are SortCriterion values; anything else counts as name.
    CDirectoryComparator(int32_t criterion, int32_t previous);

    // Strict weak order for std::sort.
    bool operator()(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b) const;

    // <0, 0, >0 by one key.
    static int CompareByName(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b);
    static int CompareByDate(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b);
    static int CompareByMark(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b);
    // File names ignoring case, one leading "~" skipped on either side.
    static int CompareNames(std::u16string_view a, std::u16string_view b);

private:
    using KeyCompare = int (*)(const CCurrentDirectoryEntry&, const CCurrentDirectoryEntry&);
    static KeyCompare KeyFor(int32_t criterion);

    KeyCompare m_first;
    KeyCompare m_second;  // null when the two criteria are the same
};
