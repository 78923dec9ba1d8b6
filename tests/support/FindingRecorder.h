// Records what the chunk model reports through its report function, and
// loads a file's bytes into a chunk tree with such a recorder attached.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace riffo::test {

struct Finding {
  int32_t Module;
  int32_t Type;
  int32_t ID;
  int32_t Stream;
  std::string Text;  // UTF-8
};

class FindingRecorder {
public:
  TReportFunction Function() {
    return [this](int32_t module, int32_t type, const char16_t* text, int32_t id, int32_t stream) {
      Findings.push_back({module, type, id, stream, Utf16ToUtf8(text)});
      return S_OK;
    };
  }
  std::vector<int32_t> IDs() const {
    std::vector<int32_t> ids;
    for (const auto& f : Findings) ids.push_back(f.ID);
    return ids;
  }
  std::vector<Finding> Findings;
};

// A loaded tree, what the loader reported while loading it, and its result.
struct Loaded {
  std::unique_ptr<TWAVCommonChunk> Root = std::make_unique<TWAVCommonChunk>();
  FindingRecorder Recorder;
  HRESULT Result = E_FAIL;
  // The form (RIFF, RF64 ...) and the i-th chunk inside it.
  const TWAVCommonChunk& Form() const { return *Root->FSubChunks.at(0); }
  const TWAVCommonChunk& Child(size_t i) const { return *Form().FSubChunks.at(i); }
};

inline std::unique_ptr<Loaded> Load(const std::vector<uint8_t>& file) {
  auto loaded = std::make_unique<Loaded>();
  loaded->Root->SetReportFunction(loaded->Recorder.Function());
  TMemoryStream stream(file);
  loaded->Result = loaded->Root->LoadChunk(&stream);
  return loaded;
}

}  // namespace riffo::test
