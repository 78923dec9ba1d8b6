#include "host/MediaValidationSession.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "host/QXReportExport.h"
#include "platform/DebugTrace.h"
#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/Text.h"

// The PDF exporter is a library of its own, loaded on the first PDF save.
#include "host/PdfReportLibrary.h"

namespace riffo {

// ---------------------------------------------------------------- sink ----

HRESULT QVX_CALL TReportSink::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_INVALIDARG;
  if (iid == IID_IUnknown || iid == IID_IQuorvexReport) {
    *object = static_cast<IQuorvexReport*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

uint32_t QVX_CALL TReportSink::AddRef() { return ++FReferences; }

uint32_t QVX_CALL TReportSink::Release() { return --FReferences; }

HRESULT QVX_CALL TReportSink::Report(int32_t module, int32_t reportType,
                                     const char16_t* reportMessage, int32_t streamID) {
  return Guarded(u"Error in TMediaValidationForm.Report call...", E_FAIL, [&] {
    // The text is borrowed for this call only: copy it before taking the lock.
    TCustomReport line;
    line.Module = module;
    line.ReportType = reportType;
    line.ReportMessage =
        reportMessage != nullptr ? std::u16string(reportMessage) : std::u16string();
    line.StreamID = streamID;
    std::lock_guard<std::mutex> hold(FReportsCriticalSection);
    FReports.push_back(std::move(line));
    return S_OK;
  });
}

bool TReportSink::ClearReports() {
  return Guarded(u"Error in TMediaValidationForm.ClearReports call...", false, [&] {
    std::vector<TCustomReport> old;
    {
      std::lock_guard<std::mutex> hold(FReportsCriticalSection);
      old.swap(FReports);
    }
    return true;  // the old lines are freed outside the lock
  });
}

size_t TReportSink::Count() const {
  std::lock_guard<std::mutex> hold(FReportsCriticalSection);
  return FReports.size();
}

bool TReportSink::At(size_t index, TCustomReport* line) const {
  std::lock_guard<std::mutex> hold(FReportsCriticalSection);
  if (index >= FReports.size()) return false;
  *line = FReports[index];
  return true;
}

std::vector<TCustomReport> TReportSink::Snapshot() const {
  std::lock_guard<std::mutex> hold(FReportsCriticalSection);
  return FReports;
}

// ------------------------------------------------------------- helpers ----

namespace {

// Position of the extension's dot in a path, npos when the last component has none.
size_t ExtensionDot(const std::u16string& fileName) {
  const size_t dot = fileName.rfind(u'.');
  const size_t slash = fileName.find_last_of(u"/\\");
  if (dot == std::u16string::npos) return dot;
  if (slash != std::u16string::npos && dot < slash) return std::u16string::npos;
  return dot;
}

// Clears a flag on every way out of a scope.
struct TFlagScope {
  explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;
  bool& FFlag;
};

// destination is the report file's name or a stream.
template <typename TExporter, typename TDestination>
HRESULT WriteReport(const char16_t* traceLine, const std::u16string& fileName,
                    const std::vector<TCustomReport>& lines, TDestination& destination) {
  return Guarded(traceLine, E_FAIL, [&] {
    TExporter exporter;
    if (!exporter.OpenReportExport(fileName, destination)) return E_FAIL;
    bool written = true;
    for (const auto& line : lines) {
      if (!exporter.AddReport(line.Module, line.ReportType, line.ReportMessage, line.StreamID)) {
        written = false;
        break;
      }
    }
    // Closed here rather than by the destructor, so that a footer that
    // cannot be written is reported as a failed save.
    if (!exporter.CloseReportExport()) written = false;
    return written ? S_OK : E_FAIL;
  });
}

}  // namespace

TReportFormat ReportFormatForFileName(const std::u16string& fileName) {
  const size_t dot = ExtensionDot(fileName);
  const std::u16string extension =
      dot == std::u16string::npos ? std::u16string() : LowerAscii(fileName.substr(dot));
  if (extension == u".csv") return TReportFormat::CSV;
  if (extension == u".xml") return TReportFormat::XML;
  if (extension == u".pdf") return TReportFormat::PDF;
  if (extension == u".html" || extension == u".htm") return TReportFormat::HTML;
  return TReportFormat::TXT;
}

// ------------------------------------------------------------- session ----

TMediaValidationSession::TMediaValidationSession(std::u16string modulesFolder,
                                                 std::u16string fileName, uint32_t modulesFlags,
                                                 uint32_t lastUsedModulesMask)
    : FValidationModulesFolder(std::move(modulesFolder)), FModulesFlags(modulesFlags),
      FFileName(std::move(fileName)), FLastUsedModulesMask(lastUsedModulesMask) {}

TMediaValidationSession::~TMediaValidationSession() {
  GuardedVoid(u"Error in TMediaValidationForm.FormClose call...", [&] {
    ClearReports();
    UnloadValidationModules();
  });
}

bool TMediaValidationSession::LoadValidationModules() {
  return Guarded(u"Error in TMediaValidationForm.LoadValidationModules call...", false, [&] {
    // Every kind is a single bit; the table lists them in ascending order.
    for (int n = 0; n <= 30; ++n) LoadValidationModule(FModulesFlags & (1u << n));
    return true;
  });
}

bool TMediaValidationSession::LoadValidationModule(uint32_t validationModuleFlag) {
  return Guarded(u"Error in TMediaValidationForm.LoadValidationModule call...", false, [&] {
    if (validationModuleFlag == 0) return false;
    const std::u16string moduleFile = ModuleFileName(static_cast<int32_t>(validationModuleFlag));
    // Kinds outside the table have no file to look for.
    if (moduleFile.empty() || moduleFile == u"Unknown") return false;
    const std::u16string path =
        FindValidationModuleFile(ValidationModuleFolders(FValidationModulesFolder), moduleFile);
    if (path.empty()) return false;  // no folder has it: nothing to load, nothing to trace

    auto module = Guarded(
        u"Error in TMediaValidationForm.LoadValidationModule - cannot create validation module - "
        u"out of memory.",
        std::unique_ptr<TValidationModule>(),
        [&] { return std::make_unique<TValidationModule>(&FReportSink); });
    if (!module) return false;
    if (!module->LoadValidationModule(path)) return false;  // the module object goes here

    const int32_t id = ModuleIDFromName(module->ValidationModuleName());
    const bool ticked = id != 0 && (FLastUsedModulesMask & static_cast<uint32_t>(id)) != 0;
    FValidationModulesList.push_back(TModuleEntry{path, std::move(module), ticked});
    return true;
  });
}

bool TMediaValidationSession::UnloadValidationModules() {
  return Guarded(u"Error in TMediaValidationForm.UnloadValidationModules call...", false, [&] {
    if (FRunning) {
      // The run still calls into these modules.
      DebugTrace(
          u"Error in TMediaValidationForm.UnloadValidationModules - validation in progress.");
      return false;
    }
    FLastUsedModulesMask = 0;
    for (auto& entry : FValidationModulesList) {
      if (entry.Ticked)
        FLastUsedModulesMask |=
            static_cast<uint32_t>(ModuleIDFromName(entry.Module->ValidationModuleName()));
      entry.Module.reset();
    }
    FValidationModulesList.clear();
    return true;
  });
}

bool TMediaValidationSession::ModuleTicked(size_t index) const {
  return index < FValidationModulesList.size() && FValidationModulesList[index].Ticked;
}

void TMediaValidationSession::SetModuleTicked(size_t index, bool ticked) {
  if (index < FValidationModulesList.size()) FValidationModulesList[index].Ticked = ticked;
}

std::u16string TMediaValidationSession::ModuleNamesText() const {
  std::u16string names;
  for (const auto& entry : FValidationModulesList) {
    if (!names.empty()) names += u", ";
    names += entry.Module->ValidationModuleName();
  }
  return names;
}

std::u16string TMediaValidationSession::Caption() const {
  return u"Media Validation - " + FFileName + u" [" + ModuleNamesText() + u"]";
}

bool TMediaValidationSession::ConfigureModule(size_t index) {
  return Guarded(u"Error in TMediaValidationForm.btnSettingsClick call...", false, [&] {
    if (FRunning || index >= FValidationModulesList.size()) return false;
    IQuorvexControl* control = FValidationModulesList[index].Module->QuorvexControl();
    if (control == nullptr) return false;
    control->Configure(0);  // the module's dialog decides; its result is not ours to judge
    return true;
  });
}

bool TMediaValidationSession::VisualizeReports(TValidationRunView& view) {
  return Guarded(u"Error in TMediaValidationForm.VisualizeReports call...", false, [&] {
    const size_t count = FReportSink.Count();
    TCustomReport line;
    // Lines are only ever appended, so shown row k is always line k.
    while (FShownCount < count && FReportSink.At(FShownCount, &line)) {
      switch (line.ReportType) {
        case REPORT_TYPE_INFO: ++FInfosCount; break;
        case REPORT_TYPE_WARNING: ++FWarningsCount; break;
        case REPORT_TYPE_ERROR: ++FErrorsCount; break;
        default: break;
      }
      view.ShowReport(FShownCount, line);
      ++FShownCount;
    }
    return true;
  });
}

void TMediaValidationSession::ShowCounters(TValidationRunView& view) const {
  view.ShowCounters(FInfosCount, FWarningsCount, FErrorsCount);
}

TRunResult TMediaValidationSession::RunValidation(TValidationRunView& view) {
  if (FRunning) return TRunResult::Busy;
  return Guarded(u"Error in TMediaValidationForm.btnValidationClick call...", TRunResult::Failed,
                 [&] {
                   if (!FileExists(FFileName)) return TRunResult::NoFile;
                   FStopping.store(false);
                   ClearReports();
                   bool anyTicked = false;
                   for (const auto& entry : FValidationModulesList)
                     anyTicked = anyTicked || entry.Ticked;
                   if (!anyTicked) return TRunResult::NoModules;

                   TFlagScope running(FRunning);
                   FShownCount = 0;
                   FInfosCount = FWarningsCount = FErrorsCount = 0;
                   view.RunStarted();
                   ShowCounters(view);

                   // Ticks are read at each module's turn: a line unticked during the run
                   // drops a module that has not started yet.
                   for (size_t i = 0; i < FValidationModulesList.size(); ++i) {
                     TModuleEntry& entry = FValidationModulesList[i];
                     if (!entry.Ticked) continue;
                     if (ModuleIDFromName(entry.Module->ValidationModuleName()) == 0)
                       continue;  // not a known kind
                     RunModule(*entry.Module, view);
                     if (FStopping.load()) break;
                   }

                   const bool stopped = FStopping.load();
                   VisualizeReports(view);
                   ShowCounters(view);
                   view.RunFinished(stopped);
                   return stopped ? TRunResult::Stopped : TRunResult::Completed;
                 });
}

void TMediaValidationSession::RunModule(TValidationModule& module, TValidationRunView& view) {
  TQxRef<IQuorvexControl> control = TQxRef<IQuorvexControl>::Share(module.QuorvexControl());
  if (!control) return;
  if (IQuorvexReset* reset = module.QuorvexReset()) reset->Reset();

  if (Failed(control->LoadFile(FFileName.c_str()))) return;
  if (Failed(control->Play())) {
    DebugTrace(
        u"Error in TMediaValidationForm.btnStartValidationClick - cannot start file validation.");
    return;
  }

  // Most files are done long before one poll interval has passed, so the
  // progress pauses start at 25 microseconds and grow by half up to the
  // view's interval: a short file is not held back by whole intervals. The
  // view still processes its events once per interval, as before.
  using TClock = std::chrono::steady_clock;
  const std::chrono::microseconds interval(int64_t{view.PollIntervalMs()} * 1000);
  std::chrono::microseconds pause = std::min(std::chrono::microseconds(25), interval);
  TClock::time_point lastEvents = TClock::now();
  double progress = 0.0;
  for (;;) {
    // A module that cannot say how far it is (a failed call, NaN, a negative
    // or infinite value) would be polled for ever: its run ends here, and the
    // report says so, since its findings may be incomplete.
    double polled = progress;
    if (control->GetProgress(&polled) != S_OK || !std::isfinite(polled) || polled < 0.0) {
      DebugTrace(
          u"Error in TMediaValidationForm.btnStartValidationClick - module gave no valid "
          u"progress.");
      FReportSink.Report(MODULE_ID_HOST, REPORT_TYPE_ERROR,
                         (u"Validation module " + module.ValidationModuleName() +
                          u" failed: it gave no valid progress.")
                             .c_str(),
                         -1);
      VisualizeReports(view);
      break;
    }
    progress = polled;
    FLastProgress = progress;
    view.ShowProgress(progress);
    VisualizeReports(view);
    ShowCounters(view);
    // Within 0.01 of 100 is done; a value beyond 100 cannot mean more work
    // to come, so it ends the polling too rather than spinning for ever.
    if (progress >= 100.0 - 0.01) {
      VisualizeReports(view);
      ShowCounters(view);
      break;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 3 / 2, interval);
    if (const TClock::time_point now = TClock::now(); now - lastEvents >= interval) {
      view.ProcessEvents();
      lastEvents = now;
    }
    if (FStopping.load()) break;
  }

  if (Failed(control->Stop()))
    DebugTrace(
        u"Error in TMediaValidationForm.btnStartValidationClick - cannot stop file validation.");
  if (Failed(control->UnloadFile()))
    DebugTrace(u"Error in TMediaValidationForm.btnStartValidationClick - cannot unload file.");
  control.Clear();
  ShowCounters(view);
}

// -------------------------------------------------------------- saving ----

std::u16string TMediaValidationSession::DefaultReportFileName() const {
  const size_t dot = ExtensionDot(FFileName);
  return (dot == std::u16string::npos ? FFileName : FFileName.substr(0, dot)) + u".html";
}

TSaveResult TMediaValidationSession::SaveReportFile(const std::u16string& reportFileName,
                                                    const std::function<bool()>& confirmOverwrite) {
  return Guarded(
      u"Error in TMediaValidationForm.btnSaveReportClick call...", TSaveResult::Failed, [&] {
        if (FReportSink.Count() == 0) return TSaveResult::EmptyReport;
        if (FileExists(reportFileName)) {
          if (!confirmOverwrite || !confirmOverwrite()) return TSaveResult::NotConfirmed;
          if (!RemoveFile(reportFileName)) return TSaveResult::CannotDelete;
        }
        return Succeeded(SaveReport(ReportFormatForFileName(reportFileName), reportFileName))
                   ? TSaveResult::Saved
                   : TSaveResult::Failed;
      });
}

HRESULT TMediaValidationSession::SaveReport(TReportFormat format,
                                            const std::u16string& reportFileName) {
  switch (format) {
    case TReportFormat::HTML: return SaveReportHTML(reportFileName);
    case TReportFormat::PDF: return SaveReportPDF(reportFileName);
    case TReportFormat::XML: return SaveReportXML(reportFileName);
    case TReportFormat::CSV: return SaveReportCSV(reportFileName);
    case TReportFormat::TXT: return SaveReportTXT(reportFileName);
  }
  return E_FAIL;
}

HRESULT TMediaValidationSession::SaveReport(TReportFormat format, TStream& destination) {
  const std::vector<TCustomReport> lines = Reports();
  switch (format) {
    case TReportFormat::HTML:
      return WriteReport<TQXReportExportHTML>(
          u"Error in TMediaValidationForm.SaveReportHTML call...", FFileName, lines, destination);
    case TReportFormat::PDF:
      return Guarded(u"Error in TMediaValidationForm.SaveReportPDF call...", E_FAIL, [&] {
        const TWritePdfReport writer = PdfReportWriter();
        if (writer == nullptr) return E_FAIL;
        return static_cast<HRESULT>(
            writer(FFileName.c_str(), lines.data(), lines.size(), nullptr, &destination));
      });
    case TReportFormat::XML:
      return WriteReport<TQXReportExportXML>(u"Error in TMediaValidationForm.SaveReportXML call...",
                                             FFileName, lines, destination);
    case TReportFormat::CSV:
      return WriteReport<TQXReportExportCSV>(u"Error in TMediaValidationForm.SaveReportCSV call...",
                                             FFileName, lines, destination);
    case TReportFormat::TXT:
      return WriteReport<TQXReportExportTXT>(u"Error in TMediaValidationForm.SaveReportTXT call...",
                                             FFileName, lines, destination);
  }
  return E_FAIL;
}

HRESULT TMediaValidationSession::SaveReportHTML(const std::u16string& reportFileName) {
  return WriteReport<TQXReportExportHTML>(u"Error in TMediaValidationForm.SaveReportHTML call...",
                                          FFileName, Reports(), reportFileName);
}

HRESULT TMediaValidationSession::SaveReportPDF(const std::u16string& reportFileName) {
  return Guarded(u"Error in TMediaValidationForm.SaveReportPDF call...", E_FAIL, [&] {
    const TWritePdfReport writer = PdfReportWriter();
    if (writer == nullptr) return E_FAIL;
    const std::vector<TCustomReport> lines = Reports();
    return static_cast<HRESULT>(
        writer(FFileName.c_str(), lines.data(), lines.size(), reportFileName.c_str(), nullptr));
  });
}

HRESULT TMediaValidationSession::SaveReportXML(const std::u16string& reportFileName) {
  return WriteReport<TQXReportExportXML>(u"Error in TMediaValidationForm.SaveReportXML call...",
                                         FFileName, Reports(), reportFileName);
}

HRESULT TMediaValidationSession::SaveReportCSV(const std::u16string& reportFileName) {
  return WriteReport<TQXReportExportCSV>(u"Error in TMediaValidationForm.SaveReportCSV call...",
                                         FFileName, Reports(), reportFileName);
}

HRESULT TMediaValidationSession::SaveReportTXT(const std::u16string& reportFileName) {
  return WriteReport<TQXReportExportTXT>(u"Error in TMediaValidationForm.SaveReportTXT call...",
                                         FFileName, Reports(), reportFileName);
}

}  // namespace riffo
