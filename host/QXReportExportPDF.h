// The PDF report exporter. Like the text exporters it is used for one save:
// open, add every report line in arrival order, close (or destroy, which
// closes). The document is laid out by the PDF page engine and written when
// the report is closed, into a stream or a file. A destination file that
// already exists is never overwritten.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "pdfengine/PdfDocument.h"
#include "platform/Stream.h"

namespace riffo {

class TQXReportExportPDF {
public:
  TQXReportExportPDF();
  // Closes a report that is still open, which writes the file.
  ~TQXReportExportPDF();
  TQXReportExportPDF(const TQXReportExportPDF&) = delete;
  TQXReportExportPDF& operator=(const TQXReportExportPDF&) = delete;

  // fileName is the validated media file (shown in the report), reportFileName
  // the destination. Fails when a report is open or the destination exists;
  // otherwise reserves the destination (an empty file) and sets up the
  // document.
  bool OpenReportExport(const std::u16string& fileName, const std::u16string& reportFileName);
  // The same into a stream, which must outlive the open report; the document
  // is written into it on close.
  bool OpenReportExport(const std::u16string& fileName, TStream& destination);
  // One row: number, module, stream, type, message.
  bool AddReport(int32_t module, int32_t reportType, const std::u16string& reportMessage,
                 int32_t streamID);
  // Lays out the document and writes it to the destination.
  bool CloseReportExport();

  bool Opened() const { return FDestinationFile != nullptr; }
  int32_t ReportIndex() const { return FReportIndex; }

  // The local time shown in the page footer; tests set a fixed one.
  using TClock = std::function<std::tm()>;
  void SetClock(TClock clock) { FClock = std::move(clock); }

private:
  std::unique_ptr<pdf::TPdfDocument> NewDocument(const std::u16string& fileName) const;

  std::unique_ptr<pdf::TPdfDocument> FDestinationFile;  // null exactly while no report is open
  std::u16string FDestinationFileName;                  // the reserved file, or empty for a stream
  TStream* FDestination = nullptr;                      // the stream, or null for a file
  int32_t FReportIndex = 0;
  TClock FClock;
};

}  // namespace riffo
