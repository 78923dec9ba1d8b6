// The one symbol of the PDF report library: the whole save, from the lines
// the session collected to the finished file. The library carries the PDF
// page engine and with it the text layout and drawing libraries, so a
// program maps those only when it first saves a PDF report.
#include "host/PdfReportLibrary.h"
#include "host/QXReportExportPDF.h"
#include "platform/Guard.h"

extern "C" __attribute__((visibility("default"))) int32_t riffo_write_pdf_report(
    const char16_t* fileName, const riffo::TCustomReport* lines, size_t count,
    const char16_t* reportFileName, riffo::TStream* destination) {
  using namespace riffo;
  return Guarded(u"Error in TMediaValidationForm.SaveReportPDF call...", E_FAIL, [&] {
    TQXReportExportPDF exporter;
    const bool opened = destination != nullptr
                            ? exporter.OpenReportExport(fileName, *destination)
                            : exporter.OpenReportExport(fileName, reportFileName);
    if (!opened) return E_FAIL;
    bool written = true;
    for (size_t i = 0; i < count && written; ++i)
      written = exporter.AddReport(lines[i].Module, lines[i].ReportType, lines[i].ReportMessage,
                                   lines[i].StreamID);
    // Closed here rather than by the destructor, so that a document that
    // cannot be written is reported as a failed save.
    if (!exporter.CloseReportExport()) written = false;
    return written ? S_OK : E_FAIL;
  });
}
