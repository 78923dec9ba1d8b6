// Validation in worker processes: the same program in a hidden worker mode,
// each loading the modules once and validating files one after another. The
// parent hands out files, reads each file's result as one JSON line from the
// worker's pipe, and replaces a worker that crashes or takes longer than the
// file's time limit; that file gets the verdict ERROR and the batch goes on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/FileValidation.h"

namespace riffo::cli {

// The worker's side: requests come on standard input as two NUL-terminated
// fields (the report path, empty for none, then the file name); each answer
// is one JSON line on the descriptor that was standard output. Standard
// output itself goes to standard error, so nothing a module prints can
// corrupt the answers. Returns when standard input ends.
int RunWorker(TCliFormat format, bool force, uint32_t modules);

struct TPoolJob {
  std::string Path;        // the input as shown
  std::string ReportPath;  // empty: no report
  int64_t Size = 0;        // for the time limit
};

struct TPoolOptions {
  unsigned Jobs = 1;
  TCliFormat Format = TCliFormat::TXT;
  bool Force = false;
  double TimeoutSeconds = 0;  // 0: scaled to the file's size
  std::string Modules;        // --modules as given; empty: every module found
  // Each worker on a processor of its own, when there are enough of them.
  bool KeepWorkersOnProcessors = true;
};

// The time limit for a file of this size: the given one, or 120 s plus one
// second per 8 MiB.
double TimeLimitSeconds(const TPoolOptions& options, int64_t size);

// Runs every job; results come back in any order through done (index into
// jobs). False with a reason when no worker could start, no module was
// found or a module that --modules names is not there; interrupted tells whether Ctrl+C stopped the run (unfinished jobs
// then get STOPPED, jobs never started get nothing).
bool RunPool(const std::vector<TPoolJob>& jobs, const TPoolOptions& options,
             const std::function<void(size_t, const TFileResult&)>& done,
             const std::function<void()>& tick, bool& interrupted, std::string& error);

}  // namespace riffo::cli
