#include "viewer/HexViewUtils_RichEdit.h"

#include <algorithm>
#include <limits>

#include "chunkmodel/WAVHelpers.h"
#include "platform/Guard.h"
#include "platform/Text.h"

namespace riffo {

namespace {

constexpr int32_t HEX_MEMO_FONT_POINTS = 10;
constexpr char16_t HEX_MEMO_FONT[] = u"Courier New";

// a * b / c for 0 <= a, b and c > 0, without overflowing for any file size.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  if (a == 0 || b <= std::numeric_limits<int64_t>::max() / a) return a * b / c;
  return static_cast<int64_t>(static_cast<long double>(a) * static_cast<long double>(b) /
                              static_cast<long double>(c));
}

}  // namespace

std::u16string HexPageLine(int64_t offset, const uint8_t* data, int64_t count) {
  std::u16string line = u"0x";
  AppendHex(line, static_cast<uint64_t>(offset), POSITION_HEX_DIGITS);
  line += u"   ";
  line += HexDumpLine(data, count, HEX_DUMP_WIDTH);
  return line;
}

std::vector<THexHighlight> LineHighlights(int32_t lineIndex, int64_t lineStart, int64_t lineBytes,
                                          int64_t selStart, int64_t selLength) {
  std::vector<THexHighlight> result;
  if (selLength <= 0 || lineBytes <= 0) return result;
  // Overlap of [lineStart, lineStart + 16) with the selection; the bytes past
  // the end of a short last line have no characters to mark.
  const int64_t selEnd = selStart > std::numeric_limits<int64_t>::max() - selLength
                             ? std::numeric_limits<int64_t>::max()
                             : selStart + selLength;
  const int64_t first = std::max(selStart, lineStart) - lineStart;
  const int64_t last = std::min(selEnd, lineStart + lineBytes) - lineStart;  // exclusive
  if (first >= last) return result;
  const auto a = static_cast<int32_t>(first);
  const auto n = static_cast<int32_t>(last - first);
  result.push_back({lineIndex, HEX_PAIRS_COLUMN + 3 * a, 3 * n - 1});
  result.push_back({lineIndex, HEX_CHARS_COLUMN + a, n});
  return result;
}

int32_t PageLineCount(int32_t clientHeight) {
  return std::clamp(clientHeight / HEX_LINE_HEIGHT - 1, 1, HEX_MAX_PAGE_LINES);
}

int32_t OffsetToScrollPosition(int64_t offset, int64_t fileLength) {
  if (fileLength <= 0 || offset <= 0) return 0;
  return static_cast<int32_t>(
      std::min<int64_t>(MulDiv(offset, HEX_SCROLL_MAX, fileLength), HEX_SCROLL_MAX));
}

int64_t ScrollPositionToOffset(int32_t position, int64_t fileLength) {
  if (fileLength <= 0 || position <= 0) return 0;
  return std::min(MulDiv(fileLength, position, HEX_SCROLL_MAX), fileLength - 1);
}

THexView::THexView() = default;

THexView::~THexView() {
  GuardedVoid(u"dgn: Error in THexView.Destroy call...", [&] { CloseFile(); });
}

HRESULT THexView::Init(IHexPane* richEdit, IHexScrollBar* scrollBar) {
  return Guarded(u"dgn: Error in THexView.Init call...", E_FAIL, [&] {
    FRichEdit = richEdit;
    FScrollBar = scrollBar;
    if (FRichEdit) FRichEdit->SetPaneFont(HEX_MEMO_FONT, HEX_MEMO_FONT_POINTS);
    if (FScrollBar) {
      FScrollBar->Setup(0, HEX_SCROLL_MAX, 0, 1);
      FScrollBar->SetPosition(0);
    }
    return S_OK;
  });
}

HRESULT THexView::OpenFile(const std::u16string& fileName) {
  return Guarded(u"dgn: Error in THexView.OpenFile call...", E_FAIL, [&] {
    CloseFile();
    auto stream = TFileStream::Open(fileName, FileMode::OpenRead);
    if (stream) OpenStream(std::move(stream));
    return S_OK;
  });
}

HRESULT THexView::OpenStream(std::unique_ptr<TStream> stream) {
  return Guarded(u"dgn: Error in THexView.OpenFile call...", E_FAIL, [&] {
    CloseFile();
    FFileStream = std::move(stream);
    FLastRefreshOffset = -1;
    if (FFileStream) RefreshFileData(0);
    return S_OK;
  });
}

int64_t THexView::FileLength() const { return FFileStream ? FFileStream->Size() : 0; }

HRESULT THexView::RefreshFileData(int64_t offset) {
  return Guarded(u"dgn: Error in THexView.RefreshFileData call...", E_FAIL, [&] {
    if (!FFileStream) return S_OK;
    if (offset >= FileLength() || offset == FLastRefreshOffset) return S_OK;
    if (offset < 0) offset = FLastRefreshOffset;
    if (offset < 0) return S_OK;  // nothing was shown yet, so there is nothing to redraw
    Render(offset);
    return S_OK;
  });
}

void THexView::Render(int64_t offset) {
  const int64_t length = FileLength();
  const int32_t lines = PageLineCount(FRichEdit ? FRichEdit->ClientHeight() : 0);
  const int64_t pageStart = offset - offset % HEX_BYTES_PER_LINE;

  FBuffer.assign(static_cast<size_t>(lines) * HEX_BYTES_PER_LINE, 0);
  int64_t got = 0;
  if (FFileStream->Seek(pageStart, SeekOrigin::Begin) == pageStart) {
    got = FFileStream->Read(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
    if (got < 0) got = 0;
  }

  THexPage page;
  for (int64_t at = 0; at < got; at += HEX_BYTES_PER_LINE) {
    const int64_t count = std::min<int64_t>(HEX_BYTES_PER_LINE, got - at);
    const auto index = static_cast<int32_t>(page.Lines.size());
    page.Lines.push_back(HexPageLine(pageStart + at, FBuffer.data() + at, count));
    for (const auto& h :
         LineHighlights(index, pageStart + at, count, FSelectionStartOffset, FSelectionLength))
      page.Highlights.push_back(h);
  }
  FPage = std::move(page);
  if (FRichEdit) FRichEdit->ShowPage(FPage);

  FLastRefreshOffset = offset;
  if (!FInScrollEvent && FScrollBar)
    FScrollBar->SetPosition(OffsetToScrollPosition(FLastRefreshOffset, length));
}

HRESULT THexView::SetSelection(int64_t startOffset, int64_t length) {
  return Guarded(u"dgn: Error in THexView.SetSelection call...", E_FAIL, [&] {
    FSelectionStartOffset = startOffset;
    FSelectionLength = length;
    if (FFileStream && FLastRefreshOffset >= 0 && FLastRefreshOffset < FileLength())
      Render(FLastRefreshOffset);
    return S_OK;
  });
}

HRESULT THexView::ClearSelection() { return SetSelection(0, 0); }

HRESULT THexView::CloseFile() {
  return Guarded(u"dgn: Error in THexView.CloseFile call...", E_FAIL, [&] {
    FFileStream.reset();
    FPage = {};
    if (FRichEdit) FRichEdit->Clear();
    return S_OK;
  });
}

HRESULT THexView::Done() {
  return Guarded(u"dgn: Error in THexView.Done call...", E_FAIL, [&] { return S_OK; });
}

int64_t THexView::KeyTarget(THexKey key) const {
  const int64_t length = FileLength();
  const int64_t n = FLastRefreshOffset;
  const int64_t page = static_cast<int64_t>(HEX_BYTES_PER_LINE) *
                       ((FRichEdit ? FRichEdit->ClientHeight() : 0) / HEX_LINE_HEIGHT);
  switch (key) {
    case THexKey::Up: return std::max<int64_t>(n - HEX_BYTES_PER_LINE, 0);
    case THexKey::Down: return std::min<int64_t>(n + HEX_BYTES_PER_LINE, length - 1);
    case THexKey::PageUp: return std::max<int64_t>(n - page, 0);
    case THexKey::PageDown: return std::min<int64_t>(n + page, length - 1);
    case THexKey::Home: return 0;
    case THexKey::End: return length - 1;
    case THexKey::Other: break;
  }
  return -1;
}

void THexView::FRichEditKeyDown(THexKey key, bool shift) {
  GuardedVoid(u"dgn: Error in THexView.FRichEditKeyDown call...", [&] {
    if (!FFileStream || shift || key == THexKey::Other) return;
    const int64_t target = KeyTarget(key);
    // A target of -1 only comes from an empty file, where nothing is shown.
    if (target >= 0) RefreshFileData(target);
  });
}

HRESULT THexView::GoTo(const char16_t* traceLine, THexKey key) {
  return Guarded(std::u16string_view(traceLine), E_FAIL, [&] {
    if (!FFileStream) return S_OK;
    const int64_t target = KeyTarget(key);
    if (target < 0) return S_OK;
    RefreshFileData(target);
    if (FScrollBar) FScrollBar->SetPosition(OffsetToScrollPosition(target, FileLength()));
    return S_OK;
  });
}

HRESULT THexView::GoOneLineUp() {
  return GoTo(u"dgn: Error in THexView.GoOneLineUp call...", THexKey::Up);
}
HRESULT THexView::GoOneLineDown() {
  return GoTo(u"dgn: Error in THexView.GoOneLineDown call...", THexKey::Down);
}
HRESULT THexView::GoOnePageUp() {
  return GoTo(u"dgn: Error in THexView.GoOnePageUp call...", THexKey::PageUp);
}
HRESULT THexView::GoOnePageDown() {
  return GoTo(u"dgn: Error in THexView.GoOnePageDown call...", THexKey::PageDown);
}
HRESULT THexView::GoHome() { return GoTo(u"dgn: Error in THexView.GoHome call...", THexKey::Home); }

void THexView::CustomScrollEvent(THexScrollCode code, int32_t position) {
  GuardedVoid(u"dgn: Error in THexView.CustomScrollEvent call...", [&] {
    if (!FFileStream || FInScrollEvent) return;
    bool handled = true;
    switch (code) {
      case THexScrollCode::LineUp: GoOneLineUp(); break;
      case THexScrollCode::LineDown: GoOneLineDown(); break;
      case THexScrollCode::PageUp: GoOnePageUp(); break;
      case THexScrollCode::PageDown: GoOnePageDown(); break;
      case THexScrollCode::Top: GoHome(); break;
      case THexScrollCode::ThumbTrack: {
        const int64_t length = FileLength();
        if (length <= 0) break;
        FInScrollEvent = true;
        // Reset the guard even when the redraw fails, or the bar would stay frozen.
        struct TGuardReset {
          bool& Flag;
          ~TGuardReset() { Flag = false; }
        } reset{FInScrollEvent};
        RefreshFileData(ScrollPositionToOffset(position, length));
        break;
      }
      default: handled = false; break;
    }
    if (handled && FRichEdit) FRichEdit->FocusPane();
  });
}

}  // namespace riffo
