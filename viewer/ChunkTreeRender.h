// Turns a loaded chunk tree into what the viewer shows: display nodes for the
// tree pane (captions, decoded fields, hex-dump and text lines) and/or a
// stream of (text, level) lines for the structure export, in one walk.
// No GUI toolkit is involved; the window maps the display tree onto its tree
// control and applies TreeItemStyle when it paints a row.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "chunkmodel/DisplayTree.h"
#include "chunkmodel/WAVCommonChunk.h"

namespace riffo {

// Receives one structure line; level 0 is the outermost.
using TStructureLineProc = std::function<void(const std::u16string& text, int32_t level)>;

// Renders the sub-chunks of chunk (not chunk itself). nodes is the display
// tree's root, or nullptr for no display tree; parent is the node the chunk
// captions are added under (nullptr with a display tree: under nodes);
// level is the level of the captions on the line sink; lineProc may be
// nullptr. The chunk tree is only read.
void UpdateTreeView(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                    const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk);

// The field builders, one per known chunk id, all of this type. parent is
// the chunk's own display node and level one more than the chunk caption's
// level.
using TFieldBuilder = void(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                           const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk);
TFieldBuilder UpdateTreeView_fmt;
TFieldBuilder UpdateTreeView_fact;
TFieldBuilder UpdateTreeView_qlty;
TFieldBuilder UpdateTreeView_bext;
TFieldBuilder UpdateTreeView_cart;
TFieldBuilder UpdateTreeView_levl;
TFieldBuilder UpdateTreeView_ds64;
TFieldBuilder UpdateTreeView_mext;

// "0x<offset:16 hex> <id> <Size: 0x<size:16 hex>>", plus " <form type>" when
// the chunk has one.
std::u16string ChunkCaption(const TWAVCommonChunk& chunk);

// 1 "LEVL_FORMAT_UINT8", 2 "LEVL_FORMAT_UINT16", anything else "Unknown".
std::u16string LevlFormatName(uint32_t dwFormat);

// Background of banded rows in the tree pane (red, green and blue 246).
inline constexpr uint32_t TREE_BAND_COLOR = 0xF6F6F6;

// How the tree pane paints one row: rows at an even index among their
// siblings get the band colour unless selected; texts holding "( )" or "()"
// are bold.
struct TTreeItemStyle {
  bool Banded;
  bool Bold;
};
TTreeItemStyle TreeItemStyle(int32_t indexAmongSiblings, bool selected, const std::u16string& text);

// The root of the display tree: the file name, with the record {0, file size, 0, 0}.
std::unique_ptr<TDisplayNode> MakeFileNode(const std::u16string& fileName, int64_t fileSize);

// The tree's text for the clipboard: every node in pre-order (root first,
// collapsed or not), each followed by CR LF.
std::u16string TreeCopyText(const TDisplayNode& root);

// The same nodes as a listing for a terminal: each node on its own line,
// indented two blanks per level below the root, each followed by LF.
std::u16string TreeListingText(const TDisplayNode& root);

}  // namespace riffo
