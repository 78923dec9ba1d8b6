// Process-wide diagnostic trace: one line of text per call, for developers
// only. By default lines are dropped; RIFFOSCOPE_TRACE=1 (or "stderr") sends
// them to standard error and any other value names a file they are appended
// to. Tests install a sink of their own to see what was traced.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace riffo {

using TraceSink = std::function<void(const std::u16string&)>;

// Never throws, never fails towards the caller; safe from any thread.
void DebugTrace(std::u16string_view text) noexcept;
void DebugTrace(std::string_view utf8Text) noexcept;

// Replaces the sink and returns the previous one (an empty sink restores the
// environment-driven default).
TraceSink SetTraceSink(TraceSink sink);

// Collects trace lines for the lifetime of the object (tests).
class TraceCapture {
public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::u16string> Lines() const;
  bool Contains(std::u16string_view line) const;
  void Clear();

private:
  mutable std::mutex FLock;
  std::vector<std::u16string> FLines;
  TraceSink FPrevious;
};

}  // namespace riffo
