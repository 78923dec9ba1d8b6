// Points the per-user store at a fresh folder of the test's own for the
// lifetime of the object, so no test sees another's values or the user's.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace riffo::test {

class StoreFolder {
public:
  StoreFolder() {
    const char* previous = std::getenv("XDG_CONFIG_HOME");
    if (previous) FPrevious = previous;
    FHadPrevious = previous != nullptr;
    std::string pattern = (std::filesystem::temp_directory_path() / "riffo-store-XXXXXX").string();
    if (char* made = mkdtemp(pattern.data())) FFolder = made;
    EXPECT_FALSE(FFolder.empty());
    setenv("XDG_CONFIG_HOME", FFolder.c_str(), 1);
  }
  ~StoreFolder() {
    if (FHadPrevious)
      setenv("XDG_CONFIG_HOME", FPrevious.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    if (!FFolder.empty()) std::filesystem::remove_all(FFolder, ignored);
  }
  StoreFolder(const StoreFolder&) = delete;
  StoreFolder& operator=(const StoreFolder&) = delete;

  const std::string& Path() const { return FFolder; }

private:
  std::string FFolder;
  std::string FPrevious;
  bool FHadPrevious = false;
};

}  // namespace riffo::test
