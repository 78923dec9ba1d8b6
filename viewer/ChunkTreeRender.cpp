#include "viewer/ChunkTreeRender.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "chunkmodel/WAVHelpers.h"
#include "pcm/PcmFormat.h"
#include "platform/Guard.h"
#include "platform/Text.h"

namespace riffo {

namespace {

constexpr int32_t FIELD_WIDTH = 20;       // fmt, fact, qlty, levl, mext labels
constexpr int32_t WIDE_FIELD_WIDTH = 24;  // bext and cart labels
constexpr int32_t POST_TIMER_WIDTH = 14;  // the two labels of a post-timer entry
constexpr int32_t HEX_COLUMN_WIDTH = 60;

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string Decimal(uint64_t value) { return Ascii(std::to_string(value)); }

// Appends a 64-bit offset or size as exactly 16 hex digits.
void AppendHex64(std::u16string& out, int64_t value) {
  AppendHex(out, static_cast<uint64_t>(value), POSITION_HEX_DIGITS);
}

// How a builder's field lines look and where they go: the width the label
// is padded to, and whether the lines reach the line sink as well as the
// tree (the structure export carries the fields of fmt, bext, cart and ds64).
struct TFieldStyle {
  int32_t LabelWidth;
  bool ToSink;
};
constexpr TFieldStyle TREE_ONLY{FIELD_WIDTH, false};          // fact, qlty, levl, mext
constexpr TFieldStyle EXPORTED{FIELD_WIDTH, true};            // fmt, ds64
constexpr TFieldStyle EXPORTED_WIDE{WIDE_FIELD_WIDTH, true};  // bext, cart

// One builder's target: the chunk's display node (when there is a display
// tree) and the line sink (when there is one), at the builder's level.
class TFieldTarget {
public:
  TFieldTarget(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
               const TStructureLineProc* lineProc, TFieldStyle style)
      : FParent(nodes != nullptr ? parent : nullptr), FLevel(level),
        FLineProc(lineProc != nullptr && *lineProc ? lineProc : nullptr), FStyle(style) {}

  // Adds a line below the chunk node, sending it to the sink when toSink;
  // returns its node (nullptr without a display tree).
  TDisplayNode* Add(std::u16string text, bool toSink) {
    if (toSink && FLineProc != nullptr) (*FLineProc)(text, FLevel);
    return FParent != nullptr ? FParent->AddChild(std::move(text)) : nullptr;
  }

  // Adds "<label padded> : <value>" as the style says.
  TDisplayNode* Field(std::u16string_view label, const std::u16string& value) {
    return Add(PadRight(std::u16string(label), FStyle.LabelWidth) + u" : " + value, FStyle.ToSink);
  }

  bool HasTree() const { return FParent != nullptr; }

private:
  TDisplayNode* FParent;
  int32_t FLevel;
  const TStructureLineProc* FLineProc;
  TFieldStyle FStyle;
};

// Hex lines of an opaque byte field below its field node.
template <size_t N>
void AddHexLines(TDisplayNode* fieldNode, const uint8_t (&field)[N]) {
  if (fieldNode != nullptr) MemToStrLinesShort(field, N, fieldNode, HEX_COLUMN_WIDTH, fieldNode);
}

// Text lines of a CR LF-separated field below its field node; a stored size
// larger than the field is read no further than the field holds.
template <size_t N>
void AddTextLines(TDisplayNode* fieldNode, const uint8_t (&field)[N], int32_t storedSize) {
  if (fieldNode != nullptr)
    MemToStrLines0D0A(field, std::min(storedSize, static_cast<int32_t>(N)), fieldNode, fieldNode);
}

TFieldBuilder* BuilderFor(uint32_t name) {
  switch (name) {
    case FOURCC_fmt: return UpdateTreeView_fmt;
    case FOURCC_fact: return UpdateTreeView_fact;
    case FOURCC_qlty: return UpdateTreeView_qlty;
    case FOURCC_bext: return UpdateTreeView_bext;
    case FOURCC_cart: return UpdateTreeView_cart;
    case FOURCC_levl: return UpdateTreeView_levl;
    case FOURCC_mext: return UpdateTreeView_mext;
    case FOURCC_ds64: return UpdateTreeView_ds64;
    default: return nullptr;
  }
}

void Walk(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
          const TStructureLineProc* lineProc, const TWAVCommonChunk& chunk) {
  for (const auto& sub : chunk.FSubChunks) {
    if (!sub) continue;
    std::u16string caption = ChunkCaption(*sub);
    if (lineProc != nullptr) (*lineProc)(caption, level);
    TDisplayNode* node = nullptr;
    if (nodes != nullptr && parent != nullptr) {
      auto info = std::make_unique<TChunkNodeInfo>();
      info->ChunkType = sub->FType;
      info->Size = sub->FSize;
      info->Offset = sub->FOffset;
      info->ChunkName = sub->FName;
      node = parent->AddChild(std::move(caption), std::move(info));
    }
    if (!sub->FSubChunks.empty()) {
      Walk(nodes, node, level + 1, lineProc, *sub);
    } else if (TFieldBuilder* builder = BuilderFor(sub->FName)) {
      builder(node != nullptr ? nodes : nullptr, node, level + 1, lineProc, sub.get());
    }
  }
}

}  // namespace

std::u16string ChunkCaption(const TWAVCommonChunk& chunk) {
  // Built in place: the tree of a large file has one caption per chunk.
  std::u16string caption;
  caption.reserve(60);
  caption += u"0x";
  AppendHex64(caption, chunk.FOffset);
  caption += u' ';
  caption += FourCCToText(chunk.FName);
  caption += u" <Size: 0x";
  AppendHex64(caption, chunk.FSize);
  caption += u'>';
  if (chunk.FType != 0) {
    caption += u' ';
    caption += FourCCToText(chunk.FType);
  }
  return caption;
}

std::u16string LevlFormatName(uint32_t dwFormat) {
  switch (dwFormat) {
    case 1: return u"LEVL_FORMAT_UINT8";
    case 2: return u"LEVL_FORMAT_UINT16";
    default: return u"Unknown";
  }
}

void UpdateTreeView(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                    const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView call...", [&] {
    if (chunk == nullptr) return;
    if (nodes != nullptr && parent == nullptr) parent = nodes;
    const TStructureLineProc* sink = lineProc != nullptr && *lineProc ? lineProc : nullptr;
    Walk(nodes, parent, level, sink, *chunk);
  });
}

void UpdateTreeView_fmt(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                        const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  constexpr std::u16string_view TRACE = u"Error in UpdateTreeView_fmt call...";
  GuardedVoid(TRACE, [&] {
    if (chunk == nullptr || !chunk->Ffmt) {
      DebugTrace(TRACE);
      return;
    }
    const tWAVEFORMATEX& f = *chunk->Ffmt;
    TFieldTarget out(nodes, parent, level, lineProc, EXPORTED);
    const std::pair<std::u16string_view, uint64_t> fields[] = {
        {u"FormatTag", f.wFormatTag},
        {u"Channels", f.nChannels},
        {u"SamplesPerSec", f.nSamplesPerSec},
        {u"AvgBytesPerSec", f.nAvgBytesPerSec},
        {u"BlockAlign", f.nBlockAlign},
        {u"BitsPerSample", f.wBitsPerSample},
        {u"Size", f.cbSize}};
    for (const auto& [label, value] : fields) out.Field(label, Decimal(value));
    if (!f.HasExtension) return;
    out.Field(u"ValidBitsPerSample", Decimal(f.wValidBitsPerSample));
    out.Field(u"ChannelMask", Ascii(ChannelMaskText(f.dwChannelMask)));
    const std::string subFormat = SubFormatName(SubFormatOf(f.SubFormat));
    out.Field(u"SubFormat", Ascii(GuidText(f.SubFormat) + " (" + subFormat + ")"));
  });
}

void UpdateTreeView_fact(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_fact call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc, TREE_ONLY);
    out.Field(u"dwSampleLength", Decimal(chunk->Ffact.dwSampleLength));
  });
}

void UpdateTreeView_qlty(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_qlty call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc, TREE_ONLY);
    if (!out.HasTree()) return;  // nothing of a quality chunk goes to the line sink
    const Tquality_chunk& q = chunk->Fquality_chunk;
    out.Field(u"FileSecurityReport", Decimal(q.FileSecurityReport));
    out.Field(u"FileSecurityWave", Decimal(q.FileSecurityWave));
    TDisplayNode* data = out.Add(u"[Quality Info Data]", false);
    const int32_t count = std::clamp(q.LinesCount, 0, QUALITY_LINES_CAPACITY);
    for (int32_t i = 0; i < count; ++i) data->AddChild(AnsiToUtf16(q.Lines[i]));
  });
}

void UpdateTreeView_bext(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_bext call...", [&] {
    if (chunk == nullptr) return;
    const Tbroadcast_audio_extension& b = chunk->Fbroadcast_audio_extension;
    TFieldTarget out(nodes, parent, level, lineProc, EXPORTED_WIDE);
    out.Field(u"Description", FieldText(b.Description));
    out.Field(u"Originator", FieldText(b.Originator));
    out.Field(u"Originator Reference", FieldText(b.OriginatorReference));
    out.Field(u"Origination Date", FieldText(b.OriginationDate));
    out.Field(u"Origination Time", FieldText(b.OriginationTime));
    out.Field(u"Time Reference Low", Decimal(b.TimeReferenceLow));
    out.Field(u"Time Reference High", Decimal(b.TimeReferenceHigh));
    out.Field(u"Version", Decimal(b.Version));
    AddHexLines(out.Field(u"SMPTE_UMID", {}), b.SMPTE_UMID);
    out.Field(u"Loudness Value", Decimal(b.LoudnessValue));
    out.Field(u"Loudness Range", Decimal(b.LoudnessRange));
    out.Field(u"Max True Peak Level", Decimal(b.MaxTruePeakLevel));
    out.Field(u"Max Momentary Loudness", Decimal(b.MaxMomentaryLoudness));
    out.Field(u"Max Short Term Loudness", Decimal(b.MaxShortTermLoudness));
    AddHexLines(out.Field(u"Reserved", {}), b.Reserved);
    AddTextLines(out.Field(u"Coding History", {}), b.CodingHistory, b.CodingHistorySize);
  });
}

void UpdateTreeView_cart(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  constexpr std::u16string_view TRACE = u"Error in UpdateTreeView_cart call...";
  GuardedVoid(TRACE, [&] {
    if (chunk == nullptr || !chunk->Fcart_extension) {
      DebugTrace(TRACE);
      return;
    }
    const Tcart_extension& c = *chunk->Fcart_extension;
    TFieldTarget out(nodes, parent, level, lineProc, EXPORTED_WIDE);
    out.Field(u"Version", FieldText(c.Version));
    out.Field(u"Title", FieldText(c.Title));
    out.Field(u"Artist", FieldText(c.Artist));
    out.Field(u"Cut ID", FieldText(c.CutID));
    out.Field(u"Client ID", FieldText(c.ClientID));
    out.Field(u"Category", FieldText(c.Category));
    out.Field(u"Classification", FieldText(c.Classification));
    out.Field(u"Out Cue", FieldText(c.OutCue));
    out.Field(u"Start Date", FieldText(c.StartDate));
    out.Field(u"Start Time", FieldText(c.StartTime));
    out.Field(u"End Date", FieldText(c.EndDate));
    out.Field(u"End Time", FieldText(c.EndTime));
    out.Field(u"Producer App ID", FieldText(c.ProducerAppID));
    out.Field(u"Producer App Version", FieldText(c.ProducerAppVersion));
    out.Field(u"User Def", FieldText(c.UserDef));
    out.Field(u"Level Reference", Decimal(c.dwLevelReference));

    TDisplayNode* timer = out.Add(PadRight(u"Post Timer", WIDE_FIELD_WIDTH), true);
    // The entry lines go below the "Post Timer" node in the tree, and on the
    // line sink at the same level as the "Post Timer" line.
    TFieldTarget entries(timer, timer, level, lineProc, EXPORTED_WIDE);
    for (size_t i = 0; i < std::size(c.PostTimer); ++i) {
      const std::u16string index = Decimal(i);
      entries.Add(PadRight(u"Usage[" + index + u"]", POST_TIMER_WIDTH) + u" : '" +
                      FourCCToText(c.PostTimer[i].dwUsage) + u"' , " +
                      PadRight(u"Value[" + index + u"]", POST_TIMER_WIDTH) + u" : " +
                      Decimal(c.PostTimer[i].dwValue),
                  true);
    }

    AddHexLines(out.Field(u"Reserved", {}), c.Reserved);
    out.Field(u"URL", FieldText(c.URL));
    AddTextLines(out.Field(u"Tag Text", {}), c.TagText, c.TagTextSize);
  });
}

void UpdateTreeView_levl(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_levl call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc, TREE_ONLY);
    if (!out.HasTree()) return;  // nothing of a levl chunk goes to the line sink
    const TLevl_chunk& l = chunk->Flevl;
    out.Field(u"dwVersion", Decimal(l.dwVersion));
    out.Field(u"dwFormat", Decimal(l.dwFormat) + u"[" + LevlFormatName(l.dwFormat) + u"]");
    out.Field(u"dwPointsPerValue", Decimal(l.dwPointsPerValue));
    out.Field(u"dwBlockSize", Decimal(l.dwBlockSize));
    out.Field(u"dwPeakChannels", Decimal(l.dwPeakChannels));
    out.Field(u"dwNumPeakFrames", Decimal(l.dwNumPeakFrames));
    out.Field(u"dwPosPeakOfPeaks", Decimal(l.dwPosPeakOfPeaks));
    out.Field(u"dwOffsetToPeaks", Decimal(l.dwOffsetToPeaks));
    out.Field(u"strTimestamp", FieldText(l.strTimestamp));
  });
}

void UpdateTreeView_ds64(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_ds64 call...", [&] {
    // A ds64 chunk outside an RF64/BW64 form, or too short to decode, has no record.
    if (chunk == nullptr || !chunk->Fds64) return;
    const Tds64_chunk& d = *chunk->Fds64;
    TFieldTarget out(nodes, parent, level, lineProc, EXPORTED);
    out.Field(u"RIFF Size", Decimal(d.riffSize));
    out.Field(u"Data Size", Decimal(d.dataSize));
    out.Field(u"Sample Count", Decimal(d.sampleCount));
    out.Field(u"Table Length", Decimal(d.tableLength));
    for (size_t i = 0; i < d.Table.size(); ++i) {
      // Appended piece by piece: g++ -O3 misreads a chain of + on a
      // char16_t literal as an overlapping copy (-Wrestrict).
      std::u16string name = u"Table[";
      name += Decimal(i);
      name += u']';
      std::u16string value = u"'";
      value += FourCCToText(d.Table[i].ChunkId);
      value += u"' ";
      value += Decimal(d.Table[i].Size);
      out.Field(name, value);
    }
  });
}

void UpdateTreeView_mext(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_mext call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc, TREE_ONLY);
    if (!out.HasTree()) return;  // nothing of a mext chunk goes to the line sink
    const Tmext_chunk& m = chunk->Fmext;
    out.Field(u"SoundInformtion", Decimal(m.SoundInformtion));
    out.Field(u"FrameSize", Decimal(m.FrameSize));
    out.Field(u"AncillaryDataLength", Decimal(m.AncillaryDataLength));
    out.Field(u"AncillaryDataDef", Decimal(m.AncillaryDataDef));
    out.Field(u"Reserved", FieldText(m.Reserved));
  });
}

TTreeItemStyle TreeItemStyle(int32_t indexAmongSiblings, bool selected,
                             const std::u16string& text) {
  TTreeItemStyle style{};
  style.Banded = indexAmongSiblings % 2 == 0 && !selected;
  style.Bold =
      text.find(u"( )") != std::u16string::npos || text.find(u"()") != std::u16string::npos;
  return style;
}

std::unique_ptr<TDisplayNode> MakeFileNode(const std::u16string& fileName, int64_t fileSize) {
  auto info = std::make_unique<TChunkNodeInfo>();
  info->ChunkType = 0;
  info->Size = fileSize;
  info->Offset = 0;
  info->ChunkName = 0;
  return std::make_unique<TDisplayNode>(fileName, std::move(info));
}

namespace {

// Pre-order over the tree without recursion; visit(node, depth).
template <typename Visit>
void PreOrder(const TDisplayNode& root, Visit&& visit) {
  std::vector<std::pair<const TDisplayNode*, int32_t>> pending{{&root, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    visit(*node, depth);
    for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it)
      if (*it) pending.emplace_back(it->get(), depth + 1);
  }
}

}  // namespace

std::u16string TreeCopyText(const TDisplayNode& root) {
  std::u16string text;
  PreOrder(root, [&](const TDisplayNode& node, int32_t) {
    text += node.Text;
    text += u"\r\n";
  });
  return text;
}

std::u16string TreeListingText(const TDisplayNode& root) {
  std::u16string text;
  PreOrder(root, [&](const TDisplayNode& node, int32_t depth) {
    text.append(static_cast<size_t>(depth) * 2, u' ');
    text += node.Text;
    text += u'\n';
  });
  return text;
}

}  // namespace riffo
