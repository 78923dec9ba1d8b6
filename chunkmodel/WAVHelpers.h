// Small stateless text helpers: FOURCC and fixed-field texts, hex-dump lines,
// CR LF line splitting and the time texts of the validation reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "chunkmodel/DisplayTree.h"

namespace riffo {

// The four bytes in memory order (file order of a chunk id), 0 bytes as blanks.
std::u16string FourCCToText(uint32_t value);

// The 8-bit text of a fixed field up to its first 0 byte (or Length bytes).
// Length must be 1..2047; otherwise the result is empty and a trace line is written.
std::u16string CharArrayToString(const uint8_t* data, int32_t length);
// The same, as the raw bytes (for checks that look at the bytes themselves).
std::string CharArrayToBytes(const uint8_t* data, int32_t length);

// The text (and the raw bytes) of a record's text field, as wide as the field.
template <size_t N>
std::u16string FieldText(const uint8_t (&field)[N]) {
  return CharArrayToString(field, static_cast<int32_t>(N));
}
template <size_t N>
std::string FieldBytes(const uint8_t (&field)[N]) {
  return CharArrayToBytes(field, static_cast<int32_t>(N));
}

std::u16string PadRight(const std::u16string& text, int32_t width);

// The frame of slashes at the head of the structure export and the text
// report: FRAME_WIDTH wide, each text line "//", eight blanks, the text padded
// to FRAME_TEXT_WIDTH, "//" (a longer text is not cut).
inline constexpr int32_t FRAME_WIDTH = 54;
inline constexpr int32_t FRAME_TEXT_WIDTH = 42;
std::u16string FramedLine(const std::u16string& text);
std::u16string ByteToHex(uint8_t value);

// Removes the first line (up to the first CR LF, which is removed too) and returns it.
std::u16string ExtractLine(std::u16string& text);

// The character shown for a byte in the character column of a hex dump.
char16_t DisplayChar(uint8_t byte);

// A hex-dump line shows up to this many bytes: each as two hex digits and a
// blank, the hex part padded to a width, then each byte's DisplayChar.
inline constexpr int32_t HEX_DUMP_BYTES_PER_LINE = 16;
// The hex part's width in the hex view and in MemToStrLines2: the character
// column starts right behind it.
inline constexpr int32_t HEX_DUMP_WIDTH = 50;

// Appends hex-dump lines (hex part padded to HEX_DUMP_WIDTH) to lines.
bool MemToStrLines2(const uint8_t* data, int64_t length, std::vector<std::u16string>* lines);
// One hex-dump line of up to HEX_DUMP_BYTES_PER_LINE bytes with the hex part padded to width.
std::u16string HexDumpLine(const uint8_t* data, int64_t count, int32_t width);

// Adds hex-dump lines (hex part padded to width) as children of parent.
bool MemToStrLinesShort(const uint8_t* data, int64_t length, TDisplayNode* treeView, int32_t width,
                        TDisplayNode* parent);
// Adds the CR LF-separated lines of the fixed text as children of parent,
// stopping at the first empty line.
bool MemToStrLines0D0A(const uint8_t* data, int32_t length, TDisplayNode* treeView,
                       TDisplayNode* parent);

std::u16string SecondsToDurationText(double seconds);
std::u16string SecondsToTimeText(int32_t noHundredths, double seconds);
std::u16string NowToText();

}  // namespace riffo
