#include "modulekit/ModuleDialog.h"

#include <dlfcn.h>

#include <stdexcept>
#include <utility>

#include "platform/Files.h"
#include "platform/Text.h"

namespace riffo {
namespace {

// Its address names the library this code is linked into (the module).
const char gModuleAnchor = 0;

std::u16string FolderOfThisLibrary() {
  Dl_info info{};
  if (::dladdr(&gModuleAnchor, &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::u16string() : Utf8ToUtf16(path.substr(0, slash + 1));
}

}  // namespace

bool WidgetToolkitLoaded() {
  void* handle = ::dlopen(WIDGET_TOOLKIT_LIBRARY, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  ::dlclose(handle);  // NOLOAD took a reference of its own
  return true;
}

TModuleDialog::TModuleDialog(std::u16string fileName) : FFileName(std::move(fileName)) {}

TModuleDialog::~TModuleDialog() = default;

std::u16string TModuleDialog::LibraryPath() const { return FolderOfThisLibrary() + FFileName; }

int32_t TModuleDialog::Show(void* state, int32_t showAdvanced) {
  std::lock_guard lock(FLock);
  if (!FLibrary.Loaded()) {
    const std::u16string path = LibraryPath();
    if (!FileExists(path)) return 0;
    // Loading the dialog library into a process without the toolkit would
    // bring the toolkit in, and there would be no application to show in.
    if (!WidgetToolkitLoaded()) throw std::runtime_error("no widget application");
    if (!FLibrary.Load(path)) throw std::runtime_error(FLibrary.LastError());
  }
  const auto hasApplication =
      reinterpret_cast<TQvxUiHasApplication>(FLibrary.Symbol(QVXUI_HAS_APPLICATION));
  const auto configure = reinterpret_cast<TQvxUiConfigure>(FLibrary.Symbol(QVXUI_CONFIGURE));
  if (hasApplication == nullptr || configure == nullptr)
    throw std::runtime_error(FLibrary.LastError());
  if (hasApplication() == 0) throw std::runtime_error("no widget application");
  const int32_t result = configure(QVXUI_ABI_VERSION, state, showAdvanced);
  if (result < 0) throw std::runtime_error("the settings dialog failed");
  return result;
}

}  // namespace riffo
