// The text report exporters: XML, CSV, plain text and HTML. Each is used for
// one save: open the destination, add every report line in arrival order,
// close (or destroy, which closes). The destination is a stream, or a file
// written through TOutputFile: a file that already exists is never
// overwritten and a report appears under its name only once it is complete.
// Reports are UTF-8 without a byte-order mark, every line ended by CR LF.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/OutputFile.h"
#include "platform/Stream.h"

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
  // The same into a stream, which must outlive the open report; the closing
  // writes its last bytes.
  bool OpenReportExport(const std::u16string& fileName, TStream& destination);
  bool AddReport(int32_t module, int32_t reportType, const std::u16string& reportMessage,
                 int32_t streamID);
  bool CloseReportExport();

  bool Opened() const { return FDestination != nullptr; }
  int32_t ReportIndex() const { return FReportIndex; }

protected:
  explicit TQXTextReportExport(const TQXTextReportLayout& layout);

private:
  bool Open(const std::u16string& fileName, TStream& destination);
  void WriteLines(const std::vector<std::u16string>& lines);
  void Flush();
  void EndReport();
  std::u16string Trace(const char16_t* operation, const char16_t* what) const;
  // One public call under the failure convention: refused, with a trace,
  // unless a report is open exactly when open says it must be.
  template <typename Body>
  bool Call(const char16_t* operation, bool open, Body body);

  const TQXTextReportLayout& FLayout;
  std::unique_ptr<TOutputFile> FOutput;  // a named destination until it is committed
  TStream* FDestination = nullptr;       // null exactly while no report is open
  std::string FPending;                  // bytes not yet handed to the destination
  bool FWriteFailed = false;             // a write failed: the report is not committed
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
