// The Hex Edit Chunk command over the main window's session: what it refuses,
// the extent and caption it hands the editor, the editor's read-write stream
// and the reload after a save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Files.h"
#include "support/RiffBuilder.h"
#include "viewer/HexEditUtil.h"
#include "viewer/RiffoscopeSession.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

using test::Bytes;
using test::TBox;

// fmt (16 bytes at 12), an empty "junk" chunk and data.
Bytes SmallWave() { return test::PcmWave(test::Chunk("junk", {}), Bytes(32, 0x11)); }

size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

// One call of the editor as the command made it.
struct TEditCall {
  std::u16string Caption;
  int64_t Offset = 0, Size = 0;
  bool Writable = false;
};

struct CommandFixture : ::testing::Test {
  test::ScratchFolder folder;
  test::TFakeView view;
  test::TFakeDialogs dialogs;
  TRiffoscopeSession session{view, dialogs};
  std::vector<TEditCall> calls;
  // What the editor does with its stream before it closes (nothing: Cancel).
  std::function<bool(TStream*, int64_t, int64_t)> editorAction = [](TStream*, int64_t, int64_t) {
    return false;
  };
  std::u16string wav;

  void SetUp() override {
    wav = folder.Write("small.wav", SmallWave());
    ASSERT_TRUE(session.LoadFile(wav));
    session.SetHexEditor(
        [this](TStream* stream, const std::u16string& caption, int64_t offset, int64_t size) {
          TEditCall call{caption, offset, size, false};
          // The handle must take writes: write back the first byte as it is.
          uint8_t first = 0;
          call.Writable =
              stream->Seek(offset, SeekOrigin::Begin) == offset && stream->Read(&first, 1) == 1 &&
              stream->Seek(offset, SeekOrigin::Begin) == offset && stream->Write(&first, 1) == 1;
          calls.push_back(call);
          return editorAction(stream, offset, size);
        });
  }
  const TDisplayNode* Riff() { return session.DisplayTree()->Children.at(0).get(); }
  const TDisplayNode* EmptyChunk() {
    for (const auto& child : Riff()->Children)
      if (child->Info && child->Info->Size == 0) return child.get();
    return nullptr;
  }
  void Run(const TDisplayNode* node) {
    view.Selected = node;
    session.HexEditChunk1Click();
  }
};

TEST_F(CommandFixture, EditorGetsTheNodeExtentAndCaption) {
  const size_t fds = OpenDescriptors();
  Run(Riff());
  Run(Riff()->Children.at(0).get());  // fmt
  Run(session.DisplayTree());         // the file node: the whole file
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].Caption, u" [WAVE]");
  EXPECT_EQ(calls[0].Offset, 0);
  EXPECT_EQ(calls[0].Size, static_cast<int64_t>(SmallWave().size()));
  EXPECT_EQ(calls[1].Caption, u" [    ]") << "ordinary chunks carry no form type";
  EXPECT_EQ(calls[1].Offset, 12);
  EXPECT_EQ(calls[1].Size, 16 + 8);
  EXPECT_EQ(calls[2].Caption, u" [    ]");
  EXPECT_EQ(calls[2].Offset, 0);
  EXPECT_EQ(calls[2].Size, static_cast<int64_t>(SmallWave().size()));
  for (const auto& call : calls) EXPECT_TRUE(call.Writable);
  EXPECT_TRUE(dialogs.Boxes.empty()) << "cancelled: no reload question";
  EXPECT_EQ(OpenDescriptors(), fds) << "the editor's stream is closed again";
}

TEST_F(CommandFixture, FieldLinesAndEmptyChunksDoNothing) {
  const TDisplayNode* fmt = Riff()->Children.at(0).get();
  ASSERT_FALSE(fmt->Children.empty());
  Run(fmt->Children.at(0).get());  // a field line carries no record
  const TDisplayNode* junk = EmptyChunk();
  ASSERT_NE(junk, nullptr);
  Run(junk);
  Run(nullptr);
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(dialogs.Boxes.empty());
}

TEST_F(CommandFixture, ChunkSizeLimitIsOneHundredMebibytes) {
  // The limit is on the record's payload size; the file need not be that big.
  TDisplayNode atLimit(u"big",
                       std::make_unique<TChunkNodeInfo>(TChunkNodeInfo{0, 104857600, 36, 0}));
  TDisplayNode overLimit(u"bigger",
                         std::make_unique<TChunkNodeInfo>(TChunkNodeInfo{0, 104857601, 36, 0}));
  Run(&atLimit);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Size, 104857608);
  EXPECT_TRUE(dialogs.Boxes.empty());
  Run(&overLimit);
  EXPECT_EQ(calls.size(), 1u) << "no editor";
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"plain", u"Chunk too big"}}));
  view.Selected = nullptr;  // the nodes are about to go
}

TEST_F(CommandFixture, FileThatCannotBeOpenedForWritingOpensNoEditor) {
  // Without write permission; as the superuser, who may write anyway, a
  // system file whose open for writing always fails stands in.
  const auto name = folder.Name("small.wav");
  ASSERT_EQ(chmod(folder.Path("small.wav").c_str(), 0444), 0);
  std::u16string lockedName = name;
  if (geteuid() == 0) {
    lockedName = u"/sys/devices/system/cpu/online";
    if (!FileExists(lockedName)) GTEST_SKIP() << "no unwritable file for the superuser";
  }
  THexEditChunkContext context{true, lockedName, Riff()->Children.at(0).get(), false};
  bool editorCalled = false;
  EXPECT_FALSE(
      HexEditChunk(context, dialogs, [&](TStream*, const std::u16string&, int64_t, int64_t) {
        editorCalled = true;
        return true;
      }));
  EXPECT_FALSE(editorCalled);
  EXPECT_EQ(dialogs.Boxes,
            (std::vector<TBox>{{"plain", u"File is locked for writing by another application."}}));
  if (geteuid() != 0) {
    dialogs.Boxes.clear();
    Run(Riff()->Children.at(0).get());
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(dialogs.Boxes.size(), 1u);
  }
}

TEST_F(CommandFixture, VanishedFileAndMissingTreeSayNoFileLoaded) {
  ASSERT_TRUE(RemoveFile(wav));
  Run(Riff()->Children.at(0).get());
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"error", u"There is no file loaded."}}));

  dialogs.Boxes.clear();
  THexEditChunkContext noTree{false, wav, nullptr, false};
  EXPECT_FALSE(HexEditChunk(noTree, dialogs, {}));
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"error", u"There is no file loaded."}}));
}

TEST_F(CommandFixture, SaveThenReloadShowsTheNewValue) {
  // The editor changes nChannels (the byte at position 22) and saves.
  auto setChannels = [this](const char16_t* text) {
    editorAction = [this, text](TStream* stream, int64_t offset, int64_t size) {
      THexEditor editor(stream, u"", offset, size, dialogs);
      EXPECT_TRUE(editor.FormShow());
      const int64_t index = 22 - offset + editor.Lead();
      const int32_t column = static_cast<int32_t>(index % 16) + 1,
                    row = static_cast<int32_t>(index / 16) + 1;
      EXPECT_EQ(editor.CellPosition(column, row), 22);
      editor.StringGrid1SetEditText(column, row, text);
      return editor.bbtnOKClick();
    };
  };
  auto channelsLine = [&]() -> std::u16string {
    for (const auto& field : Riff()->Children.at(0)->Children)
      if (field->Text.find(u"Channels") != std::u16string::npos) return field->Text;
    return u"";
  };
  const TDisplayNode* before = session.DisplayTree();
  const std::u16string oldLine = channelsLine();
  ASSERT_EQ(oldLine.back(), u'2');

  setChannels(u"01");
  dialogs.Answers = {true, false};  // save: Yes; reload: No
  Run(Riff()->Children.at(0).get());
  EXPECT_EQ(dialogs.Boxes,
            (std::vector<TBox>{{"yesno", CONFIRM_SAVE_TEXT}, {"yesno", RELOAD_QUESTION_TEXT}}));
  EXPECT_EQ(session.DisplayTree(), before) << "No keeps the session as it was";
  EXPECT_EQ(channelsLine(), oldLine) << "the tree still shows the bytes as loaded";
  EXPECT_EQ(static_cast<uint8_t>(test::ReadFileText(folder.Path("small.wav"))[22]), 1);

  dialogs.Boxes.clear();
  setChannels(u"04");
  dialogs.Answers = {true, true};  // save: Yes; reload: Yes
  Run(Riff()->Children.at(0).get());
  EXPECT_EQ(dialogs.Boxes.size(), 2u);
  EXPECT_EQ(session.FileName(), wav) << "reloaded under the same name";
  ASSERT_NE(session.DisplayTree(), nullptr);
  EXPECT_EQ(channelsLine().back(), u'4') << "the reloaded tree shows the saved channel count";
  EXPECT_EQ(view.Caption, u"Riffoscope (" + wav + u")");
  EXPECT_EQ(dialogs.BusyDepth, 0);
}

}  // namespace
}  // namespace riffo
