// Records what the chunk model reports through its report function.
#pragma once

#include <string>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
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

}  // namespace riffo::test
