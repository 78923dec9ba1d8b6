// Points the per-user store at a fresh folder of the test's own for the
// lifetime of the object, so no test sees another's values or the user's.
#pragma once

#include <string>

#include "support/TempFolder.h"

namespace riffo::test {

class StoreFolder {
public:
  StoreFolder() : FFolder("store"), FConfigHome("XDG_CONFIG_HOME", FFolder.Path()) {}

  const std::string& Path() const { return FFolder.Path(); }
  std::string StoreFile() const { return Path() + "/brindlecorp/user.reg"; }

private:
  TempFolder FFolder;
  ScopedEnv FConfigHome;
};

}  // namespace riffo::test
