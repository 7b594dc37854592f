// Message text: what goes on the wire byte for byte, and how received text is cut and parsed.
#include "app/link/ProtocolCommand.h"
#include "app/link/ProtocolLayer.h"
#include "app/link/TagText.h"
#include "app/link/XMLParser.h"
#include "app/platform/TextConvert.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

std::string Wire(std::u16string_view name, const AttributeList* attributes, size_t count)
{
    return platform::ToUtf8(BuildCommandText(name, attributes, count));
}

TEST(CommandText, SyncRequestIsSixteenBytes)
{
    const std::string text = Wire(u"RequestSync", nullptr, 0);
    EXPECT_EQ(text, "^<RequestSync />");
    EXPECT_EQ(text.size(), 16u);
}

TEST(CommandText, PictureRequestCarriesQuotedValuesEachFollowedByABlank)
{
    const AttributeList attributes = {{u"file_name", u"./Part1/Folder/Pic0001.mos"}, {u"PacketSize", u"1536"}};
    EXPECT_EQ(Wire(u"GetImage", &attributes, 2),
              "^<GetImage file_name=\"./Part1/Folder/Pic0001.mos\" PacketSize=\"1536\" />");
}

TEST(CommandText, PairWithoutValueIsABareWord)
{
    const AttributeList attributes = {{u"FileCommand", u"dir"}, AttributePair(u"verbose")};
    EXPECT_EQ(Wire(u"FileCommand", &attributes, 2), "^<FileCommand FileCommand=\"dir\" verbose />");
}

TEST(CommandText, OnlyTheFirstCountPairsAreSent)
{
    const AttributeList attributes = {{u"FileCommand", u"delete"}, {u"Subject", u"./P/F/a.mos"},
                                      {u"Retransmission", u"TRUE"}};
    EXPECT_EQ(Wire(u"FileCommand", &attributes, 2), "^<FileCommand FileCommand=\"delete\" Subject=\"./P/F/a.mos\" />");
}

TEST(CommandText, WideNamesGoOutAsUtf8)
{
    const AttributeList attributes = {{u"file_name", u"./P/F/\u00e9t\u00e9.mos"}};
    EXPECT_EQ(Wire(u"GetImage", &attributes, 1), "^<GetImage file_name=\"./P/F/\xc3\xa9t\xc3\xa9.mos\" />");
}

TEST(ExtractTag, PlainMessage)
{
    EXPECT_EQ(ExtractTag("^<Sync />").value_or("-"), "<Sync />");
}

TEST(ExtractTag, TwoCaretsOrStrayBytesBeforeTheCaretReadLikeThePlainMessage)
{
    EXPECT_EQ(ExtractTag("^^<Ack a=\"1\" />").value_or("-"), "<Ack a=\"1\" />");
    EXPECT_EQ(ExtractTag("x\x01y^<Ack />").value_or("-"), "<Ack />");
}

TEST(ExtractTag, ElementThatIsNotSelfClosingIsRejected)
{
    EXPECT_FALSE(ExtractTag("^<Ack>").has_value());
    EXPECT_FALSE(ExtractTag("^<Ack a=\"1\">").has_value());
}

TEST(ExtractTag, SecondOpeningBracketIsRejected)
{
    EXPECT_FALSE(ExtractTag("^<Ack <b />").has_value());
}

TEST(ExtractTag, TooShortOrWithoutBracketIsRejected)
{
    EXPECT_FALSE(ExtractTag("").has_value());
    EXPECT_FALSE(ExtractTag("^").has_value());
    EXPECT_FALSE(ExtractTag("^Ack />").has_value());
}

class ParseTest : public ::testing::Test {
protected:
    testsupport::TempHome m_home;
    testsupport::LogCapture m_log;
    CProtocolLayer m_layer{nullptr};
};

TEST_F(ParseTest, BareSyncIsIdentifierElevenWithoutAttributes)
{
    ProtocolCommand command;
    ASSERT_TRUE(m_layer.ParseCommand("^<Sync />", command));
    EXPECT_EQ(command.commandID, SYNC_REPLY);
    EXPECT_EQ(command.attributeCount(), 0u);
}

TEST_F(ParseTest, UnknownNameIsIdentifierZeroWithItsAttribute)
{
    ProtocolCommand command;
    ASSERT_TRUE(m_layer.ParseCommand("^<Foo bar=\"1\" />", command));
    EXPECT_EQ(command.commandID, COMMAND_NONE);
    ASSERT_EQ(command.attributeCount(), 1u);
    EXPECT_EQ(command.attributes[0].name, u"bar");
    EXPECT_EQ(command.attributes[0].value.value_or(u"-"), u"1");
}

TEST_F(ParseTest, NakAndSetPictureParamsAreNotInTheTable)
{
    ProtocolCommand command;
    ASSERT_TRUE(m_layer.ParseCommand("^<Nak />", command));
    EXPECT_EQ(command.commandID, COMMAND_NONE);
    ASSERT_TRUE(m_layer.ParseCommand("^<SetPictureParams />", command));
    EXPECT_EQ(command.commandID, COMMAND_NONE);
}

TEST_F(ParseTest, AttributesKeepDocumentOrderAndDecodeReferencesAndEitherQuote)
{
    ProtocolCommand command;
    ASSERT_TRUE(m_layer.ParseCommand("^<Sync z=\"1\" a='two' m=\"&amp;&#65;\" />", command));
    ASSERT_EQ(command.attributeCount(), 3u);
    EXPECT_EQ(command.attributes[0].name, u"z");
    EXPECT_EQ(command.attributes[1].name, u"a");
    EXPECT_EQ(*command.attributes[1].value, u"two");
    EXPECT_EQ(*command.attributes[2].value, u"&A");
}

TEST_F(ParseTest, Latin1BytesFromTheCameraAreKeptNotDropped)
{
    ProtocolCommand command;
    ASSERT_TRUE(m_layer.ParseCommand("^<PictureTaken file_name=\"./P/F/\xe9t\xe9.mos\" />", command));
    EXPECT_EQ(command.commandID, PICTURE_TAKEN);
    EXPECT_EQ(*command.FindAttribute(u"file_name"), u"./P/F/\u00e9t\u00e9.mos");
}

TEST_F(ParseTest, Utf8FromTheCameraIsDecoded)
{
    ProtocolCommand command;
    ASSERT_TRUE(m_layer.ParseCommand("^<Ack name=\"\xc3\xa9\" />", command));
    EXPECT_EQ(*command.FindAttribute(u"name"), u"\u00e9");
}

TEST_F(ParseTest, RejectedTextsAreLoggedWithTheirReason)
{
    ProtocolCommand command;
    EXPECT_FALSE(m_layer.ParseCommand("", command));
    EXPECT_TRUE(m_log.Contains("invalid input stream"));
    EXPECT_FALSE(m_layer.ParseCommand("^<Ack <x />", command));
    EXPECT_TRUE(m_log.Contains("Message doesn't contain an XML tag"));
    EXPECT_FALSE(m_layer.ParseCommand("^<Ack a=1 />", command));
    EXPECT_TRUE(m_log.Contains("Failed to parse an XML tag"));
}

TEST_F(ParseTest, ErrorAnswerCodeIsHexadecimalAndOnlyOneToFiveHaveTexts)
{
    ProtocolCommand command;
    std::u16string text;
    ASSERT_TRUE(m_layer.ParseCommand("^<Error error_code=\"a\" />", command));
    EXPECT_TRUE(CProtocolLayer::OnError(command, text));
    EXPECT_EQ(text, u"Unknown error");
    ASSERT_TRUE(m_layer.ParseCommand("^<Error error_code=\"5\" />", command));
    EXPECT_TRUE(CProtocolLayer::OnError(command, text));
    EXPECT_EQ(text, u"Bad file name");
}

TEST_F(ParseTest, OnErrorRefusesAnythingButAnErrorAnswer)
{
    ProtocolCommand command;
    command.commandID = ACK_REPLY;
    std::u16string text = u"unchanged";
    EXPECT_FALSE(CProtocolLayer::OnError(command, text));
    EXPECT_EQ(text, u"unchanged");
    EXPECT_TRUE(m_log.Contains("CProtocolLayer::OnError() ERROR_REPLY != pCommand->commandID (13)"));
}

TEST(ErrorCodeToText, KnownAndSharedCodes)
{
    std::u16string a;
    std::u16string b;
    ErrorCodeToText(u"8178", a);
    ErrorCodeToText(u"8179", b);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.substr(0, 21), u"You have exceeded the");
    ErrorCodeToText(u"6", a);
    EXPECT_EQ(a, u"File or directory not found.");
    ErrorCodeToText(u"277", a);
    EXPECT_EQ(a, u"Device(FW disk) init error.");
}

TEST(ErrorCodeToText, PinRefusalNegativeAndUnlistedCodesAreUnknown)
{
    std::u16string text;
    ErrorCodeToText(u"8184", text);
    EXPECT_EQ(text, u"Unknown error.");
    ErrorCodeToText(u"-6", text);
    EXPECT_EQ(text, u"Unknown error.");
    ErrorCodeToText(u"junk", text);
    EXPECT_EQ(text, u"Unknown error.");
}

TEST(NumberText, DecimalTooLongForALongSaturatesInsteadOfOverflowing)
{
    EXPECT_EQ(DecimalValue(u"99999999999999999999"), LONG_MAX);
    EXPECT_EQ(DecimalValue(u"-99999999999999999999"), -LONG_MAX);
    EXPECT_EQ(DecimalValue(u"9223372036854775807"), LONG_MAX);
    EXPECT_EQ(DecimalValue(u"  -42x"), -42);
}

TEST(NumberText, CountsAreHeldTo32BitsAtBothEnds)
{
    EXPECT_EQ(DecimalValue32(u"2147483648"), INT32_MAX);
    EXPECT_EQ(DecimalValue32(u"-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(DecimalValue32(u" 812"), 812);
    EXPECT_EQ(DecimalValue32(u"-1"), -1);
}

TEST(NumberText, HexTooLongForALongSaturatesInsteadOfWrapping)
{
    // Wrapping would read this as 0 ("Unknown error") or as any small code.
    EXPECT_EQ(HexValue(u"10000000000000000"), ULONG_MAX);
    EXPECT_EQ(HexValue(u"100000000000000001FF3"), ULONG_MAX);
    EXPECT_EQ(HexValue(u"1ff3"), 0x1FF3ul);
    EXPECT_EQ(HexValue(u"0x1F"), 0x1Ful);
}

TEST(CommandTable, NamesMatchCaseSensitively)
{
    EXPECT_EQ(CommandIdFromName(u"ReSyncResponse"), RESYNC_RESPONSE);
    EXPECT_EQ(CommandIdFromName(u"PictureTaken"), PICTURE_TAKEN);
    EXPECT_EQ(CommandIdFromName(u"Error"), ERROR_REPLY);
    EXPECT_EQ(CommandIdFromName(u"ack"), COMMAND_NONE);
    EXPECT_EQ(CommandIdFromName(u"none"), COMMAND_NONE);
}

TEST(ProtocolCommandRecord, CopyIsDeepAndSelfCopyChangesNothing)
{
    ProtocolCommand source;
    source.commandID = ACK_REPLY;
    source.attributes = {{u"a", u"1"}, AttributePair(u"b")};
    source.attachment = {1, 2, 3};
    ProtocolCommand target;
    target.attributes = {{u"old", u"x"}};
    target.CopyFrom(source);
    source.attributes[0].value = u"changed";
    source.attachment[0] = 9;
    EXPECT_EQ(target.commandID, ACK_REPLY);
    EXPECT_EQ(target.attributeCount(), 2u);
    EXPECT_EQ(*target.attributes[0].value, u"1");
    EXPECT_FALSE(target.attributes[1].value.has_value());
    EXPECT_EQ(target.attachment, (std::vector<uint8_t>{1, 2, 3}));
    target.CopyFrom(target);
    EXPECT_EQ(target.attachmentSize(), 3u);
    target.Release();
    EXPECT_EQ(target.commandID, COMMAND_NONE);
    EXPECT_EQ(target.attributeCount(), 0u);
    EXPECT_FALSE(target.HasAttachment());
}

}  // namespace
