#include "host/QXReportExportPDF.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "host/QXReportExport.h"
#include "platform/DebugTrace.h"
#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/Product.h"
#include "platform/Text.h"

namespace riffo {

namespace {

constexpr const char16_t* PDF_TITLE = u"Brindlecorp - Media Validation Report";
constexpr const char16_t* PDF_BOOKMARK = u"bookmarkname";
constexpr double BASE_FONT_SIZE = 11;
constexpr double BODY_FONT_SIZE = 8;

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

// "hh:nn:ss dd.mm.yyyy"
std::u16string OpeningTimeText(const std::tm& time) {
  return Format16("%02d:%02d:%02d %02d.%02d.%04d", time.tm_hour, time.tm_min, time.tm_sec,
                  time.tm_mday, time.tm_mon + 1, time.tm_year + 1900);
}

std::u16string StreamText(int32_t streamID) {
  return streamID < 0 ? std::u16string() : Utf8ToUtf16(std::to_string(streamID));
}

enum class TReserve { Reserved, Exists, Failed };

// Creates the destination as an empty file, refusing an existing one, so the
// name is ours until the document is written over it on close.
TReserve ReserveDestination(const std::u16string& fileName) {
  const TFileDescriptor fd(
      ::open(ToNativePath(fileName).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd) return errno == EEXIST ? TReserve::Exists : TReserve::Failed;
  return TReserve::Reserved;
}

// True while the destination is missing or still the empty reserved file.
bool ReservationIntact(const std::u16string& fileName) {
  struct stat info {};
  if (::stat(ToNativePath(fileName).c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode) && info.st_size == 0;
}

}  // namespace

TQXReportExportPDF::TQXReportExportPDF() {
  GuardedVoid(u"Error in TQXReportExportPDF.Create call...", [&] { FClock = LocalNow; });
}

TQXReportExportPDF::~TQXReportExportPDF() {
  GuardedVoid(u"Error in TQXReportExportPDF.Destroy call...", [&] {
    if (Opened()) CloseReportExport();
  });
}

std::unique_ptr<pdf::TPdfDocument> TQXReportExportPDF::NewDocument(
    const std::u16string& fileName) const {
  using namespace pdf;
  auto doc = std::make_unique<TPdfDocument>();
  doc->SetTitle(PDF_TITLE);
  doc->BeginDoc();
  doc->SetFont(u"Georgia", BASE_FONT_SIZE, fsRegular);
  doc->SaveLayout();
  // Every page: the maker's web address at the top right, the page number
  // under a separator line at the bottom right.
  doc->SetFontStyle(fsItalic | fsUnderline);
  doc->SetAlignment(TTextAlign::Right);
  doc->HeaderText(MAKER_WEB, TTextAlign::Right, doc->RightMargin());
  doc->FooterLine();
  doc->FooterPageNumber(u"Page %d/%d", TTextAlign::Right, doc->RightMargin());
  doc->RestoreLayout();
  // The title at the top left over a separator line; the time the report was
  // opened at the bottom left.
  doc->HeaderText(PDF_TITLE, TTextAlign::Left);
  doc->FooterText(OpeningTimeText(FClock ? FClock() : LocalNow()), TTextAlign::Left);
  doc->HeaderLine();

  doc->SetFontSize(BODY_FONT_SIZE);
  doc->HalfBlankLine();
  doc->SetAlignment(TTextAlign::Justify);
  doc->WriteText(u"File : " + fileName);
  doc->NewLine();
  doc->AddBookmark(PDF_BOOKMARK);

  doc->SetAlignment(TTextAlign::Left);
  for (double percent : {3.0, 17.0, 7.0, 7.0, 50.0})
    doc->AddColumn(percent, TTextAlign::Left, true);
  doc->ColumnHeaders({u"#", u"Module", u"Stream", u"Type", u"Message"});
  return doc;
}

bool TQXReportExportPDF::OpenReportExport(const std::u16string& fileName,
                                          const std::u16string& reportFileName) {
  return Guarded(u"Error in TQXReportExportPDF.OpenReportExport call...", false, [&] {
    if (Opened()) {
      DebugTrace(u"dgn: Error in TQXReportExportPDF.OpenReportExport - report already opened.");
      return false;
    }
    const TReserve reserve =
        FileExists(reportFileName) ? TReserve::Exists : ReserveDestination(reportFileName);
    if (reserve == TReserve::Exists) {
      DebugTrace(u"dgn: Error in TQXReportExportPDF.OpenReportExport - PDF file already exists.");
      return false;
    }
    if (reserve == TReserve::Failed) throw std::runtime_error("cannot create the destination");

    try {
      FDestinationFile = NewDocument(fileName);
    } catch (...) {
      // No report came of it: give the reserved name back.
      RemoveFile(reportFileName);
      throw;
    }
    FDestinationFileName = reportFileName;
    FDestination = nullptr;
    FReportIndex = 0;
    return true;
  });
}

bool TQXReportExportPDF::OpenReportExport(const std::u16string& fileName, TStream& destination) {
  return Guarded(u"Error in TQXReportExportPDF.OpenReportExport call...", false, [&] {
    if (Opened()) {
      DebugTrace(u"dgn: Error in TQXReportExportPDF.OpenReportExport - report already opened.");
      return false;
    }
    FDestinationFile = NewDocument(fileName);
    FDestinationFileName.clear();
    FDestination = &destination;
    FReportIndex = 0;
    return true;
  });
}

bool TQXReportExportPDF::AddReport(int32_t module, int32_t reportType,
                                   const std::u16string& reportMessage, int32_t streamID) {
  return Guarded(u"Error in TQXReportExportPDF.AddReport call...", false, [&] {
    if (!Opened() || !FDestinationFile) {
      DebugTrace(u"dgn: Error in TQXReportExportPDF.AddReport - report not opened.");
      return false;
    }
    FDestinationFile->Row({Utf8ToUtf16(std::to_string(FReportIndex + 1)), ModuleDisplayName(module),
                           StreamText(streamID), ReportTypeName(reportType), reportMessage});
    ++FReportIndex;
    return true;
  });
}

bool TQXReportExportPDF::CloseReportExport() {
  return Guarded(u"Error in TQXReportExportPDF.CloseReportExport call...", false, [&] {
    if (!Opened() || !FDestinationFile) {
      DebugTrace(u"Error in TQXReportExportPDF.CloseReportExport - report not opened.");
      return false;
    }
    FDestinationFile->EndDoc();
    if (FDestination != nullptr) {
      // A stream takes one attempt: the report is closed whatever comes of it.
      const std::unique_ptr<pdf::TPdfDocument> doc = std::move(FDestinationFile);
      TStream& out = *std::exchange(FDestination, nullptr);
      FReportIndex = 0;
      const std::string pdf = doc->Render();
      if (pdf.empty()) throw std::runtime_error(doc->LastError());
      if (out.Write(pdf.data(), static_cast<int64_t>(pdf.size())) !=
          static_cast<int64_t>(pdf.size()))
        throw std::runtime_error("the report could not be written");
      return true;
    }
    // The destination is the empty file reserved on open; it is replaced by
    // the finished document in one step, unless someone else has written
    // into it meanwhile.
    if (!ReservationIntact(FDestinationFileName))
      throw std::runtime_error("the destination was written by someone else");
    if (!FDestinationFile->SaveToFile(FDestinationFileName, pdf::TSaveMode::Replace))
      throw std::runtime_error(FDestinationFile->LastError());
    FDestinationFile.reset();
    FDestinationFileName.clear();
    FReportIndex = 0;
    return true;
  });
}

}  // namespace riffo
