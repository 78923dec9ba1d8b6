// The chunk tree renderer: captions, the field builders' edge cases, the
// line sink, the drawing rule, the file node and the clipboard text. Chunk
// trees are assembled here by hand (records filled directly) where a file
// would only hide the case under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "viewer/ChunkTreeRender.h"

namespace riffo {
namespace {

using Lines = std::vector<std::pair<std::string, int32_t>>;

// Adds a chunk node below parent, as the loader would.
TWAVCommonChunk* AddChunk(TWAVCommonChunk& parent, uint32_t name, int64_t offset, int64_t size,
                          uint32_t type = 0) {
  auto chunk = std::make_unique<TWAVCommonChunk>(&parent);
  chunk->FName = name;
  chunk->FOffset = offset;
  chunk->FSize = size;
  chunk->FType = type;
  parent.FSubChunks.push_back(std::move(chunk));
  return parent.FSubChunks.back().get();
}

TDisplayNode Render(const TWAVCommonChunk& root) {
  TDisplayNode top;
  UpdateTreeView(&top, &top, 0, nullptr, &root);
  return top;
}

Lines SinkLines(const TWAVCommonChunk& root) {
  Lines lines;
  const TStructureLineProc sink = [&](const std::u16string& text, int32_t level) {
    lines.emplace_back(Utf16ToUtf8(text), level);
  };
  UpdateTreeView(nullptr, nullptr, 0, &sink, &root);
  return lines;
}

std::vector<std::string> Texts(const TDisplayNode& node) {
  std::vector<std::string> texts;
  for (const auto& child : node.Children) texts.push_back(Utf16ToUtf8(child->Text));
  return texts;
}

const TDisplayNode* ChildStartingWith(const TDisplayNode& node, const std::string& prefix) {
  for (const auto& child : node.Children)
    if (Utf16ToUtf8(child->Text).rfind(prefix, 0) == 0) return child.get();
  return nullptr;
}

void SetText(uint8_t* field, size_t width, const std::string& text) {
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

// ---------------------------------------------------------------- captions

TEST(ChunkCaption, FormatsOffsetIdSizeAndFormType) {
  struct Case {
    uint32_t Name, Type;
    int64_t Offset, Size;
    const char* Expected;
  };
  const Case cases[] = {
      {FOURCC_RIFF, FOURCC_WAVE, 0, 0xA1B2C4,
       "0x0000000000000000 RIFF <Size: 0x0000000000A1B2C4> WAVE"},
      {FOURCC_data, 0, 0x2C, 0xFFFFFFFF, "0x000000000000002C data <Size: 0x00000000FFFFFFFF>"},
      // zero bytes of an id show as blanks, wherever they stand
      {0, 0, 0x60, 0, "0x0000000000000060      <Size: 0x0000000000000000>"},
      {0x00007461, 0, 8, 2, "0x0000000000000008 at   <Size: 0x0000000000000002>"},
      {0x74610000, 0, 8, 2, "0x0000000000000008   at <Size: 0x0000000000000002>"},
  };
  for (const Case& c : cases) {
    TWAVCommonChunk chunk;
    chunk.FName = c.Name;
    chunk.FType = c.Type;
    chunk.FOffset = c.Offset;
    chunk.FSize = c.Size;
    EXPECT_EQ(Utf16ToUtf8(ChunkCaption(chunk)), c.Expected);
  }
}

TEST(LevlFormatName, NamesTheTwoKnownFormats) {
  EXPECT_EQ(LevlFormatName(1), u"LEVL_FORMAT_UINT8");
  EXPECT_EQ(LevlFormatName(2), u"LEVL_FORMAT_UINT16");
  for (uint32_t other : {0u, 3u, 5u, 0xFFFFFFFFu}) EXPECT_EQ(LevlFormatName(other), u"Unknown");
}

// ---------------------------------------------------------------- the walk

TEST(UpdateTreeView, ChunkNodesCarryTheirRecordAndFieldLinesNone) {
  TWAVCommonChunk root;
  TWAVCommonChunk* riff = AddChunk(root, FOURCC_RIFF, 0, 36, FOURCC_WAVE);
  AddChunk(*riff, FOURCC_fact, 12, 4)->Ffact.dwSampleLength = 7;
  const TDisplayNode top = Render(root);

  ASSERT_EQ(top.Children.size(), 1u);
  const TDisplayNode& riffNode = *top.Children[0];
  ASSERT_NE(riffNode.Info, nullptr);
  EXPECT_EQ(riffNode.Info->ChunkType, FOURCC_WAVE);
  EXPECT_EQ(riffNode.Info->Size, 36);
  EXPECT_EQ(riffNode.Info->Offset, 0);
  EXPECT_EQ(riffNode.Info->ChunkName, FOURCC_RIFF);
  EXPECT_EQ(riffNode.Parent, &top);

  const TDisplayNode& factNode = *riffNode.Children.at(0);
  ASSERT_NE(factNode.Info, nullptr);
  EXPECT_EQ(factNode.Info->ChunkType, 0u);
  EXPECT_EQ(factNode.Info->Offset, 12);
  ASSERT_EQ(factNode.Children.size(), 1u);
  EXPECT_EQ(Utf16ToUtf8(factNode.Children[0]->Text), "dwSampleLength       : 7");
  EXPECT_EQ(factNode.Children[0]->Info, nullptr);
}

TEST(UpdateTreeView, ContainersAndUnknownChunksGetTheirCaptionOnly) {
  TWAVCommonChunk root;
  TWAVCommonChunk* riff = AddChunk(root, FOURCC_RIFF, 0, 100, FOURCC_WAVE);
  AddChunk(*riff, FOURCC_LIST, 12, 20);
  AddChunk(*riff, FOURCC_data, 40, 8);
  AddChunk(*riff, FOURCC_RIFF, 56, 4, FOURCC_WAVE);  // a RIFF chunk without sub-chunks
  const TDisplayNode top = Render(root);
  const TDisplayNode& riffNode = *top.Children.at(0);
  ASSERT_EQ(riffNode.Children.size(), 3u);
  for (const auto& child : riffNode.Children) EXPECT_TRUE(child->Children.empty());
}

TEST(UpdateTreeView, DecodesAKnownChunkAtAnyDepth) {
  TWAVCommonChunk root;
  TWAVCommonChunk* outer = AddChunk(root, FOURCC_RIFF, 0, 1000, FOURCC_WAVE);
  TWAVCommonChunk* inner = AddChunk(*outer, FOURCC_RIFF, 12, 900, FOURCC_WAVE);
  AddChunk(*inner, FOURCC_bext, 24, 602);
  const TDisplayNode top = Render(root);
  const TDisplayNode& bextNode = *top.Children.at(0)->Children.at(0)->Children.at(0);
  EXPECT_EQ(bextNode.Children.size(), 16u);

  const Lines lines = SinkLines(root);
  ASSERT_EQ(lines.size(), 3u + 16u);
  EXPECT_EQ(lines[2].second, 2);  // the bext caption, two containers deep
  EXPECT_EQ(lines[3].second, 3);  // its field lines one deeper
}

TEST(UpdateTreeView, LineSinkAloneGetsCaptionsAndFmtFieldsByLevel) {
  TWAVCommonChunk root;
  TWAVCommonChunk* riff = AddChunk(root, FOURCC_RIFF, 0, 60, FOURCC_WAVE);
  TWAVCommonChunk* fmt = AddChunk(*riff, FOURCC_fmt, 12, 16);
  fmt->Ffmt = std::make_unique<tWAVEFORMATEX>(tWAVEFORMATEX{1, 2, 44100, 176400, 4, 16, 0});
  AddChunk(*riff, FOURCC_fact, 36, 4);
  AddChunk(*riff, FOURCC_data, 48, 4);
  const Lines lines = SinkLines(root);
  std::vector<int32_t> levels;
  for (const auto& line : lines) levels.push_back(line.second);
  EXPECT_EQ(levels, (std::vector<int32_t>{0, 1, 2, 2, 2, 2, 2, 2, 2, 1, 1}));
  EXPECT_EQ(lines[2].first, "FormatTag            : 1");
  EXPECT_EQ(lines[8].first, "Size                 : 0");
  EXPECT_EQ(lines[9].first.substr(19, 4), "fact");
}

TEST(UpdateTreeView, NothingButCaptionsOfFactQltyLevlMextReachTheSink) {
  TWAVCommonChunk root;
  for (uint32_t id : {FOURCC_fact, FOURCC_qlty, FOURCC_levl, FOURCC_mext}) AddChunk(root, id, 0, 4);
  root.FSubChunks[1]->Fquality_chunk->LinesCount = 1;
  root.FSubChunks[1]->Fquality_chunk->Lines[0] = "line";
  EXPECT_EQ(SinkLines(root).size(), 4u);
}

TEST(UpdateTreeView, WithoutParentAddsUnderTheTreeRootAndIgnoresNoChunk) {
  TWAVCommonChunk root;
  AddChunk(root, FOURCC_data, 0, 0);
  TDisplayNode top;
  UpdateTreeView(&top, nullptr, 0, nullptr, &root);
  EXPECT_EQ(top.Children.size(), 1u);
  UpdateTreeView(&top, &top, 0, nullptr, nullptr);
  EXPECT_EQ(top.Children.size(), 1u);
}

// ---------------------------------------------------------------- builders

TEST(UpdateTreeView, MissingFormatOrCartRecordLeavesCaptionAndTraces) {
  TWAVCommonChunk root;
  AddChunk(root, FOURCC_fmt, 0, 16);
  AddChunk(root, FOURCC_cart, 24, 2048);
  AddChunk(root, FOURCC_data, 2080, 0);
  TraceCapture trace;
  const TDisplayNode top = Render(root);
  ASSERT_EQ(top.Children.size(), 3u);
  EXPECT_TRUE(top.Children[0]->Children.empty());
  EXPECT_TRUE(top.Children[1]->Children.empty());
  EXPECT_TRUE(trace.Contains(u"Error in UpdateTreeView_fmt call..."));
  EXPECT_TRUE(trace.Contains(u"Error in UpdateTreeView_cart call..."));
  EXPECT_EQ(SinkLines(root).size(), 3u);
}

struct BextCase {
  TWAVCommonChunk Root;
  TWAVCommonChunk* Bext;
  BextCase() { Bext = AddChunk(Root, FOURCC_bext, 0, 602); }
  const TDisplayNode& Field(const TDisplayNode& top, const std::string& label) {
    const TDisplayNode* node = ChildStartingWith(*top.Children.at(0), label);
    EXPECT_NE(node, nullptr) << label;
    return *node;
  }
};

TEST(UpdateTreeViewBext, HexFieldsGiveFullLinesOf76Characters) {
  BextCase c;
  for (int i = 0; i < 64; ++i)
    c.Bext->Fbroadcast_audio_extension->SMPTE_UMID[i] = static_cast<uint8_t>(i);
  const TDisplayNode top = Render(c.Root);
  const TDisplayNode& umid = c.Field(top, "SMPTE_UMID");
  const TDisplayNode& reserved = c.Field(top, "Reserved");
  EXPECT_EQ(Utf16ToUtf8(umid.Text), "SMPTE_UMID               : ");
  ASSERT_EQ(umid.Children.size(), 4u);
  ASSERT_EQ(reserved.Children.size(), 12u);
  for (const auto& line : umid.Children) EXPECT_EQ(line->Text.size(), 76u);
  for (size_t i = 0; i < 11; ++i) EXPECT_EQ(reserved.Children[i]->Text.size(), 76u);
  EXPECT_EQ(Utf16ToUtf8(reserved.Children[11]->Text),
            "00 00 00 00" + std::string(49, ' ') + "....");
}

TEST(UpdateTreeViewBext, LoudnessIsUnsigned16BitDecimal) {
  BextCase c;
  c.Bext->Fbroadcast_audio_extension->LoudnessValue = 0xF704;
  const TDisplayNode top = Render(c.Root);
  EXPECT_EQ(Utf16ToUtf8(c.Field(top, "Loudness Value").Text), "Loudness Value           : 63236");
}

TEST(UpdateTreeViewBext, CodingHistoryLines) {
  struct Case {
    const char* Name;
    std::string History;
    int32_t StoredSize;  // -1: the length of History
    std::vector<std::string> Lines;
  };
  const Case cases[] = {
      {"two lines", "A=PCM,F=48000\r\nT=mix\r\n", -1, {"A=PCM,F=48000", "T=mix"}},
      {"empty line in the middle", "A=PCM\r\n\r\nT=lost\r\n", -1, {"A=PCM"}},
      {"no line end", "A=PCM", -1, {"A=PCM"}},
      {"empty", "", 0, {}},
      {"2047 bytes", std::string(2045, 'x') + "\r\n", -1, {std::string(2045, 'x')}},
      {"2048 bytes", std::string(2046, 'x') + "\r\n", -1, {}},
      // a size counted beyond what the record holds is read no further
      {"size beyond the field", "A=PCM\r\n", 100000, {}},
      {"negative size", "A=PCM\r\n", -5, {}},
  };
  for (const Case& k : cases) {
    BextCase c;
    auto& b = c.Bext->Fbroadcast_audio_extension.Edit();
    std::memcpy(b.CodingHistory, k.History.data(), k.History.size());
    b.CodingHistorySize =
        k.StoredSize == -1 ? static_cast<int32_t>(k.History.size()) : k.StoredSize;
    const TDisplayNode top = Render(c.Root);
    const TDisplayNode& history = c.Field(top, "Coding History");
    EXPECT_EQ(Utf16ToUtf8(history.Text), "Coding History           : ") << k.Name;
    EXPECT_EQ(Texts(history), k.Lines) << k.Name;
  }
}

TEST(UpdateTreeViewBext, SinkGetsTheSixteenFieldLinesOnly) {
  BextCase c;
  SetText(c.Bext->Fbroadcast_audio_extension->Description, 256, "news");
  const char history[] = "A=PCM\r\n";
  std::memcpy(c.Bext->Fbroadcast_audio_extension->CodingHistory, history, 7);
  c.Bext->Fbroadcast_audio_extension->CodingHistorySize = 7;
  const Lines lines = SinkLines(c.Root);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[1].first, "Description              : news");
  EXPECT_EQ(lines[9].first, "SMPTE_UMID               : ");
  EXPECT_EQ(lines[16].first, "Coding History           : ");
}

TEST(UpdateTreeViewQlty, QualityLinesBelowTheInfoNode) {
  struct Case {
    int32_t Count;
    size_t Expected;
  };
  // a count outside 0..256 (a record filled by other code) is clamped
  for (const Case& k : {Case{0, 0}, Case{2, 2}, Case{-3, 0}, Case{1000, 256}}) {
    TWAVCommonChunk root;
    TWAVCommonChunk* q = AddChunk(root, FOURCC_qlty, 0, 8);
    q->Fquality_chunk->Lines[0] = "B=start (x)";
    q->Fquality_chunk->Lines[1] = "E=end";
    q->Fquality_chunk->LinesCount = k.Count;
    const TDisplayNode top = Render(root);
    const TDisplayNode& chunkNode = *top.Children.at(0);
    ASSERT_EQ(chunkNode.Children.size(), 3u);
    EXPECT_EQ(Utf16ToUtf8(chunkNode.Children[2]->Text), "[Quality Info Data]");
    EXPECT_EQ(chunkNode.Children[2]->Children.size(), k.Expected);
  }
}

TEST(UpdateTreeViewLevl, FormatNameInBrackets) {
  for (auto [format, text] :
       {std::pair{1u, "1[LEVL_FORMAT_UINT8]"}, std::pair{2u, "2[LEVL_FORMAT_UINT16]"},
        std::pair{5u, "5[Unknown]"}}) {
    TWAVCommonChunk root;
    TWAVCommonChunk* l = AddChunk(root, FOURCC_levl, 0, 60);
    l->Flevl.dwFormat = format;
    SetText(l->Flevl.strTimestamp, 28, std::string(28, 'T'));  // no terminator: all 28 bytes
    const TDisplayNode top = Render(root);
    EXPECT_EQ(Utf16ToUtf8(top.Children[0]->Children.at(1)->Text),
              std::string("dwFormat             : ") + text);
    EXPECT_EQ(Utf16ToUtf8(top.Children[0]->Children.at(8)->Text),
              "strTimestamp         : " + std::string(28, 'T'));
  }
}

TEST(UpdateTreeViewCart, PostTimerEntriesFollowAtTheSameSinkLevel) {
  TWAVCommonChunk root;
  TWAVCommonChunk* cart = AddChunk(root, FOURCC_cart, 0, 2048);
  cart->Fcart_extension = std::make_unique<Tcart_extension>();
  std::memset(cart->Fcart_extension.get(), 0, sizeof(Tcart_extension));
  cart->Fcart_extension->PostTimer[3] = {0x00520053, 12};  // "S", 0, "R", 0
  const Lines lines = SinkLines(root);
  ASSERT_EQ(lines.size(), 1u + 16 + 1 + 8 + 3);
  EXPECT_EQ(lines[17].first, "Post Timer              ");
  for (size_t i = 17; i < 26; ++i) EXPECT_EQ(lines[i].second, 1);
  EXPECT_EQ(lines[21].first, "Usage[3]       : 'S R ' , Value[3]       : 12");

  const TDisplayNode top = Render(root);
  const TDisplayNode& timer = *top.Children[0]->Children.at(16);
  EXPECT_EQ(timer.Children.size(), 8u);
  EXPECT_EQ(Utf16ToUtf8(top.Children[0]->Children.at(17)->Text), "Reserved                 : ");
  EXPECT_EQ(top.Children[0]->Children.at(17)->Children.size(), 18u);
  EXPECT_EQ(top.Children[0]->Children.size(), 20u);
}

// ---------------------------------------------------------------- drawing rule

TEST(TreeItemStyle, BandsEvenUnselectedRowsAndBoldensEmptyParentheses) {
  struct Case {
    int32_t Index;
    bool Selected;
    const char16_t* Text;
    bool Banded, Bold;
  };
  const Case cases[] = {
      {0, false, u"first", true, false},    {1, false, u"second", false, false},
      {2, false, u"third", true, false},    {0, true, u"selected", false, false},
      {3, true, u"selected", false, false}, {1, false, u"T=mix ()", false, true},
      {4, false, u"( ) here", true, true},  {0, true, u"x()", false, true},
      {1, false, u"(mix)", false, false},   {1, false, u"(  )", false, false},
      {1, false, u"(\n)", false, false},
  };
  for (const Case& c : cases) {
    const TTreeItemStyle style = TreeItemStyle(c.Index, c.Selected, c.Text);
    EXPECT_EQ(style.Banded, c.Banded) << Utf16ToUtf8(c.Text) << " " << c.Index;
    EXPECT_EQ(style.Bold, c.Bold) << Utf16ToUtf8(c.Text);
  }
  EXPECT_EQ(TREE_BAND_COLOR, 0xF6F6F6u);
}

// ---------------------------------------------------------------- file node, copy

TEST(FileNode, CarriesTheFileSizeAndZeros) {
  const auto node = MakeFileNode(u"/data/take 1.wav", 0x123456789);
  EXPECT_EQ(node->Text, u"/data/take 1.wav");
  ASSERT_NE(node->Info, nullptr);
  EXPECT_EQ(node->Info->ChunkType, 0u);
  EXPECT_EQ(node->Info->Size, 0x123456789);
  EXPECT_EQ(node->Info->Offset, 0);
  EXPECT_EQ(node->Info->ChunkName, 0u);
}

TEST(TreeCopyText, EveryNodeInPreOrderEachWithCrLf) {
  TDisplayNode root(u"file");
  TDisplayNode* a = root.AddChild(u"a");
  a->AddChild(u"a1")->AddChild(u"a1x");
  a->AddChild(u"a2");
  root.AddChild(u"b");
  EXPECT_EQ(TreeCopyText(root), u"file\r\na\r\na1\r\na1x\r\na2\r\nb\r\n");
  EXPECT_EQ(TreeListingText(root), u"file\n  a\n    a1\n      a1x\n    a2\n  b\n");
  EXPECT_EQ(TreeCopyText(TDisplayNode(u"")), u"\r\n");
}

}  // namespace
}  // namespace riffo
