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

TSonolint::TSonolint()
    : TModuleRun({u"Sonolint",
                  u"TSonolint",
                  {RUN_START_ID, RUN_LOADING_FILE_ID, RUN_UNLOADING_FILE_ID, RUN_LOAD_TIMEOUT_ID,
                   RUN_UNLOAD_TIMEOUT_ID, RUN_PLAY_TIMEOUT_ID, RUN_STOP_TIMEOUT_ID, RUN_FINISH_ID},
                  &IsWAVEFile,
                  &NowToText}) {
  GuardedVoid(u"dgn: Error in TSonolint.Create call...", [&] {
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
    EndWorker();
    FQuorvexReport.Clear();
    SaveRegistry();
    if (FValidationSettingList) {
      FValidationSettingList->SaveToRegistry(HKEY_CURRENT_USER, VALIDATION_SETTINGS_REGISTRY_KEY);
      FValidationSettingList.reset();
    }
  });
}

void TSonolint::SetUpWorker(TWAVValidationThread& worker) {
  if (FQuorvexReport) {
    worker.SetQuorvexReport(FQuorvexReport.Get());
    worker.SetValidationSettingList(FValidationSettingList.get());
  }
  worker.SetSonolintSettings(FSonolintSettings);
}

TCommandLimits TSonolint::Limits() const {
  return {FSonolintSettings.LOAD_FILE_TIMEOUT_MS, FSonolintSettings.UNLOAD_FILE_TIMEOUT_MS,
          FSonolintSettings.PLAY_TIMEOUT_MS, FSonolintSettings.STOP_TIMEOUT_MS};
}

void TSonolint::FileUnloaded(TWAVValidationThread& worker) {
  FCumulativeSilenceSeconds += worker.TotalFileSilenceSeconds();
  FCumulativeNoiseSeconds += worker.TotalFileNoiseSeconds();
  ReportRunLine(REPORT_TYPE_INFO, CUMULATIVE_SILENCE_ID,
                u"Cumulative silence " +
                    SecondsToTimeText(0, static_cast<double>(FCumulativeSilenceSeconds)));
  ReportRunLine(
      REPORT_TYPE_INFO, CUMULATIVE_NOISE_ID,
      u"Cumulative noise " + SecondsToTimeText(0, static_cast<double>(FCumulativeNoiseSeconds)));
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
    if (TWAVValidationThread* worker = CurrentWorker()) worker->SetQuorvexReport(quorvexReport);
    if (FValidationSettingList) FValidationSettingList->SetQuorvexReport(quorvexReport);
    return S_OK;
  });
}

HRESULT TSonolint::Reset() {
  FCumulativeSilenceSeconds = 0;
  FCumulativeNoiseSeconds = 0;
  return S_OK;
}

HRESULT TSonolint::ReportRunLine(int32_t reportType, int32_t validationID,
                                 const std::u16string& message) {
  return Guarded(u"dgn: Error in TSonolint.Report call...", E_FAIL, [&] {
    if (!FValidationSettingList) return E_FAIL;
    return FValidationSettingList->Report(MODULE_ID_SONOLINT, reportType, message, validationID,
                                          -1);
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
