// Loudlint's dialog library entry: the rule settings dialog on the module's
// catalogue; its Advanced button opens the loudness settings. Both take
// effect only when the rule settings dialog is confirmed.
#include <cstdint>

#include "contract/QuorvexControlInterface.h"
#include "loudlint/LoudlintDialogState.h"
#include "loudlint/qt/LoudnessSettingsForm.h"
#include "modulekit/ModuleDialog.h"
#include "modulekit/qt/QXValidationSettings.h"
#include "platform/Guard.h"

QVX_EXPORT int32_t QvxUiConfigure(uint32_t abiVersion, void* state, int32_t showAdvanced) {
  if (abiVersion != riffo::QVXUI_ABI_VERSION || state == nullptr) return -1;
  return riffo::Guarded(u"dgn: Error in Loudlint settings dialog call...", int32_t{-1}, [&] {
    auto& loudlint = *static_cast<riffo::TLoudlintDialogState*>(state);
    if (loudlint.Rules == nullptr || loudlint.Settings == nullptr) return int32_t{-1};
    riffo::TLoudlintSettings working = *loudlint.Settings;
    const int32_t result = riffo::ConfigureValidationSettings(
        *loudlint.Rules, showAdvanced, [&working](QWidget& dialog) {
          riffo::TLoudnessSettingsForm form(working, &dialog);
          if (form.exec() == QDialog::Accepted) working = form.Settings();
        });
    if (result == 1) *loudlint.Settings = working;
    return result;
  });
}
