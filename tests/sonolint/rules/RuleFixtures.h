// Small WAV fixtures for the rule tests: RIFF bytes built in code and loaded
// through the chunk loader, node-by-node trees, and recorders for what the
// validator and the catalogue send.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "contract/QuorvexControlInterface.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "support/FindingRecorder.h"
#include "support/RiffBuilder.h"

namespace riffo::rulestest {

// The byte builders and the finding recorder are the chunk model tests' own.
using test::Append;
using test::Append16;
using test::Append32;
using test::AppendText;
using test::Bytes;
using test::CanonicalPcm;
using test::Chunk;
using test::Finding;
using test::FindingRecorder;
using test::PcmFormat;
using test::Riff;

// A fixed-width 8-bit field: the text, then zeros up to the width.
inline void AppendField(Bytes& out, const std::string& text, size_t width) {
  Append(out, test::Field(text, width));
}

struct BextFields {
  std::string Description = "Take 1 of the morning news";
  std::string Originator = "Desk 4";
  std::string Reference = "REF0001";
  std::string Date = "2017-12-01";
  std::string Time = "08:30:00";
};

// A version-2 bext payload (602 bytes, no coding history).
inline Bytes BextPayload(const BextFields& f) {
  Bytes p;
  AppendField(p, f.Description, 256);
  AppendField(p, f.Originator, 32);
  AppendField(p, f.Reference, 32);
  AppendField(p, f.Date, 10);
  AppendField(p, f.Time, 8);
  Append32(p, 4000000000u);                   // TimeReferenceLow
  Append32(p, 1);                             // TimeReferenceHigh
  Append16(p, 2);                             // Version
  AppendField(p, "", 64);                     // UMID
  Append16(p, static_cast<uint16_t>(-2300));  // LoudnessValue
  Append16(p, 500);                           // LoudnessRange
  Append16(p, static_cast<uint16_t>(-100));   // MaxTruePeakLevel
  Append16(p, 0xFFFF);                        // MaxMomentaryLoudness
  Append16(p, 0);                             // MaxShortTermLoudness
  AppendField(p, "", 180);
  return p;
}

struct CartFields {
  std::string StartDate = "2020-01-01";
  std::string StartTime = "00:00:00";
  std::string EndDate = "2020-12-31";
  std::string EndTime = "23:59:59";
};

// A cart payload of the fixed 2048 bytes.
inline Bytes CartPayload(const CartFields& f) {
  Bytes p;
  AppendField(p, "0101", 4);
  AppendField(p, "Morning news", 64);
  AppendField(p, "Newsroom", 64);
  AppendField(p, "CUT42", 64);
  AppendField(p, "CLIENT", 64);
  AppendField(p, "NEWS", 64);
  AppendField(p, "A", 64);
  AppendField(p, "and that was the news", 64);
  AppendField(p, f.StartDate, 10);
  AppendField(p, f.StartTime, 8);
  AppendField(p, f.EndDate, 10);
  AppendField(p, f.EndTime, 8);
  AppendField(p, "Producer", 64);
  AppendField(p, "1.0", 64);
  AppendField(p, "user", 64);
  Append32(p, 32768);         // dwLevelReference
  AppendField(p, "", 8 * 8);  // post timers
  AppendField(p, "", 276);    // reserved
  AppendField(p, "http://example.invalid/news", 1024);
  return p;
}

// A tree loaded from bytes; the loader's own findings are kept apart.
class LoadedTree {
public:
  explicit LoadedTree(Bytes bytes) : FStream(std::move(bytes)) {
    FRoot.SetReportFunction([this](int32_t, int32_t, const char16_t*, int32_t id, int32_t) {
      LoaderIDs.push_back(id);
      return S_OK;
    });
    FRoot.LoadChunk(&FStream);
  }
  const TWAVCommonChunk* Root() const { return &FRoot; }
  std::vector<int32_t> LoaderIDs;

private:
  TMemoryStream FStream;
  TWAVCommonChunk FRoot;
};

// Appends a node with the given id, header offset and form type.
inline TWAVCommonChunk& AddNode(TWAVCommonChunk& parent, uint32_t name, int64_t offset,
                                uint32_t type = 0) {
  auto node = std::make_unique<TWAVCommonChunk>(&parent);
  node->FName = name;
  node->FType = type;
  node->FOffset = offset;
  parent.FSubChunks.push_back(std::move(node));
  return *parent.FSubChunks.back();
}

// The host's sink as the catalogue sees it: counts its references (it lives
// on the stack, so the last Release does not delete it) and keeps the lines.
class RecordingSink final : public IQuorvexReport {
public:
  struct Line {
    int32_t Module;
    int32_t Type;
    std::string Text;
    int32_t Stream;
  };

  HRESULT QVX_CALL QueryInterface(const IID& iid, void** object) override {
    if (!object) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IQuorvexReport) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t QVX_CALL AddRef() override { return ++FRefs; }
  uint32_t QVX_CALL Release() override { return --FRefs; }
  HRESULT QVX_CALL Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                          int32_t streamID) override {
    std::lock_guard<std::mutex> lock(FLock);
    Lines.push_back({module, reportType, Utf16ToUtf8(reportMessage), streamID});
    return Result;
  }

  uint32_t Refs() const { return FRefs; }
  std::vector<Line> Lines;
  HRESULT Result = S_OK;

private:
  std::mutex FLock;
  std::atomic<uint32_t> FRefs{0};
};

}  // namespace riffo::rulestest
