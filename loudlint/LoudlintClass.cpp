#include "loudlint/LoudlintClass.h"

#include "chunkmodel/WAVCommonChunk.h"
#include "chunkmodel/WAVHelpers.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"

namespace riffo {
IQuorvexControl* TLoudlint::CreateInstance() {
  // The object deletes itself in its last Release.
  return new TLoudlint();
}

TLoudlint::TLoudlint() {
  GuardedVoid(u"dgn: Error in TLoudlint.Create call...", [&] {
    FCatalogue.LoadFromRegistry(HKEY_CURRENT_USER, LOUDLINT_RULES_REGISTRY_KEY);
    FSettings.LoadFromRegistry();
  });
}

TLoudlint::~TLoudlint() {
  GuardedVoid(u"dgn: Error in TLoudlint.Destroy call...", [&] {
    FWorker.reset();
    FSettings.SaveToRegistry();
    FCatalogue.SaveToRegistry(HKEY_CURRENT_USER, LOUDLINT_RULES_REGISTRY_KEY);
  });
}

HRESULT TLoudlint::GetModuleName(const char16_t** moduleName) {
  if (moduleName == nullptr) return E_FAIL;
  *moduleName = FModuleName.c_str();
  return S_OK;
}

TLoudlint::TWaitResult TLoudlint::RunCommand(int32_t command, const std::u16string& fileName,
                                             int32_t limitMS) {
  TLoudlintWorker& worker = *FWorker;
  const auto post = [&] {
    switch (command) {
      case LL_COMMAND_LOAD: worker.LoadFile(fileName); break;
      case LL_COMMAND_UNLOAD: worker.UnloadFile(); break;
      case LL_COMMAND_PLAY: worker.Play(); break;
      default: worker.Stop(); break;
    }
  };
  return WaitForWorker(
      worker, post, [&] { return worker.Status(); }, LL_STATUS_DONE_OFFSET + command,
      LL_STATUS_FAILED_OFFSET + command, limitMS);
}

HRESULT TLoudlint::LoadFile(const char16_t* fileName) {
  return Guarded(u"dgn: Error in TLoudlint.LoadFile call...", E_FAIL, [&] {
    if (fileName == nullptr) return E_FAIL;
    const std::u16string name = fileName;
    if (!IsWAVEFile(name)) return E_FAIL;
    FWorker.reset();
    FWorker = std::make_unique<TLoudlintWorker>();
    FWorker->SetCatalogue(&FCatalogue);
    FWorker->SetSettings(FSettings);
    Report(REPORT_TYPE_INFO, LL_RUN_START_ID, u"Start validation at " + NowToText());
    Report(REPORT_TYPE_INFO, LL_RUN_LOADING_FILE_ID, u"Loading File: " + name);
    switch (RunCommand(LL_COMMAND_LOAD, name, FSettings.LOAD_FILE_TIMEOUT_MS)) {
      case TWaitResult::Done: return S_OK;
      case TWaitResult::Failed: return E_FAIL;
      case TWaitResult::TimedOut: break;
    }
    Report(REPORT_TYPE_ERROR, LL_RUN_LOAD_TIMEOUT_ID, u"Loading timeout.");
    return E_FAIL;
  });
}

HRESULT TLoudlint::Play() {
  return Guarded(u"dgn: Error in TLoudlint.Play call...", E_FAIL, [&] {
    if (!FWorker) return E_FAIL;
    switch (RunCommand(LL_COMMAND_PLAY, {}, FSettings.PLAY_TIMEOUT_MS)) {
      case TWaitResult::Done: return S_OK;
      case TWaitResult::Failed: return E_FAIL;
      case TWaitResult::TimedOut: break;
    }
    Report(REPORT_TYPE_ERROR, LL_RUN_PLAY_TIMEOUT_ID, u"Play timeout.");
    return E_FAIL;
  });
}

HRESULT TLoudlint::Stop() {
  return Guarded(u"dgn: Error in TLoudlint.Stop call...", E_FAIL, [&] {
    if (!FWorker) return E_FAIL;
    switch (RunCommand(LL_COMMAND_STOP, {}, FSettings.STOP_TIMEOUT_MS)) {
      case TWaitResult::Done: return S_OK;
      case TWaitResult::Failed: return E_FAIL;
      case TWaitResult::TimedOut: break;
    }
    Report(REPORT_TYPE_ERROR, LL_RUN_STOP_TIMEOUT_ID, u"Stop timeout.");
    return E_FAIL;
  });
}

HRESULT TLoudlint::UnloadFile() {
  return Guarded(u"dgn: Error in TLoudlint.UnloadFile call...", E_FAIL, [&] {
    if (!FWorker) return E_FAIL;
    const TWaitResult result = RunCommand(LL_COMMAND_UNLOAD, {}, FSettings.UNLOAD_FILE_TIMEOUT_MS);
    if (result == TWaitResult::TimedOut) {
      // The worker is kept: it may still be busy with the file.
      Report(REPORT_TYPE_INFO, LL_RUN_UNLOADING_FILE_ID, u"Unloading File.");
      Report(REPORT_TYPE_ERROR, LL_RUN_UNLOAD_TIMEOUT_ID, u"Unloading timeout.");
      return E_FAIL;
    }
    FWorker.reset();
    Report(REPORT_TYPE_INFO, LL_RUN_UNLOADING_FILE_ID, u"Unloading File.");
    Report(REPORT_TYPE_INFO, LL_RUN_FINISH_ID, u"Finish validation at " + NowToText());
    return result == TWaitResult::Done ? S_OK : E_FAIL;
  });
}

HRESULT TLoudlint::GetMediaDuration(int64_t* duration) {
  if (duration == nullptr || !FWorker) return E_FAIL;
  *duration = FWorker->Duration();
  return S_OK;
}

HRESULT TLoudlint::GetMediaPosition(int64_t* position) {
  if (position == nullptr || !FWorker) return E_FAIL;
  *position = 0;
  return S_OK;
}

HRESULT TLoudlint::GetProgress(double* progress) {
  if (progress == nullptr || !FWorker) return E_FAIL;
  *progress = FWorker->Progress();
  return S_OK;
}

HRESULT TLoudlint::Configure(uint32_t /*windowHandle*/) {
  return Guarded(u"dgn: Error in TLoudlint.Configure call...", E_FAIL, [&] {
    // Confirmed or cancelled, the dialog's closing is a success; a process
    // without a widget application cannot show it, which is a failure.
    TLoudlintDialogState state{&FCatalogue, &FSettings};
    FDialog.Show(&state, 1);
    return S_OK;
  });
}

HRESULT TLoudlint::SetQuorvexReport(IQuorvexReport* quorvexReport) {
  if (quorvexReport == nullptr) return E_INVALIDARG;
  return FCatalogue.SetQuorvexReport(quorvexReport);
}

HRESULT TLoudlint::Reset() { return S_OK; }

HRESULT TLoudlint::Report(int32_t reportType, int32_t validationID, const std::u16string& message) {
  return FCatalogue.Report(MODULE_ID_LOUDLINT, reportType, message, validationID, -1);
}

}  // namespace riffo
