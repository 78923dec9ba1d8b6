// The hex chunk editor without a window: the byte grid of one extent of the
// open file (18 columns: the row address, 16 bytes, the display characters),
// the two-character cell rules, the cursor rules, the change records and the
// save that writes each changed byte back at its own position. The Qt form
// (viewer/qt/HexEditForm) only shows THexEditor and forwards its events, so
// tests drive the editor directly and answer its boxes through IUserDialogs.
//
// Also the Hex Edit Chunk command of the main window as a plain function over
// the session state: which extent is edited, the limits, the second,
// read-write stream and the reload question.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "chunkmodel/DisplayTree.h"
#include "platform/Stream.h"

namespace riffo {

class IUserDialogs;

inline constexpr int32_t HEX_EDIT_COLUMNS = 18;
inline constexpr int32_t HEX_EDIT_ADDRESS_COLUMN = 0;
inline constexpr int32_t HEX_EDIT_FIRST_BYTE_COLUMN = 1;
inline constexpr int32_t HEX_EDIT_LAST_BYTE_COLUMN = 16;
inline constexpr int32_t HEX_EDIT_CHAR_COLUMN = 17;
inline constexpr int32_t HEX_EDIT_BYTES_PER_ROW = 16;
// The largest chunk payload the Hex Edit Chunk command opens (100 MiB): the
// editor holds the whole extent in memory.
inline constexpr int64_t MAX_HEX_EDIT_CHUNK_SIZE = 104857600;

inline constexpr char16_t HEX_EDIT_TITLE[] = u"Hex Edit";
inline constexpr char16_t NO_CHANGES_TEXT[] = u"No changes to be saved.";
inline constexpr char16_t CONFIRM_SAVE_TEXT[] =
    u"This action will permanently change the file content. Are you sure you want to save all "
    u"changes?";
inline constexpr char16_t WRITE_FAILED_TEXT[] = u"Cannot write changes to the file.";
inline constexpr char16_t FILE_CHANGED_TEXT[] =
    u"The file was changed by another program. Nothing was saved.";
inline constexpr char16_t NO_FILE_LOADED_TEXT[] = u"There is no file loaded.";
inline constexpr char16_t CHUNK_TOO_BIG_TEXT[] = u"Chunk too big";
inline constexpr char16_t FILE_LOCKED_TEXT[] =
    u"File is locked for writing by another application.";
inline constexpr char16_t RELOAD_QUESTION_TEXT[] =
    u"Do you want to reload the file with the new changes?";

// One changed byte: its cell and the value the user entered.
struct TChangedCell {
  int32_t Column = 0;
  int32_t Row = 0;
  uint8_t Value = 0;
  bool operator==(const TChangedCell&) const = default;
};

// The cell text the editor's text T turns into: upper case; a first character
// that is no hex digit or blank gives "00"; a missing or unacceptable second
// character gives the first (a blank as 0) followed by "0"; empty or two
// blanks give "00"; otherwise T itself (e.g. " 5" while the cursor is there).
std::u16string NormalizeCellText(const std::u16string& editText);
// The byte a cell text stands for (hex, read without surrounding blanks); 0
// when it cannot be read.
uint8_t CellTextValue(const std::u16string& cellText);

class THexEditor {
public:
  // fileStream: readable and writable, not owned; the editor neither opens
  // nor closes it. dialogs answers the save's boxes.
  THexEditor(TStream* fileStream, std::u16string additionalCaption, int64_t offset, int64_t size,
             IUserDialogs& dialogs);

  // Reads the extent and fills the grid; the cursor goes to the first byte.
  // False (traced) when the extent cannot be held.
  bool FormShow();
  // Forgets the bytes as read and the change records.
  void FormClose();

  std::u16string Caption() const;  // "Hex Edit" + the additional caption
  int64_t Offset() const { return FOffset; }
  int64_t Size() const { return FSize; }
  int32_t Lead() const { return static_cast<int32_t>(FOffset % HEX_EDIT_BYTES_PER_ROW); }
  int64_t BytesRead() const { return FBytesRead; }
  int32_t RowCount() const { return FRowCount; }  // the header row and the byte rows
  int32_t ColCount() const { return HEX_EDIT_COLUMNS; }

  // Row 0 is the header ("00" to "0F"); column 0 the row address, column 17
  // the display characters of the row's bytes. Cells without a byte are empty.
  std::u16string CellText(int32_t column, int32_t row) const;
  // The file position of a byte cell (or -1 for any other cell).
  int64_t CellPosition(int32_t column, int32_t row) const;
  // The row's character column, rebuilt from its cells.
  std::u16string UpdateRow(int32_t row) const;

  // Cursor: only cells holding a byte (not empty, not two blanks) take it.
  bool CanSelectCell(int32_t column, int32_t row) const;
  // Moves the cursor there when the cell takes it; the cell left behind
  // then shows a blank in its text as 0. False when refused.
  bool StringGrid1SelectCell(int32_t column, int32_t row);
  int32_t CursorColumn() const { return FCursorColumn; }
  int32_t CursorRow() const { return FCursorRow; }
  bool HasCursor() const { return FCursorRow > 0; }

  // The cell editor's text changed to editText (as the editor shows it:
  // untyped positions at the end left out, an untyped one before a typed one
  // as a blank). Ignored for cells that hold no byte.
  void StringGrid1SetEditText(int32_t column, int32_t row, const std::u16string& editText);
  // Enter: the cursor goes to the next byte cell, never past the last byte.
  void MoveToNextCell();

  bool IsCellChanged(int32_t column, int32_t row) const {
    return GetChangedCellIndex(column, row) >= 0;
  }
  int32_t GetChangedCellIndex(int32_t column, int32_t row) const;
  // In the order the cells were first changed.
  const std::vector<TChangedCell>& ChangedCells() const { return FChangedCells; }
  uint8_t GetOriginalValue(int32_t column, int32_t row) const;

  // "Save Changes": "No changes to be saved." without records, otherwise the
  // confirmation and on Yes the writing; a failed write is shown as an error
  // box. When another program changed the file since the editor read it
  // (FileAsRead), nothing is written and the error box says so. The window
  // always closes with OK afterwards, so this returns true.
  bool bbtnOKClick();
  // Whether the file is still the one the editor read: still under its name,
  // not shorter than the end of the bytes read, and those bytes unchanged.
  bool FileAsRead() const;
  // Writes every record's byte at its own position, in list order; stops at
  // the first record that cannot be written completely at its position.
  bool SaveChanges();

private:
  static int64_t CellKey(int32_t column, int32_t row) {
    return static_cast<int64_t>(row) * HEX_EDIT_COLUMNS + column;
  }
  // Index into FBuffer of a byte cell, or -1.
  int64_t BufferIndex(int32_t column, int32_t row) const;
  bool HoldsByte(int32_t column, int32_t row) const { return BufferIndex(column, row) >= 0; }
  uint8_t CurrentValue(int32_t column, int32_t row) const;
  // Sets a byte cell's text and records the value it stands for.
  void SetCellText(int32_t column, int32_t row, const std::u16string& text);
  void AddChangedCell(int32_t column, int32_t row, uint8_t value);

  TStream* FFileStream;
  std::u16string FAdditionalCaption;
  int64_t FOffset;
  int64_t FSize;
  IUserDialogs& FDialogs;
  std::vector<uint8_t> FBuffer;
  int64_t FBytesRead = 0;
  int32_t FRowCount = 1;
  std::vector<TChangedCell> FChangedCells;
  // Cell texts that are not the two digits of the cell's value (" 5" while
  // the cursor is on it). Every other byte cell shows its value, so a
  // 100 MiB extent needs no text per cell.
  std::unordered_map<int64_t, std::u16string> FCellTexts;
  int32_t FCursorColumn = -1;
  int32_t FCursorRow = -1;
};

// Shows the editor for the extent and returns true when the user closed it
// with "Save Changes". The window layer provides it; tests pass their own.
using TEditFileFunction = std::function<bool(
    TStream* fileStream, const std::u16string& additionalCaption, int64_t offset, int64_t size)>;

// What the Hex Edit Chunk command works on: the session's state.
struct THexEditChunkContext {
  bool HasChunkTree = false;
  std::u16string FileName;
  const TDisplayNode* Selected = nullptr;
  bool SelectedIsFileNode = false;  // the root of the display tree: the whole file
};

// The extent of a node's record: a chunk's header and payload, or the whole file.
struct THexEditExtent {
  int64_t Offset = 0;
  int64_t Size = 0;
  bool operator==(const THexEditExtent&) const = default;
};
THexEditExtent NodeExtent(const TChunkNodeInfo& info, bool fileNode);

// The Hex Edit Chunk command up to the reload question: refuses what cannot
// be edited, opens a second, read-write stream on the file for the editor and
// closes it again before returning. True when the user saved and answered
// Yes to reloading; the caller then unloads and loads the file.
bool HexEditChunk(const THexEditChunkContext& context, IUserDialogs& dialogs,
                  const TEditFileFunction& editFile);

}  // namespace riffo
