// The current directory without a camera: filled from the local picture cache, sorted, browsed.
#include "app/controller/Configuration.h"
#include "app/controller/DirectoryComparator.h"
#include "app/platform/Paths.h"
#include "app/platform/TextConvert.h"
#include "app/storage/DiskCacheOp.h"
#include "tests/controller/SimControllerFixture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using controllertest::ControllerUnderTest;
using controllertest::Recorder;

namespace {

class OfflineDirectory : public ::testing::Test {
protected:
    void SetUp() override { recorder.Attach(app); }

    // A cached preview with its camera time stamp as the file time.
    void Cache(const std::string& folder, const std::string& name, const char16_t* stamp)
    {
        const fs::path dir = platform::Paths::CapturesFolder() / folder;
        fs::create_directories(dir);
        std::ofstream(dir / name) << "jpeg";
        ASSERT_TRUE(storage::DiskCacheOp::StampFile(dir / name, stamp));
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const CCurrentDirectoryEntry& entry : app.CurrentDirectory()) {
            names.push_back(platform::ToUtf8(entry.m_strName));
        }
        return names;
    }

    testsupport::TempHome home;
    testsupport::LogCapture log;
    ControllerUnderTest app;
    Recorder recorder;
};

TEST_F(OfflineDirectory, FillsFromTheLocalCacheSortedByNameWithTheLastCurrent)
{
    CConfiguration().WriteWorkingPath(u"./Part1/Folder/");
    Cache("Part1/Folder", "b.jpg", u"2005:03:07:14:05:09");
    Cache("Part1/Folder", "A.jpg", u"2005:03:07:14:05:10");
    Cache("Part1/Folder", "~c.jpg", u"2005:03:07:14:05:08");
    fs::create_directories(platform::Paths::CapturesFolder() / "Part1/Folder/Sub");
    ASSERT_TRUE(app.Initialize());

    EXPECT_EQ(Names(), (std::vector<std::string>{"A.jpg", "b.jpg", "~c.jpg"}));
    EXPECT_EQ(app.CurrentFolderName(), u"Folder");
    EXPECT_EQ(app.CurrentFolderPath(), u"./Part1/Folder/");
    EXPECT_EQ(app.CurrentIndex(), 2);
    ASSERT_NE(app.CurrentEntry(), nullptr);
    EXPECT_EQ(app.CurrentEntry()->m_strFolder, u"./Part1/Folder/");
    EXPECT_DOUBLE_EQ(app.CurrentDirectory()[0].m_dtDate,
                     CCurrentDirectoryEntry::ToOleDate(2005, 3, 7, 14, 5, 10));
}

TEST_F(OfflineDirectory, EmptyFolderYieldsOnePlaceholderAndGetImagesFromZeroSucceeds)
{
    CConfiguration().WriteWorkingPath(u"./Part1/Empty/");
    ASSERT_TRUE(app.Initialize());
    ASSERT_EQ(app.CurrentDirectory().GetArrLength(), 1);
    EXPECT_TRUE(app.CurrentDirectory()[0].IsPlaceholder());
    EXPECT_EQ(platform::ToUtf8(app.CurrentDirectory()[0].FullPath()), platform::Paths::SplashPath());
    EXPECT_TRUE(app.IsFolderEmpty());
    EXPECT_FALSE(app.ProcessEvent(ON_FULL_SCREEN_VIEW) && app.CurrentOperation() == 14);
    EXPECT_TRUE(app.GetImages(0, 0, false));
}

TEST_F(OfflineDirectory, AWorkingPathThatClimbsOutOfTheCacheListsNothing)
{
    std::ofstream(home.Path() / "private.jpg") << "not a preview";
    CConfiguration().WriteWorkingPath(u"./../../");
    ASSERT_TRUE(app.Initialize());
    ASSERT_EQ(app.CurrentDirectory().GetArrLength(), 1);
    EXPECT_TRUE(app.CurrentDirectory()[0].IsPlaceholder());
}

TEST_F(OfflineDirectory, GetImagesWithFirstAtTheLengthIsRefused)
{
    CConfiguration().WriteWorkingPath(u"./Part1/Folder/");
    Cache("Part1/Folder", "a.jpg", u"2005:03:07:14:05:09");
    ASSERT_TRUE(app.Initialize());
    log.Clear();
    EXPECT_FALSE(app.GetImages(1, 1, false));
    EXPECT_TRUE(log.Contains(1, "CControlApplication::GetImages Invalid parameters: iStart: 1, iEnd: 1"));
    EXPECT_FALSE(app.GetImages(0, -1, false));
    EXPECT_FALSE(app.FillCurrentDirectory(2, 1, -1, false, false));
    EXPECT_FALSE(app.FillCurrentDirectory(0, 3, 4, false, false));
}

TEST_F(OfflineDirectory, SortByDateAfterNameOrdersEqualDatesByNameAndKeepsTheCurrentPicture)
{
    CConfiguration().WriteWorkingPath(u"./P/F/");
    Cache("P/F", "d.jpg", u"2005:03:07:14:05:00");
    Cache("P/F", "c.jpg", u"2005:03:07:14:05:00");
    Cache("P/F", "a.jpg", u"2005:03:07:14:06:00");
    Cache("P/F", "b.jpg", u"2005:03:07:14:04:00");
    ASSERT_TRUE(app.Initialize());
    ASSERT_EQ(Names(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    ASSERT_EQ(app.CurrentEntry()->m_strName, u"d.jpg");

    EXPECT_TRUE(app.SortCurrentDirectory(SORT_BY_DATE, false));
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.jpg", "c.jpg", "d.jpg", "a.jpg"}));
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"d.jpg");
    EXPECT_EQ(app.CurrentIndex(), 2);
    for (int32_t i = 0; i < app.CurrentDirectory().GetArrLength(); ++i) {
        EXPECT_EQ(app.CurrentDirectory()[i].m_iPosition, i);
    }
    EXPECT_FALSE(app.SortCurrentDirectory(SORT_BY_DATE, false));
    app.ForceNextSort();
    EXPECT_TRUE(app.SortCurrentDirectory(SORT_BY_DATE, false));
}

TEST_F(OfflineDirectory, BrowsingStopsAtBothEnds)
{
    CConfiguration().WriteWorkingPath(u"./P/F/");
    Cache("P/F", "a.jpg", u"2005:03:07:14:05:00");
    Cache("P/F", "b.jpg", u"2005:03:07:14:05:00");
    ASSERT_TRUE(app.Initialize());
    ASSERT_EQ(app.CurrentIndex(), 1);
    EXPECT_TRUE(app.ProcessEvent(ON_ONE_VIEW_BROWSE_FORWARD));
    EXPECT_EQ(app.CurrentIndex(), 1);
    EXPECT_TRUE(app.ProcessEvent(ON_ONE_VIEW_BROWSE_BACK));
    EXPECT_EQ(app.CurrentIndex(), 0);
    EXPECT_TRUE(app.ProcessEvent(ON_ONE_VIEW_BROWSE_BACK));
    EXPECT_EQ(app.CurrentIndex(), 0);
    EXPECT_EQ(app.CurrentEntry()->m_strName, u"a.jpg");
}

CCurrentDirectoryEntry Entry(const char16_t* name, double date, int32_t mark)
{
    CCurrentDirectoryEntry entry;
    entry.m_strName = name;
    entry.m_dtDate = date;
    if (mark != 0) {
        CPictureProperties properties;
        properties.m_nMark = mark;
        entry.m_properties = properties;
    }
    return entry;
}

TEST(DirectoryComparator, TheFirstKeyDecidesAndThePreviousCriterionBreaksTies)
{
    const CCurrentDirectoryEntry goodOld = Entry(u"z", 1.0, MARK_GOOD);
    const CCurrentDirectoryEntry goodNew = Entry(u"a", 2.0, MARK_GOOD);
    const CCurrentDirectoryEntry unmarked = Entry(u"m", 3.0, MARK_UNMARKED);

    const CDirectoryComparator markThenDate(SORT_BY_MARK, SORT_BY_DATE);
    EXPECT_TRUE(markThenDate(unmarked, goodOld));
    EXPECT_TRUE(markThenDate(goodOld, goodNew));
    EXPECT_FALSE(markThenDate(goodNew, goodOld));

    const CDirectoryComparator markThenName(SORT_BY_MARK, SORT_BY_NAME);
    EXPECT_TRUE(markThenName(goodNew, goodOld));

    const CDirectoryComparator markOnly(SORT_BY_MARK, SORT_BY_MARK);
    EXPECT_FALSE(markOnly(goodNew, goodOld));
    EXPECT_FALSE(markOnly(goodOld, goodNew));
}

TEST(DirectoryComparator, NamesIgnoreCaseAndOneLeadingTilde)
{
    EXPECT_EQ(CDirectoryComparator::CompareNames(u"~Pic1.jpg", u"pic1.JPG"), 0);
    EXPECT_LT(CDirectoryComparator::CompareNames(u"~a", u"B"), 0);
    EXPECT_GT(CDirectoryComparator::CompareNames(u"~~a", u"b"), 0);  // only one tilde is skipped
    EXPECT_LT(CDirectoryComparator::CompareNames(u"Pic", u"pic1"), 0);
}

TEST(CurrentDirectoryEntry, StampsWithoutLeadingZerosAndShortStampsAreReadSafely)
{
    CCurrentDirectoryEntry entry;
    EXPECT_TRUE(entry.SetDateFromStamp(u"2005:3:7:4:5:9"));
    EXPECT_DOUBLE_EQ(entry.m_dtDate, CCurrentDirectoryEntry::ToOleDate(2005, 3, 7, 4, 5, 9));
    const double before = entry.m_dtDate;
    EXPECT_FALSE(entry.SetDateFromStamp(u"2005:3"));
    EXPECT_FALSE(entry.SetDateFromStamp(u"2005:13:07:14:05:09"));
    EXPECT_FALSE(entry.SetDateFromStamp(u""));
    EXPECT_DOUBLE_EQ(entry.m_dtDate, before);
    EXPECT_DOUBLE_EQ(CCurrentDirectoryEntry::ToOleDate(1899, 12, 31, 12, 0, 0), 1.5);
}

}  // namespace
