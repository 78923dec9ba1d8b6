// Feeds arbitrary bytes to the chunk loader and every metadata decoder, then
// walks the tree the way the viewer and the rules do.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "chunkmodel/WAVHelpers.h"

namespace {

void Walk(const riffo::TWAVCommonChunk& node, riffo::TDisplayNode& display) {
  for (const auto& child : node.FSubChunks) {
    riffo::TDisplayNode* line = display.AddChild(riffo::FourCCToText(child->FName));
    const auto& bext = *child->Fbroadcast_audio_extension;
    riffo::CharArrayToString(bext.Description, sizeof bext.Description);
    riffo::MemToStrLinesShort(bext.SMPTE_UMID, sizeof bext.SMPTE_UMID, &display, 60, line);
    riffo::MemToStrLines0D0A(bext.CodingHistory, std::min<int32_t>(bext.CodingHistorySize, 2047),
                             &display, line);
    if (child->Fcart_extension)
      riffo::MemToStrLines0D0A(child->Fcart_extension->TagText,
                               std::min<int32_t>(child->Fcart_extension->TagTextSize, 2047),
                               &display, line);
    if (child->Fds64) {
      for (const auto& entry : child->Fds64->Table)
        line->AddChild(riffo::FourCCToText(entry.ChunkId));
    }
    Walk(*child, *line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  riffo::TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  riffo::TWAVCommonChunk root;
  int findings = 0;
  root.SetReportFunction([&findings](int32_t, int32_t, const char16_t*, int32_t, int32_t) {
    ++findings;
    return riffo::S_OK;
  });
  root.LoadChunk(&stream);
  riffo::TDisplayNode display;
  Walk(root, display);
  riffo::TWAVCommonChunk* found = nullptr;
  root.FindChunkByName(riffo::FOURCC_data, found, 1);
  root.FindChunkByType(0, found, 1);

  // The decoders on their own, with the input as a payload of any size.
  riffo::TMemoryStream payload(std::vector<uint8_t>(data, data + size));
  riffo::Tbroadcast_audio_extension bext{};
  riffo::ParseBroadcastAudioExtension(&payload, static_cast<int64_t>(size), bext);
  payload.Seek(0, riffo::SeekOrigin::Begin);
  riffo::Tquality_chunk quality{};
  riffo::ParseQualityChunk(&payload, static_cast<int64_t>(size), quality);
  payload.Seek(0, riffo::SeekOrigin::Begin);
  riffo::Tds64_chunk sizes;
  riffo::ReadDs64Record(payload, static_cast<int64_t>(size), sizes);
  payload.Seek(0, riffo::SeekOrigin::Begin);
  riffo::tWAVEFORMATEX format{};
  riffo::ReadFormatRecord(payload, static_cast<int64_t>(size), format);
  return 0;
}
