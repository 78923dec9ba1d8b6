// The PDF report exporter lives in a library of its own beside the programs
// (riffoscope-pdfreport.so), loaded on the first PDF save: a program that
// never writes a PDF never maps the PDF page engine and its text layout and
// drawing libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "host/CustomReport.h"
#include "platform/Stream.h"

namespace riffo {

inline constexpr char16_t PDF_REPORT_LIBRARY[] = u"riffoscope-pdfreport.so";
inline constexpr char PDF_REPORT_ENTRY[] = "riffo_write_pdf_report";

// The library's entry: writes the lines as a PDF report into destination
// when it is given, else into reportFileName (which must not exist); S_OK or
// E_FAIL.
using TWritePdfReport = int32_t (*)(const char16_t* fileName, const TCustomReport* lines,
                                    size_t count, const char16_t* reportFileName,
                                    TStream* destination);

// Loads the library on first use (searched in the module folders, the
// program's own first) and keeps it for the life of the process;
// nullptr, with a trace line, when it cannot be found.
TWritePdfReport PdfReportWriter();

}  // namespace riffo
