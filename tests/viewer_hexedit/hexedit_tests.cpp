// The hex chunk editor without its window: the grid of an extent, the cell
// text rules, the change records, the cursor and the save into a file.
#include "viewer/HexEditUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

using test::TBox;

// Byte i of the file is i + 1 (so no byte is 0 and each is recognisable).
std::vector<uint8_t> Counting(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  return bytes;
}

struct EditorFixture : ::testing::Test {
  TMemoryStream file{Counting(0x40)};
  test::TFakeDialogs dialogs;

  THexEditor Open(int64_t offset, int64_t size, TStream* stream = nullptr) {
    THexEditor editor(stream ? stream : &file, u" [    ]", offset, size, dialogs);
    EXPECT_TRUE(editor.FormShow());
    return editor;
  }
};

TEST_F(EditorFixture, ChunkAt0x24WithTwelveBytesIsOneRowWithFourLeadCells) {
  THexEditor editor = Open(0x24, 12);
  EXPECT_EQ(editor.Caption(), u"Hex Edit [    ]");
  EXPECT_EQ(editor.ColCount(), 18);
  EXPECT_EQ(editor.RowCount(), 2) << "header row and one byte row";
  EXPECT_EQ(editor.Lead(), 4);
  EXPECT_EQ(editor.CellText(0, 1), u"0x0000000000000020");
  EXPECT_EQ(editor.CellText(1, 0), u"00");
  EXPECT_EQ(editor.CellText(16, 0), u"0F");
  for (int32_t column = 1; column <= 4; ++column) {
    EXPECT_EQ(editor.CellText(column, 1), u"") << column;
    EXPECT_FALSE(editor.CanSelectCell(column, 1)) << column;
  }
  EXPECT_EQ(editor.CellText(5, 1), u"25");   // position 0x24
  EXPECT_EQ(editor.CellText(16, 1), u"30");  // position 0x2F
  EXPECT_EQ(editor.CellPosition(5, 1), 0x24);
  EXPECT_EQ(editor.CellPosition(16, 1), 0x2F);
  // Lead blanks keep each character above its byte; 0x25..0x30 are "%" to "0".
  EXPECT_EQ(editor.CellText(17, 1), u"    %&'()*+,-./0");
  EXPECT_FALSE(editor.CanSelectCell(17, 1)) << "character column";
  EXPECT_FALSE(editor.CanSelectCell(0, 1)) << "address column";
  EXPECT_FALSE(editor.CanSelectCell(5, 0)) << "header row";
  EXPECT_EQ(editor.CursorColumn(), 5) << "cursor on the first byte";
  EXPECT_EQ(editor.CursorRow(), 1);
}

TEST_F(EditorFixture, ChunkAt12WithTwentyFourBytesSpansThreeRows) {
  THexEditor editor = Open(12, 24);
  EXPECT_EQ(editor.Lead(), 12);
  ASSERT_EQ(editor.RowCount(), 4);
  EXPECT_EQ(editor.CellText(0, 1), u"0x0000000000000000");
  EXPECT_EQ(editor.CellText(0, 2), u"0x0000000000000010");
  EXPECT_EQ(editor.CellText(0, 3), u"0x0000000000000020");
  auto bytesInRow = [&](int32_t row) {
    int count = 0;
    for (int32_t column = 1; column <= 16; ++column)
      count += editor.CanSelectCell(column, row) ? 1 : 0;
    return count;
  };
  EXPECT_EQ(bytesInRow(1), 4);
  EXPECT_EQ(bytesInRow(2), 16);
  EXPECT_EQ(bytesInRow(3), 4);
  EXPECT_EQ(editor.CellText(13, 1), u"0D");  // position 12
  EXPECT_EQ(editor.CellText(4, 3), u"24");   // position 35, the last byte
  EXPECT_EQ(editor.CellText(5, 3), u"");
  // Bytes 0x0D..0x1F are controls, 0x20 a blank, 0x21..0x24 "!" to "$".
  EXPECT_EQ(editor.CellText(17, 1), u"            ....");
  EXPECT_EQ(editor.CellText(17, 2), u"............... ");
  EXPECT_EQ(editor.CellText(17, 3), u"!\"#$");
}

TEST_F(EditorFixture, ExtentPastTheEndShowsOnlyTheBytesThatExist) {
  THexEditor editor = Open(0x38, 0x20);  // the file ends at 0x40
  EXPECT_EQ(editor.BytesRead(), 8);
  EXPECT_EQ(editor.RowCount(), 4) << "rows follow the extent, not what was read";
  EXPECT_TRUE(editor.CanSelectCell(16, 1));
  EXPECT_EQ(editor.CellText(1, 2), u"");
  EXPECT_FALSE(editor.CanSelectCell(1, 2));
  editor.StringGrid1SetEditText(1, 2, u"55");
  EXPECT_TRUE(editor.ChangedCells().empty()) << "a cell without a byte takes no value";
}

// A size field may claim far more than the file holds: the editor holds and
// reads only what is there, not the claimed extent.
TEST(EditorMemory, ClaimedExtentBeyondTheFileIsNotAllocated) {
  class TRecordingStream final : public TStream {
  public:
    explicit TRecordingStream(std::vector<uint8_t> bytes) : FInner(std::move(bytes)) {}
    int64_t Read(void* buffer, int64_t count) override {
      LargestRead = std::max(LargestRead, count);
      return FInner.Read(buffer, count);
    }
    int64_t Write(const void* buffer, int64_t count) override {
      return FInner.Write(buffer, count);
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override { return FInner.Seek(offset, origin); }
    int64_t Position() const override { return FInner.Position(); }
    int64_t Size() const override { return FInner.Size(); }
    int64_t LargestRead = 0;

  private:
    TMemoryStream FInner;
  };
  test::TFakeDialogs dialogs;
  for (const int64_t offset : {int64_t{0}, int64_t{40}, int64_t{64}, int64_t{1000}}) {
    TRecordingStream stream(Counting(64));
    THexEditor editor(&stream, u"", offset, MAX_HEX_EDIT_CHUNK_SIZE, dialogs);
    ASSERT_TRUE(editor.FormShow()) << offset;
    const int64_t there = std::max<int64_t>(64 - offset, 0);
    EXPECT_EQ(editor.BytesRead(), there) << offset;
    EXPECT_LE(stream.LargestRead, there) << offset;
    EXPECT_EQ(editor.RowCount(), 1 + (editor.Lead() + MAX_HEX_EDIT_CHUNK_SIZE + 15) / 16) << offset;
  }
}

TEST(CellTextRules, TypedTextBecomesCellTextAndValue) {
  struct Case {
    std::u16string typed, cell;
    uint8_t value;
  };
  const Case cases[] = {
      {u"G5", u"00", 0x00}, {u"4G", u"40", 0x40}, {u"A", u"A0", 0xA0},  {u"a", u"A0", 0xA0},
      {u" 5", u" 5", 0x05}, {u"7f", u"7F", 0x7F}, {u"", u"00", 0x00},   {u"  ", u"00", 0x00},
      {u" ", u"00", 0x00},  {u"zz", u"00", 0x00}, {u" g", u"00", 0x00}, {u"e9", u"E9", 0xE9},
  };
  for (const Case& c : cases) {
    const std::u16string cell = NormalizeCellText(c.typed);
    EXPECT_EQ(cell, c.cell) << Utf16ToUtf8(c.typed);
    EXPECT_EQ(CellTextValue(cell), c.value) << Utf16ToUtf8(c.typed);
  }
}

TEST_F(EditorFixture, TypingRecordsOnlyValuesThatDifferFromTheFile) {
  TMemoryStream sevenF{std::vector<uint8_t>(16, 0x7F)};
  THexEditor editor = Open(0, 16, &sevenF);

  editor.StringGrid1SetEditText(1, 1, u"G5");
  EXPECT_EQ(editor.CellText(1, 1), u"00");
  editor.StringGrid1SetEditText(2, 1, u"4G");
  editor.StringGrid1SetEditText(3, 1, u"A");
  editor.StringGrid1SetEditText(4, 1, u"7F");
  EXPECT_EQ(editor.ChangedCells(),
            (std::vector<TChangedCell>{{1, 1, 0x00}, {2, 1, 0x40}, {3, 1, 0xA0}}));
  EXPECT_FALSE(editor.IsCellChanged(4, 1)) << "7F over 7F is drawn normally";
  EXPECT_TRUE(editor.IsCellChanged(3, 1));
  EXPECT_EQ(editor.CellText(17, 1), u".@\u00A0.............") << "the character column follows";
}

TEST_F(EditorFixture, SecondPositionOnlyShowsZeroOnceTheCursorLeaves) {
  THexEditor editor = Open(0, 16);
  ASSERT_TRUE(editor.StringGrid1SelectCell(3, 1));
  editor.StringGrid1SetEditText(3, 1, u" 5");
  EXPECT_EQ(editor.CellText(3, 1), u" 5");
  EXPECT_EQ(editor.ChangedCells(), (std::vector<TChangedCell>{{3, 1, 0x05}}));
  ASSERT_TRUE(editor.StringGrid1SelectCell(4, 1));
  EXPECT_EQ(editor.CellText(3, 1), u"05");
  EXPECT_EQ(editor.ChangedCells(), (std::vector<TChangedCell>{{3, 1, 0x05}}));
}

TEST_F(EditorFixture, ChangingBackRemovesTheRecordAndKeepsFirstChangeOrder) {
  THexEditor editor = Open(0, 32);
  editor.StringGrid1SetEditText(5, 1, u"AA");
  editor.StringGrid1SetEditText(2, 2, u"BB");
  editor.StringGrid1SetEditText(5, 1, u"CC");  // updated in place, stays first
  EXPECT_EQ(editor.ChangedCells(), (std::vector<TChangedCell>{{5, 1, 0xCC}, {2, 2, 0xBB}}));
  editor.StringGrid1SetEditText(5, 1, u"05");  // position 4 holds 5
  editor.StringGrid1SetEditText(2, 2, u"12");  // position 17 holds 0x12
  EXPECT_TRUE(editor.ChangedCells().empty());

  EXPECT_TRUE(editor.bbtnOKClick()) << "the window still closes with OK";
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"plain", u"No changes to be saved."}}));
  EXPECT_EQ(file.Bytes(), Counting(0x40));
}

TEST_F(EditorFixture, NoToTheConfirmationWritesNothing) {
  THexEditor editor = Open(0, 32);
  editor.StringGrid1SetEditText(1, 1, u"FF");
  dialogs.Answers = {false};
  EXPECT_TRUE(editor.bbtnOKClick());
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"yesno", CONFIRM_SAVE_TEXT}}));
  EXPECT_EQ(file.Bytes(), Counting(0x40));
}

TEST_F(EditorFixture, EnterWalksTheBytesAndStopsAtTheLast) {
  THexEditor editor = Open(12, 24);
  ASSERT_TRUE(editor.StringGrid1SelectCell(16, 1));
  editor.MoveToNextCell();
  EXPECT_EQ(std::pair(editor.CursorColumn(), editor.CursorRow()), std::pair(1, 2))
      << "wraps to the next row";
  ASSERT_TRUE(editor.StringGrid1SelectCell(3, 3));
  editor.StringGrid1SetEditText(3, 3, u" 7");
  editor.MoveToNextCell();
  EXPECT_EQ(std::pair(editor.CursorColumn(), editor.CursorRow()), std::pair(4, 3));
  EXPECT_EQ(editor.CellText(3, 3), u"07") << "the cell left behind shows its blank as 0";
  editor.MoveToNextCell();
  EXPECT_EQ(std::pair(editor.CursorColumn(), editor.CursorRow()), std::pair(4, 3))
      << "last byte: stays";

  THexEditor full = Open(0, 32);  // the last byte ends a row: no row to wrap into
  ASSERT_TRUE(full.StringGrid1SelectCell(16, 2));
  full.MoveToNextCell();
  EXPECT_EQ(std::pair(full.CursorColumn(), full.CursorRow()), std::pair(16, 2));
}

// ------------------------------------------------------------ save

struct SaveFixture : ::testing::Test {
  test::ScratchFolder folder;
  test::TFakeDialogs dialogs;
};

TEST_F(SaveFixture, SavedFileDiffersInExactlyTheEditedBytes) {
  const std::vector<uint8_t> before = Counting(300);
  const auto name = folder.Write("edit.wav", before);
  {
    auto stream = TFileStream::Open(name, FileMode::OpenReadWrite);
    ASSERT_NE(stream, nullptr);
    THexEditor editor(stream.get(), u"", 12, 250, dialogs);  // positions 12..261
    ASSERT_TRUE(editor.FormShow());
    editor.StringGrid1SetEditText(13, 1, u"E1");  // position 12, the first byte
    editor.StringGrid1SetEditText(8, 8, u"E2");   // position 7 * 16 + 7 = 119
    editor.StringGrid1SetEditText(6, 17, u"E3");  // position 16 * 16 + 5 = 261, the last byte
    ASSERT_EQ(editor.CellPosition(6, 17), 261);
    dialogs.Answers = {true};
    EXPECT_TRUE(editor.bbtnOKClick());
  }
  EXPECT_EQ(dialogs.Boxes, (std::vector<TBox>{{"yesno", CONFIRM_SAVE_TEXT}}));
  const std::string after = test::ReadFileText(folder.Path("edit.wav"));
  ASSERT_EQ(after.size(), before.size()) << "length kept";
  std::vector<size_t> differing;
  for (size_t i = 0; i < before.size(); ++i)
    if (static_cast<uint8_t>(after[i]) != before[i]) differing.push_back(i);
  EXPECT_EQ(differing, (std::vector<size_t>{12, 119, 261}));
  EXPECT_EQ(static_cast<uint8_t>(after[12]), 0xE1);
  EXPECT_EQ(static_cast<uint8_t>(after[119]), 0xE2);
  EXPECT_EQ(static_cast<uint8_t>(after[261]), 0xE3);
}

// Another program changes the file between the editor's reading and the
// save: the save writes nothing and says so. A change that leaves the
// edited bytes and the file's identity alone does not stop it.
TEST_F(SaveFixture, FileChangedByAnotherProgramIsNotWritten) {
  namespace fs = std::filesystem;
  struct Case {
    const char* What;
    std::function<void(const fs::path&)> Meddle;
    bool Saves;
  };
  const auto patch = [](const fs::path& path, std::streamoff at, const std::string& bytes) {
    std::fstream io(path, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(at);
    io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  const Case cases[] = {
      {"truncated inside the chunk", [](const fs::path& p) { fs::resize_file(p, 100); }, false},
      {"truncated to nothing", [](const fs::path& p) { fs::resize_file(p, 0); }, false},
      {"replaced by a rename",
       [](const fs::path& p) {
         std::ofstream(p.string() + ".new", std::ios::binary) << std::string(300, 'N');
         fs::rename(p.string() + ".new", p);
       },
       false},
      {"deleted", [](const fs::path& p) { fs::remove(p); }, false},
      {"a byte inside the chunk rewritten", [&](const fs::path& p) { patch(p, 200, "Z"); }, false},
      {"the chunk's last byte rewritten", [&](const fs::path& p) { patch(p, 261, "Z"); }, false},
      {"a byte after the chunk rewritten", [&](const fs::path& p) { patch(p, 262, "Z"); }, true},
      {"grown at the end", [](const fs::path& p) { std::ofstream(p, std::ios::app) << "tail"; },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const auto name = folder.Write("edit.wav", Counting(300));
    const fs::path path = folder.Path("edit.wav");
    test::TFakeDialogs boxes;
    std::string before;
    {
      auto stream = TFileStream::Open(name, FileMode::OpenReadWrite);
      ASSERT_NE(stream, nullptr);
      THexEditor editor(stream.get(), u"", 12, 250, boxes);  // positions 12..261
      ASSERT_TRUE(editor.FormShow());
      editor.StringGrid1SetEditText(13, 1, u"E1");  // position 12
      editor.StringGrid1SetEditText(6, 17, u"E3");  // position 261
      c.Meddle(path);
      before = fs::exists(path) ? test::ReadFileText(path.string()) : "";
      boxes.Answers = {true};
      TraceCapture trace;
      EXPECT_TRUE(editor.bbtnOKClick());
    }
    const std::string after = fs::exists(path) ? test::ReadFileText(path.string()) : "";
    if (c.Saves) {
      EXPECT_EQ(boxes.Boxes, (std::vector<TBox>{{"yesno", CONFIRM_SAVE_TEXT}}));
      ASSERT_EQ(after.size(), before.size());
      EXPECT_EQ(static_cast<uint8_t>(after[12]), 0xE1);
      EXPECT_EQ(static_cast<uint8_t>(after[261]), 0xE3);
    } else {
      EXPECT_EQ(boxes.Boxes,
                (std::vector<TBox>{
                    {"yesno", CONFIRM_SAVE_TEXT},
                    {"error", u"The file was changed by another program. Nothing was saved."}}));
      EXPECT_EQ(after, before) << "the other program's file is left as it made it";
    }
    std::error_code ignored;
    fs::remove(path, ignored);
  }
}

// A file that takes the first writes and then fails: either it refuses the
// byte outright or its seek lands somewhere else than asked.
class TFailingStream final : public TStream {
public:
  enum class Failure { WriteTakesNothing, WriteFails, SeekLandsElsewhere };
  TFailingStream(std::vector<uint8_t> bytes, int goodWrites, Failure failure)
      : FInner(std::move(bytes)), FGoodWrites(goodWrites), FFailure(failure) {}

  int64_t Read(void* buffer, int64_t count) override { return FInner.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    if (FWrites++ < FGoodWrites) return FInner.Write(buffer, count);
    if (FFailure == Failure::WriteTakesNothing) return 0;
    if (FFailure == Failure::WriteFails) return -1;
    return FInner.Write(buffer, count);
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    if (FFailure == Failure::SeekLandsElsewhere && FWrites >= FGoodWrites &&
        origin == SeekOrigin::Begin)
      return FInner.Seek(offset + 1, origin);
    return FInner.Seek(offset, origin);
  }
  int64_t Position() const override { return FInner.Position(); }
  int64_t Size() const override { return FInner.Size(); }
  const std::vector<uint8_t>& Bytes() const { return FInner.Bytes(); }

private:
  TMemoryStream FInner;
  int FGoodWrites;
  int FWrites = 0;
  Failure FFailure;
};

TEST_F(SaveFixture, FailedWriteStopsTheSaveAndIsShown) {
  for (const auto failure :
       {TFailingStream::Failure::WriteTakesNothing, TFailingStream::Failure::WriteFails,
        TFailingStream::Failure::SeekLandsElsewhere}) {
    SCOPED_TRACE(static_cast<int>(failure));
    test::TFakeDialogs boxes;
    TFailingStream stream(Counting(64), 1, failure);
    THexEditor editor(&stream, u"", 0, 64, boxes);
    ASSERT_TRUE(editor.FormShow());
    editor.StringGrid1SetEditText(1, 1, u"A1");  // position 0: written
    editor.StringGrid1SetEditText(2, 2, u"A2");  // position 17: fails
    editor.StringGrid1SetEditText(3, 3, u"A3");  // position 34: never tried
    boxes.Answers = {true};
    TraceCapture trace;
    EXPECT_TRUE(editor.bbtnOKClick()) << "the window still closes with OK";
    EXPECT_EQ(boxes.Boxes, (std::vector<TBox>{{"yesno", CONFIRM_SAVE_TEXT},
                                              {"error", u"Cannot write changes to the file."}}));
    std::vector<uint8_t> expected = Counting(64);
    expected[0] = 0xA1;
    EXPECT_EQ(stream.Bytes(), expected) << "the first record written, every other byte as it was";
    EXPECT_FALSE(trace.Lines().empty());
  }
}

TEST(EditorFailures, MissingStreamAndUnusableExtentOpenNothing) {
  test::TFakeDialogs dialogs;
  THexEditor noStream(nullptr, u"", 0, 16, dialogs);
  TraceCapture trace;
  EXPECT_FALSE(noStream.FormShow());
  TMemoryStream file{Counting(16)};
  THexEditor negative(&file, u"", 0, -1, dialogs);
  EXPECT_FALSE(negative.FormShow());
  EXPECT_EQ(trace.Lines().size(), 2u);
  EXPECT_FALSE(noStream.HasCursor());
}

}  // namespace
}  // namespace riffo
