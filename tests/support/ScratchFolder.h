// A fresh folder for one test, removed afterwards, with the per-user store
// pointed into it (its "config" subfolder) so that tests never share settings.
#pragma once

#include <filesystem>
#include <cstdint>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace riffo::test {

class ScratchFolder {
public:
  explicit ScratchFolder(const std::string& prefix = "scratch")
      : FFolder(prefix), FConfigHome("XDG_CONFIG_HOME", FFolder.File("config")) {}

  std::filesystem::path Path(const std::string& name) const {
    return std::filesystem::path(FFolder.Path()) / name;
  }
  std::u16string Name(const std::string& name) const { return Path(name).u16string(); }
  std::u16string Write(const std::string& name, const std::string& bytes) const {
    WriteFileBytes(Path(name).string(), bytes);
    return Name(name);
  }
  std::u16string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    WriteFileBytes(Path(name).string(), bytes);
    return Name(name);
  }
  std::string Read(const std::string& name) const { return ReadFileText(Path(name).string()); }

private:
  TempFolder FFolder;
  ScopedEnv FConfigHome;
};

}  // namespace riffo::test
