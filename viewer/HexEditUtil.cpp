#include "viewer/HexEditUtil.h"

#include <algorithm>
#include <limits>

#include "chunkmodel/WAVHelpers.h"
#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/Text.h"
#include "viewer/UserDialogs.h"

namespace riffo {

namespace {

char16_t Upper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool IsHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }

bool Acceptable(char16_t c) { return IsHexDigit(c) || c == u' '; }

}  // namespace

std::u16string NormalizeCellText(const std::u16string& editText) {
  std::u16string t;
  for (char16_t c : editText) t += Upper(c);
  if (t.empty() || !Acceptable(t[0])) return u"00";
  if (t.size() < 2 || !Acceptable(t[1]))
    return std::u16string(1, t[0] == u' ' ? u'0' : t[0]) + u"0";
  t.resize(2);
  if (t == u"  ") return u"00";
  return t;
}

uint8_t CellTextValue(const std::u16string& cellText) {
  size_t first = cellText.find_first_not_of(u' ');
  if (first == std::u16string::npos) return 0;
  const size_t last = cellText.find_last_not_of(u' ');
  unsigned value = 0;
  for (size_t i = first; i <= last; ++i) {
    const char16_t c = Upper(cellText[i]);
    if (!IsHexDigit(c)) return 0;
    value = value * 16 + static_cast<unsigned>(c <= u'9' ? c - u'0' : c - u'A' + 10);
    if (value > 0xFF) return 0;
  }
  return static_cast<uint8_t>(value);
}

// ---------------------------------------------------------------- editor

THexEditor::THexEditor(TStream* fileStream, std::u16string additionalCaption, int64_t offset,
                       int64_t size, IUserDialogs& dialogs)
    : FFileStream(fileStream), FAdditionalCaption(std::move(additionalCaption)), FOffset(offset),
      FSize(size), FDialogs(dialogs) {}

bool THexEditor::FormShow() {
  return Guarded(u"dgn: Error in THexEditForm.FormShow call...", false, [&] {
    FChangedCells.clear();
    FCellTexts.clear();
    FBuffer.clear();
    FBytesRead = 0;
    FRowCount = 1;
    FCursorColumn = FCursorRow = -1;
    // The grid counts its rows in 32 bits; an extent beyond that (or a
    // negative one) cannot be shown.
    if (!FFileStream || FOffset < 0 || FSize < 0 ||
        FSize > std::numeric_limits<int32_t>::max() - 2 * HEX_EDIT_BYTES_PER_ROW) {
      DebugTrace(u"dgn: Error in THexEditForm.FormShow - invalid extent.");
      return false;
    }
    FRowCount = 1 + static_cast<int32_t>((Lead() + FSize + HEX_EDIT_BYTES_PER_ROW - 1) /
                                         HEX_EDIT_BYTES_PER_ROW);
    // The extent comes from a chunk's size field: only the bytes the file
    // really holds past the offset are held, however large the field claims.
    const int64_t fileSize = FFileStream->Size();
    const int64_t held = std::min(FSize, fileSize > FOffset ? fileSize - FOffset : int64_t{0});
    FBuffer.assign(static_cast<size_t>(held), 0);
    if (held > 0 && FFileStream->Seek(FOffset, SeekOrigin::Begin) == FOffset) {
      const int64_t n = FFileStream->Read(FBuffer.data(), held);
      FBytesRead = n > 0 ? n : 0;  // fewer when the file shrank meanwhile, none on an error
    }
    if (FBytesRead > 0) {
      FCursorColumn = HEX_EDIT_FIRST_BYTE_COLUMN + Lead();
      FCursorRow = 1;
    }
    return true;
  });
}

void THexEditor::FormClose() {
  GuardedVoid(u"dgn: Error in THexEditForm.FormClose call...", [&] {
    FChangedCells.clear();
    FCellTexts.clear();
    FBuffer.clear();
    FBuffer.shrink_to_fit();
    FBytesRead = 0;
  });
}

std::u16string THexEditor::Caption() const { return HEX_EDIT_TITLE + FAdditionalCaption; }

int64_t THexEditor::BufferIndex(int32_t column, int32_t row) const {
  if (column < HEX_EDIT_FIRST_BYTE_COLUMN || column > HEX_EDIT_LAST_BYTE_COLUMN || row < 1 ||
      row >= FRowCount)
    return -1;
  const int64_t index =
      static_cast<int64_t>(row - 1) * HEX_EDIT_BYTES_PER_ROW + (column - 1) - Lead();
  return index >= 0 && index < FBytesRead ? index : -1;
}

int64_t THexEditor::CellPosition(int32_t column, int32_t row) const {
  const int64_t index = BufferIndex(column, row);
  return index < 0 ? -1 : FOffset + index;
}

uint8_t THexEditor::GetOriginalValue(int32_t column, int32_t row) const {
  return Guarded(u"dgn: Error in THexEditForm.GetOriginalValue call...", uint8_t{0}, [&] {
    const int64_t index = BufferIndex(column, row);
    return index < 0 ? uint8_t{0} : FBuffer.at(static_cast<size_t>(index));
  });
}

int32_t THexEditor::GetChangedCellIndex(int32_t column, int32_t row) const {
  return Guarded(u"dgn: Error in THexEditForm.GetChangedCellIndex call...", int32_t{-1}, [&] {
    for (size_t i = 0; i < FChangedCells.size(); ++i)
      if (FChangedCells[i].Column == column && FChangedCells[i].Row == row)
        return static_cast<int32_t>(i);
    return int32_t{-1};
  });
}

uint8_t THexEditor::CurrentValue(int32_t column, int32_t row) const {
  const int32_t changed = GetChangedCellIndex(column, row);
  return changed >= 0 ? FChangedCells[static_cast<size_t>(changed)].Value
                      : GetOriginalValue(column, row);
}

std::u16string THexEditor::CellText(int32_t column, int32_t row) const {
  if (row < 0 || row >= FRowCount || column < 0 || column >= HEX_EDIT_COLUMNS) return {};
  if (row == 0) {
    if (column >= HEX_EDIT_FIRST_BYTE_COLUMN && column <= HEX_EDIT_LAST_BYTE_COLUMN)
      return ByteToHex(static_cast<uint8_t>(column - 1));
    return {};
  }
  if (column == HEX_EDIT_ADDRESS_COLUMN) {
    const int64_t address = (FOffset / HEX_EDIT_BYTES_PER_ROW) * HEX_EDIT_BYTES_PER_ROW +
                            static_cast<int64_t>(row - 1) * HEX_EDIT_BYTES_PER_ROW;
    std::u16string text = u"0x";
    AppendHex(text, static_cast<uint64_t>(address), POSITION_HEX_DIGITS);
    return text;
  }
  if (column == HEX_EDIT_CHAR_COLUMN) return UpdateRow(row);
  if (!HoldsByte(column, row)) return {};
  const auto text = FCellTexts.find(CellKey(column, row));
  if (text != FCellTexts.end()) return text->second;
  return ByteToHex(CurrentValue(column, row));
}

std::u16string THexEditor::UpdateRow(int32_t row) const {
  return Guarded(u"dgn: Error in THexEditForm.UpdateRow call...", std::u16string(), [&] {
    std::u16string chars;
    if (row < 1 || row >= FRowCount) return chars;
    // Blanks for the lead cells keep each character at its byte's column.
    for (int32_t column = HEX_EDIT_FIRST_BYTE_COLUMN; column <= HEX_EDIT_LAST_BYTE_COLUMN;
         ++column) {
      const int64_t index = BufferIndex(column, row);
      if (index >= 0)
        chars += DisplayChar(CurrentValue(column, row));
      else if (row == 1 && column - 1 < Lead())
        chars += u' ';
    }
    return chars;
  });
}

bool THexEditor::CanSelectCell(int32_t column, int32_t row) const {
  if (!HoldsByte(column, row)) return false;
  const std::u16string text = CellText(column, row);
  return !text.empty() && text != u"  ";
}

bool THexEditor::StringGrid1SelectCell(int32_t column, int32_t row) {
  if (!CanSelectCell(column, row)) return false;
  if (HasCursor() && (column != FCursorColumn || row != FCursorRow)) {
    // The cell left behind shows its blanks as 0; its record follows what it
    // now shows.
    std::u16string left = CellText(FCursorColumn, FCursorRow);
    if (left != u"  " && left.find(u' ') != std::u16string::npos) {
      for (char16_t& c : left)
        if (c == u' ') c = u'0';
      SetCellText(FCursorColumn, FCursorRow, left);
    }
  }
  FCursorColumn = column;
  FCursorRow = row;
  return true;
}

void THexEditor::StringGrid1SetEditText(int32_t column, int32_t row,
                                        const std::u16string& editText) {
  if (!HoldsByte(column, row)) return;
  SetCellText(column, row, NormalizeCellText(editText));
}

void THexEditor::SetCellText(int32_t column, int32_t row, const std::u16string& text) {
  const uint8_t value = CellTextValue(text);
  if (text == ByteToHex(value))
    FCellTexts.erase(CellKey(column, row));
  else
    FCellTexts[CellKey(column, row)] = text;
  AddChangedCell(column, row, value);
}

void THexEditor::AddChangedCell(int32_t column, int32_t row, uint8_t value) {
  GuardedVoid(u"dgn: Error in THexEditForm.AddChangedCell call...", [&] {
    const uint8_t original = GetOriginalValue(column, row);
    const int32_t index = GetChangedCellIndex(column, row);
    if (index >= 0) {
      if (value == original)
        FChangedCells.erase(FChangedCells.begin() + index);
      else
        FChangedCells[static_cast<size_t>(index)].Value = value;
    } else if (value != original) {
      FChangedCells.push_back({column, row, value});
    }
  });
}

void THexEditor::MoveToNextCell() {
  if (!HasCursor()) return;
  int32_t column = FCursorColumn + 1;
  int32_t row = FCursorRow;
  if (column > HEX_EDIT_LAST_BYTE_COLUMN) {
    column = HEX_EDIT_FIRST_BYTE_COLUMN;
    ++row;
  }
  // Past the last byte there is no cell that takes the cursor: it stays.
  StringGrid1SelectCell(column, row);
}

bool THexEditor::SaveChanges() {
  return Guarded(u"dgn: Error in THexEditForm.SaveChanges call...", false, [&] {
    const int64_t rowBase = (FOffset / HEX_EDIT_BYTES_PER_ROW) * HEX_EDIT_BYTES_PER_ROW;
    for (const TChangedCell& cell : FChangedCells) {
      const int64_t position =
          rowBase + static_cast<int64_t>(cell.Row - 1) * HEX_EDIT_BYTES_PER_ROW + (cell.Column - 1);
      // A byte goes to its own position or nowhere: a seek that lands
      // elsewhere, or a write the file takes only in part, ends the save.
      if (FFileStream->Seek(position, SeekOrigin::Begin) != position) {
        DebugTrace(u"dgn: Error in THexEditForm.SaveChanges - cannot seek to " +
                   Utf8ToUtf16(HexPos(position)) + u".");
        return false;
      }
      const uint8_t value = cell.Value;
      if (FFileStream->Write(&value, 1) != 1) {
        DebugTrace(u"dgn: Error in THexEditForm.SaveChanges - cannot write at " +
                   Utf8ToUtf16(HexPos(position)) + u".");
        return false;
      }
    }
    return true;
  });
}

bool THexEditor::FileAsRead() const {
  return Guarded(u"dgn: Error in THexEditForm.FileAsRead call...", false, [&] {
    if (!FFileStream || !FFileStream->StillUnderItsName()) return false;
    // FBytesRead never exceeds the extent, which FormShow keeps below 2 GiB.
    const int64_t end = FOffset + FBytesRead;
    if (FFileStream->Size() < end) return false;
    if (FBytesRead == 0) return true;
    if (FFileStream->Seek(FOffset, SeekOrigin::Begin) != FOffset) return false;
    // Compared in pieces, so a large extent needs no second copy in memory.
    std::vector<uint8_t> piece(static_cast<size_t>(std::min<int64_t>(FBytesRead, 1 << 16)));
    for (int64_t done = 0; done < FBytesRead;) {
      const int64_t want = std::min<int64_t>(FBytesRead - done, static_cast<int64_t>(piece.size()));
      if (FFileStream->Read(piece.data(), want) != want) return false;
      if (!std::equal(piece.begin(), piece.begin() + want, FBuffer.begin() + done)) return false;
      done += want;
    }
    return true;
  });
}

bool THexEditor::bbtnOKClick() {
  GuardedVoid(u"dgn: Error in THexEditForm.bbtnOKClick call...", [&] {
    if (FChangedCells.empty()) {
      FDialogs.ShowMessage(NO_CHANGES_TEXT);
      return;
    }
    if (!FDialogs.ConfirmYesNo(CONFIRM_SAVE_TEXT)) return;
    // A file truncated, replaced or rewritten meanwhile would be grown with
    // zeros, written where nobody reads or mixed with the other program's
    // bytes: nothing is written then.
    if (!FileAsRead()) {
      DebugTrace(u"dgn: Error in THexEditForm.bbtnOKClick - the file changed since it was read.");
      FDialogs.ShowError(FILE_CHANGED_TEXT);
      return;
    }
    // What was written before a failure stays written; the user is told
    // that the file did not take all changes.
    if (!SaveChanges()) FDialogs.ShowError(WRITE_FAILED_TEXT);
  });
  return true;
}

// ---------------------------------------------------------------- command

THexEditExtent NodeExtent(const TChunkNodeInfo& info, bool fileNode) {
  if (fileNode) return {0, info.Size};
  return {info.Offset, info.Size + 8};
}

bool HexEditChunk(const THexEditChunkContext& context, IUserDialogs& dialogs,
                  const TEditFileFunction& editFile) {
  return Guarded(u"Error in TForm1.HexEditChunk1Click call...", false, [&] {
    if (!context.HasChunkTree) {
      dialogs.ShowError(NO_FILE_LOADED_TEXT);
      return false;
    }
    const TDisplayNode* node = context.Selected;
    if (!node || !node->Info || node->Info->Size <= 0) return false;
    const TChunkNodeInfo& info = *node->Info;
    if (info.Size > MAX_HEX_EDIT_CHUNK_SIZE) {
      dialogs.ShowMessage(CHUNK_TOO_BIG_TEXT);
      return false;
    }
    if (!FileExists(context.FileName)) {
      dialogs.ShowError(NO_FILE_LOADED_TEXT);
      return false;
    }
    // The editor's own handle, closed on every way out of this function.
    std::unique_ptr<TFileStream> stream =
        TFileStream::Open(context.FileName, FileMode::OpenReadWrite);
    if (!stream) {
      dialogs.ShowMessage(FILE_LOCKED_TEXT);
      return false;
    }
    const THexEditExtent extent = NodeExtent(info, context.SelectedIsFileNode);
    const std::u16string caption = u" [" + FourCCToText(info.ChunkType) + u"]";
    const bool saved = editFile && editFile(stream.get(), caption, extent.Offset, extent.Size);
    if (!saved) return false;
    return dialogs.ConfirmYesNo(RELOAD_QUESTION_TEXT);
  });
}

}  // namespace riffo
