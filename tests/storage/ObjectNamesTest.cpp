#include <gtest/gtest.h>

#include "app/storage/ObjectNames.h"

using namespace storage;

TEST(ObjectNames, ComponentsThatCouldLeaveTheCacheAreRefused)
{
    EXPECT_TRUE(IsValidComponent(u"Pic0001.mos"));
    EXPECT_TRUE(IsValidComponent(u"Folder with blanks"));
    EXPECT_TRUE(IsValidComponent(u"...x"));
    EXPECT_FALSE(IsValidComponent(u""));
    EXPECT_FALSE(IsValidComponent(u"."));
    EXPECT_FALSE(IsValidComponent(u".."));
    for (char16_t bad : std::u16string(u"\\/:*?\"<>|")) {
        EXPECT_FALSE(IsValidComponent(std::u16string(u"a") + bad + u"b")) << static_cast<int>(bad);
    }
    EXPECT_FALSE(IsValidComponent(u"a\nb"));
    EXPECT_FALSE(IsValidComponent(std::u16string(u"a\0b", 3)));
    EXPECT_FALSE(IsValidComponent(u"a\x7f"));
}

TEST(ObjectNames, SplittingDropsEmptyComponents)
{
    EXPECT_EQ(SplitComponents(u"./a//b/"), (std::vector<std::u16string>{u".", u"a", u"b"}));
    EXPECT_TRUE(SplitComponents(u"").empty());
    EXPECT_TRUE(SplitComponents(u"//").empty());
    EXPECT_EQ(SplitNonEmpty(u";D-a,1;;F-b;", u';'), (std::vector<std::u16string>{u"D-a,1", u"F-b"}));
}

TEST(ObjectNames, FullNamesMustStartAtTheRootAndHoldOnlyValidComponents)
{
    EXPECT_TRUE(IsValidFullName(u"./"));
    EXPECT_TRUE(IsValidFullName(u"."));
    EXPECT_FALSE(IsValidFullName(u"./", false));
    EXPECT_TRUE(IsValidFullName(u"./P/F/x.mos", false));
    EXPECT_FALSE(IsValidFullName(u"P/F/x.mos"));
    EXPECT_FALSE(IsValidFullName(u"./P/../../etc/passwd"));
    EXPECT_FALSE(IsValidFullName(u"./P/./x"));
}

TEST(ObjectNames, SplitFullObjNameCutsAtTheLastSlash)
{
    std::u16string folder;
    std::u16string name;
    ASSERT_TRUE(SplitFullObjName(u"./Part1/Folder/Pic0001.mos", folder, name));
    EXPECT_EQ(folder, u"./Part1/Folder");
    EXPECT_EQ(name, u"Pic0001.mos");
    ASSERT_TRUE(SplitFullObjName(u"./Part1/Folder/", folder, name));
    EXPECT_EQ(folder, u"./Part1");
    EXPECT_EQ(name, u"Folder");
    EXPECT_FALSE(SplitFullObjName(u"Pic.mos", folder, name));
    EXPECT_FALSE(SplitFullObjName(u"./a//", folder, name));
}

TEST(ObjectNames, DisplayFormDropsRootAndTrailingSlashAndKeepsBlanksTogether)
{
    EXPECT_EQ(DisplayForm(u"./Part1/My Folder/"), u"Part1/My\u00a0Folder");
    const std::u16string longName =
        DisplayForm(u"./Partition Number One/A Rather Long Folder Name/Another Long Folder Name/Pic0001.mos");
    EXPECT_NE(longName.find(u'\n'), std::u16string::npos);
    EXPECT_EQ(longName[longName.find(u'\n') - 1], u'/');
}

TEST(ObjectNames, TimeStampsReadWithOrWithoutLeadingZeros)
{
    TimeFields f{};
    EXPECT_EQ(ParseTimeStamp(u"2005:3:7:14:5:9", f), 6);
    EXPECT_EQ(f, (TimeFields{2005, 3, 7, 14, 5, 9}));
    EXPECT_EQ(FormatTimeStamp(f), u"2005:03:07:14:05:09");
    EXPECT_EQ(ParseTimeStamp(u"2005:03:07:14:05", f), 5);
    EXPECT_EQ(ParseTimeStamp(u"garbage", f), 0);
    EXPECT_FALSE(TimeFieldsAreValid({2005, 13, 7, 14, 5, 9}));
}

TEST(ObjectNames, ListingItemsGiveTypeNameAndAStampOnlyAfterASingleComma)
{
    ListingItem item;
    ASSERT_TRUE(ParseListingItem(u"d-Folder1,2005:03:07:14:05:09", item));
    EXPECT_TRUE(item.isFolder) << "the folder letter in either case";
    EXPECT_EQ(item.name, u"Folder1");
    EXPECT_TRUE(item.hasTimestamp);
    EXPECT_EQ(item.timestamp, u"2005:03:07:14:05:09");
    ASSERT_TRUE(ParseListingItem(u"x-Pic.mos", item));
    EXPECT_FALSE(item.isFolder) << "any other letter is a file";
    EXPECT_FALSE(item.hasTimestamp);
    ASSERT_TRUE(ParseListingItem(u"F-Pic.mos,a,b", item));
    EXPECT_EQ(item.name, u"Pic.mos");
    EXPECT_FALSE(item.hasTimestamp) << "three fields carry no stamp";
    EXPECT_TRUE(item.timestamp.empty());
    EXPECT_FALSE(ParseListingItem(u"Dx", item));
    EXPECT_FALSE(ParseListingItem(u"D", item));
}
