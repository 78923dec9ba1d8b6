#include "host/PdfReportLibrary.h"

#include <mutex>

#include "host/ValidationModule.h"
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
  // Found where the modules are: a build folder, an installed tree and a
  // relocated install all work.
  const std::u16string path =
      FindValidationModuleFile(ValidationModuleFolders(ProgramFolder()), PDF_REPORT_LIBRARY);
  // Kept mapped until the process ends: the text layout and font libraries
  // it brings in keep process-wide caches that do not survive an unload.
  if (!path.empty() && library.Load(path, true)) {
    writer = reinterpret_cast<TWritePdfReport>(library.Symbol(PDF_REPORT_ENTRY));
    if (writer != nullptr) return writer;
    library.Free();
  }
  DebugTrace(
      u"Error in TMediaValidationForm.SaveReportPDF - the PDF report library cannot be loaded.");
  return nullptr;
}

}  // namespace riffo
