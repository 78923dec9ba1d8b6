#include "cli/RunSummary.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "cli/CliCommand.h"
#include "platform/Product.h"
#include "platform/Text.h"

namespace riffo::cli {

namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && LowerAscii(text.substr(text.size() - tail.size())) == tail;
}

}  // namespace

TSummaryTotals CountTotals(const std::vector<TSummaryRow>& rows) {
  TSummaryTotals totals;
  for (const TSummaryRow& row : rows) {
    if (!row.Done) continue;
    ++totals.Files;
    switch (row.Result.Verdict) {
      case TVerdict::Pass: ++totals.Pass; break;
      case TVerdict::Warn: ++totals.Warn; break;
      case TVerdict::Fail: ++totals.Fail; break;
      case TVerdict::Unreadable: ++totals.Unreadable; break;
      case TVerdict::Error: ++totals.Error; break;
      case TVerdict::Stopped: ++totals.Stopped; break;
    }
    if (!row.Result.OutputError.empty()) ++totals.OutputErrors;
  }
  return totals;
}

std::string SummaryLine(const TSummaryRow& row) {
  char head[64];
  std::snprintf(head, sizeof head, "%-10s  E %d  W %d  I %d  ", VerdictName(row.Result.Verdict),
                row.Result.Errors, row.Result.Warnings, row.Result.Infos);
  std::string line = head + row.Path;
  if (!row.Result.Reason.empty()) line += ": " + row.Result.Reason;
  return line + "\n";
}

std::string TotalsLine(const TSummaryTotals& totals, size_t notStarted, double seconds) {
  char text[320];
  std::snprintf(text, sizeof text,
                "Total: %zu file%s: %zu PASS, %zu WARN, %zu FAIL, %zu UNREADABLE, %zu ERROR",
                totals.Files, totals.Files == 1 ? "" : "s", totals.Pass, totals.Warn, totals.Fail,
                totals.Unreadable, totals.Error);
  std::string line = text;
  if (totals.Stopped > 0) line += ", " + std::to_string(totals.Stopped) + " STOPPED";
  if (notStarted > 0) line += ", " + std::to_string(notStarted) + " not started";
  if (totals.OutputErrors > 0)
    line += "; " + std::to_string(totals.OutputErrors) + " report" +
            (totals.OutputErrors == 1 ? "" : "s") + " not written";
  std::snprintf(text, sizeof text, " in %.2f s\n", seconds);
  return line + text;
}

bool SummaryFormatKnown(const std::string& name) {
  return EndsWithNoCase(name, ".csv") || EndsWithNoCase(name, ".json");
}

std::string SummaryDocument(const std::string& name, const std::vector<TSummaryRow>& rows,
                            const std::string& startedUtc, double seconds) {
  if (EndsWithNoCase(name, ".json")) {
    using nlohmann::ordered_json;
    ordered_json document;
    document["tool"] = PROGRAM_NAME;
    document["version"] = ProgramVersion();
    document["started"] = startedUtc;
    document["seconds"] = seconds;
    ordered_json files = ordered_json::array();
    for (const TSummaryRow& row : rows) {
      if (!row.Done) continue;
      ordered_json item;
      item["path"] = row.Path;
      item["verdict"] = VerdictName(row.Result.Verdict);
      item["errors"] = row.Result.Errors;
      item["warnings"] = row.Result.Warnings;
      item["infos"] = row.Result.Infos;
      item["reason"] = row.Result.Reason.empty() ? ordered_json() : ordered_json(row.Result.Reason);
      item["output_error"] =
          row.Result.OutputError.empty() ? ordered_json() : ordered_json(row.Result.OutputError);
      files.push_back(std::move(item));
    }
    document["files"] = std::move(files);
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
  }
  std::string text = "path,verdict,errors,warnings,infos,reason,output_error,version,started\r\n";
  for (const TSummaryRow& row : rows) {
    if (!row.Done) continue;
    text += CsvField(row.Path) + "," + VerdictName(row.Result.Verdict) + "," +
            std::to_string(row.Result.Errors) + "," + std::to_string(row.Result.Warnings) + "," +
            std::to_string(row.Result.Infos) + "," + CsvField(row.Result.Reason) + "," +
            CsvField(row.Result.OutputError) + "," + ProgramVersion() + "," + startedUtc + "\r\n";
  }
  return text;
}

std::string UtcNowIso8601() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace riffo::cli
