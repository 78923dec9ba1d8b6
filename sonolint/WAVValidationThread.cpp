#include "sonolint/WAVValidationThread.h"

#include <algorithm>
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

}  // namespace

TWAVValidationThread::TWAVValidationThread() {
  GuardedVoid(u"dgn: Error in TWAVValidationThread.Create call...", [&] {
    FMailbox.Start({[this] { DoLoad(); }, [this] { DoUnload(); }, [this] { DoPlay(); }});
  });
}

TWAVValidationThread::~TWAVValidationThread() {
  GuardedVoid(u"dgn: Error in TWAVValidationThread.Destroy call...", [&] {
    FMailbox.End();
    FreeRun();
    FQuorvexReport.Clear();
  });
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
  FLoadedFileName = FMailbox.FileName();
  int32_t status = FailedStatus(COMMAND_LOAD);
  if (IsWAVEFile(FLoadedFileName)) {
    FFileStream = TFileStream::Open(FLoadedFileName, FileMode::OpenRead);
    if (FFileStream) {
      FWAVCommonChunk = std::make_unique<TWAVCommonChunk>(nullptr);
      FWAVCommonChunk->SetReportFunction(BoundReportFunction());
      FWAVCommonChunk->SetCancelFunction([this] { return FMailbox.GivenUp(); });
      if (FWAVCommonChunk->LoadChunk(FFileStream.get()) == S_OK) {
        FWAVRIFFValidator = std::make_unique<TWAVRIFFValidator>();
        FWAVRIFFValidator->SetReportFunction(BoundReportFunction());
        status = DoneStatus(COMMAND_LOAD);
      } else if (FMailbox.GivenUp()) {
        // Nobody waits for this file any more: let go of what was read.
        FreeRun();
      }
    }
  }

  {
    std::lock_guard lock(FCriticalSection);
    TWAVCommonChunk* fmt = nullptr;
    TWAVCommonChunk* data = nullptr;
    // Nothing of an earlier file may carry over: a worker takes file after file.
    FPcmFormat.reset();
    FFrequency = 0;
    FChannels = 0;
    FBitsPerSample = 0;
    FPCMDataOffset = 0;
    FPCMDataSize = 0;
    FTotalFileSilenceSeconds = 0;
    FTotalFileNoiseSeconds = 0;
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
    FProgress = 0;
  }

  FWAVSilenceDetector = std::make_unique<TWAVSilenceDetector>();
  FWAVSilenceDetector->SetReportFunction(BoundReportFunction());
  // Any command posted during the analysis (normally stop) and the end of the
  // thread cut it short, so neither has to wait for a long file.
  FWAVSilenceDetector->SetCancelFunction([this] { return FMailbox.Interrupted(); });
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
  FMailbox.Answer(status);
}

void TWAVValidationThread::DoUnload() {
  FreeRun();
  {
    std::lock_guard lock(FCriticalSection);
    FDuration = 0;
    FProgress = 0;
  }
  FMailbox.Answer(DoneStatus(COMMAND_UNLOAD));
}

void TWAVValidationThread::DoPlay() {
  // Answered before the work, so the poster sees the analysis start at once.
  FMailbox.Answer(DoneStatus(COMMAND_PLAY));
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

int64_t TWAVValidationThread::Duration() const {
  std::lock_guard lock(FCriticalSection);
  return FDuration;
}

double TWAVValidationThread::Progress() const {
  std::lock_guard lock(FCriticalSection);
  return FProgress;
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
