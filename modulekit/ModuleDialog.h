// A module's settings dialog lives in a library of its own beside the module
// ("<Module>.qvxui"), the only part of the module that uses the widget
// toolkit. The module stays free of it, so that a run without windows (the
// command line) never maps the toolkit; the dialog library is loaded only
// when Configure is called in a process that has a widget application.
//
// The dialog library exports two plain functions:
//   int32_t QvxUiHasApplication(void)
//     non-zero when the process has a widget application to show a dialog in;
//   int32_t QvxUiConfigure(uint32_t abiVersion, void* state, int32_t showAdvanced)
//     shows the dialog modally on the module's state (what state points to is
//     agreed between a module and its own dialog library, built together);
//     1 when the user confirmed, 0 when cancelled, -1 on failure or on an
//     ABI version it was not built for.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/DynLib.h"

namespace riffo {

inline constexpr uint32_t QVXUI_ABI_VERSION = 1;
inline constexpr const char* QVXUI_HAS_APPLICATION = "QvxUiHasApplication";
inline constexpr const char* QVXUI_CONFIGURE = "QvxUiConfigure";
using TQvxUiHasApplication = int32_t (*)();
using TQvxUiConfigure = int32_t (*)(uint32_t abiVersion, void* state, int32_t showAdvanced);

// The library that holds the widget toolkit's widgets; when the process has
// not loaded it, it has no widget application either.
inline constexpr const char* WIDGET_TOOLKIT_LIBRARY = "libQt6Widgets.so.6";

class TModuleDialog {
public:
  // fileName: the dialog library's file name, looked for in the folder of
  // the module library this code is linked into.
  explicit TModuleDialog(std::u16string fileName);
  ~TModuleDialog();
  TModuleDialog(const TModuleDialog&) = delete;
  TModuleDialog& operator=(const TModuleDialog&) = delete;

  // What a module's Configure does with its dialog. 0 with nothing shown
  // when the module has no dialog library (a build without windows); throws
  // std::runtime_error when the process has no widget application, or the
  // library does not load or fails; otherwise 1 (confirmed) or 0 (cancelled).
  // The library stays loaded until this object goes.
  int32_t Show(void* state, int32_t showAdvanced);

  // The full path the dialog library is looked for at.
  std::u16string LibraryPath() const;

private:
  std::u16string FFileName;
  std::mutex FLock;
  TDynLib FLibrary;
};

// True when the process has the widget toolkit's library mapped (without
// loading it when it has not).
bool WidgetToolkitLoaded();

}  // namespace riffo
