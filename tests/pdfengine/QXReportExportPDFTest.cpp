// The PDF report: its layout read back from the file, the numbering and the
// cell texts of each row, page breaks, and the refusals with their trace
// lines.
#include "host/QXReportExportPDF.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "contract/QuorvexControlInterface.h"
#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "tests/pdfengine/PdfProbe.h"

namespace riffo {
namespace {

using test::Count;
using test::Lines;
using test::PdfText;
using test::ReadFileText;
using test::TempFolder;

std::u16string U(const std::string& text) { return Utf8ToUtf16(text); }

std::tm FixedTime() {
  std::tm t{};
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 9;
  t.tm_mday = 3;
  t.tm_mon = 1;  // February
  t.tm_year = 2026 - 1900;
  return t;
}

// Collapses runs of blanks so a laid-out line compares as words.
std::string Squeeze(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (c == '\f') c = ' ';  // page separator
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

TEST(QXReportExportPDF, WritesTheReportLayoutOnClose) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  RIFFO_REQUIRE_TOOL("pdfinfo");
  RIFFO_REQUIRE_TOOL("qpdf");
  TempFolder folder;
  const std::string path = folder.File("report.pdf");
  TQXReportExportPDF exporter;
  exporter.SetClock(FixedTime);
  ASSERT_TRUE(exporter.OpenReportExport(u"/media/take 1.wav", U(path)));
  EXPECT_TRUE(exporter.Opened());
  EXPECT_EQ(exporter.ReportIndex(), 0);
  ASSERT_TRUE(exporter.AddReport(MODULE_ID_SONOLINT, REPORT_TYPE_INFO,
                                 u"[101] Start validation at 12:00:00", -1));
  ASSERT_TRUE(exporter.AddReport(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, u"[204] Truncated", -1));
  EXPECT_EQ(exporter.ReportIndex(), 2);
  // Nothing but the reserved, empty destination until the report is closed.
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  ASSERT_TRUE(exporter.CloseReportExport());
  EXPECT_FALSE(exporter.Opened());
  EXPECT_EQ(exporter.ReportIndex(), 0);

  EXPECT_TRUE(test::QpdfCheck(path));
  EXPECT_EQ(test::PdfInfo(path, "Title"), "Brindlecorp - Media Validation Report");
  EXPECT_EQ(test::PdfPages(path), 1);
  const std::vector<test::TOutlineEntry> outline = test::PdfOutline(path);
  ASSERT_EQ(outline.size(), 1u);
  EXPECT_EQ(outline[0].Title, "bookmarkname");
  EXPECT_EQ(outline[0].Page, 1);

  // The lines of the page in reading order, blanks squeezed, empty ones out.
  std::vector<std::string> lines;
  for (const std::string& line : Lines(PdfText(path)))
    if (!Squeeze(line).empty()) lines.push_back(Squeeze(line));
  const std::vector<std::string> expected = {
      "Brindlecorp - Media Validation Report www.brindlecorp.example",
      "File : /media/take 1.wav",
      "# Module Stream Type Message",
      "1 Sonolint Info [101] Start validation at 12:00:00",
      "2 Sonolint Error [204] Truncated",
      "07:05:09 03.02.2026 Page 1/1",
  };
  ASSERT_GE(lines.size(), expected.size()) << PdfText(path);
  // The Stream title may wrap in its narrow column; compare without it.
  std::vector<std::string> got;
  for (const std::string& line : lines)
    if (line != "m" && line != "am") got.push_back(line);
  for (std::string& line : got)
    line = std::regex_replace(line, std::regex("Str(e|ea)? Type"), "Stream Type");
  EXPECT_EQ(got, expected) << PdfText(path);
}

TEST(QXReportExportPDF, CellTextsFollowTheModuleTypeAndStreamTables) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  struct TCase {
    int32_t Module, Type, Stream;
    const char* Row;  // number, module, stream, type, message as laid out
  };
  const TCase cases[] = {
      {MODULE_ID_SONOLINT, REPORT_TYPE_WARNING, -1, "1 Sonolint W"},
      {MODULE_ID_HOST, REPORT_TYPE_NONE, 2, "2 Quorvex 2 None"},
      {16, 7, 0, "3 Unknown 0 Unkn"},
  };
  TempFolder folder;
  const std::string path = folder.File("cells.pdf");
  {
    TQXReportExportPDF exporter;
    ASSERT_TRUE(exporter.OpenReportExport(u"media.wav", U(path)));
    for (const TCase& c : cases)
      ASSERT_TRUE(
          exporter.AddReport(c.Module, c.Type, u"msg-" + U(std::to_string(c.Type)), c.Stream));
  }  // destroyed while open: the report is closed and written
  const std::string text = PdfText(path);
  for (const TCase& c : cases) {
    bool found = false;
    for (const std::string& line : Lines(text)) {
      const std::string squeezed = Squeeze(line);
      if (squeezed.rfind(c.Row, 0) == 0 &&
          squeezed.find("msg-" + std::to_string(c.Type)) != std::string::npos)
        found = true;
    }
    EXPECT_TRUE(found) << c.Row << "\n" << text;
  }
}

TEST(QXReportExportPDF, ManyLinesGiveNumberedPagesWithEveryRowInOrder) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  RIFFO_REQUIRE_TOOL("pdfinfo");
  TempFolder folder;
  const std::string path = folder.File("long.pdf");
  TQXReportExportPDF exporter;
  ASSERT_TRUE(exporter.OpenReportExport(u"long.wav", U(path)));
  std::u16string longMessage = u"[500] ";
  for (int i = 0; i < 50; ++i) longMessage += U("part" + std::to_string(i) + " ");
  const int rows = 150;
  for (int i = 1; i <= rows; ++i)
    ASSERT_TRUE(exporter.AddReport(MODULE_ID_SONOLINT, REPORT_TYPE_INFO,
                                   i == 40 ? longMessage : U("line-" + std::to_string(1000 + i)),
                                   -1));
  ASSERT_TRUE(exporter.CloseReportExport());

  const int pages = test::PdfPages(path);
  ASSERT_GE(pages, 3);
  int next = 1001;
  for (int p = 1; p <= pages; ++p) {
    const std::string text = PdfText(path, p);
    EXPECT_EQ(Count(text, "Page " + std::to_string(p) + "/" + std::to_string(pages)), 1u);
    EXPECT_EQ(Count(text, "www.brindlecorp.example"), 1u);
    EXPECT_EQ(Count(text, "Module"), 1u) << "column titles on page " << p;
    EXPECT_EQ(Count(text, "File : long.wav"), p == 1 ? 1u : 0u);
    for (const std::string& line : Lines(text)) {
      const size_t at = line.find("line-");
      if (at == std::string::npos) continue;
      if (next == 1040) ++next;  // the long message stands in for this one
      EXPECT_EQ(line.substr(at, 9), "line-" + std::to_string(next));
      ++next;
    }
  }
  EXPECT_EQ(next, 1001 + rows);

  // The long message wraps inside the message column: its parts come in
  // order on several lines, all starting at the column's left edge.
  const std::string all = PdfText(path);
  int part = 0;
  std::vector<size_t> starts;
  for (const std::string& line : Lines(all)) {
    const size_t at = line.find("part");
    if (at == std::string::npos) continue;
    starts.push_back(line.find("[500]") != std::string::npos ? line.find("[500]") : at);
    for (size_t p = line.find("part"); p != std::string::npos; p = line.find("part", p + 1)) {
      const std::string expected = "part" + std::to_string(part);
      EXPECT_EQ(line.substr(p, expected.size()), expected);
      ++part;
    }
  }
  EXPECT_EQ(part, 50);
  ASSERT_GE(starts.size(), 3u);
  for (size_t s : starts) EXPECT_NEAR(static_cast<double>(s), static_cast<double>(starts[0]), 1.0);
}

// The narrow columns (3 % for the number, 7 % for stream and type) keep
// their words whole: the report's serif is set in an installed face of the
// same metrics, and a word that still does not fit is set smaller.
TEST(QXReportExportPDF, NarrowColumnsKeepWordsAndNumbersWhole) {
  RIFFO_REQUIRE_TOOL("pdftotext");
  RIFFO_REQUIRE_TOOL("pdffonts");
  TempFolder folder;
  const std::string path = folder.File("many.pdf");
  TQXReportExportPDF exporter;
  ASSERT_TRUE(exporter.OpenReportExport(u"many.wav", U(path)));
  const int rows = 300;
  const int32_t types[] = {REPORT_TYPE_INFO, REPORT_TYPE_WARNING, REPORT_TYPE_ERROR};
  for (int i = 1; i <= rows; ++i)
    ASSERT_TRUE(exporter.AddReport(MODULE_ID_SONOLINT, types[i % 3],
                                   U("[500] Silence block at 00:00:" + std::to_string(10 + i % 50) +
                                     ".00 with duration 00:00:07.50"),
                                   i % 2 == 0 ? 12345 : -1));
  ASSERT_TRUE(exporter.CloseReportExport());

  const std::string fonts = test::Run("pdffonts " + test::Quote(path)).Output;
  EXPECT_NE(fonts.find("LiberationSerif"), std::string::npos) << fonts;

  std::map<std::string, int> counts;
  for (const test::TWord& word : test::PdfWords(path)) ++counts[word.Text];
  const int pages = test::PdfPages(path);
  EXPECT_EQ(counts["Stream"], pages) << "the column title whole on every page";
  EXPECT_EQ(counts["Type"], pages);
  EXPECT_EQ(counts["Warning"], rows / 3);
  EXPECT_EQ(counts["Error"], rows / 3);
  EXPECT_EQ(counts["12345"], rows / 2) << "stream numbers whole";
  for (int i = 1; i <= rows; ++i) EXPECT_EQ(counts[std::to_string(i)], 1) << "row number " << i;
  for (const char* piece : {"Strea", "Warnin", "m", "g", "Erro", "1234", "2345"})
    EXPECT_EQ(counts[piece], 0) << piece;

  // Kept beside the window screenshots, for looking at.
  std::filesystem::create_directories(RIFFO_SCREENSHOT_DIR);
  std::filesystem::copy_file(path, RIFFO_SCREENSHOT_DIR "/report-many-rows.pdf",
                             std::filesystem::copy_options::overwrite_existing);
}

TEST(QXReportExportPDF, RefusalsLeaveFilesAloneAndTraceTheirLines) {
  TempFolder folder;
  const std::string existing = folder.File("existing.pdf");
  { std::ofstream(existing) << "keep me"; }
  TraceCapture trace;

  TQXReportExportPDF exporter;
  EXPECT_FALSE(exporter.AddReport(4, 1, u"x", -1));
  EXPECT_TRUE(trace.Contains(u"dgn: Error in TQXReportExportPDF.AddReport - report not opened."));
  EXPECT_FALSE(exporter.CloseReportExport());
  EXPECT_TRUE(
      trace.Contains(u"Error in TQXReportExportPDF.CloseReportExport - report not opened."));

  EXPECT_FALSE(exporter.OpenReportExport(u"media.wav", U(existing)));
  EXPECT_TRUE(trace.Contains(
      u"dgn: Error in TQXReportExportPDF.OpenReportExport - PDF file already exists."));
  EXPECT_EQ(ReadFileText(existing), "keep me");
  EXPECT_FALSE(exporter.Opened());

  const std::string first = folder.File("first.pdf");
  ASSERT_TRUE(exporter.OpenReportExport(u"media.wav", U(first)));
  EXPECT_FALSE(exporter.OpenReportExport(u"media.wav", U(folder.File("second.pdf"))));
  EXPECT_TRUE(trace.Contains(
      u"dgn: Error in TQXReportExportPDF.OpenReportExport - report already opened."));
  EXPECT_FALSE(std::filesystem::exists(folder.File("second.pdf")));

  // An empty report still has its header, column titles and footer.
  ASSERT_TRUE(exporter.CloseReportExport());
  if (test::HaveTool("pdftotext")) {
    const std::string text = PdfText(first);
    EXPECT_NE(text.find("File : media.wav"), std::string::npos);
    EXPECT_NE(text.find("Message"), std::string::npos);
    EXPECT_NE(text.find("Page 1/1"), std::string::npos);
  }

  // The exporter can be used again after closing; a destination that cannot
  // be created fails without leaving anything behind.
  trace.Clear();
  EXPECT_FALSE(exporter.OpenReportExport(u"media.wav", U(folder.File("no-such-folder/r.pdf"))));
  EXPECT_TRUE(trace.Contains(u"Error in TQXReportExportPDF.OpenReportExport call..."));
  EXPECT_FALSE(exporter.Opened());
  ASSERT_TRUE(exporter.OpenReportExport(u"media.wav", U(folder.File("again.pdf"))));
  EXPECT_TRUE(exporter.CloseReportExport());
}

TEST(QXReportExportPDF, AFileWrittenIntoTheReservedDestinationIsNotOverwritten) {
  TempFolder folder;
  const std::string path = folder.File("taken.pdf");
  TraceCapture trace;
  {
    TQXReportExportPDF exporter;
    ASSERT_TRUE(exporter.OpenReportExport(u"media.wav", U(path)));
    ASSERT_TRUE(exporter.AddReport(4, 1, u"line", -1));
    { std::ofstream(path) << "someone else's"; }
    EXPECT_FALSE(exporter.CloseReportExport());
    EXPECT_TRUE(trace.Contains(u"Error in TQXReportExportPDF.CloseReportExport call..."));
    EXPECT_TRUE(exporter.Opened());
  }
  EXPECT_EQ(ReadFileText(path), "someone else's");
}

}  // namespace
}  // namespace riffo
