// The Loudlint module object: the module side of the plug-in contract, with
// the same object model as Sonolint's. It owns the rule catalogue and the
// module settings, creates one worker per file, turns the host's blocking
// calls (LoadFile, Play, Stop, UnloadFile) into worker commands with a wait
// bounded by the command's time limit and sends the run lines that open and
// close a run.
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
#include "modulekit/ModuleObject.h"

namespace riffo {

inline constexpr const char16_t* LOUDLINT_DIALOG_LIBRARY = u"Loudlint.qvxui";

class TLoudlint final : public TModuleObject {
public:
  // A new module object with one reference for the caller.
  static IQuorvexControl* CreateInstance();

  HRESULT QVX_CALL GetModuleName(const char16_t** moduleName) override;
  HRESULT QVX_CALL LoadFile(const char16_t* fileName) override;
  HRESULT QVX_CALL UnloadFile() override;
  HRESULT QVX_CALL GetMediaDuration(int64_t* duration) override;
  HRESULT QVX_CALL GetMediaPosition(int64_t* position) override;
  HRESULT QVX_CALL Play() override;
  HRESULT QVX_CALL Stop() override;
  HRESULT QVX_CALL GetProgress(double* progress) override;
  HRESULT QVX_CALL Configure(uint32_t windowHandle) override;

  HRESULT QVX_CALL SetQuorvexReport(IQuorvexReport* quorvexReport) override;

  // Nothing accumulates across files; S_OK.
  HRESULT QVX_CALL Reset() override;

private:
  TLoudlint();
  ~TLoudlint() override;

  using TWaitResult = TCommandWait;
  // Posts the command and waits for the worker's answer (WaitForWorker).
  TWaitResult RunCommand(int32_t command, const std::u16string& fileName, int32_t limitMS);
  HRESULT Report(int32_t reportType, int32_t validationID, const std::u16string& message);

  std::u16string FModuleName = u"Loudlint";
  std::unique_ptr<TLoudlintWorker> FWorker;
  TLoudlintCatalogue FCatalogue;
  TLoudlintSettings FSettings;
  TModuleDialog FDialog{LOUDLINT_DIALOG_LIBRARY};
};

}  // namespace riffo
