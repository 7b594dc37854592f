#include "app/controller/CurrentDirectoryEntry.h"

#include "app/platform/Paths.h"
#include "app/platform/TextConvert.h"
#include "app/storage/ObjectNames.h"

#include <chrono>

const CPictureProperties& CCurrentDirectoryEntry::Properties() const
{
    return m_properties ? *m_properties : CPictureProperties::Defaults();
}

CCurrentDirectoryEntry CCurrentDirectoryEntry::Placeholder()
{
    CCurrentDirectoryEntry entry;
    entry.m_bPlaceholder = 1;
    const std::u16string splash = platform::FromUtf8(platform::Paths::SplashPath());
    std::u16string folder;
    std::u16string name;
    if (storage::SplitFullObjName(splash, folder, name)) {
        entry.m_strFolder = folder + u"/";
        entry.m_strName = name;
    } else {
        entry.m_strName = splash;
    }
    return entry;
}

bool CCurrentDirectoryEntry::IsPlaceholder() const
{
    static const std::u16string splash = platform::FromUtf8(platform::Paths::SplashPath());
    return m_bPlaceholder != 0 || FullPath() == splash;
}

bool CCurrentDirectoryEntry::SetDateFromStamp(std::u16string_view stamp)
{
    storage::TimeFields fields{};
    // Positions are not fixed: the camera may leave out leading zeros, so the stamp is read field
    // by field and a short or impossible one is refused instead of read past its end.
    if (storage::ParseTimeStamp(stamp, fields) != 6 || !storage::TimeFieldsAreValid(fields)) {
        return false;
    }
    m_dtDate = ToOleDate(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
    return true;
}

double CCurrentDirectoryEntry::ToOleDate(int year, int month, int day, int hour, int minute, int second)
{
    using namespace std::chrono;
    const sys_days date = year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
    const sys_days epoch = year_month_day{std::chrono::year{1899}, December, std::chrono::day{30}};
    const double days = static_cast<double>((date - epoch).count());
    return days + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}
