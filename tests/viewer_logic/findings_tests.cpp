// The findings pane's logic without a window: the loader's findings collected
// while the session loads a file, and where choosing one of them leads (the
// chunk node to select and the bytes to highlight).
#include "viewer/RiffoscopeSession.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Text.h"
#include "platform/UserStore.h"
#include "support/RiffBuilder.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/WavFixtures.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

using test::Bytes;

struct FindingsFixture : ::testing::Test {
  test::ScratchFolder folder;
  test::TFakeView view;
  test::TFakeDialogs dialogs;
  TRiffoscopeSession session{view, dialogs};

  const TDisplayNode* Node(std::initializer_list<size_t> path) {
    const TDisplayNode* node = session.DisplayTree();
    for (size_t i : path)
      node = node && i < node->Children.size() ? node->Children[i].get() : nullptr;
    return node;
  }
  // The index of the first finding with that number, or -1.
  int Index(int32_t id) {
    const auto& findings = session.Findings();
    for (size_t i = 0; i < findings.size(); ++i)
      if (findings[i].ValidationID == id) return static_cast<int>(i);
    return -1;
  }
  std::pair<int64_t, int64_t> Highlighted() {
    THexView* hex = session.HexView();
    return hex ? std::pair{hex->SelectionStartOffset(), hex->SelectionLength()}
               : std::pair<int64_t, int64_t>{-1, -1};
  }
};

TEST_F(FindingsFixture, TruncatedFileListsItsFindingsAndLeadsToTheTruncatedChunk) {
  // The canonical file cut inside its fmt chunk: RIFF and fmt both run past
  // the end, the format record cannot be read, the next header is missing.
  ASSERT_TRUE(session.LoadFile(folder.Write("cut.wav", test::TruncatedInFmtFile())));
  EXPECT_TRUE(view.FindingsForFile);
  ASSERT_EQ(view.Findings, session.Findings());
  std::vector<std::pair<int32_t, int64_t>> seen;
  for (const TLoadFinding& f : view.Findings) {
    EXPECT_EQ(f.ReportType, 3) << Utf16ToUtf8(f.Message);
    seen.emplace_back(f.ValidationID, f.Position);
  }
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen[0], (std::pair<int32_t, int64_t>{204, 0x0C})) << "RIFF, behind its 12-byte header";
  EXPECT_EQ(seen[1], (std::pair<int32_t, int64_t>{204, 0x14})) << "fmt, behind its 8-byte header";
  EXPECT_EQ(view.Findings[1].Message,
            u"Incomplete chunk fmt  at 0x00000014 . Chunk size exceeds the file.");
  EXPECT_EQ(seen[2], (std::pair<int32_t, int64_t>{206, 0x0C}));

  // Each size finding leads to its own chunk and highlights that header.
  session.SelectFinding(0);
  EXPECT_EQ(view.Selected, Node({0}));
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, 12}));
  session.SelectFinding(1);
  EXPECT_EQ(view.Selected, Node({0, 0}));
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{12, 8}));
  // Any other finding: the innermost chunk holding the position, that byte.
  session.SelectFinding(2);
  EXPECT_EQ(view.Selected, Node({0, 0}));
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{12, 1}));

  session.SelectFinding(99);  // no such finding: nothing moves
  EXPECT_EQ(view.Selected, Node({0, 0}));

  EXPECT_TRUE(session.UnLoadFile());
  EXPECT_TRUE(view.Findings.empty());
  EXPECT_FALSE(view.FindingsForFile) << "no file: not even the clean line";
}

TEST_F(FindingsFixture, CleanFileHasNoFindingsAndEachLoadStartsAfresh) {
  ASSERT_TRUE(session.LoadFile(folder.Write("cut.wav", test::TruncatedInFmtFile())));
  ASSERT_FALSE(session.Findings().empty());
  session.UnLoadFile();
  ASSERT_TRUE(session.LoadFile(folder.Write("clean.wav", test::CanonicalPcm())));
  EXPECT_TRUE(view.FindingsForFile);
  EXPECT_TRUE(view.Findings.empty());
  EXPECT_TRUE(session.Findings().empty());
}

TEST_F(FindingsFixture, FindingInsideNestedRiffSelectsTheNestedChunk) {
  ASSERT_TRUE(session.LoadFile(folder.Write("nested.wav", test::NestedOverrunFile())));
  const int index = Index(205);
  ASSERT_GE(index, 0);
  const TDisplayNode* junk = Node({0, 1, 0});
  ASSERT_NE(junk, nullptr);
  ASSERT_NE(junk->Info, nullptr);
  EXPECT_EQ(junk->Info->ChunkName, 0x6B6E756Au) << "junk";
  session.SelectFinding(static_cast<size_t>(index));
  EXPECT_EQ(view.Selected, junk) << "the chunk whose size runs past the nested form, not the form";
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{junk->Info->Offset, 8}));
}

TEST(FindingTarget, PositionsLeadToTheInnermostChunk) {
  // RIFF(0, 0x78) > fmt(0x0C) LIST(0x24) RIFF(0x3C) > fmt(0x48) ...; data at 0x74.
  auto chunks = test::LoadTree(test::NestedRiffAndListFile());
  ASSERT_NE(chunks, nullptr);
  const int64_t size = static_cast<int64_t>(test::NestedRiffAndListFile().size());
  auto root = MakeFileNode(u"nested.wav", size);
  UpdateTreeView(root.get(), root.get(), 0, nullptr, chunks.get());
  const TDisplayNode* riff = root->Children[0].get();
  const TDisplayNode* innerRiff = riff->Children[2].get();
  const TDisplayNode* innerFmt = innerRiff->Children[0].get();
  ASSERT_EQ(innerFmt->Info->Offset, 0x48);

  struct Case {
    const char* What;
    int32_t Id;
    int64_t Position;
    const TDisplayNode* Node;
    int64_t Start, Length;
  };
  const Case cases[] = {
      {"a byte of the nested fmt", 206, 0x4A, innerFmt, 0x4A, 1},
      {"the nested form's own header", 206, 0x40, innerRiff, 0x40, 1},
      {"204 behind the outer RIFF's header: the RIFF, not its first chunk", 204, 0x0C, riff, 0, 12},
      {"204 behind the nested fmt's header", 204, 0x50, innerFmt, 0x48, 8},
      {"204 matching no header: the chunk holding the position", 204, 0x4B, innerFmt, 0x4B, 1},
      {"the end of the file: the file node, nothing to highlight", 201, size, root.get(), size, 0},
      {"no position in the message", 201, -1, nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    TLoadFinding finding;
    finding.ValidationID = c.Id;
    finding.Position = c.Position;
    EXPECT_EQ(FindingTarget(*root, finding), (TFindingTarget{c.Node, c.Start, c.Length})) << c.What;
  }
}

TEST(FindingPosition, TakesTheLastHexNumberOfTheMessage) {
  EXPECT_EQ(FindingPosition(u"Incomplete chunk RIFF at 0x0000000C . Chunk size exceeds the file."),
            0x0C);
  EXPECT_EQ(FindingPosition(u"Corrupted chunk      at 0x1234ABCDEF . Last chunk exceeds"),
            0x1234ABCDEF);
  EXPECT_EQ(FindingPosition(u"value 0x10 at 0x00000020 ."), 0x20);
  EXPECT_EQ(FindingPosition(u"No position here."), -1);
  EXPECT_EQ(FindingPosition(u"Ends with 0x"), -1);
  EXPECT_EQ(FindingPosition(u"at 0x10000000000000000"), -1) << "too large for a file position";
  EXPECT_EQ(FindingPositionText(0x2C), u"0x0000002C");
  EXPECT_EQ(FindingPositionText(-1), u"");
}

TEST(RecentFiles, LatestFirstOnceAndAtMostTen) {
  std::vector<std::u16string> list;
  for (int i = 1; i <= 12; ++i) AddRecentFile(list, u"f" + Utf8ToUtf16(std::to_string(i)));
  ASSERT_EQ(list.size(), RECENT_FILES_MAX);
  EXPECT_EQ(list.front(), u"f12");
  EXPECT_EQ(list.back(), u"f3");
  AddRecentFile(list, u"f7");
  EXPECT_EQ(list.size(), RECENT_FILES_MAX);
  EXPECT_EQ(list[0], u"f7");
  EXPECT_EQ(list[1], u"f12");
  EXPECT_EQ(std::count(list.begin(), list.end(), u"f7"), 1);
  AddRecentFile(list, u"");
  EXPECT_EQ(list[0], u"f7");
}

TEST_F(FindingsFixture, RecentFilesAreStoredAtOnceAndReadBack) {
  const auto a = folder.Write("a.wav", test::CanonicalPcm());
  const auto b = folder.Write("b.wav", test::CanonicalPcm());
  ASSERT_TRUE(session.LoadFile(a));
  session.UnLoadFile();
  ASSERT_TRUE(session.LoadFile(b));
  EXPECT_EQ(session.RecentFiles(), (std::vector<std::u16string>{b, a}));
  EXPECT_GE(view.RecentChanges, 2);
  {
    auto key = TUserStoreKey::OpenOrCreate(SETTINGS_KEY);
    std::u16string first, second, third;
    ASSERT_TRUE(key->ReadString(u"RecentFile1", first));
    ASSERT_TRUE(key->ReadString(u"RecentFile2", second));
    EXPECT_EQ(first, b);
    EXPECT_EQ(second, a);
    EXPECT_TRUE(key->ReadString(u"RecentFile3", third));
    EXPECT_TRUE(third.empty());
  }

  // Another session reads the list with the settings; a file gone since
  // says so and leaves the list.
  test::TFakeView view2;
  TRiffoscopeSession second(view2, dialogs);
  second.LoadRegistry();
  EXPECT_EQ(second.RecentFiles(), (std::vector<std::u16string>{b, a}));
  std::filesystem::remove(folder.Path("b.wav"));
  second.OpenRecentFile(b);
  EXPECT_EQ(dialogs.Boxes, (std::vector<test::TBox>{{"plain", u"File not found."}}));
  EXPECT_EQ(second.RecentFiles(), (std::vector<std::u16string>{a}));
  second.OpenRecentFile(a);
  EXPECT_EQ(second.FileName(), a);
  EXPECT_EQ(second.HexView()->LastRefreshOffset(), 0);
}

}  // namespace
}  // namespace riffo
