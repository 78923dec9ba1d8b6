#include "platform/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace riffo {
namespace {

struct DecodeCase {
  const char* What;
  std::string Bytes;
  std::u16string Expected;
};

// 8-bit field texts: valid UTF-8 (that is not pure ASCII) is read as UTF-8,
// everything else byte by byte as Windows-1252.
TEST(AnsiToUtf16, DecodesUtf8OnlyWhenStrictlyValid) {
  const DecodeCase cases[] = {
      {"pure ASCII", "Take 1", u"Take 1"},
      {"two-byte UTF-8", "caf\xC3\xA9", u"caf\u00E9"},
      {"three-byte UTF-8", "\xE2\x82\xAC 5", u"\u20AC 5"},
      {"four-byte UTF-8 becomes a surrogate pair", "\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
      {"lone Windows-1252 letter", "caf\xE9", u"caf\u00E9"},
      {"overlong two-byte slash", "\xC0\xAF", u"\u00C0\u00AF"},
      {"overlong three-byte form", "\xE0\x80\xAF", u"\u00E0\u20AC\u00AF"},
      {"overlong four-byte form", "\xF0\x82\x82\xAC", u"\u00F0\u201A\u201A\u00AC"},
      {"encoded high surrogate", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},
      {"encoded low surrogate", "\xED\xBF\xBF", u"\u00ED\u00BF\u00BF"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\u00F4\u0090\u20AC\u20AC"},
      {"sequence cut at the end", "ab\xC3", u"ab\u00C3"},
      {"stray continuation byte", "\x80x", u"\u20ACx"},
      {"one bad sequence spoils the whole text", "\xC3\xA9 \xE9", u"\u00C3\u00A9 \u00E9"},
      {"five unassigned bytes keep their value", "\x81\x8D\x8F\x90\x9D",
       u"\u0081\u008D\u008F\u0090\u009D"},
      {"ends of the 0x80 row", "\x80\x9F", u"\u20AC\u0178"},
      {"quotes and dashes", "\x93hi\x94 \x96", u"\u201Chi\u201D \u2013"},
      {"embedded zero byte stays", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"empty", "", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(AnsiToUtf16(c.Bytes), c.Expected) << c.What;
}

TEST(Cp1252ToChar16, MapsEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const char16_t c = Cp1252ToChar16(static_cast<uint8_t>(b));
    if (b < 0x80 || b >= 0xA0)
      EXPECT_EQ(c, static_cast<char16_t>(b)) << b;
    else
      EXPECT_GE(c, 0x80) << b;
  }
  EXPECT_EQ(Cp1252ToChar16(0x80), u'\u20AC');
  EXPECT_EQ(Cp1252ToChar16(0x8A), u'\u0160');
  EXPECT_EQ(Cp1252ToChar16(0x99), u'\u2122');
  for (const uint8_t unassigned : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_EQ(Cp1252ToChar16(unassigned), static_cast<char16_t>(unassigned));
}

TEST(Utf8Utf16, RoundTripsEveryPlane) {
  const std::u16string texts[] = {u"",
                                  u"plain",
                                  u"\u00E9\u00FC\u00DF",
                                  u"\u20AC\u2122\uFFFD",
                                  u"\U0001F3B5\U0010FFFF",
                                  std::u16string(u"nul\0inside", 10)};
  for (const auto& text : texts) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"\u00E9\u20AC\U0001F3B5"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5");
}

TEST(Utf8Utf16, BrokenInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', char16_t(0xDC00)}), "x\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("a\xE9z"), u"a\uFFFDz");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
}

// File names: every byte string comes back unchanged, the undecodable bytes
// as lone surrogates in between, and the display form is valid UTF-8.
TEST(NativeNames, RoundTripEveryByteStringAndShowUndecodableBytesAsReplacement) {
  struct Case {
    const char* What;
    std::string Bytes;
    std::u16string Text;
  };
  const auto lone = [](char16_t c) { return std::u16string(1, c); };
  const Case cases[] = {
      {"ASCII", "take 1.wav", u"take 1.wav"},
      {"valid UTF-8", "caf\xC3\xA9 \xF0\x9F\x8E\xB5", u"caf\u00E9 \U0001F3B5"},
      {"lone high bytes", "bad\xFF\xFE.wav", u"bad" + lone(0xDCFF) + lone(0xDCFE) + u".wav"},
      {"the spelling of U+FFFD stays U+FFFD", "\xEF\xBF\xBD.txt", u"\uFFFD.txt"},
      {"Latin-1 letter", "caf\xE9", u"caf" + lone(0xDCE9)},
      {"cut sequence", "ab\xC3", u"ab" + lone(0xDCC3)},
      {"encoded surrogate", "\xED\xB2\x80", lone(0xDCED) + lone(0xDCB2) + lone(0xDC80)},
      {"overlong slash", "\xC0\xAF", lone(0xDCC0) + lone(0xDCAF)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf16FromNative(c.Bytes), c.Text) << c.What;
    EXPECT_EQ(NativeFromUtf16(c.Text), c.Bytes) << c.What;
  }
  // Every single byte and every pair of bytes survives.
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(NativeFromUtf16(Utf16FromNative(bytes)), bytes) << a << " " << b;
    }
  // Shown, an undecodable byte is U+FFFD; other lone surrogates, which no
  // name decodes to, are written as U+FFFD in both directions.
  EXPECT_EQ(Utf16ToUtf8(Utf16FromNative("bad\xFF.wav")), "bad\xEF\xBF\xBD.wav");
  EXPECT_EQ(NativeFromUtf16(lone(0xD800) + u"x" + lone(0xDC7F)), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(IsValidUtf8, IsStrict) {
  auto valid = [](const std::string& s) {
    return IsValidUtf8(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  EXPECT_TRUE(valid(""));
  EXPECT_TRUE(valid("\xF4\x8F\xBF\xBF"));   // U+10FFFF, the last code point
  EXPECT_TRUE(valid("\xEE\x80\x80"));       // U+E000, just past the surrogates
  EXPECT_FALSE(valid("\xC1\xBF"));          // overlong U+007F
  EXPECT_FALSE(valid("\xE0\x9F\xBF"));      // overlong U+07FF
  EXPECT_FALSE(valid("\xF0\x8F\xBF\xBF"));  // overlong U+FFFF
  EXPECT_FALSE(valid("\xED\x9F\xC0"));      // bad continuation
  EXPECT_FALSE(valid("\xF8\x88\x80\x80\x80"));
}

TEST(AsciiCase, FoldsOnlyTheAsciiLetters) {
  // Letters outside ASCII, digits and punctuation stay as they are.
  EXPECT_EQ(LowerAscii(std::string("Report.JSON @Z[")), "report.json @z[");
  EXPECT_EQ(LowerAscii(std::string("\xC3\x89T\xC3\xA9")), "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(LowerAscii(std::u16string(u"File.WAV \u00C9\u0130")), u"file.wav \u00C9\u0130");
  EXPECT_EQ(UpperAscii(std::u16string(u"load_file_{ms} \u00E9\u0131")),
            u"LOAD_FILE_{MS} \u00E9\u0131");
  EXPECT_EQ(LowerAscii(std::string()), "");
}

TEST(HexPos, PrintsUpperCaseWithAtLeastEightDigits) {
  EXPECT_EQ(HexPos(0), "00000000");
  EXPECT_EQ(HexPos(12), "0000000C");
  EXPECT_EQ(HexPos(0xABCDEF12), "ABCDEF12");
  EXPECT_EQ(HexPos(0x123456789ALL), "123456789A");
  EXPECT_EQ(HexPos(-1), "FFFFFFFFFFFFFFFF");
}

TEST(AppendHex, PadsToTheWidthAndGrowsPastIt) {
  const struct {
    uint64_t Value;
    int MinDigits;
    const char* Text;
  } cases[] = {
      {0x0A, 2, "0A"},
      {0xFF, 2, "FF"},
      {0x1FF, 2, "1FF"},
      {0, 16, "0000000000000000"},
      {0xABCDEF, 16, "0000000000ABCDEF"},
      {~uint64_t{0}, 1, "FFFFFFFFFFFFFFFF"},
      {5, 0, "5"},
      {5, 40, "0000000000000005"},  // widths outside 1..16 are clamped
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    std::string narrow = "x";
    AppendHex(narrow, c.Value, c.MinDigits);
    EXPECT_EQ(narrow, std::string("x") + c.Text);
    std::u16string wide;
    AppendHex(wide, c.Value, c.MinDigits);
    EXPECT_EQ(Utf16ToUtf8(wide), c.Text);
  }
}

TEST(Format16, FormatsUtf8TemplateIntoUtf16) {
  EXPECT_EQ(Format16("WAVE fmt - FormatTag = %d", 1), u"WAVE fmt - FormatTag = 1");
  EXPECT_EQ(Format16("%s at 0x%s .", "Caf\xC3\xA9", HexPos(12).c_str()),
            u"Caf\u00E9 at 0x0000000C .");
  EXPECT_EQ(Format8("%03d|%s", 7, "x"), "007|x");
}

}  // namespace
}  // namespace riffo
