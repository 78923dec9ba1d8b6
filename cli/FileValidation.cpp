#include "cli/FileValidation.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/CliCommand.h"
#include "cli/Interrupt.h"
#include "host/QXReportExportJSON.h"
#include "platform/Files.h"
#include "platform/OutputFile.h"
#include "platform/Product.h"
#include "platform/Text.h"

namespace riffo::cli {

namespace {

constexpr const char* VERDICT_NAMES[] = {"PASS", "WARN", "FAIL", "UNREADABLE", "ERROR", "STOPPED"};

struct TFileStamp {
  bool Ok = false;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;
  bool operator==(const TFileStamp&) const = default;
};

TFileStamp Stamp(const std::string& path) {
  struct stat info {};
  TFileStamp stamp;
  if (::stat(path.c_str(), &info) != 0) return stamp;
  stamp.Ok = true;
  stamp.Size = info.st_size;
  stamp.ModifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return stamp;
}

}  // namespace

const char* VerdictName(TVerdict verdict) { return VERDICT_NAMES[static_cast<int>(verdict)]; }

bool VerdictFromName(const std::string& name, TVerdict& verdict) {
  for (int i = 0; i < 6; ++i)
    if (name == VERDICT_NAMES[i]) {
      verdict = static_cast<TVerdict>(i);
      return true;
    }
  return false;
}

bool FormatFromName(const std::string& name, TCliFormat& format) {
  const std::pair<const char*, TCliFormat> formats[] = {
      {"txt", TCliFormat::TXT},   {"csv", TCliFormat::CSV}, {"xml", TCliFormat::XML},
      {"html", TCliFormat::HTML}, {"pdf", TCliFormat::PDF}, {"json", TCliFormat::JSON}};
  for (const auto& [text, value] : formats)
    if (name == text) {
      format = value;
      return true;
    }
  return false;
}

const char* FormatExtension(TCliFormat format) {
  switch (format) {
    case TCliFormat::TXT: return "txt";
    case TCliFormat::CSV: return "csv";
    case TCliFormat::XML: return "xml";
    case TCliFormat::HTML: return "html";
    case TCliFormat::PDF: return "pdf";
    case TCliFormat::JSON: return "json";
  }
  return "txt";
}

TCliFormat FormatForFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && name.find('/', dot) == std::string::npos) {
    if (LowerAscii(name.substr(dot)) == ".json") return TCliFormat::JSON;
  }
  switch (ReportFormatForFileName(ArgText(name))) {
    case TReportFormat::CSV: return TCliFormat::CSV;
    case TReportFormat::XML: return TCliFormat::XML;
    case TReportFormat::PDF: return TCliFormat::PDF;
    case TReportFormat::HTML: return TCliFormat::HTML;
    case TReportFormat::TXT: break;
  }
  return TCliFormat::TXT;
}

void TCliRunView::ProcessEvents() {
  if (Interrupted()) FSession.RequestStop();
}

bool RenderReport(TMediaValidationSession& session, TCliFormat format, TStream& out) {
  if (format == TCliFormat::JSON) {
    std::vector<std::u16string> modules;
    for (size_t i = 0; i < session.ModuleCount(); ++i)
      if (session.ModuleTicked(i)) modules.push_back(session.Module(i).ValidationModuleName());
    const std::string text =
        JsonReport(PROGRAM_NAME, ProgramVersion(), session.FileName(), modules, session.Reports());
    return out.Write(text.data(), static_cast<int64_t>(text.size())) ==
           static_cast<int64_t>(text.size());
  }
  TReportFormat reportFormat = TReportFormat::TXT;
  switch (format) {
    case TCliFormat::CSV: reportFormat = TReportFormat::CSV; break;
    case TCliFormat::XML: reportFormat = TReportFormat::XML; break;
    case TCliFormat::HTML: reportFormat = TReportFormat::HTML; break;
    case TCliFormat::PDF: reportFormat = TReportFormat::PDF; break;
    default: break;
  }
  return Succeeded(session.SaveReport(reportFormat, out));
}

bool RenderReport(TMediaValidationSession& session, TCliFormat format, TOutputFile& output) {
  TStream* stream = output.Stream();
  return stream != nullptr && RenderReport(session, format, *stream);
}

TFileResult ValidateOneFile(TMediaValidationSession& session, const std::string& fileName,
                            const std::string& reportPath, TCliFormat format, bool force) {
  TFileResult result;
  if (!CheckInputFile(fileName, result.Reason)) {
    result.Verdict = TVerdict::Unreadable;
    return result;
  }
  const std::string nativeName = ToNativePath(ArgText(fileName));
  const TFileStamp before = Stamp(nativeName);
  result.Bytes = before.Size;

  session.SetFileName(ArgText(fileName));
  TCliRunView view(session);
  const TRunResult run = session.RunValidation(view);
  switch (run) {
    case TRunResult::Completed: break;
    case TRunResult::Stopped: result.Verdict = TVerdict::Stopped; break;
    case TRunResult::NoFile:
      result.Verdict = TVerdict::Unreadable;
      result.Reason = "File not found.";
      return result;
    case TRunResult::NoModules: result.Reason = Utf16ToUtf8(MSG_NO_MODULES_SELECTED); return result;
    case TRunResult::Busy:
    case TRunResult::Failed: result.Reason = "Validation failed."; return result;
  }
  result.Errors = session.ErrorsCount();
  result.Warnings = session.WarningsCount();
  result.Infos = session.InfosCount();
  // A file that changed while it was read was not validated as it is now.
  if (!(Stamp(nativeName) == before)) {
    result.Verdict = TVerdict::Unreadable;
    result.Reason = "The file changed during validation.";
    return result;
  }
  if (result.Verdict != TVerdict::Stopped)
    result.Verdict = result.Errors > 0     ? TVerdict::Fail
                     : result.Warnings > 0 ? TVerdict::Warn
                                           : TVerdict::Pass;
  if (reportPath.empty() || result.Verdict == TVerdict::Stopped) return result;

  // The mirrored folders below --output-dir are made as they are needed.
  const size_t slash = reportPath.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    std::error_code ignored;  // a failure shows as a report that cannot be written
    std::filesystem::create_directories(reportPath.substr(0, slash), ignored);
  }
  TOutputStatus status = TOutputStatus::Ok;
  std::unique_ptr<TOutputFile> output =
      TOutputFile::Begin(reportPath, force ? TOutputMode::Replace : TOutputMode::Exclusive, status);
  if (output) {
    status =
        RenderReport(session, format, *output) ? output->Commit() : TOutputStatus::CannotFinish;
  }
  switch (status) {
    case TOutputStatus::Ok: break;
    case TOutputStatus::Exists:
      result.OutputError = "The file " + reportPath + " already exists. Use --force to replace it.";
      break;
    case TOutputStatus::NotRegular:
      result.OutputError = "Cannot write " + reportPath + " file: not a regular file.";
      break;
    default: result.OutputError = "Cannot write " + reportPath + " file."; break;
  }
  return result;
}

}  // namespace riffo::cli
