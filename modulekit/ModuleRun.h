// The run of one file, as every validation module object carries it out for
// the host: LoadFile sets up a worker for the file, each of the host's
// blocking calls (LoadFile, Play, Stop, UnloadFile) becomes a command posted
// through the worker's mailbox and waited for within the command's time
// limit, and the run lines that open and close a run (start, loading, the
// timeouts, unloading, finish) go out through the module's catalogue.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "contract/QuorvexControlInterface.h"
#include "modulekit/CommandMailbox.h"
#include "modulekit/ModuleObject.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"

namespace riffo {

// The time limits of the four commands, milliseconds.
struct TCommandLimits {
  int32_t Load = 0;
  int32_t Unload = 0;
  int32_t Play = 0;
  int32_t Stop = 0;
};

// The rule numbers of a module's run lines.
struct TRunLineIDs {
  int32_t Start = 0;
  int32_t LoadingFile = 0;
  int32_t UnloadingFile = 0;
  int32_t LoadTimeout = 0;
  int32_t UnloadTimeout = 0;
  int32_t PlayTimeout = 0;
  int32_t StopTimeout = 0;
  int32_t Finish = 0;
};

// What a module tells the run about itself.
struct TModuleRunSetup {
  std::u16string ModuleName;  // what GetModuleName answers
  std::u16string ClassName;   // names the object in traces
  TRunLineIDs RunLines;
  // Whether the module takes the file at all, non-zero when it does (a file
  // it does not take fails LoadFile before anything else happens).
  int32_t (*TakesFile)(const std::u16string& fileName) = nullptr;
  // The local time as the start and finish lines show it.
  std::u16string (*TimeText)() = nullptr;
};

// Worker offers Mailbox() (a TCommandMailbox), Duration() (100 ns units) and
// Progress() (percent).
template <typename Worker>
class TModuleRun : public TModuleObject {
public:
  HRESULT QVX_CALL GetModuleName(const char16_t** moduleName) override {
    if (moduleName == nullptr) {
      DebugTrace(Trace(u".GetModuleName - invalid argument."));
      return E_FAIL;
    }
    *moduleName = FSetup.ModuleName.c_str();
    return S_OK;
  }

  HRESULT QVX_CALL LoadFile(const char16_t* fileName) override {
    return Guarded(Trace(u".LoadFile call..."), E_FAIL, [&] {
      if (fileName == nullptr) {
        DebugTrace(Trace(u".LoadFile - invalid argument."));
        return E_FAIL;
      }
      const std::u16string name = fileName;
      if (FSetup.TakesFile(name) == 0) return E_FAIL;
      // A worker still busy with an earlier file (its unload timed out) is
      // ended; one whose last file was unloaded cleanly takes this file, which
      // saves starting a thread for every file of a batch.
      FWorker.reset();
      FWorker = FIdleWorker ? std::move(FIdleWorker) : std::make_unique<Worker>();
      SetUpWorker(*FWorker);
      const TRunLineIDs& ids = FSetup.RunLines;
      ReportRunLine(REPORT_TYPE_INFO, ids.Start, u"Start validation at " + FSetup.TimeText());
      ReportRunLine(REPORT_TYPE_INFO, ids.LoadingFile, u"Loading File: " + name);
      switch (FWorker->Mailbox().PostAndWait(COMMAND_LOAD, name, Limits().Load)) {
        case TCommandWait::Done: return S_OK;
        case TCommandWait::Failed: return E_FAIL;
        case TCommandWait::TimedOut: break;
      }
      DebugTrace(Trace(u".LoadFile - timeout."));
      // Given up: the worker must not go on reading the file.
      FWorker->Mailbox().GiveUp();
      ReportRunLine(REPORT_TYPE_ERROR, ids.LoadTimeout, u"Loading timeout.");
      return E_FAIL;
    });
  }

  HRESULT QVX_CALL Play() override {
    return RunCommand(u".Play", COMMAND_PLAY, Limits().Play, FSetup.RunLines.PlayTimeout,
                      u"Play timeout.");
  }

  HRESULT QVX_CALL Stop() override {
    return RunCommand(u".Stop", COMMAND_STOP, Limits().Stop, FSetup.RunLines.StopTimeout,
                      u"Stop timeout.");
  }

  HRESULT QVX_CALL UnloadFile() override {
    return Guarded(Trace(u".UnloadFile call..."), E_FAIL, [&] {
      if (!FWorker) return E_FAIL;
      const TRunLineIDs& ids = FSetup.RunLines;
      const TCommandWait result =
          FWorker->Mailbox().PostAndWait(COMMAND_UNLOAD, {}, Limits().Unload);
      if (result == TCommandWait::TimedOut) {
        // The worker is kept: it may still be busy with the file.
        DebugTrace(Trace(u".UnloadFile - timeout."));
        ReportRunLine(REPORT_TYPE_INFO, ids.UnloadingFile, u"Unloading File.");
        ReportRunLine(REPORT_TYPE_ERROR, ids.UnloadTimeout, u"Unloading timeout.");
        return E_FAIL;
      }
      FileUnloaded(*FWorker);
      if (result == TCommandWait::Done) FIdleWorker = std::move(FWorker);
      FWorker.reset();
      ReportRunLine(REPORT_TYPE_INFO, ids.UnloadingFile, u"Unloading File.");
      ReportRunLine(REPORT_TYPE_INFO, ids.Finish, u"Finish validation at " + FSetup.TimeText());
      return result == TCommandWait::Done ? S_OK : E_FAIL;
    });
  }

  HRESULT QVX_CALL GetMediaDuration(int64_t* duration) override {
    return Query(u".GetMediaDuration", duration, [](Worker& worker) { return worker.Duration(); });
  }

  // Always 0: a module checks the whole file at once.
  HRESULT QVX_CALL GetMediaPosition(int64_t* position) override {
    return Query(u".GetMediaPosition", position, [](Worker&) { return int64_t{0}; });
  }

  // 0 to 100.
  HRESULT QVX_CALL GetProgress(double* progress) override {
    return Query(u".GetProgress", progress, [](Worker& worker) {
      const double value = worker.Progress();
      return value < 0 ? 0 : (value > 100 ? 100 : value);
    });
  }

protected:
  explicit TModuleRun(TModuleRunSetup setup) : FSetup(std::move(setup)) {}
  ~TModuleRun() override = default;

  // Sets up a worker for the next file as the module's settings have them
  // now: a new one, or one whose last file was unloaded cleanly. The worker
  // is idle, so its setters may be called.
  virtual void SetUpWorker(Worker& worker) = 0;
  // The commands' time limits as the module's settings have them now.
  virtual TCommandLimits Limits() const = 0;
  // Sends a run line through the module's catalogue, with stream -1.
  virtual HRESULT ReportRunLine(int32_t reportType, int32_t validationID,
                                const std::u16string& message) = 0;
  // The worker has answered the unload and is about to go.
  virtual void FileUnloaded(Worker& /*worker*/) {}

  // The worker of the file being run; null before the first load and after
  // an unload.
  Worker* CurrentWorker() const { return FWorker.get(); }
  // Ends the workers. A module's destructor calls it first: a worker uses
  // the module's catalogue and settings.
  void EndWorker() {
    FWorker.reset();
    FIdleWorker.reset();
  }

private:
  std::u16string Trace(std::u16string_view what) const {
    return u"dgn: Error in " + FSetup.ClassName + std::u16string(what);
  }

  // One of the host's questions about the file being run: E_FAIL without a
  // place for the answer or without a loaded file.
  template <typename T, typename Answer>
  HRESULT Query(std::u16string_view operation, T* out, Answer answer) {
    return Guarded(Trace(std::u16string(operation) + u" call..."), E_FAIL, [&] {
      if (out == nullptr) {
        DebugTrace(Trace(std::u16string(operation) + u" - invalid argument."));
        return E_FAIL;
      }
      if (!FWorker) return E_FAIL;
      *out = answer(*FWorker);
      return S_OK;
    });
  }

  HRESULT RunCommand(const char16_t* operation, int32_t command, int32_t limitMS, int32_t timeoutID,
                     const char16_t* timeoutText) {
    return Guarded(Trace(std::u16string(operation) + u" call..."), E_FAIL, [&] {
      if (!FWorker) return E_FAIL;
      switch (FWorker->Mailbox().PostAndWait(command, {}, limitMS)) {
        case TCommandWait::Done: return S_OK;
        case TCommandWait::Failed: return E_FAIL;
        case TCommandWait::TimedOut: break;
      }
      DebugTrace(Trace(std::u16string(operation) + u" - timeout."));
      ReportRunLine(REPORT_TYPE_ERROR, timeoutID, timeoutText);
      return E_FAIL;
    });
  }

  const TModuleRunSetup FSetup;
  std::unique_ptr<Worker> FWorker;
  std::unique_ptr<Worker> FIdleWorker;  // unloaded cleanly, ready for the next file
};

}  // namespace riffo
