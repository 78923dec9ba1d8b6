#include "host/PdfReportLibrary.h"

#include <mutex>

#include "platform/DebugTrace.h"
#include "platform/DynLib.h"
#include "platform/Files.h"

namespace riffo {

TWritePdfReport PdfReportWriter() {
  static std::mutex lock;
  static TDynLib library;
  static TWritePdfReport writer = nullptr;
  std::lock_guard<std::mutex> hold(lock);
  if (writer != nullptr) return writer;
  const std::u16string folder = ProgramFolder();
  for (const std::u16string& candidate :
       {folder + PDF_REPORT_LIBRARY, folder + u"../lib/riffoscope/" + PDF_REPORT_LIBRARY}) {
    if (!library.Load(candidate)) continue;
    writer = reinterpret_cast<TWritePdfReport>(library.Symbol(PDF_REPORT_ENTRY));
    if (writer != nullptr) return writer;
    library.Free();
  }
  DebugTrace(u"Error in TMediaValidationForm.SaveReportPDF - the PDF report library cannot be loaded.");
  return nullptr;
}

}  // namespace riffo
