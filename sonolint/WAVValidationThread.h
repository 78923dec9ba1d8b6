// The worker of one validation run. The module object drives it through a
// one-slot command mailbox (load, unload, play, stop) and polls a status word
// until the worker answers; duration, position and progress are read under
// the worker's lock. The worker opens the file, loads the chunk tree, takes the
// stream parameters from the fmt and data chunks and, on play, runs the
// conformance rules and the silence and noise detector. Every finding passes
// through the rule catalogue on its way to the host.
//
// Mailbox protocol: a command is posted only into an empty mailbox; the
// poster writes the status before the mailbox, the worker writes the status
// and then empties the mailbox when a command is done (play empties it before
// its work starts). Both words are atomics stored with release and loaded with
// acquire ordering, which also publishes everything written before them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "chunkmodel/WAVCommonChunk.h"
#include "contract/QuorvexControlInterface.h"
#include "platform/Event.h"
#include "platform/Stream.h"
#include "contract/QxRef.h"
#include "sonolint/SonolintSettings.h"
#include "sonolint/ValidationSettings.h"
#include "sonolint/WAVRIFFValidator.h"
#include "sonolint/WAVSilenceNoiseDetector.h"

namespace riffo {

// Commands in the mailbox (0: empty).
inline constexpr int32_t VG_COMMAND_LOAD = 1;
inline constexpr int32_t VG_COMMAND_UNLOAD = 2;
inline constexpr int32_t VG_COMMAND_PLAY = 3;
inline constexpr int32_t VG_COMMAND_STOP = 4;
// Status of a command once done: 100 + command; failed: 200 + command. While
// a command is pending the status is the command itself.
inline constexpr int32_t VG_STATUS_DONE_OFFSET = 100;
inline constexpr int32_t VG_STATUS_FAILED_OFFSET = 200;

class TWAVValidationThread {
public:
  // Starts the worker thread; it waits for commands.
  TWAVValidationThread();
  // Ends the thread: a running analysis is cut short at its next piece, a
  // load in progress at its next chunk.
  ~TWAVValidationThread();
  TWAVValidationThread(const TWAVValidationThread&) = delete;
  TWAVValidationThread& operator=(const TWAVValidationThread&) = delete;

  // Posting: waits (1 ms steps, no limit) for an empty mailbox, then posts
  // and returns at once; the answer comes in the status word.
  HRESULT LoadFile(const std::u16string& fileName);
  HRESULT UnloadFile();
  HRESULT Play();
  HRESULT Stop();
  // Gives up the load posted last: the loader stops at its next chunk, drops
  // what it read and the load is answered as failed. For a poster that no
  // longer waits for the answer, so that the load does not go on using
  // memory and time. A later LoadFile starts afresh.
  void CancelLoad();
  // True when a command can be posted without waiting.
  bool MailboxEmpty() const;
  // Waits until the worker answers a command (or the timeout passes); the
  // poster then reads the status word. May return early: callers check the
  // status and wait again.
  void WaitForAnswer(std::chrono::milliseconds timeout);

  HRESULT GetVGThreadStatus(int32_t& status) const;
  HRESULT GetMediaDuration(int64_t& duration) const;  // 100 ns units
  HRESULT GetMediaPosition(int64_t& position) const;  // always 0
  HRESULT GetProgress(double& progress) const;        // 0, or 100 once analysed
  // The file's silence and noise totals of the last analysis, seconds.
  long double TotalFileSilenceSeconds() const;
  long double TotalFileNoiseSeconds() const;

  // Set before the first command.
  HRESULT SetQuorvexReport(IQuorvexReport* quorvexReport);
  HRESULT SetValidationSettingList(const TValidationSettingList* validationSettingList);
  void SetSonolintSettings(const TSonolintSettings& settings);

  // Where the tree, the rules and the detector send their findings: through
  // the catalogue, with stream -1. E_FAIL (line dropped) without a catalogue.
  HRESULT ReportFunction(int32_t module, int32_t reportType, const char16_t* reportMessage,
                         int32_t validationID, int32_t streamID);

  // Stream parameters as the load found them (for tests and diagnostics; read
  // them only once the load has been answered).
  int32_t Frequency() const { return FFrequency; }
  int32_t Channels() const { return FChannels; }
  int32_t BitsPerSample() const { return FBitsPerSample; }
  int64_t PCMDataOffset() const { return FPCMDataOffset; }
  int64_t PCMDataSize() const { return FPCMDataSize; }

private:
  void Execute();
  void ExecuteCommand(int32_t command);
  void DoLoad();
  void DoUnload();
  void DoPlay();
  void DoStop();
  void FreeRun();
  HRESULT Post(int32_t command);
  void Answer(int32_t status);  // publishes the status and empties the mailbox
  bool AnalysisCancelled() const;
  bool LoadCancelled() const;
  TReportFunction BoundReportFunction();

  TAutoResetEvent FWakeEvent;    // a command was posted, or the thread is to end
  TAutoResetEvent FAnswerEvent;  // a command was answered
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FLoadCancelled{false};
  mutable std::mutex FCriticalSection;  // guards the fields marked "lock"
  int64_t FDuration = 0;                // lock
  int64_t FPosition = 0;                // lock
  std::atomic<int32_t> FCommand{0};
  std::atomic<int32_t> FStatus{0};
  std::u16string FParamFileName;  // written by the poster before a load
  double FProgress = 0;           // lock
  TQxRef<IQuorvexReport> FQuorvexReport;
  std::unique_ptr<TFileStream> FFileStream;
  std::unique_ptr<TWAVCommonChunk> FWAVCommonChunk;
  std::unique_ptr<TWAVRIFFValidator> FWAVRIFFValidator;
  std::unique_ptr<TWAVSilenceDetector> FWAVSilenceDetector;
  const TValidationSettingList* FValidationSettingList = nullptr;
  // Worker-side state: written and read by the worker thread only, except as
  // noted above.
  std::u16string FLoadedFileName;
  // The stream's format as the sample readers describe it; set only when the
  // file has both a format record and a data chunk.
  std::optional<TPcmFormat> FPcmFormat;
  int32_t FFrequency = 0;
  int32_t FChannels = 0;
  int32_t FBitsPerSample = 0;
  int64_t FPCMDataOffset = 0;
  int64_t FPCMDataSize = 0;
  TSonolintSettings FSonolintSettings;
  long double FTotalFileSilenceSeconds = 0;  // lock
  long double FTotalFileNoiseSeconds = 0;    // lock
  std::thread FThread;
};

}  // namespace riffo
