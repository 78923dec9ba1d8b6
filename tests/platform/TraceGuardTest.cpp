#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/DebugTrace.h"
#include "platform/Guard.h"

namespace riffo {
namespace {

TEST(TraceCapture, SeesTracedLinesInOrderAndRestoresThePreviousSink) {
  TraceCapture outer;
  DebugTrace(u"dgn: first");
  {
    TraceCapture inner;
    DebugTrace(std::string_view("vld: caf\xC3\xA9"));
    EXPECT_EQ(inner.Lines(), (std::vector<std::u16string>{u"vld: caf\u00E9"}));
  }
  DebugTrace(u"dgn: third");
  EXPECT_EQ(outer.Lines(), (std::vector<std::u16string>{u"dgn: first", u"dgn: third"}));
  EXPECT_TRUE(outer.Contains(u"dgn: third"));
  EXPECT_FALSE(outer.Contains(u"dgn: thir"));
  outer.Clear();
  EXPECT_TRUE(outer.Lines().empty());
}

TEST(Guarded, PassesTheResultThroughWhenTheBodySucceeds) {
  TraceCapture trace;
  EXPECT_EQ(Guarded(u"dgn: Error in T.Op call...", -1, [] { return 7; }), 7);
  EXPECT_TRUE(trace.Lines().empty());
}

TEST(Guarded, ReturnsTheFailureValueAndTracesOnceWhenTheBodyThrows) {
  const std::u16string line = u"dgn: Error in TWAVCommonChunk.LoadFile call...";
  TraceCapture trace;
  EXPECT_EQ(Guarded(line, 0x80004005u, []() -> unsigned { throw std::runtime_error("x"); }),
            0x80004005u);
  EXPECT_EQ(Guarded(line, std::u16string(), []() -> std::u16string { throw 42; }), u"");
  EXPECT_EQ(trace.Lines(), (std::vector<std::u16string>{line, line}));

  trace.Clear();
  bool after = false;
  GuardedVoid(u"Error in TForm1.LoadFile call...", [&] {
    throw std::bad_alloc();
    after = true;  // never reached
  });
  EXPECT_FALSE(after);
  EXPECT_EQ(trace.Lines(), (std::vector<std::u16string>{u"Error in TForm1.LoadFile call..."}));
}

}  // namespace
}  // namespace riffo
