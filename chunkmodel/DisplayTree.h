// The viewer's display tree as plain data: a text, an optional position
// record for chunk nodes, and ordered children. The Qt tree pane only mirrors
// it; the renderer, the copy text and the command line read it directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace riffo {

struct TChunkNodeInfo {
  uint32_t ChunkType = 0;  // form type of a RIFF chunk, else 0
  int64_t Size = 0;    // payload size (without header and pad byte); file size for the file node
  int64_t Offset = 0;  // file position of the chunk's id
  uint32_t ChunkName = 0;  // chunk id FOURCC
};

class TDisplayNode {
public:
  TDisplayNode() = default;
  explicit TDisplayNode(std::u16string text, std::unique_ptr<TChunkNodeInfo> info = nullptr)
      : Text(std::move(text)), Info(std::move(info)) {}

  // Adds a node as the last child and returns it (owned by this node).
  TDisplayNode* AddChild(std::u16string text, std::unique_ptr<TChunkNodeInfo> info = nullptr) {
    Children.push_back(std::make_unique<TDisplayNode>(std::move(text), std::move(info)));
    Children.back()->Parent = this;
    return Children.back().get();
  }

  std::u16string Text;
  std::unique_ptr<TChunkNodeInfo> Info;
  std::vector<std::unique_ptr<TDisplayNode>> Children;
  TDisplayNode* Parent = nullptr;
};

}  // namespace riffo
