// What the fuzz targets share: a reader that splits one input into typed
// values, a failure that stops the run with a message, and a scratch folder
// for the targets that have to write files.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace riffo::fuzz {

// An invariant does not hold: say which and abort, so the fuzzer keeps the
// input as a reproducer and the replay under ctest fails.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz invariant failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

inline std::u16string U16Number(int64_t value) {
  const std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

// Takes values from the front of the input; once it is used up every value
// reads as zero and every text as empty, so any input is a valid one.
class TFuzzInput {
public:
  TFuzzInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}

  bool Empty() const { return FPos >= FSize; }
  size_t Remaining() const { return FSize - FPos; }

  uint8_t Byte() { return Empty() ? 0 : FData[FPos++]; }
  bool Bool() { return (Byte() & 1) != 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }

  // A value in [low, high] (high >= low).
  int64_t Range(int64_t low, int64_t high) {
    const auto span = static_cast<uint64_t>(high - low);
    if (span == 0) return low;
    const uint64_t raw = span < 256 ? Byte() : span < 65536 ? U16() : U32();
    return low + static_cast<int64_t>(raw % (span + 1));
  }

  // One of the given values.
  template <typename T, size_t N>
  T Pick(const T (&values)[N]) {
    return values[static_cast<size_t>(Range(0, static_cast<int64_t>(N) - 1))];
  }

  // Up to count bytes, fewer when the input ends.
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t n = std::min(count, Remaining());
    std::vector<uint8_t> out(FData + FPos, FData + FPos + n);
    FPos += n;
    return out;
  }

  // A length byte (capped at maxLength), then that many bytes.
  std::string Text(size_t maxLength) {
    const size_t length = std::min<size_t>(Byte(), maxLength);
    const std::vector<uint8_t> bytes = Bytes(length);
    return std::string(bytes.begin(), bytes.end());
  }

  // A length byte (capped at maxLength), then that many code units of two
  // bytes each: any UTF-16, lone surrogates and non-characters included.
  std::u16string Text16(size_t maxLength) {
    const size_t length = std::min<size_t>(Byte(), maxLength);
    std::u16string out;
    for (size_t i = 0; i < length && !Empty(); ++i) out.push_back(static_cast<char16_t>(U16()));
    return out;
  }

  std::vector<uint8_t> Rest() { return Bytes(Remaining()); }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

// A folder of the process's own under the temporary folder, made on first
// use and removed with its contents when the process ends normally.
class TScratchFolder {
public:
  static const std::string& Path() {
    static TScratchFolder folder;
    return folder.FPath;
  }

  // Removes everything inside the folder (one level of sub-folders deep is
  // all the targets make).
  static void Clear(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(path + "/" + name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
      struct stat info {};
      if (::lstat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        Clear(name);
        ::rmdir(name.c_str());
      } else {
        ::unlink(name.c_str());
      }
    }
  }

  // The names (not paths) of the entries in a folder, sorted.
  static std::vector<std::string> List(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
  }

private:
  TScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/riffoscope-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder");
    FPath = pattern;
  }
  ~TScratchFolder() {
    Clear(FPath);
    ::rmdir(FPath.c_str());
  }
  std::string FPath;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace riffo::fuzz
