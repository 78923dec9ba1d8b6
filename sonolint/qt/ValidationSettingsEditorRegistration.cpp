// Links the rule settings dialog into the module: when the library is
// loaded, Configure learns to show it.
#include "sonolint/SonolintClass.h"
#include "sonolint/qt/QXValidationSettings.h"

namespace riffo {
namespace {

struct TRegisterValidationSettingsEditor {
  TRegisterValidationSettingsEditor() { SetValidationSettingsEditor(&ConfigureValidationSettings); }
  ~TRegisterValidationSettingsEditor() { SetValidationSettingsEditor({}); }
  TRegisterValidationSettingsEditor(const TRegisterValidationSettingsEditor&) = delete;
  TRegisterValidationSettingsEditor& operator=(const TRegisterValidationSettingsEditor&) = delete;
};

const TRegisterValidationSettingsEditor gRegisterValidationSettingsEditor;

}  // namespace
}  // namespace riffo
