#include "app/controller/SimpleArray.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

TEST(SimpleArray, AccessAtLengthLogsOutOfBoundsAndTouchesNothingOutside)
{
    testsupport::LogCapture log;
    SimpleArray<int> a(3, 1);
    a[0] = 1;
    a[1] = 2;
    a[2] = 3;
    a[3] = 99;   // must not write past the block (AddressSanitizer watches)
    a[-1] = 98;
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[2], 3);
    EXPECT_TRUE(log.Contains(1, "SimpleArray::operator[] Out of bounds iArrSize: 3 lIndex: 3"));
    EXPECT_TRUE(log.Contains(1, "SimpleArray::operator[] Out of bounds iArrSize: 3 lIndex: -1"));
    auto lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].file, "SimpleArray");
}

TEST(SimpleArray, GrowingKeepsElementsAndShrinkingToZeroFreesAll)
{
    SimpleArray<std::string> a(0, 10);
    for (int i = 0; i < 25; ++i) {
        a.Append("item" + std::to_string(i));
    }
    EXPECT_EQ(a.GetArrLength(), 25);
    EXPECT_EQ(a[24], "item24");
    a.SetLength(5);
    EXPECT_EQ(a.GetArrLength(), 5);
    EXPECT_EQ(a[4], "item4");
    a.SetLength(0);
    EXPECT_EQ(a.GetArrLength(), 0);
    EXPECT_EQ(a.begin(), a.end());
}

TEST(SimpleArray, RemovalMovesLaterElementsDown)
{
    SimpleArray<int> a(4, 1);
    for (int i = 0; i < 4; ++i) {
        a[i] = i * 10;
    }
    EXPECT_TRUE(a.RemoveAt(1));
    ASSERT_EQ(a.GetArrLength(), 3);
    EXPECT_EQ(a[0], 0);
    EXPECT_EQ(a[1], 20);
    EXPECT_EQ(a[2], 30);
    testsupport::LogCapture log;
    EXPECT_FALSE(a.RemoveAt(3));
    EXPECT_TRUE(log.Contains("Out of bounds"));
}

TEST(SimpleArray, CopyIsDeep)
{
    SimpleArray<std::string> a(2, 1);
    a[0] = "x";
    SimpleArray<std::string> b = a;
    b[0] = "y";
    EXPECT_EQ(a[0], "x");
}

TEST(SimpleArray, MovedFromArrayIsEmptyAndStillUsable)
{
    SimpleArray<std::string> a(0, 4);
    a.Append("one");
    a.Append("two");
    SimpleArray<std::string> b(std::move(a));
    EXPECT_EQ(b.GetArrLength(), 2);
    EXPECT_EQ(a.GetArrLength(), 0);  // NOLINT(bugprone-use-after-move): the state is the point
    EXPECT_EQ(a.begin(), a.end());
    a.Append("three");
    ASSERT_EQ(a.GetArrLength(), 1);
    EXPECT_EQ(a[0], "three");

    SimpleArray<std::string> c(0, 4);
    c.Append("x");
    c = std::move(b);
    EXPECT_EQ(c.GetArrLength(), 2);
    EXPECT_EQ(b.GetArrLength(), 0);  // NOLINT(bugprone-use-after-move)
    b.Append("again");
    EXPECT_EQ(b[0], "again");
}
