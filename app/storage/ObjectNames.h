// Full names of the camera's storage objects and the checks every name from outside passes.
//
// A full name runs from the root "." down, components joined by "/"; a folder's full name ends
// in "/", a file's does not (./Part1/Folder/ and ./Part1/Folder/Pic0001.mos). Names come from the
// camera's listings, from picture-taken messages and from the user, and each of them becomes a
// path below the local cache, so a component that could climb out of it ("..") or that the local
// file system cannot hold is refused wherever a name enters.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace storage {

// The root folder's short name and full name.
inline constexpr std::u16string_view kRootName = u".";
inline constexpr std::u16string_view kRootFullName = u"./";

// A short name fit for the tree and the local cache: not empty, not "." or "..", none of
// \ / : * ? " < > | and no control characters.
bool IsValidComponent(std::u16string_view name);

// Splits at each separator and drops the empty pieces (";a;;b;" at ";" gives "a", "b").
std::vector<std::u16string> SplitNonEmpty(std::u16string_view text, char16_t separator);

// Splits at "/" and drops empty components ("./a//b/" gives ".", "a", "b").
std::vector<std::u16string> SplitComponents(std::u16string_view fullName);

// A full name whose first component is the root and whose other components are all valid.
// With allowRootOnly false the name must name something below the root.
bool IsValidFullName(std::u16string_view fullName, bool allowRootOnly = true);

// Splits at the last "/" (a single trailing "/" is ignored first): folder is everything before it,
// name everything after it. False when there is no "/" or nothing follows it.
bool SplitFullObjName(std::u16string_view fullName, std::u16string& folder, std::u16string& name);

// The text shown to the user for a full name: no leading "./" or trailing "/", blanks as no-break
// spaces, and a line feed after a "/" wherever the line would grow wider than 150 pixels.
std::u16string DisplayForm(std::u16string_view fullName);

// One item of the camera's "dir" listing, "D-Folder,stamp" or "F-Pic.mos,stamp". The letter D in
// either case marks a folder, any other letter a file; the description after "-" is the name,
// and when it holds exactly one "," the text after it is the time stamp. The tree and the local
// cache both read listings through this, so they never disagree about an item.
struct ListingItem {
    bool isFolder = false;
    std::u16string name;
    bool hasTimestamp = false;
    std::u16string timestamp;
};
// False for an item shorter than two characters or without "-" in second place. The name is not
// checked here (see IsValidComponent).
bool ParseListingItem(std::u16string_view item, ListingItem& out);

// Camera time stamps: "%4d:%02d:%02d:%02d:%02d:%02d" written, "%d:%d:%d:%d:%d:%d" read.
using TimeFields = std::array<int, 6>;  // year, month, day, hour, minute, second
std::u16string FormatTimeStamp(const TimeFields& fields);
// Number of fields read (6 when the whole stamp was read), like sscanf.
int ParseTimeStamp(std::u16string_view stamp, TimeFields& fields);
// Fields that make a real calendar time (month 1-12, day 1-31, hour < 24, ...).
bool TimeFieldsAreValid(const TimeFields& fields);
// The handheld's current local time as a camera time stamp.
std::u16string CurrentTimeStamp();

}  // namespace storage
