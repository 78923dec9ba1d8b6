// The main window's session without a window: load and unload, selection
// following, drop, copy, the export command's dialogs, the settings and the
// start-up and shutdown order.
#include "viewer/RiffoscopeSession.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "platform/UserStore.h"
#include "support/RiffBuilder.h"
#include "viewer/ChunkTreeRender.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

using test::Bytes;
using test::TBox;

// fmt and data, plus a LIST chunk so that the tree has a chunk without fields.
Bytes SmallWave() {
  return test::PcmWave(test::Chunk("LIST", {'I', 'N', 'F', 'O'}), Bytes(64, 0x11));
}

struct SessionFixture : ::testing::Test {
  test::ScratchFolder folder;
  test::TFakeView view;
  test::TFakeDialogs dialogs;
  std::unique_ptr<TRiffoscopeSession> session = std::make_unique<TRiffoscopeSession>(view, dialogs);

  const TDisplayNode* Child(const TDisplayNode* node, size_t index) {
    return node && index < node->Children.size() ? node->Children[index].get() : nullptr;
  }
  void Select(const TDisplayNode* node) {
    view.Selected = node;
    session->TreeView1MouseDown();
  }
  std::pair<int64_t, int64_t> Highlighted() {
    THexView* hex = session->HexView();
    return hex ? std::pair{hex->SelectionStartOffset(), hex->SelectionLength()}
               : std::pair<int64_t, int64_t>{-1, -1};
  }
  void TearDown() override { EXPECT_EQ(dialogs.BusyDepth, 0) << "busy cursor left on"; }
};

TEST_F(SessionFixture, LoadShowsTreeHexAndCaption) {
  const auto name = folder.Write("small.wav", SmallWave());
  ASSERT_TRUE(session->LoadFile(name));
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(session->FileName(), name);
  EXPECT_EQ(view.Caption, u"Riffoscope (" + name + u")");

  const TDisplayNode* root = view.Root;
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root, session->DisplayTree());
  EXPECT_EQ(root->Text, name);
  ASSERT_NE(root->Info, nullptr);
  EXPECT_EQ(root->Info->Size, static_cast<int64_t>(SmallWave().size()));
  EXPECT_EQ(root->Info->Offset, 0);
  const TDisplayNode* riff = Child(root, 0);
  ASSERT_NE(riff, nullptr);
  EXPECT_EQ(riff->Info->ChunkName, FOURCC_RIFF);
  EXPECT_EQ(riff->Children.size(), 3u);
  EXPECT_EQ(view.Expanded, (std::vector<int32_t>{0, 1, 2}));

  ASSERT_NE(session->HexView(), nullptr);
  EXPECT_EQ(view.Pane.Shown.Lines.at(0).substr(0, 33), u"0x0000000000000000   52 49 46 46 ");
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, 0}));
  EXPECT_GT(dialogs.BusyCount, 0);

  ASSERT_TRUE(session->UnLoadFile());
  EXPECT_EQ(view.Root, nullptr);
  EXPECT_EQ(session->HexView(), nullptr);
  EXPECT_EQ(session->ChunkTree(), nullptr);
  EXPECT_TRUE(view.Pane.Shown.Lines.empty());
  EXPECT_EQ(view.Caption, u"Riffoscope");
  EXPECT_TRUE(session->UnLoadFile()) << "harmless without a session";
}

TEST_F(SessionFixture, LoadFailuresSayWhy) {
  const auto notWave =
      folder.Write("text.wav", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
  // A RIFF/WAVE file whose first sub-chunk header is cut short.
  Bytes cut = test::Riff("WAVE", Bytes{'f', 'm', 't', ' ', 16, 0});
  const auto truncated = folder.Write("cut.wav", cut);
  struct Case {
    std::u16string name;
    std::u16string message;
  } cases[] = {
      {folder.Name("missing.wav"), u"File not found."},
      {notWave, u"Invalid WAV file."},
      {folder.Name(""), u"File not found."},  // a folder is not a file
  };
  for (const auto& c : cases) {
    dialogs.Boxes.clear();
    EXPECT_FALSE(session->LoadFile(c.name));
    EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"plain", c.message}}));
    EXPECT_EQ(session->ChunkTree(), nullptr);
    EXPECT_EQ(view.Caption, u"");  // never set: nothing was opened
  }

  // A header cut short is kept as far as it was read and still opens.
  dialogs.Boxes.clear();
  EXPECT_TRUE(session->LoadFile(truncated));
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_NE(session->HexView(), nullptr);
}

TEST_F(SessionFixture, InvalidFileAfterOpenLeavesNoSession) {
  const auto good = folder.Write("good.wav", SmallWave());
  const auto bad = folder.Write("bad.wav", Bytes(20, 'x'));
  ASSERT_TRUE(session->LoadFile(good));
  dialogs.Picks = {bad};
  session->Open1Click();
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"plain", u"Invalid WAV file."}}));
  EXPECT_EQ(dialogs.Filters,
            (std::vector<std::u16string>{u"WAV Media Files (*.wav)|*.wav|All Files (*.*)|*.*"}));
  EXPECT_EQ(session->ChunkTree(), nullptr);
  EXPECT_EQ(view.Caption, u"Riffoscope");
}

TEST_F(SessionFixture, OpenDialogCancelledOrMissingNameChangesNothing) {
  const auto good = folder.Write("good.wav", SmallWave());
  ASSERT_TRUE(session->LoadFile(good));
  dialogs.Picks = {u"", folder.Name("gone.wav")};
  session->Open1Click();
  session->Open1Click();
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(session->FileName(), good);

  const auto other = folder.Write("other.wav", test::CanonicalPcm());
  dialogs.Picks = {other};
  session->Open1Click();
  EXPECT_EQ(session->FileName(), other);
  EXPECT_EQ(view.Root->Info->Size, 44);
}

TEST_F(SessionFixture, DropOpensEachExistingFileInTurn) {
  const auto first = folder.Write("first.wav", SmallWave());
  const auto third = folder.Write("third.wav", test::CanonicalPcm());
  session->DropFiles({first, folder.Name("second.wav"), third});
  EXPECT_TRUE(dialogs.Boxes.empty()) << "missing names are skipped silently";
  EXPECT_EQ(session->FileName(), third);
  EXPECT_EQ(view.Caption, u"Riffoscope (" + third + u")");
  EXPECT_EQ(view.Root->Info->Size, 44);
}

TEST_F(SessionFixture, SelectionMovesTheHexView) {
  const Bytes bytes = SmallWave();
  const auto name = folder.Write("small.wav", bytes);
  ASSERT_TRUE(session->LoadFile(name));
  const TDisplayNode* root = view.Root;
  const TDisplayNode* riff = Child(root, 0);
  const TDisplayNode* fmt = Child(riff, 0);
  const TDisplayNode* list = Child(riff, 1);
  const TDisplayNode* field = Child(fmt, 0);
  ASSERT_NE(field, nullptr);
  ASSERT_EQ(field->Info, nullptr);
  const auto size = static_cast<int64_t>(bytes.size());

  Select(root);  // the whole file
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, size}));
  Select(riff);  // header and payload
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{0, size}));
  Select(fmt);
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{12, 24}));
  Select(list);
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{36, 12}));
  EXPECT_EQ(session->HexView()->LastRefreshOffset(), 36);
  EXPECT_EQ(view.Pane.Shown.Lines.at(0).substr(0, 18), u"0x0000000000000020");

  const int pages = view.Pane.Pages;
  Select(field);  // no record: nothing moves
  view.Selected = field;
  session->TreeView1KeyUp();
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{36, 12}));
  EXPECT_EQ(view.Pane.Pages, pages);
  Select(nullptr);
  EXPECT_EQ(view.Pane.Pages, pages);

  view.Selected = fmt;
  session->TreeView1KeyUp();
  EXPECT_EQ(Highlighted(), (std::pair<int64_t, int64_t>{12, 24}));

  const int before = view.Pane.Pages;
  session->Splitter1Moved();
  EXPECT_EQ(view.Pane.Pages, before + 1);
}

TEST_F(SessionFixture, SixGigabyteFileOpensAndItsDataChunkIsSelectable) {
  const uint64_t dataSize = 6ull << 30;
  const Bytes head = test::Rf64Head(dataSize, test::PcmFormat(2, 48000, 16), "BW64");
  const auto name = folder.Write("six.wav", head);
  std::filesystem::resize_file(Utf16ToUtf8(name), head.size() + dataSize);
  ASSERT_TRUE(session->LoadFile(name));
  EXPECT_TRUE(dialogs.Boxes.empty());
  const TDisplayNode* form = Child(view.Root, 0);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Info->Size, static_cast<int64_t>(head.size() - 8 + dataSize));
  const TDisplayNode* data = Child(form, 2);
  ASSERT_NE(data, nullptr);
  Select(data);
  // Header and payload: the data chunk starts 8 bytes before the end of the head.
  const auto offset = static_cast<int64_t>(head.size()) - 8;
  EXPECT_EQ(Highlighted(),
            (std::pair<int64_t, int64_t>{offset, static_cast<int64_t>(dataSize) + 8}));
  EXPECT_EQ(view.Pane.Shown.Lines.at(0).substr(0, 18), u"0x0000000000000040");
}

TEST_F(SessionFixture, CopyTakesEveryNodeCollapsedOrNot) {
  session->Copy1Click();
  EXPECT_EQ(dialogs.ClipboardSets, 1);
  EXPECT_EQ(dialogs.Clipboard, u"");

  const auto name = folder.Write("small.wav", SmallWave());
  ASSERT_TRUE(session->LoadFile(name));
  session->FullCollapse1Click();
  EXPECT_EQ(view.CollapseAlls, 1);
  session->Copy1Click();
  const std::u16string& text = dialogs.Clipboard;
  EXPECT_EQ(text, TreeCopyText(*view.Root));
  EXPECT_EQ(text.substr(0, name.size() + 2), name + u"\r\n");
  // Field lines deep under fmt are there although nothing is expanded.
  EXPECT_NE(text.find(u"FormatTag"), std::u16string::npos);
  size_t lines = 0;
  for (size_t at = text.find(u"\r\n"); at != std::u16string::npos; at = text.find(u"\r\n", at + 2))
    ++lines;
  size_t nodes = 0;
  std::vector<const TDisplayNode*> stack{view.Root};
  while (!stack.empty()) {
    const TDisplayNode* n = stack.back();
    stack.pop_back();
    ++nodes;
    for (const auto& c : n->Children) stack.push_back(c.get());
  }
  EXPECT_EQ(lines, nodes);
}

TEST_F(SessionFixture, CommandsWithoutFileSayNoFileLoaded) {
  session->ExportStructure1Click();
  session->HexEditChunk1Click();
  session->Validation1Click();
  const TBox noFile{"error", u"There is no file loaded."};
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{noFile, noFile, noFile}));
  EXPECT_TRUE(dialogs.Filters.empty()) << "no save dialog without a file";

  ASSERT_TRUE(session->LoadFile(folder.Write("small.wav", SmallWave())));
  dialogs.Boxes.clear();
  session->HexEditChunk1Click();
  session->Validation1Click();
  EXPECT_TRUE(dialogs.Boxes.empty());
}

struct ExportFixture : SessionFixture {
  std::u16string wav;
  void SetUp() override {
    wav = folder.Write("small.wav", SmallWave());
    ASSERT_TRUE(session->LoadFile(wav));
  }
};

TEST_F(ExportFixture, WritesANewFileUnderTheChosenName) {
  const auto out = folder.Path("structure");  // no extension added
  dialogs.Picks = {out.u16string()};
  session->ExportStructure1Click();
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(dialogs.Filters,
            (std::vector<std::u16string>{u"Text File (*.txt)|*.txt|All Files (*.*)|*.*"}));
  const std::string text = test::ReadFileText(out);
  EXPECT_EQ(text.substr(0, 56), std::string(54, '/') + "\r\n");
  EXPECT_NE(text.find("FileName: " + out.parent_path().string() + "/small.wav\r\n"),
            std::string::npos);
  ASSERT_EQ(SmallWave().size(), 0x78u);
  EXPECT_NE(text.find("FileSize: 0x0000000000000078\r\n"), std::string::npos);
  EXPECT_NE(text.find("WAV Chunk Structure\r\n\r\n0x0000000000000000 RIFF"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.Path("structure.txt")));
}

TEST_F(ExportFixture, CancelledDialogWritesNothing) {
  dialogs.Picks = {u""};
  session->ExportStructure1Click();
  EXPECT_TRUE(dialogs.Boxes.empty());
  EXPECT_EQ(dialogs.BusyDepth, 0);
}

TEST_F(ExportFixture, ExistingFileIsReplacedOnlyOnOk) {
  const auto out = folder.Path("old.txt");
  folder.Write("old.txt", Bytes{'o', 'l', 'd'});
  const std::u16string ask =
      u"The file " + out.u16string() + u" already exists. Do you want to replace it?";

  dialogs.Picks = {out.u16string()};
  dialogs.Answers = {false};
  session->ExportStructure1Click();
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"okcancel", ask}}));
  EXPECT_EQ(test::ReadFileText(out), "old");

  dialogs.Boxes.clear();
  dialogs.Picks = {out.u16string()};
  dialogs.Answers = {true};
  session->ExportStructure1Click();
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"okcancel", ask}}));
  EXPECT_EQ(test::ReadFileText(out).substr(0, 54), std::string(54, '/'));
}

TEST_F(ExportFixture, UndeletableFileIsReported) {
  // A regular file that no one, not even root, may remove.
  const std::u16string locked = u"/proc/version";
  ASSERT_TRUE(std::filesystem::is_regular_file("/proc/version"));
  dialogs.Picks = {locked};
  dialogs.Answers = {true};
  session->ExportStructure1Click();
  ASSERT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(dialogs.Boxes[1], (TBox{"error", u"Cannot delete /proc/version file."}));
}

TEST_F(ExportFixture, WriteFailureIsShownNotSwallowed) {
  TraceCapture trace;
  const auto out = folder.Name("no-such-folder/out.txt");
  dialogs.Picks = {out};
  session->ExportStructure1Click();
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"error", u"Cannot write " + out + u" file."}}));
  EXPECT_TRUE(trace.Contains(u"Error in TForm1.ExportStructure1Click call..."));
}

// ---- settings, start-up and shutdown

TEST(SessionPlacement, TreeHeightNeedsRoomLeftInTheForm) {
  struct Case {
    int32_t formHeight, treeHeight;
    bool applied;
  } cases[] = {{300, 250, false}, {400, 250, true}, {345, 250, true}, {344, 250, false},
               {0, 250, false},   {400, 0, false},  {400, -5, false}};
  for (const auto& c : cases) {
    TSettings s;
    s.FormHeight = c.formHeight;
    s.TreeViewHeight = c.treeHeight;
    const TWindowPlacement p = PlacementFromSettings(s);
    EXPECT_EQ(p.TreeViewHeight.has_value(), c.applied) << c.formHeight << "/" << c.treeHeight;
    EXPECT_EQ(p.Height.has_value(), c.formHeight > 0);
  }
  TSettings s{10, -3, 0, 500, 0, 7};
  const TWindowPlacement p = PlacementFromSettings(s);
  EXPECT_EQ(p.Top, 10);
  EXPECT_FALSE(p.Left.has_value());
  EXPECT_FALSE(p.Width.has_value());
  EXPECT_EQ(p.State, TWindowState::Normal) << "an unknown state opens normally";
  EXPECT_EQ(PlacementFromSettings({0, 0, 0, 0, 0, 2}).State, TWindowState::Maximized);
  EXPECT_EQ(PlacementFromSettings({0, 0, 0, 0, 0, 1}).State, TWindowState::Minimized);
}

TEST_F(SessionFixture, DefaultsWithAnEmptyStore) {
  session->FormShow(u"");
  EXPECT_EQ(session->Settings(), TSettings{});
  EXPECT_EQ(session->LastUsedModules(), 0xFFFFFFFFu);
  EXPECT_TRUE(session->CheckForUpdates());
  EXPECT_TRUE(view.CheckMark);
  EXPECT_EQ(view.Caption, u"Riffoscope");
  EXPECT_FALSE(view.Placement.Top || view.Placement.Height || view.Placement.TreeViewHeight);
  EXPECT_EQ(view.Events, (std::vector<std::string>{"splash", "drops on"}));
  EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(SessionFixture, SettingsRoundTripThroughTheStore) {
  view.Current = {120, 80, 900, 400, 250, 2};
  session->SetLastUsedModules(4);
  session->CheckForUpdates1Click();
  EXPECT_FALSE(view.CheckMark);
  session->FormClose();
  EXPECT_EQ(view.Events, (std::vector<std::string>{"drops off"}));

  test::TFakeView view2;
  test::TFakeDialogs dialogs2;
  TRiffoscopeSession again(view2, dialogs2);
  again.FormShow(u"");
  EXPECT_EQ(again.Settings(), (TSettings{120, 80, 900, 400, 250, 2}));
  EXPECT_EQ(again.LastUsedModules(), 4u);
  EXPECT_FALSE(again.CheckForUpdates());
  EXPECT_FALSE(view2.CheckMark);
  EXPECT_EQ(view2.Placement.TreeViewHeight, 250) << "400 - 250 leaves room";
  EXPECT_EQ(view2.Placement.State, TWindowState::Maximized);

  auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Riffoscope");
  ASSERT_NE(key, nullptr);
  for (const char16_t* name :
       {u"FormTop", u"FormLeft", u"FormWidth", u"FormHeight", u"TreeViewHeight", u"WindowState",
        u"LastUsedModules", u"CheckForUpdates"})
    EXPECT_EQ(key->ValueType(name), StoreValueType::DWord) << Utf16ToUtf8(name);
}

TEST_F(SessionFixture, TreeHeightNotAppliedWhenTheFormIsTooShort) {
  {
    auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Riffoscope");
    key->WriteInteger(u"FormHeight", 300);
    key->WriteInteger(u"TreeViewHeight", 250);
  }
  session->FormShow(u"");
  EXPECT_EQ(view.Placement.Height, 300);
  EXPECT_FALSE(view.Placement.TreeViewHeight.has_value());
}

TEST_F(SessionFixture, AValueOfAnotherTypeKeepsItsDefaultOnly) {
  {
    auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Riffoscope");
    key->WriteString(u"FormTop", u"high");
    key->WriteString(u"LastUsedModules", u"all");
    key->WriteInteger(u"FormLeft", 33);
    key->WriteInteger(u"CheckForUpdates", 0);
  }
  session->LoadRegistry();
  EXPECT_EQ(session->Settings().FormTop, 0);
  EXPECT_EQ(session->Settings().FormLeft, 33);
  EXPECT_EQ(session->LastUsedModules(), 0xFFFFFFFFu);
  EXPECT_FALSE(session->CheckForUpdates());
}

TEST_F(SessionFixture, StartWithFileArgument) {
  const auto name = folder.Write("arg.wav", SmallWave());
  session->FormShow(name);
  EXPECT_EQ(session->FileName(), name);
  EXPECT_EQ(view.Caption, u"Riffoscope (" + name + u")");

  test::TFakeView view2;
  test::TFakeDialogs dialogs2;
  TRiffoscopeSession other(view2, dialogs2);
  other.FormShow(folder.Name("nothing-here.wav"));
  EXPECT_EQ(dialogs2.Boxes, (std::vector<TBox>{{"plain", u"File not found."}}));
  EXPECT_EQ(view2.Caption, u"Riffoscope");
  EXPECT_EQ(view2.Root, nullptr);
}

TEST_F(SessionFixture, CloseStoresSettingsThenReleasesTheSession) {
  ASSERT_TRUE(session->LoadFile(folder.Write("small.wav", SmallWave())));
  view.Current = {1, 2, 3, 4, 5, 0};
  session->FormClose();
  EXPECT_EQ(session->Settings(), (TSettings{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(session->ChunkTree(), nullptr);
  EXPECT_EQ(view.Caption, u"Riffoscope");
  auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Riffoscope");
  int32_t height = 0;
  EXPECT_TRUE(key->ReadInteger(u"TreeViewHeight", height));
  EXPECT_EQ(height, 5);
}

TEST_F(SessionFixture, ExitAboutAndExpand) {
  session->Exit1Click();
  EXPECT_EQ(view.CloseRequests, 1);
  session->FullExpand1Click();
  EXPECT_EQ(view.ExpandAlls, 1);
  session->About1Click(u"2.0.0");
  ASSERT_EQ(dialogs.About.size(), 3u);
  EXPECT_EQ(dialogs.About[0], u"Riffoscope");
  EXPECT_NE(dialogs.About[1].find(u"2.0.0"), std::u16string::npos);
  EXPECT_NE(dialogs.About[2].find(u"2017"), std::u16string::npos);
  EXPECT_NE(dialogs.About[2].find(u"Brindlecorp Ltd."), std::u16string::npos);
}

TEST(SessionHelpers, WheelBecomesKeys) {
  EXPECT_EQ(WheelToKey(120, false), TWheelKey::Up);
  EXPECT_EQ(WheelToKey(1, true), TWheelKey::PageUp);
  EXPECT_EQ(WheelToKey(0, false), TWheelKey::Down);
  EXPECT_EQ(WheelToKey(-120, false), TWheelKey::Down);
  EXPECT_EQ(WheelToKey(-120, true), TWheelKey::PageDown);
}

TEST(SessionHelpers, DialogFiltersForTheToolkit) {
  EXPECT_EQ(ToNameFilters(u"WAV Media Files (*.wav)|*.wav|All Files (*.*)|*.*"),
            u"WAV Media Files (*.wav);;All Files (*)");
  EXPECT_EQ(ToNameFilters(u"Text File (*.txt)|*.txt|All Files (*.*)|*.*"),
            u"Text File (*.txt);;All Files (*)");
  EXPECT_EQ(ToNameFilters(u"Media|*.wav;*.bwf"), u"Media (*.wav *.bwf)");
  EXPECT_EQ(WindowCaption(u""), u"Riffoscope");
  EXPECT_EQ(WindowCaption(u"/a b/c.wav"), u"Riffoscope (/a b/c.wav)");
}

}  // namespace
}  // namespace riffo
