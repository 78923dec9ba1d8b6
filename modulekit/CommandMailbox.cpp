#include "modulekit/CommandMailbox.h"

#include <utility>

#include "platform/Guard.h"

namespace riffo {
namespace {

constexpr std::chrono::milliseconds POLL_STEP{1};
// Every post and the end of the thread wake the worker at once; the timeout
// is only a safety net, long enough that a worker kept idle between files
// costs nothing.
constexpr std::chrono::milliseconds IDLE_WAIT{1000};

}  // namespace

TCommandMailbox::TCommandMailbox(std::u16string ownerName)
    : FOwnerName(std::move(ownerName)),
      FExecuteTrace(u"dgn: Error in " + FOwnerName + u".Execute call...") {}

TCommandMailbox::~TCommandMailbox() {
  GuardedVoid(u"dgn: Error in " + FOwnerName + u".Destroy call...", [&] { End(); });
}

void TCommandMailbox::Start(TMailboxHandlers handlers) {
  FHandlers = std::move(handlers);
  FThread = std::thread([this] { Serve(); });
}

void TCommandMailbox::End() {
  if (!FThread.joinable()) return;
  FTerminated.store(true, std::memory_order_release);
  FWakeEvent.Set();
  FThread.join();
}

// The thread body: serve the mailbox when a command is posted until the
// thread is to end.
void TCommandMailbox::Serve() {
  GuardedVoid(FExecuteTrace, [&] {
    for (;;) {
      FWakeEvent.Wait(IDLE_WAIT);
      if (FTerminated.load(std::memory_order_acquire)) break;
      const int32_t command = FCommand.load(std::memory_order_acquire);
      if (command != 0) Execute(command);
    }
  });
}

void TCommandMailbox::Execute(int32_t command) {
  // A failure escaping a command must not end the loop, or every later post
  // would wait for ever: it becomes the command's failure status instead.
  const bool done = Guarded(FExecuteTrace, false, [&] {
    switch (command) {
      case COMMAND_LOAD: FHandlers.Load(); return true;
      case COMMAND_UNLOAD: FHandlers.Unload(); return true;
      case COMMAND_PLAY: FHandlers.Play(); return true;
      case COMMAND_STOP: Answer(DoneStatus(COMMAND_STOP)); return true;
      default: return true;  // unknown values stay in the mailbox, ignored
    }
  });
  if (!done) Answer(FailedStatus(command));
}

void TCommandMailbox::Answer(int32_t status) {
  FStatus.store(status, std::memory_order_release);
  FCommand.store(0, std::memory_order_release);
  FAnswerEvent.Set();
}

void TCommandMailbox::Post(int32_t command, const std::u16string& fileName) {
  while (!Empty()) std::this_thread::sleep_for(POLL_STEP);
  // The mailbox is empty, so the worker is done with the file name; it reads
  // the new one only once it sees the command stored below.
  if (command == COMMAND_LOAD) FFileName = fileName;
  FGivenUp.store(false, std::memory_order_release);
  FStatus.store(command, std::memory_order_release);
  FCommand.store(command, std::memory_order_release);
  FWakeEvent.Set();
}

TCommandWait TCommandMailbox::PostAndWait(int32_t command, const std::u16string& fileName,
                                          int32_t limitMS) {
  using TClock = std::chrono::steady_clock;
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(limitMS);
  while (!Empty()) {
    WaitForAnswer(POLL_STEP);
    if (TClock::now() > deadline) return TCommandWait::TimedOut;
  }
  Post(command, fileName);
  for (;;) {
    WaitForAnswer(POLL_STEP);
    if (TClock::now() > deadline) return TCommandWait::TimedOut;
    const int32_t now = Status();
    if (now == DoneStatus(command)) return TCommandWait::Done;
    if (now == FailedStatus(command)) return TCommandWait::Failed;
  }
}

}  // namespace riffo
