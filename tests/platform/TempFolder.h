// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
#pragma once

#include <string>

namespace riffo::test {

class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

private:
  std::string FPath;
};

// Whole-file helpers for checking what landed on disk.
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

}  // namespace riffo::test
