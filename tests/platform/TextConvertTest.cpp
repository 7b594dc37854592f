#include "app/platform/TextConvert.h"

#include <gtest/gtest.h>

using platform::FromUtf8;
using platform::ToUtf8;

TEST(TextConvert, Utf8RoundTripsThroughUtf16IncludingSurrogatePairs)
{
    const std::string text = "Pic\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7";  // é € camera emoji
    std::u16string wide = FromUtf8(text);
    EXPECT_EQ(wide.size(), 9u);  // the emoji takes a surrogate pair
    EXPECT_EQ(wide[3], u'\u00E9');
    EXPECT_EQ(ToUtf8(wide), text);
}

TEST(TextConvert, InvalidUtf8BytesAreTakenAsLatin1NotDropped)
{
    // 0xE9 alone is "é" in Latin-1; 0xC3 followed by ASCII is a broken sequence.
    std::u16string wide = FromUtf8(std::string("caf\xE9 \xC3x", 7));
    EXPECT_EQ(wide, u"caf\u00E9 \u00C3x");
}

TEST(TextConvert, OverlongAndSurrogateEncodingsAreNotDecoded)
{
    EXPECT_EQ(FromUtf8(std::string("\xC0\xAF", 2)), u"\u00C0\u00AF");
    EXPECT_EQ(FromUtf8(std::string("\xED\xA0\x80", 3)).size(), 3u);
}

TEST(TextConvert, UnpairedSurrogateBecomesReplacementCharacter)
{
    std::u16string wide = u"a";
    wide.push_back(static_cast<char16_t>(0xD800));
    EXPECT_EQ(ToUtf8(wide), "a\xEF\xBF\xBD");
}
