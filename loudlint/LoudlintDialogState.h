// What Loudlint hands its dialog library (built together with the module):
// the rule catalogue and the module settings, changed in place only when the
// user confirms the dialog.
#pragma once

#include "loudlint/LoudlintSettings.h"
#include "modulekit/RuleCatalogue.h"

namespace riffo {

struct TLoudlintDialogState {
  TRuleCatalogue* Rules = nullptr;
  TLoudlintSettings* Settings = nullptr;
};

}  // namespace riffo
