// Links the rule settings dialog into the module: when the library is
// loaded, Configure learns to show it.
#include <dlfcn.h>

#include <QWidget>

#include "sonolint/SonolintClass.h"
#include "sonolint/qt/QXValidationSettings.h"

namespace riffo {
namespace {

// The widget toolkit is not made to leave a process again: in a host that
// did not load it itself (the command line), it came with this module and
// would go with it, taking process-wide state along. Once here, it stays.
void KeepTheToolkitLoaded() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&QWidget::staticMetaObject), &info) == 0 || info.dli_fname == nullptr)
    return;
  // Already loaded: this only marks it (and what it needs) as never unloaded.
  dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

struct TRegisterValidationSettingsEditor {
  TRegisterValidationSettingsEditor() {
    KeepTheToolkitLoaded();
    SetValidationSettingsEditor(&ConfigureValidationSettings);
  }
  ~TRegisterValidationSettingsEditor() { SetValidationSettingsEditor({}); }
  TRegisterValidationSettingsEditor(const TRegisterValidationSettingsEditor&) = delete;
  TRegisterValidationSettingsEditor& operator=(const TRegisterValidationSettingsEditor&) = delete;
};

const TRegisterValidationSettingsEditor gRegisterValidationSettingsEditor;

}  // namespace
}  // namespace riffo
