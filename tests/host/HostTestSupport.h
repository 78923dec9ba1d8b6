// Shared by the host tests: a scratch folder per test, the fake modules'
// call log, and a report sink that writes its reference changes into the
// same log, so one sequence shows who released what and when.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "contract/QuorvexControlInterface.h"
#include "platform/Text.h"
#include "support/TempFolder.h"

namespace riffo::test {

inline std::u16string FakeModulePath(const std::string& folder,
                                     const std::string& file = "Sonolint.qvx") {
  return Utf8ToUtf16(std::string(FAKE_QVX_DIR) + "/" + folder + "/" + file);
}
inline std::string Path8ForFake(const std::string& folder,
                                const std::string& file = "Sonolint.qvx") {
  return std::string(FAKE_QVX_DIR) + "/" + folder + "/" + file;
}
inline std::u16string FakeFolder(const std::string& folder) {
  return Utf8ToUtf16(std::string(FAKE_QVX_DIR) + "/" + folder + "/");
}

// A 44-byte RIFF/WAVE file: header, 16-byte fmt chunk, empty data chunk.
inline std::string MinimalWav() {
  const unsigned char bytes[44] = {'R', 'I', 'F',  'F',  36,  0,   0,    0,    'W',  'A', 'V',
                                   'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,    1,   0,
                                   1,   0,   0x44, 0xAC, 0,   0,   0x88, 0x58, 0x01, 0,   2,
                                   0,   16,  0,    'd',  'a', 't', 'a',  0,    0,    0,   0};
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

inline void AppendLog(const std::string& line) {
  if (const char* path = std::getenv("FAKE_QVX_LOG"))
    if (FILE* file = std::fopen(path, "ab")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
}

// A scratch folder and a fresh call log for one test; the fake modules'
// environment switches are cleared before and after.
class THostTest : public ::testing::Test {
protected:
  void SetUp() override {
    FScratch.emplace("host");
    FDir = FScratch->Path();
    FLog = (FDir / "calls.log").string();
    ::setenv("FAKE_QVX_LOG", FLog.c_str(), 1);
    ClearSwitches();
  }
  void TearDown() override {
    ClearSwitches();
    ::unsetenv("FAKE_QVX_LOG");
    FScratch.reset();
  }
  static void ClearSwitches() {
    for (const char* tag : {"good", "stalls", "oddcase", "sono", "vido"}) {
      ::unsetenv((std::string("FAKE_QVX_FAIL_") + tag).c_str());
      ::unsetenv((std::string("FAKE_QVX_PROGRESS_") + tag).c_str());
      ::unsetenv((std::string("FAKE_QVX_NO_ERROR_") + tag).c_str());
    }
  }

  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    std::ifstream in(FLog);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The log lines of one fake that start with one of the given words.
  std::vector<std::string> Calls(const std::string& tag,
                                 const std::vector<std::string>& words) const {
    std::vector<std::string> out;
    for (const auto& line : Log()) {
      if (line.rfind(tag + " ", 0) != 0) continue;
      const std::string event = line.substr(tag.size() + 1);
      for (const auto& word : words)
        if (event.rfind(word, 0) == 0) {
          out.push_back(line);
          break;
        }
    }
    return out;
  }
  std::u16string Path(const std::string& name) const { return Utf8ToUtf16((FDir / name).string()); }
  std::string Path8(const std::string& name) const { return (FDir / name).string(); }
  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream(FDir / name, std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(FDir / name, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  std::optional<TempFolder> FScratch;
  std::filesystem::path FDir;
  std::string FLog;
};

// A host sink that logs "host AddRef n" / "host Release n" and counts lines.
class TLoggingSink final : public IQuorvexReport {
public:
  HRESULT QueryInterface(const IID&, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t AddRef() override {
    const uint32_t n = ++FReferences;
    AppendLog("host AddRef " + std::to_string(n));
    return n;
  }
  uint32_t Release() override {
    const uint32_t n = --FReferences;
    AppendLog("host Release " + std::to_string(n));
    return n;
  }
  HRESULT Report(int32_t, int32_t, const char16_t*, int32_t) override {
    ++FLines;
    return S_OK;
  }
  std::atomic<uint32_t> FReferences{0};
  std::atomic<int> FLines{0};
};

}  // namespace riffo::test
