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

std::u16string FieldLine(std::u16string_view label, int32_t width, const std::u16string& value) {
  return PadRight(std::u16string(label), width) + u" : " + value;
}

// One builder's target: the chunk's display node (when there is a display
// tree) and the line sink (when there is one), at the builder's level.
class TFieldTarget {
public:
  TFieldTarget(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
               const TStructureLineProc* lineProc)
      : FParent(nodes != nullptr ? parent : nullptr), FLevel(level),
        FLineProc(lineProc != nullptr && *lineProc ? lineProc : nullptr) {}

  // Adds a line below the chunk node, sending it to the sink when toSink;
  // returns its node (nullptr without a display tree).
  TDisplayNode* Add(std::u16string text, bool toSink) {
    if (toSink && FLineProc != nullptr) (*FLineProc)(text, FLevel);
    return FParent != nullptr ? FParent->AddChild(std::move(text)) : nullptr;
  }

  bool HasTree() const { return FParent != nullptr; }

private:
  TDisplayNode* FParent;
  int32_t FLevel;
  const TStructureLineProc* FLineProc;
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

using TBuilder = void (*)(TDisplayNode*, TDisplayNode*, int32_t, const TStructureLineProc*,
                          const TWAVCommonChunk*);

TBuilder BuilderFor(uint32_t name) {
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
    } else if (TBuilder builder = BuilderFor(sub->FName)) {
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
    TFieldTarget out(nodes, parent, level, lineProc);
    const std::pair<std::u16string_view, uint64_t> fields[] = {
        {u"FormatTag", f.wFormatTag},       {u"Channels", f.nChannels},
        {u"SamplesPerSec", f.nSamplesPerSec}, {u"AvgBytesPerSec", f.nAvgBytesPerSec},
        {u"BlockAlign", f.nBlockAlign},     {u"BitsPerSample", f.wBitsPerSample},
        {u"Size", f.cbSize}};
    for (const auto& [label, value] : fields) out.Add(FieldLine(label, FIELD_WIDTH, Decimal(value)), true);
    if (!f.HasExtension) return;
    out.Add(FieldLine(u"ValidBitsPerSample", FIELD_WIDTH, Decimal(f.wValidBitsPerSample)), true);
    out.Add(FieldLine(u"ChannelMask", FIELD_WIDTH, Ascii(ChannelMaskText(f.dwChannelMask))), true);
    out.Add(FieldLine(u"SubFormat", FIELD_WIDTH,
                      Ascii(GuidText(f.SubFormat) + " (" + SubFormatName(SubFormatOf(f.SubFormat)) + ")")),
            true);
  });
}

void UpdateTreeView_fact(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_fact call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc);
    out.Add(FieldLine(u"dwSampleLength", FIELD_WIDTH, Decimal(chunk->Ffact.dwSampleLength)), false);
  });
}

void UpdateTreeView_qlty(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_qlty call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc);
    if (!out.HasTree()) return;  // nothing of a quality chunk goes to the line sink
    const Tquality_chunk& q = chunk->Fquality_chunk;
    out.Add(FieldLine(u"FileSecurityReport", FIELD_WIDTH, Decimal(q.FileSecurityReport)), false);
    out.Add(FieldLine(u"FileSecurityWave", FIELD_WIDTH, Decimal(q.FileSecurityWave)), false);
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
    TFieldTarget out(nodes, parent, level, lineProc);
    auto line = [&](std::u16string_view label, const std::u16string& value) {
      return out.Add(FieldLine(label, WIDE_FIELD_WIDTH, value), true);
    };
    line(u"Description", FieldText(b.Description));
    line(u"Originator", FieldText(b.Originator));
    line(u"Originator Reference", FieldText(b.OriginatorReference));
    line(u"Origination Date", FieldText(b.OriginationDate));
    line(u"Origination Time", FieldText(b.OriginationTime));
    line(u"Time Reference Low", Decimal(b.TimeReferenceLow));
    line(u"Time Reference High", Decimal(b.TimeReferenceHigh));
    line(u"Version", Decimal(b.Version));
    AddHexLines(line(u"SMPTE_UMID", {}), b.SMPTE_UMID);
    line(u"Loudness Value", Decimal(b.LoudnessValue));
    line(u"Loudness Range", Decimal(b.LoudnessRange));
    line(u"Max True Peak Level", Decimal(b.MaxTruePeakLevel));
    line(u"Max Momentary Loudness", Decimal(b.MaxMomentaryLoudness));
    line(u"Max Short Term Loudness", Decimal(b.MaxShortTermLoudness));
    AddHexLines(line(u"Reserved", {}), b.Reserved);
    AddTextLines(line(u"Coding History", {}), b.CodingHistory, b.CodingHistorySize);
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
    TFieldTarget out(nodes, parent, level, lineProc);
    auto line = [&](std::u16string_view label, const std::u16string& value) {
      return out.Add(FieldLine(label, WIDE_FIELD_WIDTH, value), true);
    };
    line(u"Version", FieldText(c.Version));
    line(u"Title", FieldText(c.Title));
    line(u"Artist", FieldText(c.Artist));
    line(u"Cut ID", FieldText(c.CutID));
    line(u"Client ID", FieldText(c.ClientID));
    line(u"Category", FieldText(c.Category));
    line(u"Classification", FieldText(c.Classification));
    line(u"Out Cue", FieldText(c.OutCue));
    line(u"Start Date", FieldText(c.StartDate));
    line(u"Start Time", FieldText(c.StartTime));
    line(u"End Date", FieldText(c.EndDate));
    line(u"End Time", FieldText(c.EndTime));
    line(u"Producer App ID", FieldText(c.ProducerAppID));
    line(u"Producer App Version", FieldText(c.ProducerAppVersion));
    line(u"User Def", FieldText(c.UserDef));
    line(u"Level Reference", Decimal(c.dwLevelReference));

    TDisplayNode* timer = out.Add(PadRight(u"Post Timer", WIDE_FIELD_WIDTH), true);
    // The entry lines go below the "Post Timer" node in the tree, and on the
    // line sink at the same level as the "Post Timer" line.
    TFieldTarget entries(timer, timer, level, lineProc);
    for (size_t i = 0; i < std::size(c.PostTimer); ++i) {
      const std::u16string index = Decimal(i);
      entries.Add(PadRight(u"Usage[" + index + u"]", POST_TIMER_WIDTH) + u" : '" +
                      FourCCToText(c.PostTimer[i].dwUsage) + u"' , " +
                      PadRight(u"Value[" + index + u"]", POST_TIMER_WIDTH) + u" : " +
                      Decimal(c.PostTimer[i].dwValue),
                  true);
    }

    AddHexLines(line(u"Reserved", {}), c.Reserved);
    line(u"URL", FieldText(c.URL));
    AddTextLines(line(u"Tag Text", {}), c.TagText, c.TagTextSize);
  });
}

void UpdateTreeView_levl(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_levl call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc);
    if (!out.HasTree()) return;  // nothing of a levl chunk goes to the line sink
    const TLevl_chunk& l = chunk->Flevl;
    auto line = [&](std::u16string_view label, const std::u16string& value) {
      out.Add(FieldLine(label, FIELD_WIDTH, value), false);
    };
    line(u"dwVersion", Decimal(l.dwVersion));
    line(u"dwFormat", Decimal(l.dwFormat) + u"[" + LevlFormatName(l.dwFormat) + u"]");
    line(u"dwPointsPerValue", Decimal(l.dwPointsPerValue));
    line(u"dwBlockSize", Decimal(l.dwBlockSize));
    line(u"dwPeakChannels", Decimal(l.dwPeakChannels));
    line(u"dwNumPeakFrames", Decimal(l.dwNumPeakFrames));
    line(u"dwPosPeakOfPeaks", Decimal(l.dwPosPeakOfPeaks));
    line(u"dwOffsetToPeaks", Decimal(l.dwOffsetToPeaks));
    line(u"strTimestamp", FieldText(l.strTimestamp));
  });
}

void UpdateTreeView_ds64(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_ds64 call...", [&] {
    // A ds64 chunk outside an RF64/BW64 form, or too short to decode, has no record.
    if (chunk == nullptr || !chunk->Fds64) return;
    const Tds64_chunk& d = *chunk->Fds64;
    TFieldTarget out(nodes, parent, level, lineProc);
    auto line = [&](std::u16string_view label, const std::u16string& value) {
      out.Add(FieldLine(label, FIELD_WIDTH, value), true);
    };
    line(u"RIFF Size", Decimal(d.riffSize));
    line(u"Data Size", Decimal(d.dataSize));
    line(u"Sample Count", Decimal(d.sampleCount));
    line(u"Table Length", Decimal(d.tableLength));
    for (size_t i = 0; i < d.Table.size(); ++i)
      line(u"Table[" + Decimal(i) + u"]",
           u"'" + FourCCToText(d.Table[i].ChunkId) + u"' " + Decimal(d.Table[i].Size));
  });
}

void UpdateTreeView_mext(TDisplayNode* nodes, TDisplayNode* parent, int32_t level,
                         const TStructureLineProc* lineProc, const TWAVCommonChunk* chunk) {
  GuardedVoid(u"Error in UpdateTreeView_mext call...", [&] {
    if (chunk == nullptr) return;
    TFieldTarget out(nodes, parent, level, lineProc);
    if (!out.HasTree()) return;  // nothing of a mext chunk goes to the line sink
    const Tmext_chunk& m = chunk->Fmext;
    auto line = [&](std::u16string_view label, const std::u16string& value) {
      out.Add(FieldLine(label, FIELD_WIDTH, value), false);
    };
    line(u"SoundInformtion", Decimal(m.SoundInformtion));
    line(u"FrameSize", Decimal(m.FrameSize));
    line(u"AncillaryDataLength", Decimal(m.AncillaryDataLength));
    line(u"AncillaryDataDef", Decimal(m.AncillaryDataDef));
    line(u"Reserved", FieldText(m.Reserved));
  });
}

TTreeItemStyle TreeItemStyle(int32_t indexAmongSiblings, bool selected, const std::u16string& text) {
  TTreeItemStyle style{};
  style.Banded = indexAmongSiblings % 2 == 0 && !selected;
  style.Bold = text.find(u"( )") != std::u16string::npos || text.find(u"()") != std::u16string::npos;
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
