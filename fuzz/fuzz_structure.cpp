// The chunk tree of arbitrary bytes rendered as the viewer shows it (display
// tree, copy text, terminal listing) and as the structure export writes it.
// The renderer makes the display tree and the export lines in one walk, so
// the lines must not depend on whether a display tree is built; the export
// file is those lines, indented by level, behind the header; every chunk of
// the model has its node; levels only ever go one deeper at a time.
#include <cstdint>
#include <string>
#include <vector>

#include "chunkmodel/DisplayTree.h"
#include "chunkmodel/WAVCommonChunk.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/StructureExport.h"

namespace {

using riffo::fuzz::Check;

struct TLine {
  std::u16string Text;
  int32_t Level;
  bool operator==(const TLine&) const = default;
};

int64_t CountChunks(const riffo::TWAVCommonChunk& chunk) {
  int64_t count = 0;
  for (const auto& sub : chunk.FSubChunks)
    if (sub) count += 1 + CountChunks(*sub);
  return count;
}

// Pre-order nodes; those with a record are the chunk nodes.
void CollectNodes(const riffo::TDisplayNode& node, int64_t& nodes, int64_t& chunkNodes) {
  ++nodes;
  if (node.Info) ++chunkNodes;
  for (const auto& child : node.Children) {
    Check(child->Parent == &node, "a display node with the wrong parent");
    CollectNodes(*child, nodes, chunkNodes);
  }
}

size_t CountOccurrences(const std::u16string& text, const std::u16string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::u16string::npos;
       at = text.find(what, at + what.size()))
    ++count;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  riffo::TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  riffo::TWAVCommonChunk root(nullptr);
  root.SetReportFunction(
      [](int32_t, int32_t, const char16_t*, int32_t, int32_t) { return riffo::S_OK; });
  root.LoadChunk(&stream);
  const std::u16string fileName = u"fuzz.wav";

  // Lines alone, then lines and display tree in the same walk.
  std::vector<TLine> alone;
  const riffo::TStructureLineProc collectAlone = [&alone](const std::u16string& text,
                                                          int32_t level) {
    alone.push_back({text, level});
  };
  riffo::UpdateTreeView(nullptr, nullptr, 0, &collectAlone, &root);
  std::vector<TLine> together;
  const riffo::TStructureLineProc collectTogether = [&together](const std::u16string& text,
                                                                int32_t level) {
    together.push_back({text, level});
  };
  std::unique_ptr<riffo::TDisplayNode> fileNode =
      riffo::MakeFileNode(fileName, static_cast<int64_t>(size));
  riffo::UpdateTreeView(fileNode.get(), fileNode.get(), 0, &collectTogether, &root);
  Check(alone == together, "export lines depend on whether a display tree is built");

  int32_t previous = -1;
  for (const TLine& line : alone) {
    Check(line.Level >= 0 && line.Level <= previous + 1,
          "an export line more than one level deeper");
    previous = line.Level;
  }

  int64_t nodes = 0;
  int64_t chunkNodes = 0;
  CollectNodes(*fileNode, nodes, chunkNodes);
  Check(chunkNodes == 1 + CountChunks(root), "chunk nodes and chunks differ in number");

  // The display tree alone gives the same tree.
  std::unique_ptr<riffo::TDisplayNode> treeOnly =
      riffo::MakeFileNode(fileName, static_cast<int64_t>(size));
  riffo::UpdateTreeView(treeOnly.get(), treeOnly.get(), 0, nullptr, &root);
  const std::u16string copyText = riffo::TreeCopyText(*fileNode);
  Check(riffo::TreeCopyText(*treeOnly) == copyText, "the display tree depends on the line sink");
  Check(CountOccurrences(copyText, u"\r\n") >= static_cast<size_t>(nodes),
        "a node missing in the copy text");
  const std::u16string listing = riffo::TreeListingText(*fileNode);
  Check(CountOccurrences(listing, u"\n") >= static_cast<size_t>(nodes),
        "a node missing in the listing");

  // The export file: the header, then every line indented by its level,
  // each ended by CR LF, as UTF-8.
  riffo::TMemoryStream out;
  const riffo::TExportResult result =
      riffo::WriteStructureExport(out, u"out.txt", fileName, static_cast<int64_t>(size), &root);
  Check(result.Ok, "the structure export failed on a memory stream");
  std::string expected;
  for (const std::u16string& line :
       riffo::StructureHeaderLines(fileName, static_cast<int64_t>(size)))
    expected += riffo::Utf16ToUtf8(line) + "\r\n";
  for (const TLine& line : alone)
    expected += riffo::Utf16ToUtf8(riffo::StructureLine(line.Text, line.Level)) + "\r\n";
  const std::vector<uint8_t>& written = out.Bytes();
  Check(std::string(written.begin(), written.end()) == expected,
        "the export file is not its lines");
  Check(riffo::IsValidUtf8(written.data(), written.size()), "the export file is not UTF-8");
  return 0;
}
