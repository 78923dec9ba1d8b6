// The text report exporters: XML, CSV, plain text and HTML. Each is used for
// one save: open the destination, add every report line in arrival order,
// close (or destroy, which closes). A destination that already exists is
// never overwritten. Files are UTF-8 without a byte-order mark, every line
// ended by CR LF.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace riffo {

// What distinguishes one text format from another: the texts of the header,
// of one report line and of the footer.
struct TQXTextReportLayout {
  const char16_t* ClassName;  // for the trace lines, e.g. u"TQXReportExportXML"
  const char16_t* FileKind;   // e.g. u"XML file"
  std::vector<std::u16string> (*Header)(const std::u16string& fileName);
  // index is the 0-based number of the line within the report.
  std::vector<std::u16string> (*Line)(int32_t index, int32_t module, int32_t reportType,
                                      const std::u16string& reportMessage, int32_t streamID);
  std::vector<std::u16string> (*Footer)();
};

class TQXTextReportExport {
public:
  // Closes a report that is still open, footer included.
  virtual ~TQXTextReportExport();
  TQXTextReportExport(const TQXTextReportExport&) = delete;
  TQXTextReportExport& operator=(const TQXTextReportExport&) = delete;

  // fileName is the validated media file (shown in the header), reportFileName
  // the destination. Fails when a report is open or the destination exists.
  bool OpenReportExport(const std::u16string& fileName, const std::u16string& reportFileName);
  bool AddReport(int32_t module, int32_t reportType, const std::u16string& reportMessage,
                 int32_t streamID);
  bool CloseReportExport();

  bool Opened() const { return !FDestinationFileName.empty(); }
  int32_t ReportIndex() const { return FReportIndex; }

protected:
  explicit TQXTextReportExport(const TQXTextReportLayout& layout);

private:
  struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  void WriteLines(const std::vector<std::u16string>& lines);
  std::u16string Trace(const char16_t* operation, const char16_t* what) const;

  const TQXTextReportLayout& FLayout;
  std::unique_ptr<std::FILE, TFileCloser> FDestinationFile;
  std::u16string FDestinationFileName;  // empty exactly while no report is open
  int32_t FReportIndex = 0;
};

class TQXReportExportXML final : public TQXTextReportExport {
public:
  TQXReportExportXML();
};

class TQXReportExportCSV final : public TQXTextReportExport {
public:
  TQXReportExportCSV();
};

class TQXReportExportTXT final : public TQXTextReportExport {
public:
  TQXReportExportTXT();
};

class TQXReportExportHTML final : public TQXTextReportExport {
public:
  TQXReportExportHTML();
};

// The stream column's text: empty for a negative id, else the decimal number.
std::u16string StreamIDText(int32_t streamID);

}  // namespace riffo
