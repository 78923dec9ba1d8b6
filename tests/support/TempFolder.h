// Scratch space for tests: a fresh folder under the system's temporary folder,
// removed with its contents when the object goes, an environment variable set
// for a scope, and whole-file helpers for checking what landed on disk.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace riffo::test {

class TempFolder {
public:
  // prefix names the folder ("riffo-<prefix>-XXXXXX") so a leftover tells
  // which tests made it.
  explicit TempFolder(const std::string& prefix = "test") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("riffo-" + prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

private:
  std::string FPath;
};

// Sets an environment variable for the lifetime of the object and puts back
// what was there before (or removes it).
class ScopedEnv {
public:
  ScopedEnv(const std::string& name, const std::string& value) : FName(name) {
    if (const char* previous = std::getenv(name.c_str())) FPrevious = previous;
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (FPrevious)
      ::setenv(FName.c_str(), FPrevious->c_str(), 1);
    else
      ::unsetenv(FName.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  std::string FName;
  std::optional<std::string> FPrevious;
};

inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

template <typename ByteVector>
void WriteFileBytes(const std::string& path, const ByteVector& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Writes head and extends the file with a hole to totalSize bytes: the hole
// reads as zeros and takes no disk space, so files over 4 GiB stay cheap.
template <typename ByteVector>
void WriteSparseFile(const std::string& path, const ByteVector& head, uint64_t totalSize) {
  WriteFileBytes(path, head);
  std::filesystem::resize_file(path, totalSize);
}

}  // namespace riffo::test
