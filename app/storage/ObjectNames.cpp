#include "app/storage/ObjectNames.h"

#include <cstdio>
#include <ctime>

#include "app/storage/WideText.h"

namespace storage {

bool IsValidComponent(std::u16string_view name)
{
    if (name.empty() || name == u"." || name == u"..") {
        return false;
    }
    for (char16_t ch : name) {
        if (ch < 0x20 || ch == 0x7F) {
            return false;
        }
        switch (ch) {
        case u'\\': case u'/': case u':': case u'*': case u'?':
        case u'"': case u'<': case u'>': case u'|':
            return false;
        default:
            break;
        }
    }
    return true;
}

std::vector<std::u16string> SplitNonEmpty(std::u16string_view text, char16_t separator)
{
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            parts.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::vector<std::u16string> SplitComponents(std::u16string_view fullName)
{
    return SplitNonEmpty(fullName, u'/');
}

bool IsValidFullName(std::u16string_view fullName, bool allowRootOnly)
{
    const std::vector<std::u16string> parts = SplitComponents(fullName);
    if (parts.empty() || parts.front() != kRootName) {
        return false;
    }
    if (parts.size() == 1) {
        return allowRootOnly;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        if (!IsValidComponent(parts[i])) {
            return false;
        }
    }
    return true;
}

bool SplitFullObjName(std::u16string_view fullName, std::u16string& folder, std::u16string& name)
{
    std::u16string_view text = fullName;
    if (!text.empty() && text.back() == u'/') {
        text.remove_suffix(1);
    }
    const size_t slash = text.rfind(u'/');
    if (slash == std::u16string_view::npos || slash + 1 >= text.size()) {
        return false;
    }
    folder.assign(text.substr(0, slash));
    name.assign(text.substr(slash + 1));
    return true;
}

bool ParseListingItem(std::u16string_view item, ListingItem& out)
{
    if (item.size() < 2 || item[1] != u'-') {
        return false;
    }
    out.isFolder = item[0] == u'D' || item[0] == u'd';
    const std::u16string_view description = item.substr(2);
    const size_t comma = description.find(u',');
    out.name.assign(description.substr(0, comma));
    out.hasTimestamp =
        comma != std::u16string_view::npos && description.find(u',', comma + 1) == std::u16string_view::npos;
    out.timestamp.assign(out.hasTimestamp ? description.substr(comma + 1) : std::u16string_view());
    return true;
}

namespace {

// Approximate advance widths of the screen font at its message size. Only the line breaks of long
// names depend on it, and a break a few pixels early or late does no harm.
int CharWidth(char16_t ch)
{
    switch (ch) {
    case u'i': case u'l': case u'j': case u'.': case u',': case u':': case u';':
    case u'\'': case u'!': case u'|': case u'I':
        return 3;
    case u'f': case u't': case u'r': case u'/': case u'(': case u')': case u'-': case 0x00A0:
        return 4;
    case u'm': case u'w': case u'M': case u'W':
        return 9;
    default:
        break;
    }
    if (ch >= u'A' && ch <= u'Z') {
        return 7;
    }
    return 6;
}

constexpr int kDisplayLineWidth = 150;

}  // namespace

std::u16string DisplayForm(std::u16string_view fullName)
{
    std::u16string_view text = fullName;
    if (text.substr(0, 2) == u"./") {
        text.remove_prefix(2);
    }
    if (!text.empty() && text.back() == u'/') {
        text.remove_suffix(1);
    }
    std::u16string out;
    int lineWidth = 0;
    for (char16_t ch : text) {
        const char16_t shown = ch == u' ' ? char16_t(0x00A0) : ch;
        out.push_back(shown);
        lineWidth += CharWidth(shown);
        if (shown == u'/' && lineWidth > kDisplayLineWidth) {
            out.push_back(u'\n');
            lineWidth = 0;
        }
    }
    return out;
}

std::u16string FormatTimeStamp(const TimeFields& f)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%4d:%02d:%02d:%02d:%02d:%02d", f[0], f[1], f[2], f[3], f[4],
                  f[5]);
    return FromUtf8(buffer);
}

int ParseTimeStamp(std::u16string_view stamp, TimeFields& fields)
{
    const std::string text = ToUtf8(stamp);
    fields = {0, 0, 0, 0, 0, 0};
    const int read = std::sscanf(text.c_str(), "%d:%d:%d:%d:%d:%d", &fields[0], &fields[1], &fields[2],
                                 &fields[3], &fields[4], &fields[5]);
    return read < 0 ? 0 : read;
}

bool TimeFieldsAreValid(const TimeFields& f)
{
    return f[0] >= 1601 && f[0] <= 9999 && f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= 31 &&
           f[3] >= 0 && f[3] <= 23 && f[4] >= 0 && f[4] <= 59 && f[5] >= 0 && f[5] <= 60;
}

std::u16string CurrentTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FormatTimeStamp({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                            local.tm_min, local.tm_sec});
}

}  // namespace storage
