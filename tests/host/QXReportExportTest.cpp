// The four text report formats. The expected files in data/ were written out
// by hand from the documented layouts (one report of five lines covering
// every report type, an unknown module, a stream number, a missing stream, a
// message longer than the plain-text column, characters that are special in
// markup and in CSV, and non-ASCII text; plus an empty report per format).
// They are stored with LF line ends for reading; the files the exporters
// write must match them with every line ended by CR LF, in UTF-8 without a
// byte-order mark.
#include "host/QXReportExport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "HostTestSupport.h"
#include "platform/DebugTrace.h"
#include "platform/Files.h"
#include "platform/Stream.h"
#include "support/FileSizeLimit.h"

namespace riffo {
namespace {

struct TLine {
  int32_t Module, Type;
  std::u16string Message;
  int32_t Stream;
};

const std::u16string kMediaFile = u"/media/take 1 & <2>.wav";
const std::vector<TLine> kLines = {
    {4, 1, u"[101] Start validation at 10:00:00", -1},
    {4, 2, u"[500] Silence block at 00:00:10.00 with duration 00:00:07.50.", -1},
    {4, 3, u"[204] Chunk <data> truncated & padded", 0},
    {16, 7, u"Gr\u00FC\u00DFe, \"quoted\"", 12},
    {0, 0, u"Host line", -1},
};

std::string WithCrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string Golden(const std::string& name) {
  std::ifstream in(std::string(RIFFO_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_FALSE(all.str().empty()) << name;
  return WithCrLf(all.str());
}

struct TFormat {
  const char* Extension;
  const char* ClassName;
  const char* FileKind;
  std::function<std::unique_ptr<TQXTextReportExport>()> Make;
};

void PrintTo(const TFormat& format, std::ostream* out) { *out << format.Extension; }

const TFormat kFormats[] = {
    {"xml", "TQXReportExportXML", "XML file",
     [] { return std::make_unique<TQXReportExportXML>(); }},
    {"csv", "TQXReportExportCSV", "CSV file",
     [] { return std::make_unique<TQXReportExportCSV>(); }},
    {"txt", "TQXReportExportTXT", "TXT file",
     [] { return std::make_unique<TQXReportExportTXT>(); }},
    {"html", "TQXReportExportHTML", "HTML file",
     [] { return std::make_unique<TQXReportExportHTML>(); }},
};

class ReportExportTest : public test::THostTest, public ::testing::WithParamInterface<TFormat> {
protected:
  std::string Name(const std::string& base) const { return base + "." + GetParam().Extension; }
  std::u16string Trace(const std::string& rest) const {
    return Utf8ToUtf16(std::string("dgn: Error in ") + GetParam().ClassName + "." + rest);
  }
};

TEST_P(ReportExportTest, WritesTheLayoutLineForLine) {
  TraceCapture trace;
  auto exporter = GetParam().Make();
  ASSERT_TRUE(exporter->OpenReportExport(kMediaFile, Path(Name("report"))));
  for (size_t i = 0; i < kLines.size(); ++i) {
    EXPECT_EQ(exporter->ReportIndex(), static_cast<int32_t>(i));
    const TLine& l = kLines[i];
    EXPECT_TRUE(exporter->AddReport(l.Module, l.Type, l.Message, l.Stream));
  }
  EXPECT_TRUE(exporter->CloseReportExport());
  EXPECT_FALSE(exporter->Opened());
  EXPECT_EQ(exporter->ReportIndex(), 0);
  EXPECT_EQ(ReadFile(Name("report")), Golden(Name("report")));
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_P(ReportExportTest, EmptyReportStillHasHeaderAndFooter) {
  auto exporter = GetParam().Make();
  ASSERT_TRUE(exporter->OpenReportExport(kMediaFile, Path(Name("empty"))));
  EXPECT_TRUE(exporter->CloseReportExport());
  EXPECT_EQ(ReadFile(Name("empty")), Golden(Name("empty")));
}

TEST_P(ReportExportTest, DestroyingAnOpenReportClosesIt) {
  {
    auto exporter = GetParam().Make();
    ASSERT_TRUE(exporter->OpenReportExport(kMediaFile, Path(Name("report"))));
    for (const TLine& l : kLines) exporter->AddReport(l.Module, l.Type, l.Message, l.Stream);
  }
  EXPECT_EQ(ReadFile(Name("report")), Golden(Name("report")));
}

TEST_P(ReportExportTest, NeverOverwritesAnExistingFile) {
  WriteFile(Name("report"), "keep me");
  TraceCapture trace;
  auto exporter = GetParam().Make();
  EXPECT_FALSE(exporter->OpenReportExport(kMediaFile, Path(Name("report"))));
  EXPECT_FALSE(exporter->Opened());
  EXPECT_EQ(ReadFile(Name("report")), "keep me");
  EXPECT_EQ(trace.Lines(),
            std::vector<std::u16string>{Trace(std::string("OpenReportExport - ") +
                                              GetParam().FileKind + " already exists.")});
}

TEST_P(ReportExportTest, OperationsOutOfTurnFailWithTheirTraceLines) {
  TraceCapture trace;
  auto exporter = GetParam().Make();
  EXPECT_FALSE(exporter->AddReport(4, 1, u"x", -1));
  EXPECT_FALSE(exporter->CloseReportExport());
  ASSERT_TRUE(exporter->OpenReportExport(kMediaFile, Path(Name("first"))));
  EXPECT_FALSE(exporter->OpenReportExport(kMediaFile, Path(Name("second"))));
  EXPECT_FALSE(std::filesystem::exists(FDir / Name("second")));
  EXPECT_TRUE(exporter->AddReport(4, 1, u"x", -1));  // the first report is still open
  EXPECT_EQ(exporter->ReportIndex(), 1);
  EXPECT_EQ(trace.Lines(), (std::vector<std::u16string>{
                               Trace("AddReport - report not opened."),
                               Trace("CloseReportExport - report not opened."),
                               Trace("OpenReportExport - report already opened."),
                           }));
}

TEST_P(ReportExportTest, DestinationThatCannotBeCreatedIsTraced) {
  TraceCapture trace;
  auto exporter = GetParam().Make();
  EXPECT_FALSE(exporter->OpenReportExport(kMediaFile, Path("missing/" + Name("report"))));
  EXPECT_FALSE(exporter->Opened());
  EXPECT_EQ(trace.Lines(),
            std::vector<std::u16string>{Utf8ToUtf16(
                std::string("Error in ") + GetParam().ClassName + ".OpenReportExport call...")});
}

TEST_P(ReportExportTest, AStreamGetsTheSameBytesAsAFile) {
  TMemoryStream out;
  auto exporter = GetParam().Make();
  ASSERT_TRUE(exporter->OpenReportExport(kMediaFile, out));
  for (const TLine& l : kLines)
    EXPECT_TRUE(exporter->AddReport(l.Module, l.Type, l.Message, l.Stream));
  EXPECT_TRUE(exporter->CloseReportExport());
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), Golden(Name("report")));
}

// A report that cannot be written whole (here the file size limit stops it
// part way) fails, and nothing is left under its name, nor beside it.
TEST_P(ReportExportTest, AReportThatCannotBeWrittenWholeLeavesNothingBehind) {
  TraceCapture trace;
  bool closed = true;
  {
    test::FileSizeLimit limit(4096);
    auto exporter = GetParam().Make();
    ASSERT_TRUE(exporter->OpenReportExport(kMediaFile, Path(Name("report"))));
    for (int i = 0; i < 2000; ++i) exporter->AddReport(4, 1, u"[101] a line that takes room", -1);
    closed = exporter->CloseReportExport();
    EXPECT_FALSE(exporter->Opened());
  }
  EXPECT_FALSE(closed);
  EXPECT_TRUE(trace.Contains(
      Utf8ToUtf16(std::string("Error in ") + GetParam().ClassName + ".CloseReportExport call...")));
  EXPECT_TRUE(std::filesystem::is_empty(FDir)) << "nothing under the name, no temporary";
}

// Texts from file fields may hold any character. The markup formats write
// the C0 controls XML cannot carry as \xHH, U+FFFE and U+FFFF as U+FFFD, a
// quote as &quot;, and keep TAB, LF and CR; an undecodable byte of a file
// name shows as U+FFFD. The plain formats keep every character as it is.
class MarkupReports : public test::THostTest {};

TEST_F(MarkupReports, ControlsAndQuotesAreWrittenInAVisibleWellFormedWay) {
  using namespace std::string_literals;
  const std::u16string message =
      u"a\u001B[31mb\u0002c\u0000d\u001F\t\"q\" & <x> \uFFFE\uFFFF\u007F\r\ne"s;
  const std::string shown =
      "a\\x1B[31mb\\x02c\\x00d\\x1F\t&quot;q&quot; &amp; &lt;x&gt; "
      "\xEF\xBF\xBD\xEF\xBF\xBD\x7F\r\ne";
  const std::u16string media = FromNativePath("/media/take\x1B\xFF.wav");
  struct Case {
    const char* Extension;
    std::unique_ptr<TQXTextReportExport> Exporter;
    std::string FileLine;
    std::string MessageLine;
  };
  Case cases[] = {
      {"xml", std::make_unique<TQXReportExportXML>(),
       "    <FILE_NAME>/media/take\\x1B\xEF\xBF\xBD.wav</FILE_NAME>\r\n",
       "    <REPORT_MESSAGE>" + shown + "</REPORT_MESSAGE>\r\n"},
      {"html", std::make_unique<TQXReportExportHTML>(),
       "    <span class=\"header-color\">File: /media/take\\x1B\xEF\xBF\xBD.wav</span>\r\n",
       " <TD>" + shown + "</TD></TR>\r\n"},
  };
  for (Case& c : cases) {
    const std::string name = std::string("r.") + c.Extension;
    ASSERT_TRUE(c.Exporter->OpenReportExport(media, Path(name)));
    ASSERT_TRUE(c.Exporter->AddReport(4, 1, message, -1));
    ASSERT_TRUE(c.Exporter->CloseReportExport());
    const std::string text = ReadFile(name);
    EXPECT_NE(text.find(c.FileLine), std::string::npos) << c.Extension << "\n" << text;
    EXPECT_NE(text.find(c.MessageLine), std::string::npos) << c.Extension << "\n" << text;
  }
  // An XML parser reads the report back, with the message as written.
  const std::string xml = Path8("r.xml");
  const std::string command =
      "python3 -c 'import sys, xml.etree.ElementTree as T; "
      "m = T.parse(sys.argv[1]).getroot().find(\"REPORT_SECTION/REPORT/REPORT_MESSAGE\").text; "
      "sys.exit(0 if m.startswith(\"a\\\\x1B[31mb\\\\x02c\") and \"\\\"q\\\" & <x>\" in m else "
      "3)' " +
      xml;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

INSTANTIATE_TEST_SUITE_P(Formats, ReportExportTest, ::testing::ValuesIn(kFormats),
                         [](const auto& param) { return std::string(param.param.Extension); });

}  // namespace
}  // namespace riffo
