#include "sonolint/SonolintClass.h"

#include <chrono>
#include <thread>

#include "chunkmodel/WAVCommonChunk.h"
#include "chunkmodel/WAVHelpers.h"
#include "platform/Clock.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"

namespace riffo {
namespace {

constexpr std::chrono::milliseconds WAIT_STEP{1};

struct TCommandInfo {
  int32_t DoneStatus;
  int32_t FailedStatus;
};

}  // namespace

IQuorvexControl* TSonolint::CreateInstance() {
  // The object deletes itself in its last Release.
  auto* sonolint = new TSonolint();
  return sonolint;
}

TSonolint::TSonolint() {
  GuardedVoid(u"dgn: Error in TSonolint.Create call...", [&] {
    FFrequency = PerformanceFrequency();
    FModuleName = u"Sonolint";
    FCumulativeSilenceSeconds = 0;
    FCumulativeNoiseSeconds = 0;
    FSonolintSettings = TSonolintSettings{};
    FValidationSettingList = std::make_unique<TValidationSettingList>();
    FValidationSettingList->AddBuiltInValidationSettings();
    FValidationSettingList->LoadFromRegistry(HKEY_CURRENT_USER, VALIDATION_SETTINGS_REGISTRY_KEY);
    LoadRegistry();
  });
}

TSonolint::~TSonolint() {
  GuardedVoid(u"dgn: Error in TSonolint.Destroy call...", [&] {
    FWAVValidationThread.reset();
    FQuorvexReport.Clear();
    SaveRegistry();
    if (FValidationSettingList) {
      FValidationSettingList->SaveToRegistry(HKEY_CURRENT_USER, VALIDATION_SETTINGS_REGISTRY_KEY);
      FValidationSettingList.reset();
    }
  });
}

HRESULT TSonolint::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_INVALIDARG;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IQuorvexControl) {
    *object = static_cast<IQuorvexControl*>(this);
  } else if (iid == IID_IQuorvexVideoControl) {
    *object = static_cast<IQuorvexVideoControl*>(this);
  } else if (iid == IID_IQuorvexReportSet) {
    *object = static_cast<IQuorvexReportSet*>(this);
  } else if (iid == IID_IQuorvexReset) {
    *object = static_cast<IQuorvexReset*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t TSonolint::AddRef() { return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t TSonolint::Release() {
  const uint32_t count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

HRESULT TSonolint::GetModuleName(const char16_t** moduleName) {
  return Guarded(u"dgn: Error in TSonolint.GetModuleName call...", E_FAIL, [&] {
    if (moduleName == nullptr) {
      DebugTrace(u"dgn: Error in TSonolint.GetModuleName - invalid argument.");
      return E_FAIL;
    }
    *moduleName = FModuleName.c_str();
    return S_OK;
  });
}

double TSonolint::ElapsedMilliseconds(int64_t start) const {
  const double seconds =
      static_cast<double>(PerformanceCounter() - start) / static_cast<double>(FFrequency);
  return seconds * 1000.0;
}

TSonolint::TWaitResult TSonolint::RunCommand(TCommand command, const std::u16string& fileName,
                                             int32_t limitMS) {
  TWAVValidationThread& worker = *FWAVValidationThread;
  const int64_t start = PerformanceCounter();
  // A worker still busy with an earlier command that timed out must not
  // block the host for ever.
  while (!worker.MailboxEmpty()) {
    worker.WaitForAnswer(WAIT_STEP);
    if (ElapsedMilliseconds(start) > limitMS) return TWaitResult::TimedOut;
  }
  TCommandInfo info{};
  switch (command) {
    case TCommand::Load:
      worker.LoadFile(fileName);
      info = {101, 201};
      break;
    case TCommand::Unload:
      worker.UnloadFile();
      info = {102, 202};
      break;
    case TCommand::Play:
      worker.Play();
      info = {103, 203};
      break;
    case TCommand::Stop:
      worker.Stop();
      info = {104, 204};
      break;
  }
  // The answer wakes the wait at once; the step bounds it when none comes.
  for (;;) {
    worker.WaitForAnswer(WAIT_STEP);
    if (ElapsedMilliseconds(start) > limitMS) return TWaitResult::TimedOut;
    int32_t status = 0;
    worker.GetVGThreadStatus(status);
    if (status == info.DoneStatus) return TWaitResult::Done;
    if (status == info.FailedStatus) return TWaitResult::Failed;
  }
}

HRESULT TSonolint::LoadFile(const char16_t* fileName) {
  return Guarded(u"dgn: Error in TSonolint.LoadFile call...", E_FAIL, [&] {
    if (fileName == nullptr) {
      DebugTrace(u"dgn: Error in TSonolint.LoadFile - invalid argument.");
      return E_FAIL;
    }
    const std::u16string name = fileName;
    if (!IsWAVEFile(name)) return E_FAIL;

    FWAVValidationThread.reset();
    FWAVValidationThread = std::make_unique<TWAVValidationThread>();
    if (FQuorvexReport) {
      FWAVValidationThread->SetQuorvexReport(FQuorvexReport.Get());
      FWAVValidationThread->SetValidationSettingList(FValidationSettingList.get());
    }
    FWAVValidationThread->SetSonolintSettings(FSonolintSettings);

    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, RUN_START_ID,
           u"Start validation at " + NowToText());
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, RUN_LOADING_FILE_ID, u"Loading File: " + name);

    switch (RunCommand(TCommand::Load, name, FSonolintSettings.LOAD_FILE_TIMEOUT_MS)) {
      case TWaitResult::Done: return S_OK;
      case TWaitResult::Failed: return E_FAIL;
      case TWaitResult::TimedOut: break;
    }
    DebugTrace(u"dgn: Error in TSonolint.LoadFile - timeout.");
    // Given up: the worker must not go on reading the file.
    FWAVValidationThread->CancelLoad();
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, RUN_LOAD_TIMEOUT_ID, u"Loading timeout.");
    return E_FAIL;
  });
}

HRESULT TSonolint::Play() {
  return Guarded(u"dgn: Error in TSonolint.Play call...", E_FAIL, [&] {
    if (!FWAVValidationThread) return E_FAIL;
    switch (RunCommand(TCommand::Play, {}, FSonolintSettings.PLAY_TIMEOUT_MS)) {
      case TWaitResult::Done: return S_OK;
      case TWaitResult::Failed: return E_FAIL;
      case TWaitResult::TimedOut: break;
    }
    DebugTrace(u"dgn: Error in TSonolint.Play - timeout.");
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, RUN_PLAY_TIMEOUT_ID, u"Play timeout.");
    return E_FAIL;
  });
}

HRESULT TSonolint::Stop() {
  return Guarded(u"dgn: Error in TSonolint.Stop call...", E_FAIL, [&] {
    if (!FWAVValidationThread) return E_FAIL;
    switch (RunCommand(TCommand::Stop, {}, FSonolintSettings.STOP_TIMEOUT_MS)) {
      case TWaitResult::Done: return S_OK;
      case TWaitResult::Failed: return E_FAIL;
      case TWaitResult::TimedOut: break;
    }
    DebugTrace(u"dgn: Error in TSonolint.Stop - timeout.");
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, RUN_STOP_TIMEOUT_ID, u"Stop timeout.");
    return E_FAIL;
  });
}

HRESULT TSonolint::UnloadFile() {
  return Guarded(u"dgn: Error in TSonolint.UnloadFile call...", E_FAIL, [&] {
    if (!FWAVValidationThread) return E_FAIL;
    const TWaitResult result =
        RunCommand(TCommand::Unload, {}, FSonolintSettings.UNLOAD_FILE_TIMEOUT_MS);
    if (result == TWaitResult::TimedOut) {
      // The worker is kept: it may still be busy with the file.
      DebugTrace(u"dgn: Error in TSonolint.UnloadFile - timeout.");
      Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, RUN_UNLOADING_FILE_ID, u"Unloading File.");
      Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, RUN_UNLOAD_TIMEOUT_ID, u"Unloading timeout.");
      return E_FAIL;
    }
    FCumulativeSilenceSeconds += FWAVValidationThread->TotalFileSilenceSeconds();
    FCumulativeNoiseSeconds += FWAVValidationThread->TotalFileNoiseSeconds();
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, CUMULATIVE_SILENCE_ID,
           u"Cumulative silence " +
               SecondsToTimeText(0, static_cast<double>(FCumulativeSilenceSeconds)));
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, CUMULATIVE_NOISE_ID,
           u"Cumulative noise " +
               SecondsToTimeText(0, static_cast<double>(FCumulativeNoiseSeconds)));
    FWAVValidationThread.reset();
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, RUN_UNLOADING_FILE_ID, u"Unloading File.");
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, RUN_FINISH_ID,
           u"Finish validation at " + NowToText());
    return result == TWaitResult::Done ? S_OK : E_FAIL;
  });
}

HRESULT TSonolint::GetMediaDuration(int64_t* duration) {
  return Guarded(u"dgn: Error in TSonolint.GetMediaDuration call...", E_FAIL, [&] {
    if (duration == nullptr) {
      DebugTrace(u"dgn: Error in TSonolint.GetMediaDuration - invalid argument.");
      return E_FAIL;
    }
    if (!FWAVValidationThread) return E_FAIL;
    return FWAVValidationThread->GetMediaDuration(*duration);
  });
}

HRESULT TSonolint::GetMediaPosition(int64_t* position) {
  return Guarded(u"dgn: Error in TSonolint.GetMediaPosition call...", E_FAIL, [&] {
    if (position == nullptr) {
      DebugTrace(u"dgn: Error in TSonolint.GetMediaPosition - invalid argument.");
      return E_FAIL;
    }
    if (!FWAVValidationThread) return E_FAIL;
    return FWAVValidationThread->GetMediaPosition(*position);
  });
}

HRESULT TSonolint::GetProgress(double* progress) {
  return Guarded(u"dgn: Error in TSonolint.GetProgress call...", E_FAIL, [&] {
    if (progress == nullptr) {
      DebugTrace(u"dgn: Error in TSonolint.GetProgress - invalid argument.");
      return E_FAIL;
    }
    if (!FWAVValidationThread) return E_FAIL;
    double value = 0;
    FWAVValidationThread->GetProgress(value);
    *progress = value < 0 ? 0 : (value > 100 ? 100 : value);
    return S_OK;
  });
}

HRESULT TSonolint::Configure(uint32_t /*windowHandle*/) {
  return Guarded(u"dgn: Error in TSonolint.Configure call...", E_FAIL, [&] {
    // Confirmed or cancelled, the dialog's closing is a success; a process
    // without a widget application cannot show it, which is a failure.
    if (FValidationSettingList) FDialog.Show(static_cast<TRuleCatalogue*>(FValidationSettingList.get()), 0);
    return S_OK;
  });
}

HRESULT TSonolint::GetVideoWindowsCount(uint32_t* count) {
  if (count != nullptr) *count = 0;
  return E_NOTIMPL;
}

HRESULT TSonolint::GetVideoWindow(uint32_t /*index*/, IVideoWindow** videoWindow) {
  if (videoWindow != nullptr) *videoWindow = nullptr;
  return E_NOTIMPL;
}

HRESULT TSonolint::SetQuorvexReport(IQuorvexReport* quorvexReport) {
  return Guarded(u"dgn: Error in TSonolint.SetQuorvexReport call...", E_FAIL, [&] {
    if (quorvexReport == nullptr) {
      DebugTrace(u"dgn: Error in TSonolint.SetQuorvexReport call...");
      return E_INVALIDARG;
    }
    FQuorvexReport = TQxRef<IQuorvexReport>::Share(quorvexReport);
    if (FWAVValidationThread) FWAVValidationThread->SetQuorvexReport(quorvexReport);
    if (FValidationSettingList) FValidationSettingList->SetQuorvexReport(quorvexReport);
    return S_OK;
  });
}

HRESULT TSonolint::Reset() {
  FCumulativeSilenceSeconds = 0;
  FCumulativeNoiseSeconds = 0;
  return S_OK;
}

HRESULT TSonolint::Report(int32_t module, int32_t reportType, int32_t validationID,
                          const std::u16string& message) {
  return Guarded(u"dgn: Error in TSonolint.Report call...", E_FAIL, [&] {
    if (!FValidationSettingList) return E_FAIL;
    return FValidationSettingList->Report(module, reportType, message, validationID, -1);
  });
}

HRESULT TSonolint::LoadRegistry() {
  return Guarded(u"dgn: Error in TSonolint.LoadRegistry call...", E_FAIL,
                 [&] { return FSonolintSettings.LoadFromRegistry(); });
}

HRESULT TSonolint::SaveRegistry() {
  return Guarded(u"dgn: Error in TSonolint.SaveRegistry call...", E_FAIL,
                 [&] { return FSonolintSettings.SaveToRegistry(); });
}

}  // namespace riffo
