#include "platform/Text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace riffo {
namespace {

// Windows-1252 for 0x80..0x9F; the unassigned bytes keep their own value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at data[i]; returns its length, 0 when invalid.
size_t DecodeUtf8(const uint8_t* data, size_t length, size_t i, char32_t& cp) noexcept {
  const uint8_t b0 = data[i];
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t need;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    need = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    need = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    need = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (length - i < need) return 0;
  for (size_t k = 1; k < need; ++k) {
    const uint8_t b = data[i + k];
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return need;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

__attribute__((format(printf, 1, 0))) std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(needed) + 1);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  return std::string(buffer.data(), static_cast<size_t>(needed));
}

}  // namespace

char16_t Cp1252ToChar16(uint8_t byte) noexcept {
  if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
  return static_cast<char16_t>(byte);
}

bool IsValidUtf8(const uint8_t* data, size_t length) noexcept {
  for (size_t i = 0; i < length;) {
    char32_t cp;
    const size_t n = DecodeUtf8(data, length, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::u16string AnsiToUtf16(const uint8_t* data, size_t length) {
  std::u16string out;
  if (data == nullptr || length == 0) return out;
  bool ascii = true;
  for (size_t i = 0; i < length && ascii; ++i) ascii = data[i] < 0x80;
  out.reserve(length);
  if (!ascii && IsValidUtf8(data, length)) {
    for (size_t i = 0; i < length;) {
      char32_t cp = 0;
      i += DecodeUtf8(data, length, i, cp);
      AppendUtf16(out, cp);
    }
  } else {
    for (size_t i = 0; i < length; ++i) out.push_back(Cp1252ToChar16(data[i]));
  }
  return out;
}

std::u16string AnsiToUtf16(std::string_view bytes) {
  return AnsiToUtf16(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

namespace {

// The lone surrogates that stand for one undecodable byte of a file name.
constexpr char16_t kEscapedByteFirst = 0xDC80;
constexpr char16_t kEscapedByteLast = 0xDCFF;

// UTF-16 to UTF-8; with escapedBytes, the escaped bytes of a file name come
// back as themselves, otherwise every lone surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text, bool escapedBytes) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (escapedBytes && cp >= kEscapedByteFirst && cp <= kEscapedByteLast) {
      out.push_back(static_cast<char>(cp - 0xDC00));
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) { return EncodeUtf8(text, false); }

std::string NativeFromUtf16(std::u16string_view text) { return EncodeUtf8(text, true); }

std::u16string Utf16FromNative(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    const size_t n = DecodeUtf8(data, bytes.size(), i, cp);
    if (n == 0) {
      // Only a byte of 0x80 or above can fail to decode.
      out.push_back(static_cast<char16_t>(0xDC00 + data[i]));
      ++i;
    } else {
      AppendUtf16(out, cp);
      i += n;
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const size_t n = DecodeUtf8(data, text.size(), i, cp);
    if (n == 0) {
      AppendUtf16(out, 0xFFFD);
      ++i;
    } else {
      AppendUtf16(out, cp);
      i += n;
    }
  }
  return out;
}

std::string Format8(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = VFormat(format, args);
  va_end(args);
  return result;
}

std::u16string Format16(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = VFormat(format, args);
  va_end(args);
  return Utf8ToUtf16(result);
}

namespace {

template <typename String>
void AppendHexDigits(String& out, uint64_t value, int minDigits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  int digits = 1;
  while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
  digits = std::max(digits, std::clamp(minDigits, 1, 16));
  for (int i = digits - 1; i >= 0; --i)
    out += static_cast<typename String::value_type>(kDigits[(value >> (4 * i)) & 0x0F]);
}

}  // namespace

void AppendHex(std::string& out, uint64_t value, int minDigits) {
  AppendHexDigits(out, value, minDigits);
}

void AppendHex(std::u16string& out, uint64_t value, int minDigits) {
  AppendHexDigits(out, value, minDigits);
}

std::string HexPos(int64_t value) {
  std::string text;
  AppendHex(text, static_cast<uint64_t>(value), 8);
  return text;
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::u16string LowerAscii(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return text;
}

std::u16string UpperAscii(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return text;
}

}  // namespace riffo
