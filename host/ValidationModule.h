// One validation module library loaded into the host: the library handle,
// the module's control object, its optional reset interface and the host's
// report sink that was handed to it.
#pragma once

#include <string>

#include "contract/QuorvexControlInterface.h"
#include "contract/QxRef.h"
#include "platform/DynLib.h"

namespace riffo {

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
