// The summary of a validate run: one line per file on standard output, the
// totals, and the same as CSV or JSON for --summary.
#pragma once

#include <string>
#include <vector>

#include "cli/FileValidation.h"

namespace riffo::cli {

struct TSummaryRow {
  std::string Path;  // as given
  TFileResult Result;
  bool Done = false;  // false: never started (the run was stopped before)
};

struct TSummaryTotals {
  size_t Files = 0, Pass = 0, Warn = 0, Fail = 0, Unreadable = 0, Error = 0, Stopped = 0;
  size_t OutputErrors = 0;
};
TSummaryTotals CountTotals(const std::vector<TSummaryRow>& rows);

// "FAIL        E 1  W 1  I 3  dir/take1.wav", a reason after ": ".
std::string SummaryLine(const TSummaryRow& row);
// "Total: 3 files: 1 PASS, 0 WARN, ... in 0.4 s".
std::string TotalsLine(const TSummaryTotals& totals, size_t notStarted, double seconds);

// The summary as CSV or JSON, chosen by the name's extension; false when the
// extension is neither.
bool SummaryFormatKnown(const std::string& name);
std::string SummaryDocument(const std::string& name, const std::vector<TSummaryRow>& rows,
                            const std::string& startedUtc, double seconds);

// The current time in UTC, ISO 8601 ("2026-12-10T15:04:05Z").
std::string UtcNowIso8601();

}  // namespace riffo::cli
