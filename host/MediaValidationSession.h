// The validation session without its window: the loaded modules and their
// ticks, the host's report sink, the run over the ticked modules, the
// counters and the saving of the collected lines. The session window and the
// command line both drive one of these; the window only shows what it does.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "host/CustomReport.h"
#include "host/ValidationModule.h"
#include "platform/Stream.h"

namespace riffo {

// The host's IQuorvexReport. Modules call Report from any thread; each line
// is copied and appended under one lock, and nothing else is done while the
// lock is held. Its reference count does not own it: the session does.
class TReportSink final : public IQuorvexReport {
public:
  TReportSink() = default;
  TReportSink(const TReportSink&) = delete;
  TReportSink& operator=(const TReportSink&) = delete;

  HRESULT QVX_CALL QueryInterface(const IID& iid, void** object) override;
  uint32_t QVX_CALL AddRef() override;
  uint32_t QVX_CALL Release() override;
  HRESULT QVX_CALL Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                          int32_t streamID) override;

  bool ClearReports();
  size_t Count() const;
  // A copy of line index (taken under the lock); false when out of range.
  bool At(size_t index, TCustomReport* line) const;
  std::vector<TCustomReport> Snapshot() const;
  // References the modules hold on the sink (for checking that they let go).
  uint32_t References() const { return FReferences.load(); }

private:
  mutable std::mutex FReportsCriticalSection;
  std::vector<TCustomReport> FReports;
  std::atomic<uint32_t> FReferences{0};
};

// The longest pause between two progress polls.
inline constexpr int POLL_INTERVAL_MS = 10;

// What a window (or the command line) sees of a run. Every call comes on the
// thread that runs the session; the defaults do nothing.
class TValidationRunView {
public:
  virtual ~TValidationRunView() = default;
  // A run starts: empty the shown list, show the counters as 0.
  virtual void RunStarted() {}
  // A line that has not been shown before; index counts from 0 since the start.
  virtual void ShowReport(size_t index, const TCustomReport& line) {
    (void)index;
    (void)line;
  }
  virtual void ShowProgress(double progress) { (void)progress; }
  virtual void ShowCounters(int32_t infos, int32_t warnings, int32_t errors) {
    (void)infos;
    (void)warnings;
    (void)errors;
  }
  // Between two polls, after the pause: the window processes its
  // pending events here, which is where a stop request comes in.
  virtual void ProcessEvents() {}
  // The longest pause between two progress polls (the first pauses of a
  // module's run are shorter); a view with no events to process (the command
  // line) may poll more often than the window does.
  virtual int PollIntervalMs() const { return POLL_INTERVAL_MS; }
  // The run is over; stopped tells whether the user stopped it.
  virtual void RunFinished(bool stopped) { (void)stopped; }
};

enum class TRunResult {
  Completed,  // every ticked module was run
  Stopped,    // a stop request ended the run
  NoFile,     // the file no longer exists ("No file loaded.")
  NoModules,  // nothing ticked ("No validation modules selected.")
  Busy,       // a run is already in progress
  Failed      // something threw; traced
};

enum class TReportFormat { HTML, PDF, XML, CSV, TXT };

enum class TSaveResult {
  Saved,
  EmptyReport,   // "Report list is empty."
  NotConfirmed,  // the destination exists and the user said No
  CannotDelete,  // "Cannot delete destination file."
  Failed         // "Error saving report."
};

// The texts the user sees for the outcomes above.
inline constexpr const char16_t* MSG_NO_FILE_LOADED = u"No file loaded.";
inline constexpr const char16_t* MSG_NO_MODULES_SELECTED = u"No validation modules selected.";
inline constexpr const char16_t* MSG_REPORT_LIST_EMPTY = u"Report list is empty.";
inline constexpr const char16_t* MSG_CONFIRM_OVERWRITE =
    u"Report not saved. Do you want to save it?";
inline constexpr const char16_t* MSG_CANNOT_DELETE = u"Cannot delete destination file.";
inline constexpr const char16_t* MSG_ERROR_SAVING = u"Error saving report.";

// The report format a destination name asks for: .csv, .xml, .pdf, .html or
// .htm (in any letter case); anything else, or no extension, is plain text.
TReportFormat ReportFormatForFileName(const std::u16string& fileName);

// Module kinds are single bits 0..30; this mask tries (or ticks) every one.
inline constexpr uint32_t ALL_MODULE_KINDS = 0x7FFFFFFFu;

class TMediaValidationSession {
public:
  // modulesFolder ends in the path separator; modulesFlags says which module
  // kinds to try; lastUsedModulesMask the kinds ticked last time.
  TMediaValidationSession(std::u16string modulesFolder, std::u16string fileName,
                          uint32_t modulesFlags, uint32_t lastUsedModulesMask);
  // Unloads the modules that are still loaded.
  ~TMediaValidationSession();
  TMediaValidationSession(const TMediaValidationSession&) = delete;
  TMediaValidationSession& operator=(const TMediaValidationSession&) = delete;

  // ---- modules ----
  // Tries every known module kind in the table's order; true unless
  // something threw (a module that does not load is simply not listed).
  bool LoadValidationModules();
  // Loads the module file of one kind; false for 0 or when it does not bind.
  bool LoadValidationModule(uint32_t validationModuleFlag);
  // Records the ticked kinds into the last-used mask and unloads every module.
  bool UnloadValidationModules();

  size_t ModuleCount() const { return FValidationModulesList.size(); }
  const TValidationModule& Module(size_t index) const {
    return *FValidationModulesList[index].Module;
  }
  const std::u16string& ModulePath(size_t index) const {
    return FValidationModulesList[index].Path;
  }
  // A newly listed module is ticked when its kind is in the last-used mask.
  bool ModuleTicked(size_t index) const;
  void SetModuleTicked(size_t index, bool ticked);
  // The loaded modules' names joined by ", ".
  std::u16string ModuleNamesText() const;
  // "Media Validation - " + file + " [" + names + "]".
  std::u16string Caption() const;
  uint32_t LastUsedModulesMask() const { return FLastUsedModulesMask; }
  // Shows the settings dialog of the module at index (window handle 0); only
  // outside a run. False when there is no such module or a run is on.
  bool ConfigureModule(size_t index);

  // ---- report lines ----
  TReportSink& ReportSink() { return FReportSink; }
  bool ClearReports() { return FReportSink.ClearReports(); }
  size_t ReportCount() const { return FReportSink.Count(); }
  std::vector<TCustomReport> Reports() const { return FReportSink.Snapshot(); }
  // Hands the lines not yet shown to the view and counts them.
  bool VisualizeReports(TValidationRunView& view);
  int32_t InfosCount() const { return FInfosCount; }
  int32_t WarningsCount() const { return FWarningsCount; }
  int32_t ErrorsCount() const { return FErrorsCount; }

  // ---- a run ----
  // For each ticked module in list order whose name is a known kind: Reset,
  // LoadFile, Play, poll the progress until it reaches 100 or a stop is
  // requested, Stop, UnloadFile. A module whose GetProgress fails or gives
  // NaN, an infinite or a negative value is not polled further: a trace line
  // and a host error line say it failed, and the run goes on with the next.
  TRunResult RunValidation(TValidationRunView& view);
  // May be called from the view's hooks or from another thread.
  void RequestStop() { FStopping.store(true); }
  bool Stopping() const { return FStopping.load(); }
  bool Running() const { return FRunning; }
  double LastProgress() const { return FLastProgress; }

  // ---- saving ----
  // The file name with its extension replaced by ".html" (the save dialog's preset).
  std::u16string DefaultReportFileName() const;
  // The save command after the dialog: refuses an empty report, asks before
  // replacing an existing file (confirmOverwrite returns true for Yes),
  // deletes it, and writes the format the name's extension asks for.
  TSaveResult SaveReportFile(const std::u16string& reportFileName,
                             const std::function<bool()>& confirmOverwrite);
  HRESULT SaveReport(TReportFormat format, const std::u16string& reportFileName);
  // The report in format into a stream (standard output, or a file the
  // caller writes through TOutputFile).
  HRESULT SaveReport(TReportFormat format, TStream& destination);
  HRESULT SaveReportHTML(const std::u16string& reportFileName);
  HRESULT SaveReportPDF(const std::u16string& reportFileName);
  HRESULT SaveReportXML(const std::u16string& reportFileName);
  HRESULT SaveReportCSV(const std::u16string& reportFileName);
  HRESULT SaveReportTXT(const std::u16string& reportFileName);

  const std::u16string& FileName() const { return FFileName; }
  // Points the session at another file, keeping the loaded modules (the
  // command line validates many files with one set); not during a run.
  bool SetFileName(std::u16string fileName) {
    if (FRunning) return false;
    FFileName = std::move(fileName);
    return true;
  }

private:
  struct TModuleEntry {
    std::u16string Path;
    std::unique_ptr<TValidationModule> Module;
    bool Ticked = false;
  };
  void RunModule(TValidationModule& module, TValidationRunView& view);
  void ShowCounters(TValidationRunView& view) const;

  // The sink is declared first so that it outlives every module holding it.
  TReportSink FReportSink;
  int32_t FInfosCount = 0;
  int32_t FWarningsCount = 0;
  int32_t FErrorsCount = 0;
  size_t FShownCount = 0;  // lines already handed to the view
  std::u16string FValidationModulesFolder;
  uint32_t FModulesFlags = 0;
  std::u16string FFileName;
  std::vector<TModuleEntry> FValidationModulesList;
  std::atomic<bool> FStopping{false};
  bool FRunning = false;
  double FLastProgress = 0.0;
  uint32_t FLastUsedModulesMask = 0;
};

}  // namespace riffo
