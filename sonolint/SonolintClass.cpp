#include "sonolint/SonolintClass.h"

#include "chunkmodel/WAVCommonChunk.h"
#include "chunkmodel/WAVHelpers.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"

namespace riffo {

IQuorvexControl* TSonolint::CreateInstance() {
  // The object deletes itself in its last Release.
  auto* sonolint = new TSonolint();
  return sonolint;
}

TSonolint::TSonolint() {
  GuardedVoid(u"dgn: Error in TSonolint.Create call...", [&] {
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

TSonolint::TWaitResult TSonolint::RunCommand(TCommand command, const std::u16string& fileName,
                                             int32_t limitMS) {
  TWAVValidationThread& worker = *FWAVValidationThread;
  int32_t posted = VG_COMMAND_STOP;
  switch (command) {
    case TCommand::Load: posted = VG_COMMAND_LOAD; break;
    case TCommand::Unload: posted = VG_COMMAND_UNLOAD; break;
    case TCommand::Play: posted = VG_COMMAND_PLAY; break;
    case TCommand::Stop: posted = VG_COMMAND_STOP; break;
  }
  const auto post = [&] {
    switch (command) {
      case TCommand::Load: worker.LoadFile(fileName); break;
      case TCommand::Unload: worker.UnloadFile(); break;
      case TCommand::Play: worker.Play(); break;
      case TCommand::Stop: worker.Stop(); break;
    }
  };
  const auto status = [&] {
    int32_t value = 0;
    worker.GetVGThreadStatus(value);
    return value;
  };
  return WaitForWorker(worker, post, status, VG_STATUS_DONE_OFFSET + posted,
                       VG_STATUS_FAILED_OFFSET + posted, limitMS);
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
    Report(
        MODULE_ID_SONOLINT, REPORT_TYPE_INFO, CUMULATIVE_NOISE_ID,
        u"Cumulative noise " + SecondsToTimeText(0, static_cast<double>(FCumulativeNoiseSeconds)));
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
    if (FValidationSettingList)
      FDialog.Show(static_cast<TRuleCatalogue*>(FValidationSettingList.get()), 0);
    return S_OK;
  });
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
