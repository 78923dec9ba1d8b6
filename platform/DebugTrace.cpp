#include "platform/DebugTrace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Text.h"

namespace riffo {
namespace {

std::mutex& SinkLock() {
  static std::mutex lock;
  return lock;
}

TraceSink& CurrentSink() {
  static TraceSink sink;
  return sink;
}

// The default sink: driven by RIFFOSCOPE_TRACE, read once per line so a test
// or a user can switch it on without restarting anything.
void DefaultSink(const std::u16string& line) {
  const char* target = std::getenv("RIFFOSCOPE_TRACE");
  if (target == nullptr || *target == '\0') return;
  const std::string utf8 = Utf16ToUtf8(line) + "\n";
  if (std::strcmp(target, "1") == 0 || std::strcmp(target, "stderr") == 0) {
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    return;
  }
  if (FILE* file = std::fopen(target, "ab")) {
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fclose(file);
  }
}

}  // namespace

void DebugTrace(std::u16string_view text) noexcept {
  try {
    const std::u16string line(text);
    std::lock_guard<std::mutex> hold(SinkLock());
    if (CurrentSink())
      CurrentSink()(line);
    else
      DefaultSink(line);
  } catch (...) {
    // A trace that cannot be written is dropped: tracing must never fail.
  }
}

void DebugTrace(std::string_view utf8Text) noexcept {
  try {
    DebugTrace(std::u16string_view(Utf8ToUtf16(utf8Text)));
  } catch (...) {
  }
}

TraceSink SetTraceSink(TraceSink sink) {
  std::lock_guard<std::mutex> hold(SinkLock());
  TraceSink previous = std::move(CurrentSink());
  CurrentSink() = std::move(sink);
  return previous;
}

TraceCapture::TraceCapture() {
  FPrevious = SetTraceSink([this](const std::u16string& line) {
    std::lock_guard<std::mutex> hold(FLock);
    FLines.push_back(line);
  });
}

TraceCapture::~TraceCapture() { SetTraceSink(std::move(FPrevious)); }

std::vector<std::u16string> TraceCapture::Lines() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FLines;
}

bool TraceCapture::Contains(std::u16string_view line) const {
  std::lock_guard<std::mutex> hold(FLock);
  for (const auto& l : FLines)
    if (l == line) return true;
  return false;
}

void TraceCapture::Clear() {
  std::lock_guard<std::mutex> hold(FLock);
  FLines.clear();
}

}  // namespace riffo
