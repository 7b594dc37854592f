#include "app/controller/CameraParameterLists.h"
#include "app/controller/TextSplit.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::u16string> Items(const SimpleArray<std::u16string>& list)
{
    return std::vector<std::u16string>(list.begin(), list.end());
}

std::vector<int32_t> Numbers(const SimpleArray<int32_t>& list) { return std::vector<int32_t>(list.begin(), list.end()); }

TEST(SplitItems, RunsOfSeparatorsCountAsOneAndEmptyItemsDoNotExist)
{
    EXPECT_EQ(SplitItems(u";;a;;b;", u";"), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_TRUE(SplitItems(u";;;", u";").empty());
    EXPECT_TRUE(SplitItems(u"", u";").empty());
    EXPECT_EQ(SplitItems(u"a,b;c", u",;"), (std::vector<std::u16string>{u"a", u"b", u"c"}));
}

TEST(FillComBSTRArr, SeparatorOnlyValueHoldsNoItemAndFails)
{
    SimpleArray<std::u16string> list;
    EXPECT_FALSE(CCameraParameterLists::FillComBSTRArr(u";;", list));
    EXPECT_EQ(list.GetArrLength(), 0);
    EXPECT_TRUE(CCameraParameterLists::FillComBSTRArr(u"100;200", list));
    EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"100", u"200"}));
}

TEST(FillIntArr, ReadsLeadingDigitsAndZeroForNone)
{
    SimpleArray<int32_t> list;
    EXPECT_TRUE(CCameraParameterLists::FillIntArr(u"100;50x;abc;-7;99999999999", list));
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{100, 50, 0, -7, 2147483647}));
}

TEST(FillEnumArr, UnknownEntryIsWarnedAboutAndSkipped)
{
    testsupport::LogCapture log;
    SimpleArray<int32_t> list;
    EXPECT_TRUE(CCameraParameterLists::FillEnumArr(u"COLOR;Sepia", list, kColorTable, kColorTableSize));
    EXPECT_EQ(Numbers(list), (std::vector<int32_t>{0}));
    EXPECT_TRUE(log.Contains(2, "Unknown entry founded: Sepia"));
}

TEST(FillEnumArr, FailsOnlyWhenTheValueHoldsNoItem)
{
    SimpleArray<int32_t> list;
    EXPECT_TRUE(CCameraParameterLists::FillEnumArr(u"Sepia", list, kColorTable, kColorTableSize));
    EXPECT_EQ(list.GetArrLength(), 0);
    EXPECT_FALSE(CCameraParameterLists::FillEnumArr(u";", list, kColorTable, kColorTableSize));
}

TEST(FillFraming, KeepsFiveFieldItemsAndFailsOnOthers)
{
    testsupport::LogCapture log;
    CCameraParameterLists lists;
    EXPECT_FALSE(lists.FillFraming(u"6x7,260,0,5180,4080;Bad,1,2"));
    ASSERT_EQ(lists.m_saFraming.GetArrLength(), 1);
    EXPECT_EQ(lists.m_saFraming[0].name, u"6x7");
    EXPECT_EQ(lists.m_saFraming[0].location[0], 260);
    EXPECT_EQ(lists.m_saFraming[0].location[3], 4080);
    EXPECT_TRUE(log.Contains(1, "CControlApplication::FillFraming  Incorrect Framing: Bad,1,2"));
}

TEST(FillFraming, EmptyValueGivesNoSelectionAndSucceeds)
{
    testsupport::LogCapture log;
    CCameraParameterLists lists;
    EXPECT_TRUE(lists.FillFraming(u";"));
    ASSERT_EQ(lists.m_saFraming.GetArrLength(), 1);
    EXPECT_EQ(lists.m_saFraming[0].name, u"No Selection");
    EXPECT_TRUE(log.Contains(1, "No Framing parameter received"));
}

TEST(PictureDimensions, NegativeBecomesZeroAndMissingItemKeepsOldValue)
{
    CCameraParameterLists lists;
    lists.SetPictureDimensions(u"4000,-3");
    EXPECT_EQ(lists.m_iPictureWidth, 4000);
    EXPECT_EQ(lists.m_iPictureHeight, 0);
    lists.SetPictureDimensions(u"5000");
    EXPECT_EQ(lists.m_iPictureWidth, 5000);
    EXPECT_EQ(lists.m_iPictureHeight, 0);
}

TEST(DcbVersion, TrimmedAndNotAvailableWhenBlank)
{
    CCameraParameterLists lists;
    lists.SetDcbVersion(u"  2.4.1 ");
    EXPECT_EQ(lists.m_strDcbVersion, u"2.4.1");
    lists.SetDcbVersion(u"   ");
    EXPECT_EQ(lists.m_strDcbVersion, u"N/A");
}

TEST(Defaults, EmptyListsGetTheirDefaults)
{
    CCameraParameterLists lists;
    lists.FillDefaults();
    EXPECT_EQ(Items(lists.m_saISO), (std::vector<std::u16string>{u"Default"}));
    EXPECT_EQ(Numbers(lists.m_saColor), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(lists.m_iDefaultColor, 0);
    EXPECT_EQ(Numbers(lists.m_saOrientation), (std::vector<int32_t>{1, 2, 0}));
    EXPECT_EQ(lists.m_iDefaultOrientation, 1);
    EXPECT_EQ(Numbers(lists.m_saDiskThresholds), (std::vector<int32_t>{-1}));
    EXPECT_EQ(Numbers(lists.m_saHistogramScale), (std::vector<int32_t>{-1, -1}));
    ASSERT_EQ(lists.m_saFraming.GetArrLength(), 1);
    EXPECT_EQ(lists.m_saFraming[0].name, u"No Selection");
}

}  // namespace
