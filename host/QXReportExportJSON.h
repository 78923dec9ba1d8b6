// The JSON report: one object per validated file, written with a real JSON
// library so any text from a file (control characters, invalid UTF-8) gives
// a valid document.
//
//   {"tool": "riffoscope-cli", "version": "2.0.0", "file": "take1.wav",
//    "modules": ["Sonolint"],
//    "lines": [{"module": "Sonolint", "stream": null, "type": "Error",
//               "rule": 204, "message": "Chunk truncated"}, ...]}
//
// "rule" is the number of the line's "[nnn] " prefix (null when the line has
// none) and "message" the text after it; "stream" is null for a negative id.
// Text that is not valid Unicode is written with U+FFFD in its place.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/CustomReport.h"

namespace riffo {

// The rule number of a "[nnn] text" line and the text after the prefix.
struct TRuleSplit {
  std::optional<int> Rule;
  std::u16string Message;
};
TRuleSplit SplitRulePrefix(const std::u16string& reportMessage);

// The whole document, UTF-8, ending with a line feed.
std::string JsonReport(const std::string& tool, const std::string& version,
                       const std::u16string& fileName, const std::vector<std::u16string>& modules,
                       const std::vector<TCustomReport>& lines);

}  // namespace riffo
