// The hex view below the tree pane: the file's bytes as a dump, one page at a
// time, read from the file each time a page is shown, with the bytes of the
// selected chunk highlighted. THexView holds the paging, the line format, the
// highlight ranges, the key and scroll-bar handling; the text pane and the
// scroll bar it drives are thin views behind IHexPane and IHexScrollBar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chunkmodel/WAVHelpers.h"
#include "contract/QuorvexControlInterface.h"
#include "platform/Stream.h"
#include "platform/Text.h"

namespace riffo {

inline constexpr int32_t HEX_LINE_HEIGHT = 16;  // pixels per line, as the page size is reckoned
inline constexpr int32_t HEX_BYTES_PER_LINE = HEX_DUMP_BYTES_PER_LINE;
inline constexpr int32_t HEX_SCROLL_MAX = 100000;       // the scroll bar maps the file onto 0..this
inline constexpr int32_t HEX_PAGE_BUFFER_SIZE = 10240;  // one page read at most
inline constexpr int32_t HEX_MAX_PAGE_LINES = HEX_PAGE_BUFFER_SIZE / HEX_BYTES_PER_LINE;

// Columns of a page line: "0x" + the offset's 16 hex digits + 3 blanks, then
// the hex pairs (each followed by a blank, padded to HEX_DUMP_WIDTH), then the
// display characters.
inline constexpr int32_t HEX_PAIRS_COLUMN = 2 + POSITION_HEX_DIGITS + 3;
inline constexpr int32_t HEX_CHARS_COLUMN = HEX_PAIRS_COLUMN + HEX_DUMP_WIDTH;

// A run of highlighted characters in one line of the page.
struct THexHighlight {
  int32_t Line = 0;
  int32_t Start = 0;   // character index in the line
  int32_t Length = 0;  // characters
  bool operator==(const THexHighlight&) const = default;
};

struct THexPage {
  std::vector<std::u16string> Lines;
  std::vector<THexHighlight> Highlights;  // bold, blue on light yellow
};

// The text pane the page is shown in (read-only, no wrap).
class IHexPane {
public:
  virtual ~IHexPane() = default;
  virtual void SetPaneFont(const std::u16string& family, int32_t points) = 0;
  virtual int32_t ClientHeight() const = 0;  // pixels
  // Replaces the whole text, with screen updates suspended while it changes.
  virtual void ShowPage(const THexPage& page) = 0;
  virtual void Clear() = 0;
  virtual void FocusPane() = 0;
};

class IHexScrollBar {
public:
  virtual ~IHexScrollBar() = default;
  virtual void Setup(int32_t minimum, int32_t maximum, int32_t pageSize, int32_t largeChange) = 0;
  virtual void SetPosition(int32_t position) = 0;
};

enum class THexKey { Up, Down, PageUp, PageDown, Home, End, Other };

enum class THexScrollCode {
  LineUp,
  LineDown,
  PageUp,
  PageDown,
  ThumbTrack,  // the thumb is being dragged; the event carries its position
  Top,
  Bottom,
  ThumbPosition,  // the thumb was released
  EndScroll
};

// One page line: "0x" + offset as 16 hex digits + 3 blanks + the dump of up
// to 16 bytes (hex part padded to HEX_DUMP_WIDTH characters).
std::u16string HexPageLine(int64_t offset, const uint8_t* data, int64_t count);

// The highlight of [selStart, selStart + selLength) within the line that
// starts at lineStart and holds lineBytes bytes: the hex pairs from the first
// selected through the last (blanks between them, not the one after) and the
// display characters of the same bytes. Empty when they do not overlap.
std::vector<THexHighlight> LineHighlights(int32_t lineIndex, int64_t lineStart, int64_t lineBytes,
                                          int64_t selStart, int64_t selLength);

// Lines a page asks for in a pane of that height: height / 16 - 1, at least
// 1, at most what the page buffer holds.
int32_t PageLineCount(int32_t clientHeight);

// Whole part of offset * 100000 / fileLength, and back (clamped to the file).
int32_t OffsetToScrollPosition(int64_t offset, int64_t fileLength);
int64_t ScrollPositionToOffset(int32_t position, int64_t fileLength);

class THexView {
public:
  THexView();   // Create: no controls, no file
  ~THexView();  // Destroy: closes the file
  THexView(const THexView&) = delete;
  THexView& operator=(const THexView&) = delete;

  HRESULT Init(IHexPane* richEdit, IHexScrollBar* scrollBar);
  // Opens the file read-only (others may read and write it) and shows the
  // page at offset 0; a missing file leaves the view empty.
  HRESULT OpenFile(const std::u16string& fileName);
  // The same over a stream the caller already opened.
  HRESULT OpenStream(std::unique_ptr<TStream> stream);
  // Shows the page starting with the line that holds offset; a negative
  // offset redraws the page last asked for.
  HRESULT RefreshFileData(int64_t offset);
  HRESULT SetSelection(int64_t startOffset, int64_t length);
  HRESULT ClearSelection();
  HRESULT CloseFile();
  HRESULT Done();

  // Pane key-down (never consumed: the pane still moves its caret).
  void FRichEditKeyDown(THexKey key, bool shift);
  // Scroll-bar event; position is the thumb position for ThumbTrack.
  void CustomScrollEvent(THexScrollCode code, int32_t position);

  HRESULT GoOneLineUp();
  HRESULT GoOneLineDown();
  HRESULT GoOnePageUp();
  HRESULT GoOnePageDown();
  HRESULT GoHome();

  bool HasFile() const { return FFileStream != nullptr; }
  int64_t LastRefreshOffset() const { return FLastRefreshOffset; }
  int64_t SelectionStartOffset() const { return FSelectionStartOffset; }
  int64_t SelectionLength() const { return FSelectionLength; }
  int64_t FileLength() const;
  // What the pane was last given (empty after CloseFile).
  const THexPage& Page() const { return FPage; }

private:
  int64_t KeyTarget(THexKey key) const;  // -1: the key moves nothing
  HRESULT GoTo(const char16_t* traceLine, THexKey key);
  void Render(int64_t offset);

  IHexPane* FRichEdit = nullptr;
  IHexScrollBar* FScrollBar = nullptr;
  std::unique_ptr<TStream> FFileStream;
  int64_t FLastRefreshOffset = -1;
  int64_t FSelectionStartOffset = 0;
  int64_t FSelectionLength = 0;
  bool FInScrollEvent = false;  // the guard: no scroll-bar moves while the user drags
  THexPage FPage;
  std::vector<uint8_t> FBuffer;
};

}  // namespace riffo
