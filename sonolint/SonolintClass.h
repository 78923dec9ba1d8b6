// The Sonolint module object: the module side of the plug-in contract. It owns
// the rule catalogue and the module settings, runs each file through a worker
// of its own (TModuleRun) and keeps the silence and noise totals across files
// until the host resets them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "contract/QuorvexControlInterface.h"
#include "modulekit/ModuleDialog.h"
#include "modulekit/ModuleRun.h"
#include "contract/QxRef.h"
#include "sonolint/SonolintSettings.h"
#include "sonolint/ValidationSettings.h"
#include "sonolint/WAVValidationThread.h"

namespace riffo {

// Run lines of the module object.
inline constexpr int32_t RUN_START_ID = 101;
inline constexpr int32_t RUN_LOADING_FILE_ID = 102;
inline constexpr int32_t RUN_UNLOADING_FILE_ID = 103;
inline constexpr int32_t RUN_LOAD_TIMEOUT_ID = 104;
inline constexpr int32_t RUN_UNLOAD_TIMEOUT_ID = 105;
inline constexpr int32_t RUN_PLAY_TIMEOUT_ID = 106;
inline constexpr int32_t RUN_STOP_TIMEOUT_ID = 107;
inline constexpr int32_t RUN_FINISH_ID = 108;
inline constexpr int32_t CUMULATIVE_SILENCE_ID = 504;
inline constexpr int32_t CUMULATIVE_NOISE_ID = 505;

// The module's settings dialog library, beside the module.
inline constexpr const char16_t* SONOLINT_DIALOG_LIBRARY = u"Sonolint.qvxui";

class TSonolint final : public TModuleRun<TWAVValidationThread> {
public:
  // A new module object with one reference for the caller; null when it
  // could not be made.
  static IQuorvexControl* CreateInstance();

  // IQuorvexControl (the run itself is TModuleRun's)
  HRESULT QVX_CALL Configure(uint32_t windowHandle) override;

  // IQuorvexReportSet
  HRESULT QVX_CALL SetQuorvexReport(IQuorvexReport* quorvexReport) override;

  // IQuorvexReset: clears the cumulative totals.
  HRESULT QVX_CALL Reset() override;

private:
  TSonolint();
  ~TSonolint() override;

  // TModuleRun
  void SetUpWorker(TWAVValidationThread& worker) override;
  TCommandLimits Limits() const override;
  HRESULT ReportRunLine(int32_t reportType, int32_t validationID,
                        const std::u16string& message) override;
  // Adds the file's silence and noise to the cumulative totals and sends them.
  void FileUnloaded(TWAVValidationThread& worker) override;

  HRESULT LoadRegistry();
  HRESULT SaveRegistry();

  TQxRef<IQuorvexReport> FQuorvexReport;
  TSonolintSettings FSonolintSettings;
  std::unique_ptr<TValidationSettingList> FValidationSettingList;
  TModuleDialog FDialog{SONOLINT_DIALOG_LIBRARY};
  long double FCumulativeSilenceSeconds = 0;
  long double FCumulativeNoiseSeconds = 0;
};

}  // namespace riffo
