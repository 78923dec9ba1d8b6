// The one-slot command mailbox between a module object and its worker
// thread. The module object posts a command (load, unload, play, stop) and
// polls a status word until the worker answers; the worker thread serves the
// mailbox and runs the worker's handler for each command.
//
// Protocol: a command is posted only into an empty mailbox; the poster writes
// the status before the mailbox, the worker writes the status and then
// empties the mailbox when a command is done (play empties it before its work
// starts, so that a command posted during the work can cut it short). Both
// words are atomics stored with release and loaded with acquire ordering,
// which also publishes everything written before them (the file name of a
// load, the results of a command).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace riffo {

// Commands in the mailbox (0: empty).
inline constexpr int32_t COMMAND_LOAD = 1;
inline constexpr int32_t COMMAND_UNLOAD = 2;
inline constexpr int32_t COMMAND_PLAY = 3;
inline constexpr int32_t COMMAND_STOP = 4;
// Status of a command once done: 100 + command; failed: 200 + command. While
// a command is pending the status is the command itself.
inline constexpr int32_t STATUS_DONE_OFFSET = 100;
inline constexpr int32_t STATUS_FAILED_OFFSET = 200;

constexpr int32_t DoneStatus(int32_t command) { return STATUS_DONE_OFFSET + command; }
constexpr int32_t FailedStatus(int32_t command) { return STATUS_FAILED_OFFSET + command; }

// What the worker does for load, unload and play, on the worker thread. Each
// handler answers its command (Answer); a failure escaping a handler becomes
// the command's failure status. Stop is answered by the mailbox itself: the
// work it ends has already seen Interrupted().
struct TMailboxHandlers {
  std::function<void()> Load;
  std::function<void()> Unload;
  std::function<void()> Play;
};

enum class TCommandWait { Done, Failed, TimedOut };

class TCommandMailbox {
public:
  // ownerName names the worker in the trace of a failure on its thread.
  explicit TCommandMailbox(std::u16string ownerName);
  // Ends the thread if the owner has not.
  ~TCommandMailbox();
  TCommandMailbox(const TCommandMailbox&) = delete;
  TCommandMailbox& operator=(const TCommandMailbox&) = delete;

  // Starts the thread that serves the mailbox with the handlers; once.
  void Start(TMailboxHandlers handlers);
  // Ends the thread and waits for it: work in progress sees Interrupted()
  // and GivenUp() and is cut short. The owner calls this before its own
  // members go, since the handlers use them.
  void End();

  // ---- the poster's side
  // Waits (1 ms steps, no limit) for an empty mailbox, then posts and returns
  // at once; the answer comes in the status word. fileName is the file of a
  // load (the worker reads it with FileName()).
  void Post(int32_t command, const std::u16string& fileName = {});
  // Posts the command and waits for its answer, in steps of at most a
  // millisecond (an answer wakes the wait at once). The limit (milliseconds)
  // also bounds the wait for the mailbox to become free, so a worker still
  // busy with a command that timed out cannot block the poster for ever; in
  // each pass the limit is checked before the status.
  TCommandWait PostAndWait(int32_t command, const std::u16string& fileName, int32_t limitMS);
  // True when a command can be posted without waiting.
  bool Empty() const { return FCommand.load(std::memory_order_acquire) == 0; }
  // Waits until the worker answers a command (or the timeout passes). May
  // return early: callers check the status and wait again.
  void WaitForAnswer(std::chrono::milliseconds timeout) { FAnswerEvent.Wait(timeout); }
  int32_t Status() const { return FStatus.load(std::memory_order_acquire); }
  // Gives up the command posted last, for a poster that no longer waits for
  // its answer: GivenUp() holds until the next command is posted, so that a
  // load does not go on using memory and time.
  void GiveUp() { FGivenUp.store(true, std::memory_order_release); }

  // ---- the worker's side
  // The file name posted with the last load.
  const std::u16string& FileName() const { return FFileName; }
  // Publishes the status and empties the mailbox.
  void Answer(int32_t status);
  // Work to be cut short: the thread is to end, or a command was posted
  // during the work (normally stop), so neither waits for a long file.
  bool Interrupted() const {
    return FTerminated.load(std::memory_order_acquire) ||
           FCommand.load(std::memory_order_acquire) != 0;
  }
  // The thread is to end, or the poster gave up the command.
  bool GivenUp() const {
    return FTerminated.load(std::memory_order_acquire) || FGivenUp.load(std::memory_order_acquire);
  }

private:
  void Serve();
  void Execute(int32_t command);

  const std::u16string FOwnerName;
  const std::u16string FExecuteTrace;  // the trace of a failure on the thread
  TMailboxHandlers FHandlers;
  TAutoResetEvent FWakeEvent;    // a command was posted, or the thread is to end
  TAutoResetEvent FAnswerEvent;  // a command was answered
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FGivenUp{false};
  std::atomic<int32_t> FCommand{0};
  std::atomic<int32_t> FStatus{0};
  std::u16string FFileName;  // written by the poster before a load
  std::thread FThread;
};

}  // namespace riffo
