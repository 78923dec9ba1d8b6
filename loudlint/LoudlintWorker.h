// The worker of one Loudlint run. The module object drives it through a
// one-slot command mailbox (load, unload, play, stop) and polls a status word
// until the worker answers, as Sonolint's worker is driven. Loading reads the
// chunk tree and takes the format, the data chunk's place and the bext
// loudness fields; play measures the data and sends the findings through the
// rule catalogue.
//
// Mailbox protocol: a command is posted only into an empty mailbox; the
// poster writes the status before the mailbox, the worker writes the status
// and then empties the mailbox when a command is done (play empties it before
// its work starts, so that a stop posted during the measurement cuts it
// short). Both words are atomics stored with release and loaded with acquire
// ordering, which also publishes everything written before them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "loudlint/LoudlintSettings.h"
#include "loudlint/LoudnessFindings.h"
#include "modulekit/RuleCatalogue.h"
#include "pcm/PcmFormat.h"
#include "platform/Event.h"

namespace riffo {

inline constexpr int32_t LL_COMMAND_LOAD = 1;
inline constexpr int32_t LL_COMMAND_UNLOAD = 2;
inline constexpr int32_t LL_COMMAND_PLAY = 3;
inline constexpr int32_t LL_COMMAND_STOP = 4;
// Status of a command once done: 100 + command; failed: 200 + command.
inline constexpr int32_t LL_STATUS_DONE_OFFSET = 100;
inline constexpr int32_t LL_STATUS_FAILED_OFFSET = 200;

// What a load found in the file.
struct TLoadedStream {
  bool HasFormat = false;  // a fmt record and a data chunk
  TPcmFormat Format;
  uint32_t ChannelMask = 0;
  int64_t DataOffset = 0;
  int64_t DataSize = 0;
  std::optional<TBextLoudness> Bext;  // bext version 2 or later
};

// Reads what the measurement needs from a WAVE file; false when the file
// cannot be opened or is not a RIFF tree.
bool LoadStreamDescription(const std::u16string& fileName, TLoadedStream& stream);

// Measures a loaded file's data with the settings and returns its lines.
// rules: the run's rule catalogue; the lines of its disabled rules are left
// out and only what the others need is measured (null: every rule is on).
// measured: receives the meter's result (may be null).
std::vector<TFinding> MeasureFile(const std::u16string& fileName, const TLoadedStream& stream,
                                  const TLoudlintSettings& settings,
                                  const std::function<bool()>& cancel,
                                  const TRuleCatalogue* rules = nullptr,
                                  TMeterResult* measured = nullptr);

class TLoudlintWorker {
public:
  TLoudlintWorker();
  // Ends the thread: a measurement in progress is cut short at its next piece.
  ~TLoudlintWorker();
  TLoudlintWorker(const TLoudlintWorker&) = delete;
  TLoudlintWorker& operator=(const TLoudlintWorker&) = delete;

  // Set before the first command.
  void SetCatalogue(const TRuleCatalogue* catalogue) { FCatalogue = catalogue; }
  void SetSettings(const TLoudlintSettings& settings) { FSettings = settings; }

  // Post into an empty mailbox (waiting in 1 ms steps for it) and return.
  void LoadFile(const std::u16string& fileName);
  void UnloadFile() { Post(LL_COMMAND_UNLOAD); }
  void Play() { Post(LL_COMMAND_PLAY); }
  void Stop() { Post(LL_COMMAND_STOP); }
  bool MailboxEmpty() const { return FCommand.load(std::memory_order_acquire) == 0; }
  // Waits until the worker answers a command (or the timeout passes); may
  // return early, so callers check the status and wait again.
  void WaitForAnswer(std::chrono::milliseconds timeout) { FAnswerEvent.Wait(timeout); }
  int32_t Status() const { return FStatus.load(std::memory_order_acquire); }

  int64_t Duration() const;  // 100 ns units
  double Progress() const;   // 0, or 100 once measured

private:
  void Execute();
  void ExecuteCommand(int32_t command);
  void DoLoad();
  void DoPlay();
  void Post(int32_t command);
  void Answer(int32_t status);
  bool MeasurementCancelled() const;
  void Report(const TFinding& finding) const;

  TAutoResetEvent FWakeEvent;    // a command was posted, or the thread is to end
  TAutoResetEvent FAnswerEvent;  // a command was answered
  std::atomic<bool> FTerminated{false};
  std::atomic<int32_t> FCommand{0};
  std::atomic<int32_t> FStatus{0};
  std::u16string FParamFileName;  // written by the poster before a load
  const TRuleCatalogue* FCatalogue = nullptr;
  TLoudlintSettings FSettings;
  // Worker side.
  std::u16string FLoadedFileName;
  std::optional<TLoadedStream> FStream;
  mutable std::mutex FLock;  // guards the two below
  int64_t FDuration = 0;
  double FProgress = 0;
  std::thread FThread;
};

}  // namespace riffo
