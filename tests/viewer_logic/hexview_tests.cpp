// The hex view's paging, line format, highlight, keys and scroll-bar mapping,
// checked on the text and character ranges it hands to the pane.
#include "viewer/HexViewUtils_RichEdit.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>

#include "platform/DebugTrace.h"
#include "support/RiffBuilder.h"
#include "support/SessionFakes.h"

namespace riffo {
namespace {

using test::Bytes;
using test::TFakeHexPane;
using test::TFakeScrollBar;

// Counts what is read through it, to show that a redraw reads one page at most.
class TCountingStream final : public TStream {
public:
  explicit TCountingStream(Bytes bytes, int64_t* readTotal, int64_t* largestRead)
      : FInner(std::move(bytes)), FTotal(readTotal), FLargest(largestRead) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t got = FInner.Read(buffer, count);
    *FTotal += got;
    *FLargest = std::max(*FLargest, count);
    return got;
  }
  int64_t Write(const void* buffer, int64_t count) override { return FInner.Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return FInner.Seek(offset, origin); }
  int64_t Position() const override { return FInner.Position(); }
  int64_t Size() const override { return FInner.Size(); }

private:
  TMemoryStream FInner;
  int64_t* FTotal;
  int64_t* FLargest;
};

Bytes Counting(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

struct HexViewFixture : ::testing::Test {
  TFakeHexPane pane{100};
  TFakeScrollBar bar;
  THexView view;

  void Open(Bytes bytes) {
    ASSERT_EQ(view.Init(&pane, &bar), S_OK);
    ASSERT_EQ(view.OpenStream(std::make_unique<TMemoryStream>(std::move(bytes))), S_OK);
  }
  std::u16string Marked(const THexHighlight& h) const {
    return pane.Shown.Lines.at(static_cast<size_t>(h.Line))
        .substr(static_cast<size_t>(h.Start), static_cast<size_t>(h.Length));
  }
};

TEST_F(HexViewFixture, InitSetsFontAndScrollRange) {
  ASSERT_EQ(view.Init(&pane, &bar), S_OK);
  EXPECT_EQ(pane.Font, u"Courier New");
  EXPECT_EQ(pane.Points, 10);
  EXPECT_EQ(bar.Min, 0);
  EXPECT_EQ(bar.Max, 100000);
  EXPECT_EQ(bar.PageSize, 0);
  EXPECT_EQ(bar.LargeChange, 1);
  EXPECT_EQ(bar.Position, 0);
}

TEST_F(HexViewFixture, SmallFileInShortPaneShowsWhatThereIs) {
  // 44 bytes in a 100-pixel pane: 5 lines asked for, 3 come (16, 16, 12 bytes).
  Open(test::CanonicalPcm());
  EXPECT_EQ(PageLineCount(100), 5);
  ASSERT_EQ(pane.Shown.Lines.size(), 3u);
  const auto& first = pane.Shown.Lines[0];
  EXPECT_EQ(first.substr(0, 33), u"0x0000000000000000   52 49 46 46 ");
  EXPECT_EQ(first.size(), 21u + 50u + 16u);
  EXPECT_EQ(first.substr(71), u"RIFF$...WAVEfmt ");
  EXPECT_EQ(pane.Shown.Lines[1].substr(0, 18), u"0x0000000000000010");
  // The short last line keeps its hex part padded, so the characters align.
  const auto& last = pane.Shown.Lines[2];
  EXPECT_EQ(last.size(), 21u + 50u + 12u);
  EXPECT_EQ(last.substr(71), u"....data....");
  EXPECT_EQ(last.substr(21 + 36, 14), std::u16string(14, u' '));
  EXPECT_TRUE(pane.Shown.Highlights.empty());
}

TEST_F(HexViewFixture, PageStartsAtTheLineOfTheOffsetAndRedrawsOnlyWhenAsked) {
  Open(Counting(200));
  ASSERT_EQ(view.RefreshFileData(0x25), S_OK);
  ASSERT_FALSE(pane.Shown.Lines.empty());
  EXPECT_EQ(pane.Shown.Lines[0].substr(0, 18), u"0x0000000000000020");
  EXPECT_EQ(view.LastRefreshOffset(), 0x25);  // not rounded

  const int pages = pane.Pages;
  view.RefreshFileData(-1);  // the same page again
  EXPECT_EQ(pane.Pages, pages + 1);
  EXPECT_EQ(pane.Shown.Lines[0].substr(0, 18), u"0x0000000000000020");
  view.RefreshFileData(0x25);  // already shown: nothing happens
  EXPECT_EQ(pane.Pages, pages + 1);

  for (int64_t beyond : {int64_t{200}, int64_t{201}, std::numeric_limits<int64_t>::max()}) {
    view.RefreshFileData(beyond);
    EXPECT_EQ(pane.Pages, pages + 1) << beyond;
    EXPECT_EQ(view.LastRefreshOffset(), 0x25);
  }
}

TEST_F(HexViewFixture, FmtChunkHighlightSpansThreeLines) {
  Open(test::CanonicalPcm());
  // fmt at 12, payload 16: bytes 12..35.
  ASSERT_EQ(view.SetSelection(12, 16 + 8), S_OK);
  const std::vector<THexHighlight> expected = {
      {0, 21 + 3 * 12, 3 * 4 - 1}, {0, 71 + 12, 4},  // last 4 pairs of line 0
      {1, 21, 3 * 16 - 1},         {1, 71, 16},      // all of line 0x10
      {2, 21, 3 * 4 - 1},          {2, 71, 4}};      // first 4 pairs of line 0x20
  EXPECT_EQ(pane.Shown.Highlights, expected);
  EXPECT_EQ(Marked(pane.Shown.Highlights[0]), u"66 6D 74 20");  // no blank after the last pair
  EXPECT_EQ(Marked(pane.Shown.Highlights[1]), u"fmt ");
  EXPECT_EQ(Marked(pane.Shown.Highlights[5]), u"....");
}

TEST(HexViewLines, HighlightOverlapCases) {
  struct Case {
    int64_t lineStart, lineBytes, selStart, selLength;
    int32_t pairStart, pairLen, charStart, charLen;  // -1: no highlight
  } cases[] = {
      {0, 16, 0, 1, 21, 2, 71, 1},   // one byte
      {16, 16, 0, 16, -1, 0, 0, 0},  // ends just before the line
      {16, 16, 32, 4, -1, 0, 0, 0},  // starts just after it
      {16, 16, 31, 1, 21 + 45, 2, 71 + 15, 1},
      {32, 12, 0, 1000, 21, 35, 71, 12},  // beyond a short last line
      {0, 16, 5, 0, -1, 0, 0, 0},         // empty selection
      {0, 16, 4, std::numeric_limits<int64_t>::max(), 21 + 12, 35, 71 + 4, 12},
  };
  for (const auto& c : cases) {
    const auto got = LineHighlights(3, c.lineStart, c.lineBytes, c.selStart, c.selLength);
    if (c.pairStart < 0) {
      EXPECT_TRUE(got.empty()) << c.lineStart << " " << c.selStart;
      continue;
    }
    const std::vector<THexHighlight> want = {{3, c.pairStart, c.pairLen},
                                             {3, c.charStart, c.charLen}};
    EXPECT_EQ(got, want) << c.lineStart << " " << c.selStart;
  }
}

TEST_F(HexViewFixture, HighlightFollowsThePageAndClears) {
  Open(Counting(200));  // 5 lines a page: 0x00..0x4F first
  view.SetSelection(0x80, 4);
  EXPECT_TRUE(pane.Shown.Highlights.empty());
  EXPECT_EQ(view.LastRefreshOffset(), 0);  // the selection does not move the page
  view.RefreshFileData(0x45);              // lines 0x40..0x8F
  ASSERT_EQ(pane.Shown.Highlights.size(), 2u);
  EXPECT_EQ(pane.Shown.Highlights[0].Line, 4);
  view.RefreshFileData(0x90);
  EXPECT_TRUE(pane.Shown.Highlights.empty());
  view.RefreshFileData(0x80);
  ASSERT_EQ(pane.Shown.Highlights.size(), 2u);
  view.ClearSelection();
  EXPECT_TRUE(pane.Shown.Highlights.empty());
  EXPECT_EQ(view.SelectionLength(), 0);
}

TEST_F(HexViewFixture, KeysMoveByLinesAndPagesWithinTheFile) {
  // 100-pixel pane: P = 6 whole lines, so a page key moves 96 bytes.
  struct Case {
    int64_t from;
    THexKey key;
    int64_t to;
  } cases[] = {
      {0x40, THexKey::Up, 0x30},     {5, THexKey::Up, 0},           {0x40, THexKey::Down, 0x50},
      {995, THexKey::Down, 999},     {500, THexKey::PageUp, 404},   {5, THexKey::PageUp, 0},
      {500, THexKey::PageDown, 596}, {950, THexKey::PageDown, 999}, {500, THexKey::Home, 0},
      {5, THexKey::End, 999},
  };
  Open(Counting(1000));
  for (const auto& c : cases) {
    view.RefreshFileData(c.from);
    ASSERT_EQ(view.LastRefreshOffset(), c.from);
    view.FRichEditKeyDown(c.key, false);
    EXPECT_EQ(view.LastRefreshOffset(), c.to) << c.from << " key " << static_cast<int>(c.key);
  }
  // Down on the last line stays at file length - 1.
  view.RefreshFileData(999);
  const int pages = pane.Pages;
  view.FRichEditKeyDown(THexKey::Down, false);
  EXPECT_EQ(view.LastRefreshOffset(), 999);
  EXPECT_EQ(pane.Pages, pages);
  // With Shift held, or for other keys, the pane alone handles the key.
  view.RefreshFileData(500);
  view.FRichEditKeyDown(THexKey::Down, true);
  view.FRichEditKeyDown(THexKey::Other, false);
  EXPECT_EQ(view.LastRefreshOffset(), 500);
}

TEST_F(HexViewFixture, ScrollBarMapsTheFileOntoItsRange) {
  Open(Counting(1000));
  view.RefreshFileData(500);
  EXPECT_EQ(bar.Position, 50000);
  EXPECT_EQ(OffsetToScrollPosition(999, 1000), 99900);
  EXPECT_EQ(ScrollPositionToOffset(50000, 1000), 500);
  EXPECT_EQ(ScrollPositionToOffset(100000, 1000), 999);  // never beyond the last byte
  // Files far beyond what 64-bit products hold still map within the range.
  const int64_t huge = std::numeric_limits<int64_t>::max();
  EXPECT_NEAR(OffsetToScrollPosition(huge / 2, huge), 50000, 1);
  EXPECT_EQ(ScrollPositionToOffset(100000, huge), huge - 1);
  EXPECT_NEAR(static_cast<double>(ScrollPositionToOffset(25000, huge)),
              static_cast<double>(huge) / 4, 1e15);
}

TEST_F(HexViewFixture, ScrollEvents) {
  Open(Counting(1000));
  view.RefreshFileData(500);
  pane.Focused = 0;

  view.CustomScrollEvent(THexScrollCode::LineDown, 0);
  EXPECT_EQ(view.LastRefreshOffset(), 516);
  EXPECT_EQ(bar.Position, 51600);
  view.CustomScrollEvent(THexScrollCode::PageUp, 0);
  EXPECT_EQ(view.LastRefreshOffset(), 420);
  EXPECT_EQ(pane.Focused, 2);  // the focus goes back to the pane

  // Dragging the thumb moves the page but not the bar under the user's hand.
  const int moves = bar.Moves;
  view.CustomScrollEvent(THexScrollCode::ThumbTrack, 25000);
  EXPECT_EQ(view.LastRefreshOffset(), 250);
  EXPECT_EQ(pane.Shown.Lines[0].substr(0, 18), u"0x00000000000000F0");
  EXPECT_EQ(bar.Moves, moves);
  // The guard is released afterwards: the next move sets the bar again.
  view.CustomScrollEvent(THexScrollCode::Top, 0);
  EXPECT_EQ(view.LastRefreshOffset(), 0);
  EXPECT_EQ(bar.Position, 0);

  for (auto code :
       {THexScrollCode::Bottom, THexScrollCode::ThumbPosition, THexScrollCode::EndScroll}) {
    const int focused = pane.Focused;
    view.CustomScrollEvent(code, 77777);
    EXPECT_EQ(view.LastRefreshOffset(), 0);
    EXPECT_EQ(pane.Focused, focused);
  }
}

TEST_F(HexViewFixture, WithoutFileEverythingIsIgnored) {
  ASSERT_EQ(view.Init(&pane, &bar), S_OK);
  EXPECT_EQ(view.OpenFile(u"/nonexistent/riffo/none.wav"), S_OK);
  EXPECT_FALSE(view.HasFile());
  view.RefreshFileData(0);
  view.FRichEditKeyDown(THexKey::End, false);
  view.CustomScrollEvent(THexScrollCode::LineDown, 0);
  EXPECT_EQ(pane.Pages, 0);
  EXPECT_EQ(view.LastRefreshOffset(), -1);
}

TEST_F(HexViewFixture, EmptyFileShowsNothing) {
  Open({});
  EXPECT_EQ(pane.Pages, 0);
  view.FRichEditKeyDown(THexKey::Down, false);
  view.FRichEditKeyDown(THexKey::End, false);
  view.CustomScrollEvent(THexScrollCode::ThumbTrack, 50000);
  view.RefreshFileData(-1);
  EXPECT_EQ(pane.Pages, 0);
}

TEST_F(HexViewFixture, CloseFileEmptiesThePane) {
  Open(Counting(100));
  EXPECT_FALSE(pane.Shown.Lines.empty());
  EXPECT_EQ(view.CloseFile(), S_OK);
  EXPECT_TRUE(pane.Shown.Lines.empty());
  EXPECT_FALSE(view.HasFile());
  EXPECT_EQ(view.Done(), S_OK);
}

TEST(HexViewPaging, EveryRedrawReadsAtMostOnePageBuffer) {
  // A pane far taller than the buffer still shows 640 lines at most.
  EXPECT_EQ(PageLineCount(0), 1);
  EXPECT_EQ(PageLineCount(31), 1);
  EXPECT_EQ(PageLineCount(10256), 640);
  EXPECT_EQ(PageLineCount(20000), 640);

  TFakeHexPane tall{20000};
  TFakeScrollBar bar;
  THexView view;
  int64_t total = 0, largest = 0;
  view.Init(&tall, &bar);
  view.OpenStream(std::make_unique<TCountingStream>(Counting(1 << 20), &total, &largest));
  EXPECT_EQ(tall.Shown.Lines.size(), 640u);
  EXPECT_LE(total, HEX_PAGE_BUFFER_SIZE);

  for (int step = 0; step < 20; ++step) {
    total = 0;
    view.FRichEditKeyDown(step % 3 ? THexKey::PageDown : THexKey::Down, false);
    view.SetSelection(step * 1000, 5000);
    view.CustomScrollEvent(THexScrollCode::ThumbTrack, step * 4000);
    EXPECT_LE(total, 3 * HEX_PAGE_BUFFER_SIZE) << "three redraws";
  }
  EXPECT_LE(largest, HEX_PAGE_BUFFER_SIZE);
}

TEST(HexViewFiles, ReadsTheFileItself) {
  test::ScratchFolder folder;
  const auto name = folder.Write("pcm.wav", test::CanonicalPcm());
  TFakeHexPane pane{100};
  THexView view;
  view.Init(&pane, nullptr);
  EXPECT_EQ(view.OpenFile(name), S_OK);
  EXPECT_TRUE(view.HasFile());
  EXPECT_EQ(view.FileLength(), 44);
  ASSERT_EQ(pane.Shown.Lines.size(), 3u);
}

}  // namespace
}  // namespace riffo
