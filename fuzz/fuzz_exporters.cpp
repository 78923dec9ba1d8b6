// The report exporters with fuzzed report lines, a fuzzed media file name
// and a fuzzed destination name. Every report must read back as what
// was put in: the XML is well-formed and carries each message and the file
// name (characters XML cannot carry in their documented visible form), the
// CSV splits into one record per line with the message as its last field, the HTML has exactly the tags of the same report with plain texts
// (so no text turns into markup), the text report holds every message in
// order, the JSON parses and carries every message after its rule number,
// and the PDF (sampled: its layout is slow) is a complete file. Each
// writes one file where it was told to, and never replaces an existing one.
#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "contract/QuorvexControlInterface.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/MarkupCheck.h"
#include "host/CustomReport.h"
#include "host/QXReportExport.h"
#include "host/QXReportExportJSON.h"
#include "host/QXReportExportPDF.h"
#include "platform/Text.h"

namespace {

using riffo::fuzz::Check;
using riffo::fuzz::TScratchFolder;

struct TLine {
  int32_t Module = 0;
  int32_t Type = 0;
  std::u16string Message;
  int32_t Stream = -1;
};

struct TReport {
  std::u16string MediaName;
  std::vector<TLine> Lines;
};

// The text as the markup reports show it: the C0 controls XML cannot carry
// (all but TAB, LF and CR) as \x and two hex digits, U+FFFE and U+FFFF (and
// lone surrogates) as U+FFFD.
std::string MarkupForm(const std::u16string& text) {
  std::u16string shown;
  for (const char16_t c : text) {
    if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') {
      static constexpr char16_t HEX[] = u"0123456789ABCDEF";
      shown += u"\\x";
      shown += HEX[c >> 4];
      shown += HEX[c & 15];
    } else if (c == 0xFFFE || c == 0xFFFF) {
      shown += u'\xFFFD';
    } else {
      shown += c;
    }
  }
  return riffo::Utf16ToUtf8(shown);
}

// A destination name inside the folder: no separator, no NUL, never "." or "..".
std::u16string LeafName(std::u16string fuzzed, const char16_t* extension) {
  for (char16_t& c : fuzzed)
    if (c == u'/' || c == u'\0') c = u'_';
  return u"r" + fuzzed + extension;
}

std::string FreshFolder(const char* kind) {
  const std::string folder = TScratchFolder::Path() + "/" + kind;
  ::mkdir(folder.c_str(), 0700);
  TScratchFolder::Clear(folder);
  return folder;
}

// Writes the report through the exporter and returns the one file that
// appeared in a fresh folder.
template <typename TExporter>
std::string Export(const char* kind, const char16_t* extension, const std::u16string& leaf,
                   const TReport& report, TExporter& exporter) {
  const std::string folder = FreshFolder(kind);
  const std::u16string destination = riffo::Utf8ToUtf16(folder) + u"/" + LeafName(leaf, extension);
  Check(exporter.OpenReportExport(report.MediaName, destination),
        "an exporter cannot open a new destination");
  for (const TLine& line : report.Lines)
    Check(exporter.AddReport(line.Module, line.Type, line.Message, line.Stream),
          "an exporter refused a line");
  Check(exporter.CloseReportExport(), "an exporter failed to close");
  const std::vector<std::string> names = TScratchFolder::List(folder);
  Check(names.size() == 1, "an exporter left other than one file behind");
  const std::string path = folder + "/" + names[0];
  const std::string bytes = riffo::fuzz::ReadWholeFile(path);
  // The destination exists now: a second report to it must be refused and
  // leave the file as it is.
  TExporter again;
  Check(!again.OpenReportExport(report.MediaName, destination),
        "an exporter replaced an existing file");
  Check(riffo::fuzz::ReadWholeFile(path) == bytes, "a refused export changed the existing file");
  return bytes;
}

void CheckXml(const std::string& text, const TReport& report) {
  const riffo::fuzz::TXmlResult xml =
      riffo::fuzz::TXmlChecker(text, {"FILE_NAME", "REPORT_MESSAGE"}).Run();
  if (!xml.WellFormed)
    riffo::fuzz::Fail(("the XML report is not well-formed: " + xml.Error).c_str());
  Check(xml.Texts.size() == 1 + report.Lines.size(), "the XML report has another number of texts");
  Check(xml.Texts[0].second == MarkupForm(report.MediaName), "the XML report's file name differs");
  for (size_t i = 0; i < report.Lines.size(); ++i)
    Check(xml.Texts[i + 1].second == MarkupForm(report.Lines[i].Message),
          "an XML report message differs");
}

void CheckCsv(const std::string& text, const TReport& report) {
  std::vector<std::vector<std::string>> records;
  Check(riffo::fuzz::SplitCsv(text, records), "the CSV report does not split into records");
  Check(records.size() == 1 + report.Lines.size(), "the CSV report has another number of records");
  for (size_t i = 0; i < report.Lines.size(); ++i) {
    const auto& fields = records[i + 1];
    Check(fields.size() == 5, "a CSV record without five fields");
    Check(fields[0] == std::to_string(i + 1), "a CSV record with the wrong number");
    Check(fields[4] == riffo::Utf16ToUtf8(report.Lines[i].Message), "a CSV report message differs");
  }
}

void CheckText(const std::string& text, const TReport& report) {
  Check(riffo::IsValidUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
        "the text report is not UTF-8");
  size_t at = text.find("FileName: " + riffo::Utf16ToUtf8(report.MediaName));
  Check(at != std::string::npos, "the text report lacks the file name");
  for (const TLine& line : report.Lines) {
    at = text.find(riffo::Utf16ToUtf8(line.Message), at);
    Check(at != std::string::npos, "the text report lacks a message");
  }
}

template <typename TExporter>
std::string ExportAs(const char* kind, const char16_t* extension, const std::u16string& leaf,
                     const TReport& report) {
  TExporter exporter;
  return Export(kind, extension, leaf, report, exporter);
}

void CheckHtml(const std::string& text, const TReport& report) {
  // The same report with plain texts gives the page's own tags.
  TReport plain = report;
  plain.MediaName = u"f";
  for (TLine& line : plain.Lines) line.Message = u"m";
  const std::string reference =
      ExportAs<riffo::TQXReportExportHTML>("html-plain", u".html", u"plain", plain);
  std::vector<std::string> tags;
  std::vector<std::string> referenceTags;
  Check(riffo::fuzz::HtmlTags(reference, referenceTags), "the plain HTML report has a stray '<'");
  Check(riffo::fuzz::HtmlTags(text, tags), "the HTML report has a '<' that starts no tag");
  Check(tags == referenceTags, "a text in the HTML report became markup");
}

void CheckJson(const TReport& report) {
  std::vector<riffo::TCustomReport> lines;
  for (const TLine& line : report.Lines)
    lines.push_back({line.Module, line.Type, line.Message, line.Stream});
  const std::string text = riffo::JsonReport("fuzz", "1", report.MediaName, {u"Sonolint"}, lines);
  const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  Check(!document.is_discarded(), "the JSON report does not parse");
  Check(document.at("file") == riffo::Utf16ToUtf8(report.MediaName),
        "the JSON report's file name differs");
  const nlohmann::json& parsed = document.at("lines");
  Check(parsed.size() == report.Lines.size(), "the JSON report has another number of lines");
  for (size_t i = 0; i < report.Lines.size(); ++i) {
    const riffo::TRuleSplit split = riffo::SplitRulePrefix(report.Lines[i].Message);
    Check(parsed[i].at("message") == riffo::Utf16ToUtf8(split.Message),
          "a JSON report message differs");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  riffo::fuzz::TFuzzInput input(data, size);
  static constexpr int32_t MODULES[] = {0, 1, 2, 4, 8, 16, 32, 64};
  const bool withPdf = input.Range(0, 15) == 0;
  TReport report;
  report.MediaName = input.Text16(80);
  const std::u16string leaf = input.Text16(40);
  const auto count = input.Range(0, 12);
  for (int64_t i = 0; i < count; ++i) {
    TLine line;
    line.Module = input.Bool() ? input.Pick(MODULES) : static_cast<int32_t>(input.U32());
    line.Type = static_cast<int32_t>(input.Range(-1, 4));
    line.Stream = static_cast<int32_t>(input.Range(-2, 40));
    line.Message = input.Text16(160);
    report.Lines.push_back(std::move(line));
  }

  CheckXml(ExportAs<riffo::TQXReportExportXML>("xml", u".xml", leaf, report), report);
  CheckCsv(ExportAs<riffo::TQXReportExportCSV>("csv", u".csv", leaf, report), report);
  CheckText(ExportAs<riffo::TQXReportExportTXT>("txt", u".txt", leaf, report), report);
  CheckHtml(ExportAs<riffo::TQXReportExportHTML>("html", u".html", leaf, report), report);
  CheckJson(report);
  if (withPdf) {
    riffo::TQXReportExportPDF pdf;
    pdf.SetClock([] {
      std::tm fixed{};
      fixed.tm_year = 117;
      fixed.tm_mday = 1;
      return fixed;
    });
    const std::string bytes = Export("pdf", u".pdf", leaf, report, pdf);
    Check(bytes.compare(0, 5, "%PDF-") == 0, "the PDF report does not start as a PDF");
    Check(bytes.find("%%EOF", bytes.size() > 1024 ? bytes.size() - 1024 : 0) != std::string::npos,
          "the PDF report is not complete");
  }
  return 0;
}
