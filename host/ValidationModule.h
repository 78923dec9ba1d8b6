// One validation module library loaded into the host: the library handle,
// the module's control object, its optional reset interface and the host's
// report sink that was handed to it.
#pragma once

#include <string>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "contract/QxRef.h"
#include "platform/DynLib.h"

namespace riffo {

// Where module files live in an installed tree, relative to the folder above
// the program's (bin/ and lib/riffoscope/modules/ under one prefix).
inline constexpr char16_t MODULES_FOLDER_IN_PREFIX[] = u"lib/riffoscope/modules/";
// Further module folders, colon-separated, searched after the program's own.
inline constexpr char MODULE_PATH_VARIABLE[] = "RIFFOSCOPE_MODULE_PATH";

// The folders searched for module files, in order, each ending in "/": the
// program's folder, ../lib/riffoscope/modules from it (written without the
// "..": "/usr/bin/" gives "/usr/lib/riffoscope/modules/"), then each
// non-empty entry of RIFFOSCOPE_MODULE_PATH. An empty program folder stands
// for the current folder and has no relative folder below it.
std::vector<std::u16string> ValidationModuleFolders(const std::u16string& programFolder);
// The first folder's file of that name that exists, or "" when none has it.
// Only the first file counts: a later one is never tried instead.
std::u16string FindValidationModuleFile(const std::vector<std::u16string>& folders,
                                        const std::u16string& fileName);

class TValidationModule {
public:
  // Stores the host's report sink (taking a reference); nothing is loaded yet.
  explicit TValidationModule(IQuorvexReport* quorvexReport);
  // Unloads whatever is still bound.
  ~TValidationModule();
  TValidationModule(const TValidationModule&) = delete;
  TValidationModule& operator=(const TValidationModule&) = delete;

  // Loads the library and binds its module object; true when bound. A
  // missing file fails without a trace; every other failure is traced and
  // leaves the object empty, with its library freed.
  bool LoadValidationModule(const std::u16string& validationModuleFileName);
  // Releases the interface references (reset, sink, control, in that order)
  // and then frees the library; true unless something threw.
  bool UnloadValidationModule();

  const std::u16string& ValidationModuleFileName() const { return FValidationModuleFileName; }
  const std::u16string& ValidationModuleName() const { return FValidationModuleName; }
  bool Loaded() const { return FValidationModuleHandle.Loaded(); }
  IQuorvexControl* QuorvexControl() const { return FQuorvexControl.Get(); }
  IQuorvexReset* QuorvexReset() const { return FQuorvexReset.Get(); }

private:
  bool Bind(const std::u16string& validationModuleFileName);
  void ReleaseAll();

  std::u16string FValidationModuleFileName;
  std::u16string FValidationModuleName;
  // Declared before the references, so that even implicit destruction
  // releases every reference before the library goes.
  TDynLib FValidationModuleHandle;
  TQxRef<IQuorvexControl> FQuorvexControl;
  TQxRef<IQuorvexReport> FQuorvexReport;
  TQxRef<IQuorvexReset> FQuorvexReset;
};

}  // namespace riffo
