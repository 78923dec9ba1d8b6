// The worker of one validation run. The module object drives it through a
// command mailbox (modulekit/CommandMailbox.h) and polls the status word until
// the worker answers; duration, position and progress are read under the
// worker's lock. The worker opens the file, loads the chunk tree, takes the
// stream parameters from the fmt and data chunks and, on play, runs the
// conformance rules and the silence and noise detector. Every finding passes
// through the rule catalogue on its way to the host.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "chunkmodel/WAVCommonChunk.h"
#include "contract/QuorvexControlInterface.h"
#include "modulekit/CommandMailbox.h"
#include "platform/Stream.h"
#include "contract/QxRef.h"
#include "sonolint/SonolintSettings.h"
#include "sonolint/ValidationSettings.h"
#include "sonolint/WAVRIFFValidator.h"
#include "sonolint/WAVSilenceNoiseDetector.h"

namespace riffo {

class TWAVValidationThread {
public:
  // Starts the worker thread; it waits for commands.
  TWAVValidationThread();
  // Ends the thread: a running analysis is cut short at its next piece, a
  // load in progress at its next chunk.
  ~TWAVValidationThread();
  TWAVValidationThread(const TWAVValidationThread&) = delete;
  TWAVValidationThread& operator=(const TWAVValidationThread&) = delete;

  // Where the commands are posted and answered. A load given up there
  // (GiveUp) stops at its next chunk, drops what it read and is answered as
  // failed.
  TCommandMailbox& Mailbox() { return FMailbox; }

  int64_t Duration() const;  // 100 ns units
  double Progress() const;   // 0, or 100 once analysed

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
  void DoLoad();
  void DoUnload();
  void DoPlay();
  void FreeRun();
  TReportFunction BoundReportFunction();

  mutable std::mutex FCriticalSection;  // guards the fields marked "lock"
  int64_t FDuration = 0;                // lock
  double FProgress = 0;                 // lock
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
  // Last, so that its thread is started after and ended before the rest.
  TCommandMailbox FMailbox{u"TWAVValidationThread"};
};

}  // namespace riffo
