// The page engine, read back through the PDF tools: texts and their order,
// pages and page numbers, outline entries, word positions for alignment and
// columns, and the rules for writing the file.
#include "pdfengine/PdfDocument.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/Text.h"
#include "tests/pdfengine/PdfProbe.h"

namespace riffo::pdf {
namespace {

using test::Count;
using test::Lines;
using test::PdfText;
using test::PdfWords;
using test::ReadFileText;
using test::TempFolder;
using test::TWord;

std::u16string U(const std::string& text) { return Utf8ToUtf16(text); }

// A document with a header, a page-numbered footer and a three-column table.
void SetUpReport(TPdfDocument& doc) {
  doc.SetTitle(u"Engine Test – Größe");
  doc.BeginDoc();
  doc.SetFont(u"Tahoma", 9, fsRegular);
  doc.HeaderText(u"HeadLeft", TTextAlign::Left);
  doc.HeaderText(u"HeadRight", TTextAlign::Right, doc.RightMargin());
  doc.HeaderLine();
  doc.FooterLine();
  doc.FooterPageNumber(u"Page %d/%d", TTextAlign::Right);
  doc.AddColumn(10, TTextAlign::Left, true);
  doc.AddColumn(20, TTextAlign::Left, true);
  doc.AddColumn(70, TTextAlign::Left, true);
}

const TWord* FindWord(const std::vector<TWord>& words, const std::string& text, int page = 0) {
  for (const TWord& w : words)
    if (w.Text == text && (page == 0 || w.Page == page)) return &w;
  return nullptr;
}

TEST(PdfDocument, TableOverSeveralPagesKeepsEveryRowOnceInOrderWithNumberedFooters) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  RIFFO_REQUIRE_TOOL("pdfinfo");
  RIFFO_REQUIRE_TOOL("qpdf");
  TempFolder folder;
  TPdfDocument doc;
  SetUpReport(doc);
  doc.ColumnHeaders({u"Num", u"Name", u"Text"});
  const int rows = 150;
  for (int i = 1; i <= rows; ++i)
    doc.Row({U(std::to_string(i)), U("row-" + std::to_string(1000 + i)), u"some text"});
  const std::string path = folder.File("table.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();

  EXPECT_TRUE(test::QpdfCheck(path));
  EXPECT_EQ(test::PdfInfo(path, "Title"), "Engine Test – Größe");
  const int pages = test::PdfPages(path);
  ASSERT_GE(pages, 3);
  EXPECT_EQ(pages, doc.PageCount());

  int next = 1001;  // every row once, in order, across the page breaks
  for (int p = 1; p <= pages; ++p) {
    const std::string text = PdfText(path, p);
    const std::string footer = "Page " + std::to_string(p) + "/" + std::to_string(pages);
    EXPECT_EQ(Count(text, footer), 1u) << "page " << p;
    EXPECT_EQ(Count(text, "HeadLeft"), 1u) << "page " << p;
    EXPECT_EQ(Count(text, "HeadRight"), 1u) << "page " << p;
    // The column titles are repeated on every page the table continues on.
    EXPECT_EQ(Count(text, "Name"), 1u) << "page " << p;
    for (const std::string& line : Lines(text)) {
      const size_t at = line.find("row-");
      if (at == std::string::npos) continue;
      EXPECT_EQ(line.substr(at, 8), "row-" + std::to_string(next)) << "page " << p;
      ++next;
    }
    // The titles come before the first row of the page.
    EXPECT_LT(text.find("Name"), text.find("row-")) << "page " << p;
  }
  EXPECT_EQ(next, 1001 + rows);
}

TEST(PdfDocument, LongCellTextWrapsInsideItsColumn) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  TempFolder folder;
  TPdfDocument doc;
  SetUpReport(doc);
  std::string message;
  for (int i = 0; i < 60; ++i) message += "word" + std::to_string(i) + " ";
  // A word wider than its column is broken inside, without a hyphen.
  const std::string wide = "0123456789ABCDEF0123456789ABCDEF0123456789";
  doc.Row({u"1", U(wide), U(message)});
  doc.Row({u"2", u"after", u"next row"});
  const std::string path = folder.File("wrap.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();

  const std::vector<TWord> words = PdfWords(path);
  const double textWidth = doc.TextWidth();
  const double messageLeft = doc.LeftMargin() + 0.30 * textWidth;
  const double messageRight = doc.RightMargin();
  std::vector<double> lineTops;
  int expected = 0;
  for (const TWord& w : words) {
    if (w.Text.rfind("word", 0) != 0) continue;
    EXPECT_EQ(w.Text, "word" + std::to_string(expected)) << "words lost or out of order";
    ++expected;
    EXPECT_GE(w.XMin, messageLeft - 0.5) << w.Text;
    EXPECT_LE(w.XMax, messageRight + 0.5) << w.Text;
    if (lineTops.empty() || std::fabs(lineTops.back() - w.YMin) > 1) lineTops.push_back(w.YMin);
  }
  EXPECT_EQ(expected, 60);
  EXPECT_GE(lineTops.size(), 3u) << "the message did not wrap";

  // The wide word: its pieces stay inside the 20 % column and join up again.
  std::string joined;
  for (const TWord& w : words) {
    if (w.YMin > lineTops.back() + 1) continue;  // the footer, the next row
    if (w.XMin >= doc.LeftMargin() + 0.10 * textWidth - 0.5 &&
        w.XMax <= doc.LeftMargin() + 0.30 * textWidth + 0.5 && w.Text.find("word") != 0)
      joined += w.Text;
  }
  EXPECT_EQ(joined, wide);

  // The next row starts below the last line of the wrapped message.
  const TWord* after = FindWord(words, "after");
  ASSERT_NE(after, nullptr);
  EXPECT_GT(after->YMin, lineTops.back());
}

// Row numbers up to 99,999 and the type and stream words fit their narrow
// columns whole, set smaller where the column is too narrow for them; a
// cell whose words fit keeps the document's size.
TEST(PdfDocument, WordsTooWideForTheirColumnAreSetSmallerNotBroken) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  TempFolder folder;
  TPdfDocument doc;
  doc.BeginDoc();
  doc.SetFont(u"Georgia", 8, fsRegular);
  for (double percent : {3.0, 17.0, 7.0, 7.0, 50.0}) doc.AddColumn(percent, TTextAlign::Left, true);
  doc.ColumnHeaders({u"#", u"Module", u"Stream", u"Type", u"Message"});
  const std::vector<std::u16string> numbers = {u"9", u"268", u"4711", u"12345", u"99999"};
  for (const auto& number : numbers)
    doc.Row({number, u"Sonolint", u"65535", u"Warning",
             u"[204] Incomplete chunk data at 0x0000002C ."});
  const std::string path = folder.File("narrow.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();

  const std::vector<TWord> words = PdfWords(path);
  const double left = doc.LeftMargin(), width = doc.TextWidth();
  for (const auto& number : numbers) {
    const TWord* word = FindWord(words, Utf16ToUtf8(number));
    ASSERT_NE(word, nullptr) << Utf16ToUtf8(number) << " is broken";
    EXPECT_LE(word->XMax, left + 0.03 * width + 0.5) << "inside the number column";
  }
  int warnings = 0, streams = 0;
  double plainHeight = 0, fittedHeight = 0;
  for (const TWord& w : words) {
    warnings += w.Text == "Warning";
    streams += w.Text == "65535";
    if (w.Text == "9") fittedHeight = w.YMax - w.YMin;
    if (w.Text == "Sonolint") plainHeight = w.YMax - w.YMin;
  }
  EXPECT_EQ(warnings, 5);
  EXPECT_EQ(streams, 5);
  ASSERT_NE(FindWord(words, "Stream"), nullptr) << "the bold column title whole";
  EXPECT_NEAR(fittedHeight, plainHeight, 0.5) << "a number that fits keeps the size";
}

TEST(PdfDocument, RowTallerThanAPageBreaksBetweenItsLines) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  TempFolder folder;
  TPdfDocument doc;
  SetUpReport(doc);
  doc.ColumnHeaders({u"Num", u"Name", u"Text"});
  std::u16string tall;
  for (int i = 0; i < 150; ++i) tall += U("line-" + std::to_string(1000 + i) + "\n");
  doc.Row({u"1", u"tall", tall});
  doc.Row({u"2", u"last-row", u"end"});
  const std::string path = folder.File("tall.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();
  ASSERT_GE(doc.PageCount(), 2);

  int next = 1000;
  for (const TWord& w : PdfWords(path)) {
    if (w.Text.rfind("line-", 0) != 0) continue;
    EXPECT_EQ(w.Text, "line-" + std::to_string(next));
    ++next;
  }
  EXPECT_EQ(next, 1150);
  // Every page but the first starts with the repeated titles.
  for (int p = 2; p <= doc.PageCount(); ++p) EXPECT_EQ(Count(PdfText(path, p), "Name"), 1u);
  EXPECT_NE(PdfText(path, doc.PageCount()).find("last-row"), std::string::npos);
}

TEST(PdfDocument, AlignmentsAndColumnsLandWhereTheyBelong) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  TempFolder folder;
  TPdfDocument doc;
  SetUpReport(doc);
  doc.SetAlignment(TTextAlign::Right);
  doc.WriteText(u"RightText");
  doc.NewLine();
  doc.SetAlignment(TTextAlign::Center);
  doc.WriteText(u"CentreText");
  doc.NewLine();
  doc.SetAlignment(TTextAlign::Justify);
  std::u16string paragraph;
  for (int i = 0; i < 40; ++i) paragraph += u"justified ";
  doc.WriteText(paragraph + u"LastWord");
  doc.NewLine();
  doc.SetAlignment(TTextAlign::Left);
  doc.Row({u"ColA", u"ColB", u"ColC"});
  const std::string path = folder.File("align.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();

  const std::vector<TWord> words = PdfWords(path);
  const double left = doc.LeftMargin(), right = doc.RightMargin(), width = doc.TextWidth();
  const TWord* headLeft = FindWord(words, "HeadLeft");
  const TWord* headRight = FindWord(words, "HeadRight");
  const TWord* rightText = FindWord(words, "RightText");
  const TWord* centre = FindWord(words, "CentreText");
  ASSERT_TRUE(headLeft && headRight && rightText && centre);
  EXPECT_NEAR(headLeft->XMin, left, 1.0);
  EXPECT_NEAR(headRight->XMax, right, 1.0);
  EXPECT_NEAR(headLeft->YMin, headRight->YMin, 0.5);  // one header row
  EXPECT_NEAR(rightText->XMax, right, 1.0);
  EXPECT_NEAR((centre->XMin + centre->XMax) / 2, (left + right) / 2, 1.0);

  // Justified: every line but the last reaches the right margin.
  double firstLineTop = -1, firstLineRight = 0;
  for (const TWord& w : words) {
    if (w.Text != "justified") continue;
    if (firstLineTop < 0) firstLineTop = w.YMin;
    if (std::fabs(w.YMin - firstLineTop) < 0.5) firstLineRight = std::max(firstLineRight, w.XMax);
  }
  EXPECT_NEAR(firstLineRight, right, 1.0);
  const TWord* last = FindWord(words, "LastWord");
  ASSERT_NE(last, nullptr);
  EXPECT_LT(last->XMax, right - 20);

  // Columns start at their share of the text width (plus a small inset).
  const TWord* a = FindWord(words, "ColA");
  const TWord* b = FindWord(words, "ColB");
  const TWord* c = FindWord(words, "ColC");
  ASSERT_TRUE(a && b && c);
  EXPECT_NEAR(a->XMin, left, 2.0);
  EXPECT_NEAR(b->XMin, left + 0.10 * width, 2.0);
  EXPECT_NEAR(c->XMin, left + 0.30 * width, 2.0);
}

TEST(PdfDocument, BookmarksBecomeOutlineEntriesOnTheirPages) {
  RIFFO_REQUIRE_TOOL("qpdf");
  TempFolder folder;
  TPdfDocument doc;
  SetUpReport(doc);
  doc.AddBookmark(u"first mark");
  doc.WriteText(u"page one");
  doc.NewPage();
  doc.WriteText(u"page two");
  doc.NewLine();
  doc.AddBookmark(u"second mark");
  const std::string path = folder.File("marks.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();
  EXPECT_TRUE(test::QpdfCheck(path));

  const std::vector<test::TOutlineEntry> outline = test::PdfOutline(path);
  ASSERT_EQ(outline.size(), 2u);
  EXPECT_EQ(outline[0].Title, "first mark");
  EXPECT_EQ(outline[0].Page, 1);
  EXPECT_EQ(outline[1].Title, "second mark");
  EXPECT_EQ(outline[1].Page, 2);
}

TEST(PdfDocument, FontsStylesAndNonAsciiTextReachThePdf) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  RIFFO_REQUIRE_TOOL("pdffonts");
  TempFolder folder;
  TPdfDocument doc;
  doc.BeginDoc();
  doc.SetFont(u"Georgia", 11, fsRegular);
  doc.SaveLayout();
  doc.SetFontStyle(fsItalic | fsUnderline);
  doc.SetAlignment(TTextAlign::Right);
  EXPECT_EQ(doc.Font().Style, uint32_t{fsItalic | fsUnderline});
  doc.WriteText(u"Slanted");
  doc.RestoreLayout();
  EXPECT_EQ(doc.Font().Style, uint32_t{fsRegular});
  EXPECT_EQ(doc.Alignment(), TTextAlign::Left);
  doc.RestoreLayout();  // nothing saved any more: no change
  EXPECT_EQ(doc.Font().Size, 11.0);
  doc.WriteText(u"Größe – ½ € ‘quoted’");
  doc.AddColumn(50, TTextAlign::Left, true);
  doc.ColumnHeaders({u"Bolded"});
  const std::string path = folder.File("fonts.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();

  const std::string text = PdfText(path);
  EXPECT_NE(text.find("Größe – ½ € ‘quoted’"), std::string::npos) << text;
  const std::string fonts = test::Run("pdffonts " + test::Quote(path)).Output;
  EXPECT_NE(fonts.find("Italic"), std::string::npos) << fonts;
  EXPECT_NE(fonts.find("Bold"), std::string::npos) << fonts;
}

TEST(PdfDocument, NoncharactersInAnyTextStillGiveADocument) {
  // The PDF surface refuses a whole document over one noncharacter; they are
  // shown as U+FFFD like lone surrogates.
  TempFolder folder;
  for (const std::u16string& odd :
       {std::u16string(u"\uFFFF"), std::u16string(u"a\uFFFEb"), std::u16string(u"\uFDD0"),
        std::u16string(u"\U0010FFFF"), std::u16string(u"\U0001FFFE")}) {
    TPdfDocument doc;
    doc.SetTitle(u"Title " + odd);
    doc.BeginDoc();
    doc.HeaderText(odd, TTextAlign::Left);
    doc.WriteText(u"Before " + odd + u" after");
    doc.AddColumn(50, TTextAlign::Left, true);
    doc.ColumnHeaders({odd});
    doc.Row({u"cell " + odd});
    doc.AddBookmark(odd);
    doc.EndDoc();
    const std::string path = folder.File("odd.pdf");
    ASSERT_TRUE(doc.SaveToFile(U(path), TSaveMode::Replace)) << doc.LastError();
    EXPECT_EQ(ReadFileText(path).substr(0, 5), "%PDF-");
  }
}

TEST(PdfDocument, SavingNeverOverwritesUnlessAskedAndLeavesNoPartialFiles) {
  TempFolder folder;
  TPdfDocument doc;
  SetUpReport(doc);
  doc.WriteText(u"content");
  const std::string existing = folder.File("existing.pdf");
  { std::ofstream(existing) << "precious"; }

  EXPECT_FALSE(doc.SaveToFile(U(existing)));
  EXPECT_FALSE(doc.LastError().empty());
  EXPECT_EQ(ReadFileText(existing), "precious");

  EXPECT_TRUE(doc.SaveToFile(U(existing), TSaveMode::Replace)) << doc.LastError();
  EXPECT_EQ(ReadFileText(existing).substr(0, 5), "%PDF-");

  EXPECT_FALSE(doc.SaveToFile(U(folder.File("missing-folder/x.pdf"))));
  EXPECT_FALSE(doc.LastError().empty());

  // Only the one file: no temporary files left behind.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST(PdfDocument, ContentOutsideBeginAndEndIsIgnoredAndAnUnstartedDocumentFails) {
  TempFolder folder;
  TPdfDocument unstarted;
  unstarted.WriteText(u"ignored");
  EXPECT_TRUE(unstarted.Render().empty());
  EXPECT_FALSE(unstarted.SaveToFile(U(folder.File("never.pdf"))));
  EXPECT_FALSE(std::filesystem::exists(folder.File("never.pdf")));

  if (!test::HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  TPdfDocument doc;
  doc.WriteText(u"before");
  doc.BeginDoc();
  doc.WriteText(u"inside");
  doc.EndDoc();
  doc.WriteText(u"after");
  const std::string path = folder.File("ended.pdf");
  ASSERT_TRUE(doc.SaveToFile(U(path))) << doc.LastError();
  const std::string text = PdfText(path);
  EXPECT_NE(text.find("inside"), std::string::npos);
  EXPECT_EQ(text.find("before"), std::string::npos);
  EXPECT_EQ(text.find("after"), std::string::npos);
  EXPECT_EQ(doc.PageCount(), 1);
}

}  // namespace
}  // namespace riffo::pdf
