// Text, hex-dump and time helpers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "chunkmodel/WAVHelpers.h"
#include "platform/DebugTrace.h"
#include "platform/Text.h"

using namespace riffo;

namespace {
std::string U8(const std::u16string& s) { return Utf16ToUtf8(s); }
}  // namespace

TEST(FourCC, BytesInFileOrderZeroAsBlank) {
  EXPECT_EQ(U8(FourCCToText(0x20746D66)), "fmt ");
  EXPECT_EQ(U8(FourCCToText(0x00746164)), "dat ");
  EXPECT_EQ(U8(FourCCToText(0)), "    ");
  EXPECT_EQ(FourCCToText(0x41414101)[0], u'\x01');    // control characters are not filtered
  EXPECT_EQ(FourCCToText(0x414141E9)[0], u'\u00E9');  // each byte as Windows-1252
}

TEST(CharArray, UpToTheFirstZeroWithinBounds) {
  const uint8_t version[] = {'0', '1', '0', '1'};
  EXPECT_EQ(U8(CharArrayToString(version, 4)), "0101");
  const uint8_t empty[] = {0, 'x'};
  EXPECT_EQ(U8(CharArrayToString(empty, 2)), "");
  const uint8_t control[] = {'a', '\t', 'b', 0};
  EXPECT_EQ(U8(CharArrayToString(control, 4)), "a\tb");

  TraceCapture trace;
  std::vector<uint8_t> big(2048, 'x');
  EXPECT_EQ(CharArrayToString(big.data(), 2048), u"");
  EXPECT_EQ(CharArrayToString(big.data(), 2047).size(), 2047u);
  EXPECT_EQ(CharArrayToString(big.data(), 0), u"");
  EXPECT_EQ(CharArrayToString(nullptr, 4), u"");
  EXPECT_EQ(trace.Lines().size(), 3u);
  EXPECT_TRUE(trace.Contains(u"dgn: Error in CharArrayToString - invalid arguments."));
}

TEST(TextHelpers, PadRightByteToHexExtractLine) {
  EXPECT_EQ(PadRight(u"ab", 5), u"ab   ");
  EXPECT_EQ(PadRight(u"abcdef", 3), u"abcdef");
  EXPECT_EQ(ByteToHex(0x0A), u"0A");
  EXPECT_EQ(ByteToHex(0xFF), u"FF");

  std::u16string text = u"one\r\ntwo\rthree\nfour";
  EXPECT_EQ(ExtractLine(text), u"one");
  EXPECT_EQ(ExtractLine(text), u"two\rthree\nfour");  // lone CR and LF are ordinary
  EXPECT_EQ(text, u"");
}

TEST(HexDump, LinesOfSixteenWithAlignedCharacterColumn) {
  std::vector<uint8_t> bytes(17);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x41 + i);
  bytes[1] = 0x00;
  bytes[2] = 0xAD;
  bytes[3] = 0xE9;
  std::vector<std::u16string> lines;
  ASSERT_TRUE(MemToStrLines2(bytes.data(), 17, &lines));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 66u);
  EXPECT_EQ(U8(lines[0]),
            "41 00 AD E9 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50   A..\u00E9EFGHIJKLMNOP");
  EXPECT_EQ(U8(lines[1]), "51 " + std::string(47, ' ') + "Q");
  EXPECT_FALSE(MemToStrLines2(bytes.data(), 0, &lines));
  EXPECT_FALSE(MemToStrLines2(nullptr, 4, &lines));

  TDisplayNode tree;
  TDisplayNode* field = tree.AddChild(u"Reserved");
  std::vector<uint8_t> reserved(180, 0x20);
  EXPECT_TRUE(MemToStrLinesShort(reserved.data(), 180, &tree, 60, field));
  ASSERT_EQ(field->Children.size(), 12u);
  EXPECT_EQ(field->Children[0]->Text.size(), 76u);
  EXPECT_EQ(field->Children[11]->Text.size(), 64u);
  EXPECT_TRUE(MemToStrLinesShort(reserved.data(), 0, &tree, 60, field));
  EXPECT_EQ(field->Children.size(), 12u);
}

TEST(HexDump, DisplayCharacterTable) {
  for (int b = 0; b < 256; ++b) {
    const bool dot = b < 0x20 || (b >= 0x7F && b <= 0x9F) || b == 0xAD;
    EXPECT_EQ(DisplayChar(static_cast<uint8_t>(b)), dot ? u'.' : static_cast<char16_t>(b)) << b;
  }
}

TEST(TextLines, StopAtTheFirstEmptyLine) {
  const struct {
    std::string Text;
    std::vector<std::string> Lines;
  } cases[] = {
      {"A\r\n\r\nB", {"A"}},
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"single", {"single"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    TDisplayNode tree;
    TDisplayNode* field = tree.AddChild(u"Coding History");
    std::vector<uint8_t> bytes(c.Text.begin(), c.Text.end());
    bytes.push_back(0);
    EXPECT_TRUE(MemToStrLines0D0A(bytes.data(), static_cast<int32_t>(bytes.size()), &tree, field));
    std::vector<std::string> got;
    for (const auto& child : field->Children) got.push_back(U8(child->Text));
    EXPECT_EQ(got, c.Lines) << c.Text;
  }
}

TEST(TimeTexts, DurationAndClockTexts) {
  const struct {
    double Seconds;
    const char* Duration;
    const char* Clock;
  } cases[] = {
      {0, "00:00:00.00", "00:00:00.00"},
      {59.996, "00:01:00.00", "00:01:00.00"},
      {90061.5, "(1)01:01:01.50", "(1) 01:01:01.50"},
      {86400, "(1)00:00:00.00", "(1) 00:00:00.00"},
      {31017599, "(358)23:59:59.00", "(358) 23:59:59.00"},
      {31017600, "--:--:--:--", "(359) 00:00:00.00"},
      {0.125, "00:00:00.12", "00:00:00.12"},  // 12.5 hundredths: ties to even
      {0.375, "00:00:00.38", "00:00:00.38"},
      {7.5, "00:00:07.50", "00:00:07.50"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(U8(SecondsToDurationText(c.Seconds)), c.Duration) << c.Seconds;
    EXPECT_EQ(U8(SecondsToTimeText(0, c.Seconds)), c.Clock) << c.Seconds;
  }
  EXPECT_EQ(U8(SecondsToDurationText(-1)), "--:--:--:--");
  EXPECT_EQ(U8(SecondsToTimeText(1, 61.25)), "00:01:01");
}

TEST(TimeTexts, NowIsAClockAndADate) {
  const std::string now = U8(NowToText());
  EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d\d:\d\d:\d\d  \d\d\.\d\d\.\d{4})"))) << now;
}
