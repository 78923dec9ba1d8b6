#include "viewer/CommandLine.h"

#include <optional>
#include <string>

#include "platform/Text.h"

namespace riffo {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != prefix[i]) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a local file:// URI as the bytes of the name, or nothing when
// the URI names no local file.
std::optional<std::string> LocalPath(std::string_view uri) {
  std::string_view rest = uri.substr(7);  // after "file://"
  // The query and fragment are no part of a file name (a '#' or '?' in a
  // name is written %23 or %3F).
  rest = rest.substr(0, rest.find_first_of("?#"));
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost"))) return std::nullopt;
  const std::string_view path = rest.substr(slash);
  std::string bytes;
  bytes.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    const int hi = path[i] == '%' && path.size() - i > 2 ? HexValue(path[i + 1]) : -1;
    const int lo = hi >= 0 ? HexValue(path[i + 2]) : -1;
    if (lo < 0) {
      bytes += path[i];  // a '%' without two hex digits stands for itself
      continue;
    }
    bytes += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  // A NUL would cut the name short where the system reads it, so that the
  // program opened another file than the one the URI names.
  if (bytes.find('\0') != std::string::npos) return std::nullopt;
  return bytes;
}

}  // namespace

std::u16string FileNameFromArgument(std::string_view argument) {
  if (StartsWithNoCase(argument, "file://")) {
    if (const std::optional<std::string> path = LocalPath(argument)) return Utf16FromNative(*path);
  }
  return Utf16FromNative(argument);
}

}  // namespace riffo
