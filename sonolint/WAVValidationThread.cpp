#include "sonolint/WAVValidationThread.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "platform/DebugTrace.h"
#include "platform/Guard.h"

namespace riffo {
namespace {

// What the sample readers need of a format record.
TFmtFields FmtFieldsOf(const tWAVEFORMATEX& format) {
  TFmtFields fields;
  fields.FormatTag = format.wFormatTag;
  fields.Channels = format.nChannels;
  fields.SamplesPerSec = format.nSamplesPerSec;
  fields.BlockAlign = format.nBlockAlign;
  fields.BitsPerSample = format.wBitsPerSample;
  fields.HasExtension = format.HasExtension;
  fields.ValidBitsPerSample = format.wValidBitsPerSample;
  std::copy(std::begin(format.SubFormat), std::end(format.SubFormat), fields.SubFormat);
  return fields;
}

constexpr std::chrono::milliseconds POLL_STEP{1};

}  // namespace

TWAVValidationThread::TWAVValidationThread() {
  GuardedVoid(u"dgn: Error in TWAVValidationThread.Create call...",
              [&] { FThread = std::thread([this] { Execute(); }); });
}

TWAVValidationThread::~TWAVValidationThread() {
  GuardedVoid(u"dgn: Error in TWAVValidationThread.Destroy call...", [&] {
    if (FThread.joinable()) {
      FTerminated.store(true, std::memory_order_release);
      FWakeEvent.Set();
      FThread.join();
    }
    FreeRun();
    FQuorvexReport.Clear();
  });
}

// The thread body: serve the mailbox when a command is posted (and every
// millisecond besides) until the thread is to end.
void TWAVValidationThread::Execute() {
  GuardedVoid(u"dgn: Error in TWAVValidationThread.Execute call...", [&] {
    for (;;) {
      FWakeEvent.Wait(POLL_STEP);
      if (FTerminated.load(std::memory_order_acquire)) break;
      const int32_t command = FCommand.load(std::memory_order_acquire);
      if (command != 0) ExecuteCommand(command);
    }
  });
}

void TWAVValidationThread::ExecuteCommand(int32_t command) {
  // A failure escaping a command must not end the loop, or every later post
  // would wait for ever: it becomes the command's failure status instead.
  const bool done = Guarded(u"dgn: Error in TWAVValidationThread.Execute call...", false, [&] {
    switch (command) {
      case VG_COMMAND_LOAD: DoLoad(); return true;
      case VG_COMMAND_UNLOAD: DoUnload(); return true;
      case VG_COMMAND_PLAY: DoPlay(); return true;
      case VG_COMMAND_STOP: DoStop(); return true;
      default: return true;  // unknown values stay in the mailbox, ignored
    }
  });
  if (!done) Answer(VG_STATUS_FAILED_OFFSET + command);
}

void TWAVValidationThread::Answer(int32_t status) {
  FStatus.store(status, std::memory_order_release);
  FCommand.store(0, std::memory_order_release);
  FAnswerEvent.Set();
}

void TWAVValidationThread::FreeRun() {
  FWAVRIFFValidator.reset();
  FWAVSilenceDetector.reset();
  FWAVCommonChunk.reset();
  FFileStream.reset();
}

TReportFunction TWAVValidationThread::BoundReportFunction() {
  return [this](int32_t module, int32_t reportType, const char16_t* reportMessage,
                int32_t validationID, int32_t streamID) {
    return ReportFunction(module, reportType, reportMessage, validationID, streamID);
  };
}

void TWAVValidationThread::DoLoad() {
  FreeRun();
  FLoadedFileName = FParamFileName;
  int32_t status = VG_STATUS_FAILED_OFFSET + VG_COMMAND_LOAD;
  if (IsWAVEFile(FLoadedFileName)) {
    FFileStream = TFileStream::Open(FLoadedFileName, FileMode::OpenRead);
    if (FFileStream) {
      FWAVCommonChunk = std::make_unique<TWAVCommonChunk>(nullptr);
      FWAVCommonChunk->SetReportFunction(BoundReportFunction());
      FWAVCommonChunk->SetCancelFunction([this] { return LoadCancelled(); });
      if (FWAVCommonChunk->LoadChunk(FFileStream.get()) == S_OK) {
        FWAVRIFFValidator = std::make_unique<TWAVRIFFValidator>();
        FWAVRIFFValidator->SetReportFunction(BoundReportFunction());
        status = VG_STATUS_DONE_OFFSET + VG_COMMAND_LOAD;
      } else if (LoadCancelled()) {
        // Nobody waits for this file any more: let go of what was read.
        FreeRun();
      }
    }
  }

  {
    std::lock_guard lock(FCriticalSection);
    TWAVCommonChunk* fmt = nullptr;
    TWAVCommonChunk* data = nullptr;
    FPcmFormat.reset();
    if (FWAVCommonChunk) {
      FWAVCommonChunk->FindChunkByName(FOURCC_fmt, fmt, 1);
      FWAVCommonChunk->FindChunkByName(FOURCC_data, data, 1);
    }
    if (fmt != nullptr && data != nullptr && fmt->Ffmt) {
      const tWAVEFORMATEX& format = *fmt->Ffmt;
      FDuration = format.nAvgBytesPerSec == 0
                      ? 0
                      : static_cast<int64_t>(static_cast<double>(data->FSize) /
                                             format.nAvgBytesPerSec * 10000000.0);
      FPcmFormat = DescribePcmFormat(FmtFieldsOf(format));
      FFrequency = static_cast<int32_t>(format.nSamplesPerSec);
      FChannels = format.nChannels;
      FBitsPerSample = format.wBitsPerSample;
      FPCMDataOffset = data->FOffset + 8;
      // The loader's size: the 32-bit field taken unsigned, so a data chunk
      // of 2 GiB or more is analysed whole, or the 64-bit size of an RF64/BW64 file.
      FPCMDataSize = data->FSize;
    } else {
      FDuration = 0;
    }
    FPosition = 0;
    FProgress = 0;
  }

  FWAVSilenceDetector = std::make_unique<TWAVSilenceDetector>();
  FWAVSilenceDetector->SetReportFunction(BoundReportFunction());
  FWAVSilenceDetector->SetCancelFunction([this] { return AnalysisCancelled(); });
  // An unsupported format leaves the detector inactive; the run goes on
  // without silence and noise blocks. With a format record and a data chunk
  // the detector also says why the audio was not analysed.
  if (FPcmFormat) {
    FWAVSilenceDetector->SetPCMFormat(*FPcmFormat);
  } else {
    FWAVSilenceDetector->SetPCMFormat(FFrequency, FChannels, FBitsPerSample);
  }
  FWAVSilenceDetector->SetSilenceParameters(FSonolintSettings.SilenceLeveldB,
                                            FSonolintSettings.MinSilenceBlockMS);
  FWAVSilenceDetector->SetNoiseParameters(FSonolintSettings.NoiseLeveldB,
                                          FSonolintSettings.MinNoiseBlockMS);

  // Answered only now, so whoever sees the answer also finds the duration
  // and the detector in place.
  Answer(status);
}

void TWAVValidationThread::DoUnload() {
  FreeRun();
  {
    std::lock_guard lock(FCriticalSection);
    FDuration = 0;
    FPosition = 0;
    FProgress = 0;
  }
  Answer(VG_STATUS_DONE_OFFSET + VG_COMMAND_UNLOAD);
}

bool TWAVValidationThread::AnalysisCancelled() const {
  // Any command posted during the analysis (normally stop) and the end of the
  // thread cut it short, so neither has to wait for a long file.
  return FTerminated.load(std::memory_order_acquire) ||
         FCommand.load(std::memory_order_acquire) != 0;
}

bool TWAVValidationThread::LoadCancelled() const {
  return FTerminated.load(std::memory_order_acquire) ||
         FLoadCancelled.load(std::memory_order_acquire);
}

void TWAVValidationThread::CancelLoad() { FLoadCancelled.store(true, std::memory_order_release); }

void TWAVValidationThread::DoPlay() {
  // Answered before the work, so the poster sees the analysis start at once.
  Answer(VG_STATUS_DONE_OFFSET + VG_COMMAND_PLAY);
  if (FWAVRIFFValidator && FWAVCommonChunk) FWAVRIFFValidator->ValidateWAV(FWAVCommonChunk.get());
  if (!FWAVSilenceDetector) return;
  FWAVSilenceDetector->ProcessFile(FLoadedFileName, FPCMDataOffset, FPCMDataSize);
  const bool complete = !FWAVSilenceDetector->Cancelled();
  std::lock_guard lock(FCriticalSection);
  FTotalFileSilenceSeconds = FWAVSilenceDetector->TotalFileSilenceSeconds();
  FTotalFileNoiseSeconds = FWAVSilenceDetector->TotalFileNoiseSeconds();
  // 100 marks a complete analysis; one cut short by a command stays below.
  if (complete) FProgress = 100;
}

void TWAVValidationThread::DoStop() { Answer(VG_STATUS_DONE_OFFSET + VG_COMMAND_STOP); }

HRESULT TWAVValidationThread::Post(int32_t command) {
  while (FCommand.load(std::memory_order_acquire) != 0) std::this_thread::sleep_for(POLL_STEP);
  FStatus.store(command, std::memory_order_release);
  FCommand.store(command, std::memory_order_release);
  FWakeEvent.Set();
  return S_OK;
}

HRESULT TWAVValidationThread::LoadFile(const std::u16string& fileName) {
  return Guarded(u"dgn: Error in TWAVValidationThread.LoadFile call...", E_FAIL, [&] {
    while (FCommand.load(std::memory_order_acquire) != 0) std::this_thread::sleep_for(POLL_STEP);
    FParamFileName = fileName;
    FLoadCancelled.store(false, std::memory_order_release);
    return Post(VG_COMMAND_LOAD);
  });
}

HRESULT TWAVValidationThread::UnloadFile() {
  return Guarded(u"dgn: Error in TWAVValidationThread.UnloadFile call...", E_FAIL,
                 [&] { return Post(VG_COMMAND_UNLOAD); });
}

HRESULT TWAVValidationThread::Play() {
  return Guarded(u"dgn: Error in TWAVValidationThread.Play call...", E_FAIL,
                 [&] { return Post(VG_COMMAND_PLAY); });
}

HRESULT TWAVValidationThread::Stop() {
  return Guarded(u"dgn: Error in TWAVValidationThread.Stop call...", E_FAIL,
                 [&] { return Post(VG_COMMAND_STOP); });
}

bool TWAVValidationThread::MailboxEmpty() const {
  return FCommand.load(std::memory_order_acquire) == 0;
}

void TWAVValidationThread::WaitForAnswer(std::chrono::milliseconds timeout) {
  FAnswerEvent.Wait(timeout);
}

HRESULT TWAVValidationThread::GetVGThreadStatus(int32_t& status) const {
  status = FStatus.load(std::memory_order_acquire);
  return S_OK;
}

HRESULT TWAVValidationThread::GetMediaDuration(int64_t& duration) const {
  return Guarded(u"dgn: Error in TWAVValidationThread.GetMediaDuration call...", E_FAIL, [&] {
    std::lock_guard lock(FCriticalSection);
    duration = FDuration;
    return S_OK;
  });
}

HRESULT TWAVValidationThread::GetMediaPosition(int64_t& position) const {
  return Guarded(u"dgn: Error in TWAVValidationThread.GetMediaPosition call...", E_FAIL, [&] {
    std::lock_guard lock(FCriticalSection);
    position = FPosition;
    return S_OK;
  });
}

HRESULT TWAVValidationThread::GetProgress(double& progress) const {
  return Guarded(u"dgn: Error in TWAVValidationThread.GetProgress call...", E_FAIL, [&] {
    std::lock_guard lock(FCriticalSection);
    progress = FProgress;
    return S_OK;
  });
}

long double TWAVValidationThread::TotalFileSilenceSeconds() const {
  std::lock_guard lock(FCriticalSection);
  return FTotalFileSilenceSeconds;
}

long double TWAVValidationThread::TotalFileNoiseSeconds() const {
  std::lock_guard lock(FCriticalSection);
  return FTotalFileNoiseSeconds;
}

HRESULT TWAVValidationThread::SetQuorvexReport(IQuorvexReport* quorvexReport) {
  return Guarded(u"dgn: Error in TWAVValidationThread.SetQuorvexReport call...", E_FAIL, [&] {
    if (quorvexReport == nullptr) {
      DebugTrace(u"dgn: Error in TWAVValidationThread.SetQuorvexReport - invalid argument.");
      return E_INVALIDARG;
    }
    FQuorvexReport = TQxRef<IQuorvexReport>::Share(quorvexReport);
    return S_OK;
  });
}

HRESULT TWAVValidationThread::SetValidationSettingList(
    const TValidationSettingList* validationSettingList) {
  if (validationSettingList == nullptr) return E_INVALIDARG;
  FValidationSettingList = validationSettingList;
  return S_OK;
}

void TWAVValidationThread::SetSonolintSettings(const TSonolintSettings& settings) {
  FSonolintSettings = settings;
}

HRESULT TWAVValidationThread::ReportFunction(int32_t module, int32_t reportType,
                                             const char16_t* reportMessage, int32_t validationID,
                                             int32_t /*streamID*/) {
  return Guarded(u"dgn: Error in TWAVValidationThread.ReportFunction call...", E_FAIL, [&] {
    if (FValidationSettingList == nullptr) return E_FAIL;
    const std::u16string message = reportMessage != nullptr ? reportMessage : u"";
    return FValidationSettingList->Report(module, reportType, message, validationID, -1);
  });
}

}  // namespace riffo
