// The text conversions between file bytes, UTF-16 and UTF-8, both ways:
// valid text survives a round trip unchanged, anything else comes out as
// well-formed text of the other kind, the 8-bit field decoder follows its two
// documented readings, and file names (any bytes) survive the trip through
// text and back to the system unchanged.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

using riffo::fuzz::Check;

bool IsWellFormedUtf16(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// The text with each lone surrogate replaced by U+FFFD.
std::u16string WithoutLoneSurrogates(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out += text.substr(i, 2);
      ++i;
    } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
      out += u'\xFFFD';
    } else {
      out += text[i];
    }
  }
  return out;
}

bool Utf8Valid(const std::string& text) {
  return riffo::IsValidUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void CheckCodePageOnce() {
  static const bool checked = [] {
    std::set<char16_t> seen;
    for (int byte = 0; byte < 256; ++byte)
      seen.insert(riffo::Cp1252ToChar16(static_cast<uint8_t>(byte)));
    Check(seen.size() == 256, "two bytes decode to the same character");
    return true;
  }();
  (void)checked;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckCodePageOnce();
  riffo::fuzz::TFuzzInput input(data, size);
  const int64_t position =
      static_cast<int64_t>(static_cast<uint64_t>(input.U32()) << 32 | input.U32());
  const std::u16string wide = input.Text16(200);
  const std::vector<uint8_t> bytes = input.Rest();
  const std::string narrow(bytes.begin(), bytes.end());

  // Bytes -> UTF-16 -> UTF-8: the same bytes exactly when they were UTF-8.
  const std::u16string decoded = riffo::Utf8ToUtf16(narrow);
  Check(IsWellFormedUtf16(decoded), "decoding UTF-8 gave a lone surrogate");
  const std::string encoded = riffo::Utf16ToUtf8(decoded);
  Check(Utf8Valid(encoded), "encoding gave invalid UTF-8");
  Check((encoded == narrow) == Utf8Valid(narrow), "UTF-8 does not survive the round trip");

  // UTF-16 -> UTF-8 -> UTF-16: the same text but for lone surrogates.
  const std::string wideEncoded = riffo::Utf16ToUtf8(wide);
  Check(Utf8Valid(wideEncoded), "encoding UTF-16 gave invalid UTF-8");
  Check(riffo::Utf8ToUtf16(wideEncoded) == WithoutLoneSurrogates(wide),
        "UTF-16 does not survive the round trip");
  Check(IsWellFormedUtf16(wide) == (WithoutLoneSurrogates(wide) == wide),
        "the model of lone surrogates is wrong");

  // File names: any bytes -> text -> the very same bytes. Valid UTF-8 reads
  // as it always does; every other byte is one escape in U+DC80..U+DCFF, and
  // a name is shown exactly as the plain decoding shows it.
  const std::u16string name = riffo::FromNativePath(narrow);
  Check(riffo::ToNativePath(name) == narrow, "a file name did not survive the round trip");
  Check(riffo::Utf16FromNative(narrow) == name && riffo::NativeFromUtf16(name) == narrow,
        "the path and text forms of the name mapping differ");
  if (Utf8Valid(narrow)) Check(name == decoded, "a UTF-8 file name was read differently");
  size_t escapes = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const bool high = name[i] >= 0xD800 && name[i] <= 0xDBFF;
    if (high && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
      ++i;
    } else if (name[i] >= 0xD800 && name[i] <= 0xDFFF) {
      Check(name[i] >= 0xDC80, "a file name byte escaped outside U+DC80..U+DCFF");
      ++escapes;
    }
  }
  Check((escapes == 0) == Utf8Valid(narrow), "a file name escaped bytes of valid UTF-8");
  Check(riffo::Utf16ToUtf8(name) == encoded, "a file name is shown unlike its plain decoding");
  // Text -> name -> text: well-formed text comes back unchanged.
  if (IsWellFormedUtf16(wide))
    Check(riffo::FromNativePath(riffo::ToNativePath(wide)) == wide,
          "a text name did not survive the round trip");

  // 8-bit fields: UTF-8 when valid and not pure ASCII, else one character per byte.
  const std::u16string field = riffo::AnsiToUtf16(bytes.data(), bytes.size());
  Check(IsWellFormedUtf16(field), "an 8-bit field decoded to a lone surrogate");
  bool ascii = true;
  for (const uint8_t b : bytes) ascii = ascii && b < 0x80;
  if (!ascii && Utf8Valid(narrow)) {
    Check(field == decoded, "a UTF-8 field was not read as UTF-8");
  } else {
    Check(field.size() == bytes.size(), "an 8-bit field changed its length");
    for (size_t i = 0; i < bytes.size(); ++i)
      Check(field[i] == riffo::Cp1252ToChar16(bytes[i]), "an 8-bit field byte read wrongly");
  }
  Check(riffo::AnsiToUtf16(std::string_view(narrow)) == field, "the two field decoders differ");

  // Formatting: %s carries UTF-8 text through unchanged (up to a NUL).
  const std::string upToNul = narrow.substr(0, narrow.find('\0'));
  Check(riffo::Format16("%s", upToNul.c_str()) == riffo::Utf8ToUtf16(upToNul),
        "%s changed the text");

  // Positions: upper-case hex, at least eight digits, the value read back.
  const std::string hex = riffo::HexPos(position);
  Check(hex.size() >= 8 && hex.size() <= 16, "a position with a wrong number of digits");
  Check(hex.find_first_not_of("0123456789ABCDEF") == std::string::npos,
        "a position with other characters");
  Check(std::strtoull(hex.c_str(), nullptr, 16) == static_cast<uint64_t>(position),
        "a position read back wrongly");
  return 0;
}
