// Text conversions between the file world (8-bit bytes), the in-memory world
// (UTF-16) and what the system writes out (UTF-8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace riffo {

// One byte as Windows-1252; the five unassigned bytes map to the C1 control
// of the same value, as Windows converts them.
char16_t Cp1252ToChar16(uint8_t byte) noexcept;

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const uint8_t* data, size_t length) noexcept;

// 8-bit text from a file field: UTF-8 when the bytes are valid UTF-8 and not
// pure ASCII, Windows-1252 otherwise.
std::u16string AnsiToUtf16(const uint8_t* data, size_t length);
std::u16string AnsiToUtf16(std::string_view bytes);

// Lone surrogates (which UTF-8 cannot carry) are written as U+FFFD, so the
// result is always valid UTF-8: the form for anything shown or reported.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);  // invalid sequences become U+FFFD

// File names: Linux names are bytes and need not be valid UTF-8. Each byte
// that is not part of a valid UTF-8 sequence becomes the lone surrogate
// U+DC80..U+DCFF (0xDC00 plus the byte), and NativeFromUtf16 turns those back
// into the same bytes, so every name survives the round trip and opens the
// file it names. Valid UTF-8 never yields a surrogate, so the mapping cannot
// confuse two names. Shown through Utf16ToUtf8, an undecodable byte reads as
// U+FFFD.
std::u16string Utf16FromNative(std::string_view bytes);
std::string NativeFromUtf16(std::u16string_view text);

// printf-style formatting into UTF-16 (the template and %s arguments are UTF-8).
std::u16string Format16(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format8(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Every hex number the system writes (positions, sizes, dumped bytes) is
// upper-case and zero-padded: AppendHex appends value with at least minDigits
// digits (1 to 16), more when the value needs them.
void AppendHex(std::string& out, uint64_t value, int minDigits);
void AppendHex(std::u16string& out, uint64_t value, int minDigits);

// The digits of a 64-bit offset or size written whole.
inline constexpr int POSITION_HEX_DIGITS = 16;

// A 64-bit position as the system prints it in messages: at least 8 digits.
std::string HexPos(int64_t value);

// Case folding of the ASCII letters only, for names, keys and file
// extensions compared without regard to case; every other character stays.
std::string LowerAscii(std::string text);
std::u16string LowerAscii(std::u16string text);
std::u16string UpperAscii(std::u16string text);

}  // namespace riffo
