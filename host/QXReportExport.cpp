#include "host/QXReportExport.h"

#include <stdexcept>

#include "chunkmodel/WAVHelpers.h"
#include "contract/QuorvexControlInterface.h"
#include "platform/DebugTrace.h"
#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/Product.h"
#include "platform/Text.h"

namespace riffo {

std::u16string StreamIDText(int32_t streamID) {
  if (streamID < 0) return std::u16string();
  return Utf8ToUtf16(std::to_string(streamID));
}

namespace {

std::u16string Number(int32_t value) { return Utf8ToUtf16(std::to_string(value)); }

// Report texts and file names are free text; in the markup formats the
// characters that would change the document's structure are written as
// entities, so every report stays well-formed. XML cannot carry the C0
// controls other than TAB, LF and CR at all, not even as references: each is
// written visibly as \x and two upper-case hex digits (ESC as \x1B). The
// non-characters U+FFFE and U+FFFF, equally barred, become U+FFFD.
std::u16string MarkupText(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\t':
      case u'\n':
      case u'\r': out += c; break;
      case 0xFFFE:
      case 0xFFFF: out += u'\uFFFD'; break;
      default:
        if (c < 0x20) {
          out += u"\\x";
          AppendHex(out, c, 2);
        } else {
          out += c;
        }
    }
  }
  return out;
}

// A CSV field is quoted only when it holds a separator, a quote or a line
// break; the quotes inside are doubled. Plain fields stay as they are.
std::u16string CsvField(const std::u16string& text) {
  if (text.find_first_of(u",\"\r\n") == std::u16string::npos) return text;
  std::u16string out = u"\"";
  for (char16_t c : text) {
    if (c == u'"') out += u'"';
    out += c;
  }
  out += u'"';
  return out;
}

// ---- XML ----

std::vector<std::u16string> XmlHeader(const std::u16string& fileName) {
  return {u"<?xml version=\"1.0\" encoding=\"utf-8\"?>",
          u"<MEDIA_VALIDATION_REPORT>",
          u"  <MEDIA_VALIDATION_REPORT_HEADER_SECTION>",
          u"    <FILE_NAME>" + MarkupText(fileName) + u"</FILE_NAME>",
          u"  </MEDIA_VALIDATION_REPORT_HEADER_SECTION>",
          u"  <REPORT_SECTION>"};
}

std::vector<std::u16string> XmlLine(int32_t index, int32_t module, int32_t reportType,
                                    const std::u16string& reportMessage, int32_t streamID) {
  return {u"  <REPORT INDEX=\"" + Number(index) + u"\">",
          u"    <MODULE_ID>" + Number(module) + u"</MODULE_ID>",
          u"    <STREAM_ID>" + StreamIDText(streamID) + u"</STREAM_ID>",
          u"    <REPORT_TYPE>" + std::u16string(ReportTypeName(reportType)) + u"</REPORT_TYPE>",
          u"    <REPORT_MESSAGE>" + MarkupText(reportMessage) + u"</REPORT_MESSAGE>",
          u"  </REPORT>"};
}

std::vector<std::u16string> XmlFooter() {
  return {u"  </REPORT_SECTION>", u"</MEDIA_VALIDATION_REPORT>"};
}

// ---- CSV ----

std::vector<std::u16string> CsvHeader(const std::u16string&) {
  return {u"#,Module,Stream,Type,Message"};
}

std::vector<std::u16string> CsvLine(int32_t index, int32_t module, int32_t reportType,
                                    const std::u16string& reportMessage, int32_t streamID) {
  return {Number(index + 1) + u"," + CsvField(ModuleDisplayName(module)) + u"," +
          StreamIDText(streamID) + u"," + CsvField(ReportTypeName(reportType)) + u"," +
          CsvField(reportMessage)};
}

std::vector<std::u16string> NoFooter() { return {}; }

// ---- plain text ----

std::u16string TxtRow(const std::u16string& number, const std::u16string& module,
                      const std::u16string& stream, const std::u16string& type,
                      const std::u16string& message) {
  return PadRight(number, 5) + u"|" + PadRight(module, 30) + u"|" + PadRight(stream, 6) + u"|" +
         PadRight(type, 10) + u"|" + PadRight(message, 50);
}

std::vector<std::u16string> TxtHeader(const std::u16string& fileName) {
  const std::u16string slashes(static_cast<size_t>(FRAME_WIDTH), u'/');
  return {slashes,
          FramedLine(u"Media Validation Report"),
          FramedLine(MAKER_NAME),
          FramedLine(MAKER_WEB),
          slashes,
          u"",
          u"FileName: " + fileName,
          u"",
          u"Validation Report",
          u"",
          TxtRow(u"#", u"Module", u"Stream", u"Type", u"Message"),
          std::u16string(104, u'-')};
}

std::vector<std::u16string> TxtLine(int32_t index, int32_t module, int32_t reportType,
                                    const std::u16string& reportMessage, int32_t streamID) {
  return {TxtRow(Number(index + 1), ModuleDisplayName(module), StreamIDText(streamID),
                 ReportTypeName(reportType), reportMessage)};
}

// ---- HTML ----

std::vector<std::u16string> HtmlHeader(const std::u16string& fileName) {
  return {
      u"<HTML>",
      u"  <HEAD>",
      u"    <META Http-Equiv=\"Content-Type\" Content=\"text/html; charset=utf-8\">",
      u"  </HEAD>",
      u"  <BODY>",
      u"    <TABLE width=\"100%\">",
      u"      <TR>",
      u"        <TD align=\"left\">",
      u"          <a href=\"" + std::u16string(MAKER_WEB_URL) + u"\">" + MAKER_NAME + u"</a>",
      u"        </TD>",
      u"      </TR>",
      u"    </TABLE>",
      u"    <style type=\"text/css\">#box-table-a{font-family:\"Lucida Sans Unicode\", \"Lucida "
      u"Grande\", Sans-Serif;"
      u"font-size:11px;width:90%;text-align:left;border-collapse:collapse;margin:20px;}"
      u"#box-table-a th{font-size:12px;font-weight:normal;background:#b9c9fe;border-top:4px solid "
      u"#aabcfe;"
      u"border-bottom:1px solid #fff;color:#039;padding:8px;}#box-table-a td{background:#e8edff;"
      u"border-bottom:1px solid #fff;color:#669;border-top:1px solid transparent;padding:8px;}"
      u"#box-table-a tr:hover td{background:#d0dafd;color:#339;}</style>",
      u"    <style type=\"text/css\">#box-table-b{font-family:\"Lucida Sans Unicode\", \"Lucida "
      u"Grande\", Sans-Serif;"
      u"font-size:11px;text-align:left;border-collapse:collapse;margin:20px;}"
      u"#box-table-b th{font-size:12px;font-weight:normal;background:#b9c9fe;border-top:4px solid "
      u"#aabcfe;"
      u"border-bottom:1px solid #fff;color:#039;padding:8px;}#box-table-b td{background:#ffe8ed;"
      u"border-bottom:1px solid #fff;color:#669;border-top:1px solid transparent;padding:8px;}"
      u"#box-table-b tr:hover td{background:#fdd0da;color:#339;}</style>",
      u"    <style type=\"text/css\">#box-table-c{font-family:\"Lucida Sans Unicode\", \"Lucida "
      u"Grande\", Sans-Serif;"
      u"font-size:11px;text-align:left;border-collapse:collapse;margin:20px;}"
      u"#box-table-c th{font-size:12px;font-weight:normal;background:#b9c9fe;border-top:4px solid "
      u"#aabcfe;"
      u"border-bottom:1px solid #fff;color:#039;padding:8px;}#box-table-c td{background:#ffffbd;"
      u"border-bottom:1px solid #fff;color:#669;border-top:1px solid transparent;padding:8px;}"
      u"#box-table-c tr:hover td{background:#fdfdad;color:#339;}</style>",
      u"    <style type=\"text/css\">.header-color { color: #039;font-family:\"Lucida Sans "
      u"Unicode\", "
      u"\"Lucida Grande\", Sans-Serif;font-size:24px;padding:16px; }</style>",
      u"    <style type=\"text/css\">.footer-color { color: #039;font-family:\"Lucida Sans "
      u"Unicode\", "
      u"\"Lucida Grande\", Sans-Serif;font-size:14px;padding:16px; }</style>",
      u"",
      u"    <TABLE width=\"100%\">",
      u"      <TR>",
      u"        <TD align=\"center\"><span class=\"header-color\" align=\"center\">Media "
      u"Validation Report</span></TD>",
      u"      </TR>",
      u"    </TABLE>",
      u"    </BR>",
      u"    <span class=\"header-color\">File: " + MarkupText(fileName) + u"</span>",
      u"    <TABLE id=\"box-table-a\">",
      u"      <THEAD>",
      u"        <TR>",
      u"          <TH SCOPE=\"col\" align=\"left\">#</TH>",
      u"          <TH SCOPE=\"col\" align=\"left\">Module</TH>",
      u"          <TH SCOPE=\"col\" align=\"left\">Stream</TH>",
      u"          <TH SCOPE=\"col\" align=\"left\">Type</TH>",
      u"          <TH SCOPE=\"col\" align=\"left\">Message</TH>",
      u"        </TR>",
      u"      </THEAD>",
      u"      <TBODY>"};
}

std::vector<std::u16string> HtmlLine(int32_t index, int32_t module, int32_t reportType,
                                     const std::u16string& reportMessage, int32_t streamID) {
  // Warnings get yellow cells, errors pink ones.
  const char16_t* row = reportType == REPORT_TYPE_WARNING ? u"        <TR id=\"box-table-c\">"
                        : reportType == REPORT_TYPE_ERROR ? u"        <TR id=\"box-table-b\">"
                                                          : u"        <TR>";
  return {row + (u"<TD>" + Number(index + 1) + u"</TD>") + u" <TD>" +
          MarkupText(ModuleDisplayName(module)) + u"</TD>" + u" <TD>" + StreamIDText(streamID) +
          u"</TD>" + u" <TD>" + MarkupText(ReportTypeName(reportType)) + u"</TD>" + u" <TD>" +
          MarkupText(reportMessage) + u"</TD></TR>"};
}

std::vector<std::u16string> HtmlFooter() {
  return {u"      </TBODY>",
          u"    </TABLE>",
          u"    <TABLE width=\"90%\">",
          u"      <TR>",
          u"        <TD align=\"center\">",
          u"          <span class=\"footer-color\">" + std::u16string(MAKER_NAME) + u" &copy; " +
              MAKER_YEAR + u" | " + MAKER_WEB + u" | " + MAKER_MAIL + u" | " + MAKER_PHONE +
              u"</span>",
          u"        </TD>",
          u"      </TR>",
          u"    </TABLE>",
          u"  </BODY>",
          u"</HTML>"};
}

const TQXTextReportLayout kXmlLayout{u"TQXReportExportXML", u"XML file", XmlHeader, XmlLine,
                                     XmlFooter};
const TQXTextReportLayout kCsvLayout{u"TQXReportExportCSV", u"CSV file", CsvHeader, CsvLine,
                                     NoFooter};
const TQXTextReportLayout kTxtLayout{u"TQXReportExportTXT", u"TXT file", TxtHeader, TxtLine,
                                     NoFooter};
const TQXTextReportLayout kHtmlLayout{u"TQXReportExportHTML", u"HTML file", HtmlHeader, HtmlLine,
                                      HtmlFooter};

// Thrown inside an operation when the file cannot be written; caught by the
// operation's guard, which writes its "call..." line.
struct TWriteFailure : std::runtime_error {
  TWriteFailure() : std::runtime_error("report file write failed") {}
};

// Reports are handed to the destination in pieces of this size, so a long
// report costs few writes and a short one a single write on close.
constexpr size_t WRITE_PIECE_BYTES = 64 * 1024;

}  // namespace

TQXReportExportXML::TQXReportExportXML() : TQXTextReportExport(kXmlLayout) {}
TQXReportExportCSV::TQXReportExportCSV() : TQXTextReportExport(kCsvLayout) {}
TQXReportExportTXT::TQXReportExportTXT() : TQXTextReportExport(kTxtLayout) {}
TQXReportExportHTML::TQXReportExportHTML() : TQXTextReportExport(kHtmlLayout) {}

TQXTextReportExport::TQXTextReportExport(const TQXTextReportLayout& layout) : FLayout(layout) {}

TQXTextReportExport::~TQXTextReportExport() {
  GuardedVoid(u"Error in " + std::u16string(FLayout.ClassName) + u".Destroy call...", [&] {
    if (Opened()) CloseReportExport();
  });
}

std::u16string TQXTextReportExport::Trace(const char16_t* operation, const char16_t* what) const {
  return u"dgn: Error in " + std::u16string(FLayout.ClassName) + u"." + operation + u" - " + what;
}

void TQXTextReportExport::WriteLines(const std::vector<std::u16string>& lines) {
  for (const auto& line : lines) {
    FPending += Utf16ToUtf8(line);
    FPending += "\r\n";
  }
  if (FPending.size() >= WRITE_PIECE_BYTES) Flush();
}

void TQXTextReportExport::Flush() {
  if (FPending.empty()) return;
  const int64_t size = static_cast<int64_t>(FPending.size());
  const bool written = !FWriteFailed && FDestination->Write(FPending.data(), size) == size;
  FPending.clear();
  if (!written) {
    FWriteFailed = true;
    throw TWriteFailure();
  }
}

bool TQXTextReportExport::Open(const std::u16string& fileName, TStream& destination) {
  FDestination = &destination;
  FPending.clear();
  FWriteFailed = false;
  FReportIndex = 0;
  WriteLines(FLayout.Header(fileName));
  return true;
}

template <typename Body>
bool TQXTextReportExport::Call(const char16_t* operation, bool open, Body body) {
  const std::u16string callLine =
      u"Error in " + std::u16string(FLayout.ClassName) + u"." + operation + u" call...";
  return Guarded(callLine, false, [&] {
    if (Opened() != open) {
      DebugTrace(Trace(operation, open ? u"report not opened." : u"report already opened."));
      return false;
    }
    return body();
  });
}

bool TQXTextReportExport::OpenReportExport(const std::u16string& fileName, TStream& destination) {
  return Call(u"OpenReportExport", false, [&] { return Open(fileName, destination); });
}

bool TQXTextReportExport::OpenReportExport(const std::u16string& fileName,
                                           const std::u16string& reportFileName) {
  return Call(u"OpenReportExport", false, [&] {
    const std::u16string existsLine = Trace(
        u"OpenReportExport", (std::u16string(FLayout.FileKind) + u" already exists.").c_str());
    // Exclusive: a file that exists now, or appears before the report is
    // complete, is refused, never truncated.
    TOutputStatus status = TOutputStatus::Ok;
    std::unique_ptr<TOutputFile> output =
        TOutputFile::Begin(ToNativePath(reportFileName), TOutputMode::Exclusive, status);
    if (status == TOutputStatus::Exists) {
      DebugTrace(existsLine);
      return false;
    }
    TStream* stream = output ? output->Stream() : nullptr;
    if (stream == nullptr) throw TWriteFailure();
    FOutput = std::move(output);
    return Open(fileName, *stream);
  });
}

bool TQXTextReportExport::AddReport(int32_t module, int32_t reportType,
                                    const std::u16string& reportMessage, int32_t streamID) {
  return Call(u"AddReport", true, [&] {
    WriteLines(FLayout.Line(FReportIndex, module, reportType, reportMessage, streamID));
    ++FReportIndex;
    return true;
  });
}

// Ends the open report whatever happens: the state is reset first, then the
// footer and the last bytes are written and a named destination committed;
// a report with a failed write is dropped, never put under its name.
void TQXTextReportExport::EndReport() {
  std::unique_ptr<TOutputFile> output = std::move(FOutput);
  struct TReset {
    TQXTextReportExport& Self;
    ~TReset() {
      Self.FDestination = nullptr;
      Self.FPending.clear();
      Self.FReportIndex = 0;
    }
  } reset{*this};
  if (FWriteFailed) throw TWriteFailure();
  WriteLines(FLayout.Footer());
  Flush();
  if (!output) return;
  switch (output->Commit()) {
    case TOutputStatus::Ok: return;
    case TOutputStatus::Exists:
      DebugTrace(Trace(u"CloseReportExport",
                       (std::u16string(FLayout.FileKind) + u" already exists.").c_str()));
      throw TWriteFailure();
    default: throw TWriteFailure();
  }
}

bool TQXTextReportExport::CloseReportExport() {
  return Call(u"CloseReportExport", true, [&] {
    EndReport();
    return true;
  });
}

}  // namespace riffo
