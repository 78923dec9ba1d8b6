// The hex chunk editor driven by a fuzzed sequence of user operations
// (cursor moves, typed cell texts, Enter, a save answered Yes or No) and of
// another program's writes over one extent of a file in memory, checked
// against a simple model: the file as read plus the last value each byte
// cell shows. A save writes exactly the changed bytes at their own
// positions and nothing else; a save answered No, or one after another
// program changed the bytes the editor read, writes nothing.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Stream.h"
#include "support/FakeUserDialogs.h"
#include "viewer/HexEditUtil.h"
#include "viewer/RiffoscopeSession.h"

namespace {

using riffo::fuzz::Check;
using riffo::test::TFakeDialogs;

// How many error boxes the dialogs showed.
size_t Errors(const TFakeDialogs& dialogs) {
  return static_cast<size_t>(std::count_if(dialogs.Boxes.begin(), dialogs.Boxes.end(),
                                           [](const auto& box) { return box.Kind == "error"; }));
}

std::u16string TypedText(riffo::fuzz::TFuzzInput& input) {
  static constexpr char16_t ALPHABET[] = {u'0', u'7', u'9', u'a', u'F',   u'f',
                                          u' ', u'G', u'x', u'-', u'\xE9'};
  std::u16string text;
  const auto length = input.Range(0, 3);
  for (int64_t i = 0; i < length; ++i) text += input.Pick(ALPHABET);
  return text;
}

char16_t HexDigit(int value) {
  return static_cast<char16_t>(value < 10 ? u'0' + value : u'A' + value - 10);
}

// Every byte cell shows the value its change record holds, or the file's
// byte; the records are exactly the cells that differ.
void CheckGrid(const riffo::THexEditor& editor, const std::vector<uint8_t>& file,
               std::map<int64_t, uint8_t>& shown) {
  shown.clear();
  int64_t byteCells = 0;
  for (int32_t row = 1; row < editor.RowCount(); ++row) {
    for (int32_t column = riffo::HEX_EDIT_FIRST_BYTE_COLUMN;
         column <= riffo::HEX_EDIT_LAST_BYTE_COLUMN; ++column) {
      const int64_t position = editor.CellPosition(column, row);
      if (position < 0) {
        Check(editor.CellText(column, row).empty(), "a cell without a byte shows text");
        continue;
      }
      ++byteCells;
      Check(position >= editor.Offset() && position < editor.Offset() + editor.Size(),
            "a byte cell outside the extent");
      Check(editor.GetOriginalValue(column, row) == file[static_cast<size_t>(position)],
            "a byte cell's original is not the file's byte");
      const uint8_t value = riffo::CellTextValue(editor.CellText(column, row));
      const int32_t changed = editor.GetChangedCellIndex(column, row);
      if (changed >= 0) {
        Check(editor.ChangedCells()[static_cast<size_t>(changed)].Value == value,
              "a change record differs from what its cell shows");
        Check(value != file[static_cast<size_t>(position)],
              "a change record for an unchanged byte");
      } else {
        Check(value == file[static_cast<size_t>(position)],
              "a changed byte without a change record");
      }
      if (value != file[static_cast<size_t>(position)]) shown[position] = value;
    }
  }
  Check(byteCells == editor.BytesRead(), "byte cells and bytes read differ in number");
  Check(editor.ChangedCells().size() == shown.size(), "duplicate change records");
  if (editor.HasCursor())
    Check(editor.CanSelectCell(editor.CursorColumn(), editor.CursorRow()),
          "the cursor on a cell without a byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  riffo::fuzz::TFuzzInput input(data, size);
  const auto fileSize = input.Range(0, 300);
  const std::vector<uint8_t> initial = input.Bytes(static_cast<size_t>(fileSize));
  std::vector<uint8_t> file = initial;
  // The extent may reach past the end of the file, as a chunk of a truncated one does.
  const auto offset = input.Range(0, static_cast<int64_t>(file.size()) + 8);
  const auto extent = input.Range(0, 200);

  riffo::TMemoryStream stream(file);
  TFakeDialogs dialogs;
  riffo::THexEditor editor(&stream, u" fuzz", offset, extent, dialogs);
  if (!editor.FormShow()) return 0;
  const int64_t readable =
      std::max<int64_t>(0, std::min<int64_t>(extent, static_cast<int64_t>(file.size()) - offset));
  Check(editor.BytesRead() == readable,
        "the editor read another number of bytes than the file holds");

  std::map<int64_t, uint8_t> shown;
  CheckGrid(editor, initial, shown);
  // The window closes after Save Changes, whatever the answer: a save ends the sequence.
  bool closed = false;
  const auto steps = input.Range(0, 40);
  for (int64_t step = 0; step < steps && !input.Empty() && !closed; ++step) {
    const auto column = static_cast<int32_t>(input.Range(-1, riffo::HEX_EDIT_COLUMNS));
    const auto row = static_cast<int32_t>(input.Range(-1, editor.RowCount()));
    switch (input.Range(0, 7)) {
      case 0: {
        const bool may = editor.CanSelectCell(column, row);
        Check(editor.StringGrid1SelectCell(column, row) == may,
              "selecting a cell disagrees with CanSelectCell");
        if (may)
          Check(editor.CursorColumn() == column && editor.CursorRow() == row,
                "the cursor did not move");
        break;
      }
      case 1: editor.StringGrid1SetEditText(column, row, TypedText(input)); break;
      case 2: {
        // Two hex digits typed: the cell shows that byte.
        const int value = input.Byte();
        editor.StringGrid1SetEditText(column, row, {HexDigit(value >> 4), HexDigit(value & 15)});
        if (editor.CellPosition(column, row) >= 0)
          Check(riffo::CellTextValue(editor.CellText(column, row)) == value,
                "typed digits not shown");
        break;
      }
      case 3:
        if (editor.HasCursor())
          editor.StringGrid1SetEditText(editor.CursorColumn(), editor.CursorRow(),
                                        TypedText(input));
        break;
      case 4: editor.MoveToNextCell(); break;
      case 5: {
        // Another program writes one byte of the file while the editor is open.
        if (file.empty()) break;
        const auto position =
            static_cast<size_t>(input.Range(0, static_cast<int64_t>(file.size()) - 1));
        file[position] = input.Byte();
        stream.Seek(static_cast<int64_t>(position), riffo::SeekOrigin::Begin);
        stream.Write(&file[position], 1);
        break;
      }
      case 6: {
        // Save answered No: nothing is written.
        dialogs.Answers = {false};
        editor.bbtnOKClick();
        Check(stream.Bytes() == file, "a save answered No changed the file");
        closed = true;
        break;
      }
      default: {
        CheckGrid(editor, initial, shown);
        dialogs.Answers = {true};
        const size_t errors = Errors(dialogs);
        editor.bbtnOKClick();
        // The bytes the editor read must still be in the file; if another
        // program changed them, nothing is written and the user is told.
        bool asRead = true;
        for (int64_t i = 0; i < editor.BytesRead(); ++i)
          asRead = asRead && file[static_cast<size_t>(offset + i)] ==
                                 initial[static_cast<size_t>(offset + i)];
        if (asRead && !shown.empty()) {
          Check(Errors(dialogs) == errors, "a save to memory reported a failure");
          for (const auto& [position, value] : shown) file[static_cast<size_t>(position)] = value;
        } else if (!shown.empty()) {
          Check(Errors(dialogs) == errors + 1,
                "a save over another program's change was not refused");
        }
        Check(stream.Bytes() == file, "the saved file is not the model");
        closed = true;
        break;
      }
    }
    CheckGrid(editor, initial, shown);
  }
  // Whatever was saved, the file is the model: only bytes of the extent
  // changed besides the other program's.
  Check(stream.Bytes() == file, "the file is not the model");
  return 0;
}
