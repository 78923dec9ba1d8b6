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

TLoudlint::TLoudlint()
    : TModuleRun({u"Loudlint",
                  u"TLoudlint",
                  {LL_RUN_START_ID, LL_RUN_LOADING_FILE_ID, LL_RUN_UNLOADING_FILE_ID,
                   LL_RUN_LOAD_TIMEOUT_ID, LL_RUN_UNLOAD_TIMEOUT_ID, LL_RUN_PLAY_TIMEOUT_ID,
                   LL_RUN_STOP_TIMEOUT_ID, LL_RUN_FINISH_ID},
                  &IsWAVEFile,
                  &NowToText}) {
  GuardedVoid(u"dgn: Error in TLoudlint.Create call...", [&] {
    FCatalogue.LoadFromRegistry(HKEY_CURRENT_USER, LOUDLINT_RULES_REGISTRY_KEY);
    FSettings.LoadFromRegistry();
  });
}

TLoudlint::~TLoudlint() {
  GuardedVoid(u"dgn: Error in TLoudlint.Destroy call...", [&] {
    EndWorker();
    FSettings.SaveToRegistry();
    FCatalogue.SaveToRegistry(HKEY_CURRENT_USER, LOUDLINT_RULES_REGISTRY_KEY);
  });
}

void TLoudlint::SetUpWorker(TLoudlintWorker& worker) {
  worker.SetCatalogue(&FCatalogue);
  worker.SetSettings(FSettings);
}

TCommandLimits TLoudlint::Limits() const {
  return {FSettings.LOAD_FILE_TIMEOUT_MS, FSettings.UNLOAD_FILE_TIMEOUT_MS,
          FSettings.PLAY_TIMEOUT_MS, FSettings.STOP_TIMEOUT_MS};
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

HRESULT TLoudlint::ReportRunLine(int32_t reportType, int32_t validationID,
                                 const std::u16string& message) {
  return FCatalogue.Report(MODULE_ID_LOUDLINT, reportType, message, validationID, -1);
}

}  // namespace riffo
