// The Loudlint module object: the module side of the plug-in contract, with
// the same object model as Sonolint's. It owns the rule catalogue and the
// module settings and runs each file through a worker of its own
// (TModuleRun).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "contract/QuorvexControlInterface.h"
#include "contract/QxRef.h"
#include "loudlint/LoudlintDialogState.h"
#include "loudlint/LoudlintRules.h"
#include "loudlint/LoudlintSettings.h"
#include "loudlint/LoudlintWorker.h"
#include "modulekit/ModuleDialog.h"
#include "modulekit/ModuleRun.h"

namespace riffo {

inline constexpr const char16_t* LOUDLINT_DIALOG_LIBRARY = u"Loudlint.qvxui";

class TLoudlint final : public TModuleRun<TLoudlintWorker> {
public:
  // A new module object with one reference for the caller.
  static IQuorvexControl* CreateInstance();

  HRESULT QVX_CALL Configure(uint32_t windowHandle) override;
  HRESULT QVX_CALL SetQuorvexReport(IQuorvexReport* quorvexReport) override;
  // Nothing accumulates across files; S_OK.
  HRESULT QVX_CALL Reset() override;

private:
  TLoudlint();
  ~TLoudlint() override;

  // TModuleRun
  void SetUpWorker(TLoudlintWorker& worker) override;
  TCommandLimits Limits() const override;
  HRESULT ReportRunLine(int32_t reportType, int32_t validationID,
                        const std::u16string& message) override;

  TLoudlintCatalogue FCatalogue;
  TLoudlintSettings FSettings;
  TModuleDialog FDialog{LOUDLINT_DIALOG_LIBRARY};
};

}  // namespace riffo
