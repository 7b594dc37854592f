#include "app/controller/DirectoryComparator.h"

namespace {

char16_t FoldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z') {
        return static_cast<char16_t>(c - u'A' + u'a');
    }
    // Latin-1 capitals (except the multiplication sign) fold like ASCII ones.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return static_cast<char16_t>(c + 0x20);
    }
    return c;
}

}  // namespace

CDirectoryComparator::CDirectoryComparator(int32_t criterion, int32_t previous)
    : m_first(KeyFor(criterion)), m_second(criterion == previous ? nullptr : KeyFor(previous))
{
    if (m_second == m_first) {
        m_second = nullptr;
    }
}

CDirectoryComparator::KeyCompare CDirectoryComparator::KeyFor(int32_t criterion)
{
    switch (criterion) {
    case SORT_BY_DATE:
        return &CompareByDate;
    case SORT_BY_MARK:
        return &CompareByMark;
    default:
        return &CompareByName;
    }
}

bool CDirectoryComparator::operator()(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b) const
{
    const int first = m_first(a, b);
    if (first != 0 || m_second == nullptr) {
        return first < 0;
    }
    return m_second(a, b) < 0;
}

int CDirectoryComparator::CompareNames(std::u16string_view a, std::u16string_view b)
{
    if (!a.empty() && a.front() == u'~') {
        a.remove_prefix(1);
    }
    if (!b.empty() && b.front() == u'~') {
        b.remove_prefix(1);
    }
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t ca = FoldCase(a[i]);
        const char16_t cb = FoldCase(b[i]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

int CDirectoryComparator::CompareByName(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b)
{
    return CompareNames(a.m_strName, b.m_strName);
}

int CDirectoryComparator::CompareByDate(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b)
{
    if (a.m_dtDate == b.m_dtDate) {
        return 0;
    }
    return a.m_dtDate < b.m_dtDate ? -1 : 1;
}

int CDirectoryComparator::CompareByMark(const CCurrentDirectoryEntry& a, const CCurrentDirectoryEntry& b)
{
    const int32_t ma = a.Mark();
    const int32_t mb = b.Mark();
    if (ma == mb) {
        return 0;
    }
    return ma < mb ? -1 : 1;
}
