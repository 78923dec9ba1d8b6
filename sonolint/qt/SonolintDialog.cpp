// Sonolint's dialog library entry: the rule settings dialog on the module's
// catalogue (the state Sonolint hands over is its TRuleCatalogue).
#include <cstdint>

#include "contract/QuorvexControlInterface.h"
#include "modulekit/ModuleDialog.h"
#include "modulekit/qt/QXValidationSettings.h"
#include "platform/Guard.h"

QVX_EXPORT int32_t QvxUiConfigure(uint32_t abiVersion, void* state, int32_t showAdvanced) {
  if (abiVersion != riffo::QVXUI_ABI_VERSION || state == nullptr) return -1;
  return riffo::Guarded(u"dgn: Error in Sonolint settings dialog call...", int32_t{-1}, [&] {
    return riffo::ConfigureValidationSettings(*static_cast<riffo::TRuleCatalogue*>(state),
                                              showAdvanced);
  });
}
