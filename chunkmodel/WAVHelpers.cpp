#include "chunkmodel/WAVHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Text.h"

namespace riffo {
namespace {

// Rounds to whole hundredths, ties to even; non-finite input counts as 0 and
// the result is kept inside a range where the clock arithmetic cannot overflow.
int64_t ToHundredths(double seconds) {
  if (!std::isfinite(seconds)) return 0;
  double scaled = std::nearbyint(seconds * 100.0);
  constexpr double kLimit = 9.0e15;
  if (scaled > kLimit) scaled = kLimit;
  if (scaled < -kLimit) scaled = -kLimit;
  return static_cast<int64_t>(scaled);
}

std::u16string Clock(int64_t hours, int64_t minutes, int64_t seconds) {
  return Format16("%.2lld:%.2lld:%.2lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(seconds));
}

}  // namespace

std::u16string FourCCToText(uint32_t value) {
  std::u16string text(4, u' ');
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<uint8_t>(value >> (8 * i));
    if (byte != 0) text[static_cast<size_t>(i)] = Cp1252ToChar16(byte);
  }
  return text;
}

std::string CharArrayToBytes(const uint8_t* data, int32_t length) {
  if (data == nullptr || length < 1 || length > 2047) {
    DebugTrace(u"dgn: Error in CharArrayToString - invalid arguments.");
    return {};
  }
  int32_t n = 0;
  while (n < length && data[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(n));
}

std::u16string CharArrayToString(const uint8_t* data, int32_t length) {
  return Guarded(u"dgn: Error in CharArrayToString call...", std::u16string(),
                 [&] { return AnsiToUtf16(CharArrayToBytes(data, length)); });
}

std::u16string PadRight(const std::u16string& text, int32_t width) {
  if (width <= 0 || text.size() >= static_cast<size_t>(width)) return text;
  std::u16string out = text;
  out.append(static_cast<size_t>(width) - text.size(), u' ');
  return out;
}

std::u16string FramedLine(const std::u16string& text) {
  return u"//" + std::u16string(8, u' ') + PadRight(text, FRAME_TEXT_WIDTH) + u"//";
}

std::u16string ByteToHex(uint8_t value) {
  std::u16string text;
  AppendHex(text, value, 2);
  return text;
}

std::u16string ExtractLine(std::u16string& text) {
  const size_t pos = text.find(u"\r\n");
  std::u16string line;
  if (pos == std::u16string::npos) {
    line.swap(text);
  } else {
    line = text.substr(0, pos);
    text.erase(0, pos + 2);
  }
  return line;
}

char16_t DisplayChar(uint8_t byte) {
  if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F) || byte == 0xAD) return u'.';
  return static_cast<char16_t>(byte);  // Latin-1
}

std::u16string HexDumpLine(const uint8_t* data, int64_t count, int32_t width) {
  std::u16string line;
  line.reserve(static_cast<size_t>(width) + HEX_DUMP_BYTES_PER_LINE);
  for (int64_t i = 0; i < count; ++i) {
    AppendHex(line, data[i], 2);
    line += u' ';
  }
  line = PadRight(line, width);
  for (int64_t i = 0; i < count; ++i) line += DisplayChar(data[i]);
  return line;
}

bool MemToStrLines2(const uint8_t* data, int64_t length, std::vector<std::u16string>* lines) {
  if (length <= 0 || data == nullptr || lines == nullptr) return false;
  return Guarded(u"dgn: Error in MemToStrLines2 call...", false, [&] {
    for (int64_t start = 0; start < length; start += HEX_DUMP_BYTES_PER_LINE) {
      const int64_t count = std::min<int64_t>(HEX_DUMP_BYTES_PER_LINE, length - start);
      lines->push_back(HexDumpLine(data + start, count, HEX_DUMP_WIDTH));
    }
    return true;
  });
}

bool MemToStrLinesShort(const uint8_t* data, int64_t length, TDisplayNode* treeView, int32_t width,
                        TDisplayNode* parent) {
  if (length <= 0) return true;
  return Guarded(u"dgn: Error in MemToStrLinesShort call...", false, [&] {
    if (data == nullptr || treeView == nullptr || parent == nullptr) return true;
    for (int64_t start = 0; start < length; start += HEX_DUMP_BYTES_PER_LINE) {
      const int64_t count = std::min<int64_t>(HEX_DUMP_BYTES_PER_LINE, length - start);
      parent->AddChild(HexDumpLine(data + start, count, width));
    }
    return true;
  });
}

bool MemToStrLines0D0A(const uint8_t* data, int32_t length, TDisplayNode* treeView,
                       TDisplayNode* parent) {
  return Guarded(u"dgn: Error in MemToStrLines0D0A call...", false, [&] {
    std::u16string text = CharArrayToString(data, length);
    if (treeView == nullptr || parent == nullptr) return true;
    for (;;) {
      std::u16string line = ExtractLine(text);
      if (line.empty()) break;
      parent->AddChild(std::move(line));
    }
    return true;
  });
}

std::u16string SecondsToDurationText(double seconds) {
  if (!(seconds >= 0.0) || seconds >= 31017600.0) return u"--:--:--:--";
  int64_t rest = ToHundredths(seconds);
  const int64_t days = rest / 8640000;
  rest -= days * 8640000;
  const int64_t hours = rest / 360000;
  rest -= hours * 360000;
  const int64_t minutes = rest / 6000;
  rest -= minutes * 6000;
  const int64_t secs = rest / 100;
  const int64_t hundredths = rest - secs * 100;
  std::u16string text =
      Clock(hours, minutes, secs) + Format16(".%.2lld", static_cast<long long>(hundredths));
  if (days > 0) text = Format16("(%lld)", static_cast<long long>(days)) + text;
  return text;
}

std::u16string SecondsToTimeText(int32_t noHundredths, double seconds) {
  const int64_t total = ToHundredths(seconds);
  int64_t whole = total / 100;
  const int64_t hundredths = total - whole * 100;
  int64_t hours = whole / 3600;
  whole -= hours * 3600;
  const int64_t minutes = whole / 60;
  const int64_t secs = whole - minutes * 60;
  const int64_t days = hours / 24;
  hours -= 24 * days;
  std::u16string text = Clock(hours, minutes, secs);
  if (!noHundredths) text += Format16(".%.2lld", static_cast<long long>(hundredths));
  if (days > 0) text = Format16("(%lld) ", static_cast<long long>(days)) + text;
  return text;
}

std::u16string NowToText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Format16("%.2d:%.2d:%.2d  %.2d.%.2d.%.4d", local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

}  // namespace riffo
