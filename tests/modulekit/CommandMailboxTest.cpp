// The command mailbox between a module object and its worker thread, with
// handlers standing in for a worker: giving a command up, a handler that
// fails, and the end of the thread during work.
#include "modulekit/CommandMailbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace riffo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int32_t LIMIT_MS = 30000;

// Waits (up to 30 s) until the condition holds; whether it does.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto until = Clock::now() + 30s;
  while (!condition()) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(CommandMailbox, AGivenUpLoadSeesItUntilTheNextCommand) {
  TCommandMailbox mailbox(u"TTestWorker");
  std::u16string loadedName;
  std::atomic<bool> loadSawGiveUp{false};
  std::atomic<bool> unloadSawGiveUp{true};
  mailbox.Start({[&] {
                   loadedName = mailbox.FileName();
                   loadSawGiveUp = Eventually([&] { return mailbox.GivenUp(); });
                   mailbox.Answer(FailedStatus(COMMAND_LOAD));
                 },
                 [&] {
                   unloadSawGiveUp = mailbox.GivenUp();
                   mailbox.Answer(DoneStatus(COMMAND_UNLOAD));
                 },
                 [&] { mailbox.Answer(DoneStatus(COMMAND_PLAY)); }});
  // A limit of 0 ms expires before the answer is looked at.
  EXPECT_EQ(mailbox.PostAndWait(COMMAND_LOAD, u"long.wav", 0), TCommandWait::TimedOut);
  EXPECT_EQ(mailbox.Status(), COMMAND_LOAD);  // pending
  mailbox.GiveUp();
  // The next command waits for the load's answer, then starts afresh.
  EXPECT_EQ(mailbox.PostAndWait(COMMAND_UNLOAD, {}, LIMIT_MS), TCommandWait::Done);
  EXPECT_TRUE(loadSawGiveUp);
  EXPECT_FALSE(unloadSawGiveUp);
  EXPECT_EQ(loadedName, u"long.wav");
  EXPECT_EQ(mailbox.Status(), DoneStatus(COMMAND_UNLOAD));
  // Stop is answered by the mailbox itself.
  EXPECT_EQ(mailbox.PostAndWait(COMMAND_STOP, {}, LIMIT_MS), TCommandWait::Done);
  EXPECT_TRUE(mailbox.Empty());
}

TEST(CommandMailbox, AFailingHandlerFailsItsCommandAndTheMailboxGoesOn) {
  TCommandMailbox mailbox(u"TTestWorker");
  mailbox.Start({[&] { throw std::runtime_error("unreadable"); },
                 [&] { mailbox.Answer(DoneStatus(COMMAND_UNLOAD)); },
                 [&] { mailbox.Answer(DoneStatus(COMMAND_PLAY)); }});
  EXPECT_EQ(mailbox.PostAndWait(COMMAND_LOAD, u"x.wav", LIMIT_MS), TCommandWait::Failed);
  EXPECT_EQ(mailbox.Status(), FailedStatus(COMMAND_LOAD));
  EXPECT_EQ(mailbox.PostAndWait(COMMAND_UNLOAD, {}, LIMIT_MS), TCommandWait::Done);
}

TEST(CommandMailbox, WorkAnsweredEarlyIsInterruptedByTheNextCommandAndByTheEnd) {
  for (const bool byStop : {true, false}) {
    SCOPED_TRACE(byStop ? "stop" : "end");
    TCommandMailbox mailbox(u"TTestWorker");
    std::atomic<bool> working{false};
    std::atomic<bool> interrupted{false};
    mailbox.Start({[&] { mailbox.Answer(DoneStatus(COMMAND_LOAD)); },
                   [&] { mailbox.Answer(DoneStatus(COMMAND_UNLOAD)); },
                   [&] {
                     // Answered before the work, as an analysis is.
                     mailbox.Answer(DoneStatus(COMMAND_PLAY));
                     working = true;
                     interrupted = Eventually([&] { return mailbox.Interrupted(); });
                   }});
    ASSERT_EQ(mailbox.PostAndWait(COMMAND_PLAY, {}, LIMIT_MS), TCommandWait::Done);
    ASSERT_TRUE(Eventually([&] { return working.load(); }));
    EXPECT_FALSE(mailbox.Interrupted());
    if (byStop) {
      EXPECT_EQ(mailbox.PostAndWait(COMMAND_STOP, {}, LIMIT_MS), TCommandWait::Done);
    } else {
      mailbox.End();
    }
    EXPECT_TRUE(interrupted);
  }
}

}  // namespace
}  // namespace riffo
