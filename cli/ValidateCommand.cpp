// riffoscope-cli validate [OPTIONS] PATH...: runs the validation modules
// found beside the program on files and folders, through the same loader,
// contract and run as the validation window. One file: the report on
// standard output or -o OUT. Several: worker processes, a summary line per
// file, reports into --output-dir.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "cli/BatchInputs.h"
#include "cli/CliCommand.h"
#include "cli/FileValidation.h"
#include "cli/Interrupt.h"
#include "cli/ModuleSelection.h"
#include "cli/RulesProfile.h"
#include "cli/RunSummary.h"
#include "cli/WorkerPool.h"
#include "host/MediaValidationSession.h"
#include "platform/Files.h"
#include "platform/Processors.h"
#include "platform/Text.h"

namespace riffo::cli {

namespace {

int RunValidate(const std::vector<std::string>& args);

const TCliCommand VALIDATE_COMMAND{
    "validate", "[OPTIONS] PATH...", "run the validation modules on files and folders and report",
    "Loads every validation module (\".qvx\") found beside the program (or the\n"
    "ones --modules names) and runs each on every file as the validation window\n"
    "does. A PATH is a file or a\n"
    "folder; folders are walked recursively in name order for .wav, .wave, .bwf\n"
    "and .rf64 files (any letter case; hidden entries skipped unless named).\n"
    "\n"
    "One FILE and no --output-dir: the report goes to standard output or -o OUT,\n"
    "with the file name as given. Otherwise each file is validated in worker\n"
    "processes and one summary line per file is printed in input order:\n"
    "  VERDICT  E errors  W warnings  I infos  PATH[: reason]\n"
    "and a last line with the totals and the time taken. Verdicts: PASS (no\n"
    "Error, no Warning), WARN (Warnings, no Error), FAIL (an Error), UNREADABLE\n"
    "(not found, not a RIFF/WAVE file, cannot be opened or read; the reason also\n"
    "on standard error; no report is written), ERROR (a module crashed or timed\n"
    "out; the worker is replaced and the batch goes on).\n"
    "\n"
    "  --format F          report format: txt (default), csv, xml, html, pdf or\n"
    "                      json; without it -o OUT's extension decides\n"
    "  -o, --output OUT    one file's report into OUT (\"-\" or /dev/stdout:\n"
    "                      standard output); an existing OUT is refused\n"
    "  --force             replace an existing regular file OUT (or reports in\n"
    "                      --output-dir, or the --summary file) once the new one\n"
    "                      is complete; never a device, folder or link\n"
    "  --output-dir DIR    one report per file below DIR, named after the input\n"
    "                      with the format's extension added, mirroring the\n"
    "                      inputs' folders (\"a/take1.wav\" -> DIR/a/take1.wav.txt);\n"
    "                      an existing report is refused unless --force and\n"
    "                      counts as an output error\n"
    "  --files-from LIST   also validate the paths listed in LIST (\"-\": standard\n"
    "                      input), one a line\n"
    "  -0, --null          LIST entries are separated by NUL bytes (find -print0)\n"
    "  -j, --jobs N        worker processes (default: the number of processors\n"
    "                      this program may use); each is kept on a processor of\n"
    "                      its own when there are as many\n"
    "  --no-pin            leave the workers' placement on processors to the\n"
    "                      system\n"
    "  --timeout SECONDS   time limit per file (default: 120 s plus 1 s per 8 MiB)\n"
    "  --shard K/N         keep only the inputs whose path hash falls in shard K\n"
    "                      of N (1 <= K <= N), to split an archive between machines\n"
    "  --summary FILE      also write the summary as CSV (.csv) or JSON (.json),\n"
    "                      with the version and the start time in UTC\n"
    "  --modules LIST      run only the modules named (comma-separated, as the\n"
    "                      reports name them, e.g. Sonolint); a named module that\n"
    "                      is not found is an error. Default: every module found\n"
    "  --rules FILE        rule profile for this run only (\"217 = warning\",\n"
    "                      \"404 = off\"; values off, on, info, warning, error;\n"
    "                      # comments); the stored settings are not changed\n"
    "  -q, --quiet         no progress display (shown only when standard error\n"
    "                      is a terminal)\n"
    "  --help              show this help\n"
    "\n"
    "Ctrl+C stops the run: finished files keep their reports, the files being\n"
    "validated are listed as STOPPED (one file: the lines so far are written).\n"
    "A second Ctrl+C ends the program at once.\n"
    "\n"
    "Exit status: 0 every file PASS or WARN; 1 at least one FAIL; 2 at least one\n"
    "UNREADABLE or ERROR file, a usage error, no module found, or a report that\n"
    "could not be written; 130 interrupted.\n",
    RunValidate};

struct TValidateOptions {
  std::vector<std::string> Paths;
  bool FromList = false;
  std::optional<std::string> OutName, OutputDir, SummaryName, RulesName, ShardText;
  bool Force = false, Quiet = false, NoPin = false;
  TCliFormat Format = TCliFormat::TXT;
  bool FormatGiven = false;
  unsigned Jobs = 0;
  double Timeout = 0;
  std::string ModuleList;  // as given to --modules; empty: every module
  uint32_t Modules = ALL_MODULE_KINDS;
};

// Today's single-file command: the report on standard output or into OUT.
int RunSingle(const TValidateOptions& options) {
  const std::string& fileName = options.Paths[0];
  std::string reason;
  if (!CheckInputFile(fileName, reason)) {
    PrintError(reason);
    return EXIT_INPUT_ERROR;
  }
  std::optional<std::string> outName = options.OutName;
  if (outName && MeansStdout(*outName)) outName.reset();
  std::unique_ptr<TOutputFile> output;
  if (outName) {
    output =
        BeginOutputFile(*outName, options.Force, fileName, Utf16ToUtf8(MSG_ERROR_SAVING).c_str());
    if (!output) return EXIT_USAGE_ERROR;
  }

  TMediaValidationSession session(ProgramFolder(), ArgText(fileName), options.Modules,
                                  ALL_MODULE_KINDS);
  session.LoadValidationModules();
  if (const std::string missing = MissingModules(session, options.Modules); !missing.empty()) {
    PrintError("validate: module not found: " + missing);
    return EXIT_USAGE_ERROR;
  }
  if (session.ModuleCount() == 0) {
    PrintError("No validation modules found.");
    return EXIT_USAGE_ERROR;
  }
  InstallInterruptHandler();
  const TFileResult result = ValidateOneFile(session, fileName, {}, options.Format, options.Force);
  switch (result.Verdict) {
    case TVerdict::Unreadable: PrintError(result.Reason); return EXIT_INPUT_ERROR;
    case TVerdict::Error: PrintError(result.Reason); return EXIT_USAGE_ERROR;
    default: break;
  }
  // An empty report is still written (header and footer): "nothing found"
  // is an answer on the command line.
  bool saved = false;
  if (output) {
    saved = RenderReport(session, options.Format, *output);
    if (saved && !CommitOutputFile(*output)) return EXIT_USAGE_ERROR;
  } else {
    TStdoutStream out;
    saved = RenderReport(session, options.Format, out);
  }
  if (!saved) {
    PrintError(Utf16ToUtf8(MSG_ERROR_SAVING));
    return EXIT_USAGE_ERROR;
  }
  if (result.Verdict == TVerdict::Stopped) return EXIT_INTERRUPTED;
  return result.Errors > 0 ? EXIT_FAIL_STATUS : EXIT_SUCCESS_STATUS;
}

// The one-line progress display on standard error.
class TProgress {
public:
  explicit TProgress(bool shown) : FShown(shown), FStart(std::chrono::steady_clock::now()) {}
  void Show(size_t done, size_t total, int64_t bytes, const std::string& current) {
    if (!FShown) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - FLast < std::chrono::milliseconds(100) && done < total) return;
    FLast = now;
    const double seconds = std::chrono::duration<double>(now - FStart).count();
    const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
    std::string name = TerminalSafe(current);
    if (name.size() > 50) name = "..." + name.substr(name.size() - 47);
    std::fprintf(stderr, "\r\033[K[%zu/%zu] %.1f MB/s %s", done, total, rate, name.c_str());
    std::fflush(stderr);
    FVisible = true;
  }
  void Clear() {
    if (!FVisible) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    FVisible = false;
  }

private:
  bool FShown;
  bool FVisible = false;
  std::chrono::steady_clock::time_point FStart, FLast;
};

int RunBatch(const TValidateOptions& options, std::vector<TBatchInput> inputs) {
  const auto start = std::chrono::steady_clock::now();
  const std::string started = UtcNowIso8601();
  if (options.ShardText) {
    uint32_t shard = 0, shards = 0;
    ParseShard(*options.ShardText, shard, shards);
    std::vector<TBatchInput> kept;
    for (TBatchInput& input : inputs)
      if (ShardOf(input.Path, shards) == shard - 1) kept.push_back(std::move(input));
    inputs.swap(kept);
  }

  std::vector<TPoolJob> jobs;
  for (const TBatchInput& input : inputs) {
    TPoolJob job;
    job.Path = input.Path;
    struct stat info {};
    if (::stat(input.Path.c_str(), &info) == 0) job.Size = info.st_size;
    if (options.OutputDir)
      job.ReportPath =
          *options.OutputDir + "/" + input.Relative + "." + FormatExtension(options.Format);
    jobs.push_back(std::move(job));
  }

  std::vector<TSummaryRow> rows(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) rows[i].Path = jobs[i].Path;
  size_t printed = 0, finished = 0;
  int64_t bytes = 0;
  bool outputFailed = false;
  TProgress progress(!options.Quiet && ::isatty(STDERR_FILENO) == 1);
  auto flush = [&] {
    while (printed < rows.size() && rows[printed].Done) {
      const TSummaryRow& row = rows[printed++];
      progress.Clear();
      if (!WriteStdout(SummaryLine(row))) outputFailed = true;
      if (!row.Result.Reason.empty()) PrintError(row.Path + ": " + row.Result.Reason);
      if (!row.Result.OutputError.empty()) PrintError(row.Result.OutputError);
    }
  };
  auto done = [&](size_t index, const TFileResult& result) {
    rows[index].Result = result;
    rows[index].Done = true;
    bytes += result.Bytes;
    ++finished;
    flush();
  };
  auto tick = [&] {
    const size_t shown = std::min(printed, rows.size() - 1);
    progress.Show(finished, rows.size(), bytes, rows.empty() ? std::string() : rows[shown].Path);
  };

  bool interrupted = false;
  std::string error;
  if (!jobs.empty()) {
    TPoolOptions pool;
    pool.Jobs = options.Jobs;
    pool.Format = options.Format;
    pool.Force = options.Force;
    pool.TimeoutSeconds = options.Timeout;
    pool.Modules = options.ModuleList;
    pool.KeepWorkersOnProcessors = !options.NoPin;
    InstallInterruptHandler();
    if (!RunPool(jobs, pool, done, tick, interrupted, error)) {
      progress.Clear();
      PrintError(error);
      return EXIT_USAGE_ERROR;
    }
  }
  progress.Clear();
  std::vector<TSummaryRow> finishedRows;
  for (const TSummaryRow& row : rows)
    if (row.Done) finishedRows.push_back(row);
  const size_t notStarted = rows.size() - finishedRows.size();
  // Files that were never started are listed too, in their place, so an
  // interrupted run can be resumed; they count in no total.
  for (TSummaryRow& row : rows)
    if (!row.Done) {
      row.Done = true;
      row.Result.Verdict = TVerdict::Stopped;
      row.Result.Reason = "not started";
    }
  flush();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const TSummaryTotals totals = CountTotals(finishedRows);
  if (!WriteStdout(TotalsLine(totals, notStarted, seconds))) outputFailed = true;

  if (options.SummaryName) {
    const std::string document =
        SummaryDocument(*options.SummaryName, finishedRows, started, seconds);
    std::unique_ptr<TOutputFile> output = BeginOutputFile(*options.SummaryName, options.Force, {});
    TStream* stream = output ? output->Stream() : nullptr;
    if (stream == nullptr ||
        stream->Write(document.data(), static_cast<int64_t>(document.size())) !=
            static_cast<int64_t>(document.size()) ||
        !CommitOutputFile(*output))
      outputFailed = true;
  }

  if (interrupted) return EXIT_INTERRUPTED;
  if (outputFailed || totals.OutputErrors > 0 || totals.Unreadable > 0 || totals.Error > 0)
    return EXIT_USAGE_ERROR;
  return totals.Fail > 0 ? EXIT_FAIL_STATUS : EXIT_SUCCESS_STATUS;
}

int RunValidate(const std::vector<std::string>& args) {
  TParsedArgs parsed;
  std::string error;
  const std::vector<TOptionDef> optionDefs = {
      {"--format", true},     {"--output", true, 'o'}, {"--force", false},
      {"--output-dir", true}, {"--files-from", true},  {"--null", false, '0'},
      {"--jobs", true, 'j'},  {"--timeout", true},     {"--shard", true},
      {"--summary", true},    {"--rules", true},       {"--quiet", false, 'q'},
      {"--modules", true},    {"--no-pin", false},     {"--worker", false}};
  if (!ParseArguments(args, optionDefs, parsed, error)) return UsageError(error);
  if (parsed.Help) return PrintCommandHelp(VALIDATE_COMMAND);
  if (parsed.Version) return PrintVersion();

  TValidateOptions options;
  options.Force = parsed.Has("--force");
  options.Quiet = parsed.Has("--quiet");
  options.NoPin = parsed.Has("--no-pin");
  options.OutName = parsed.Value("--output");
  options.OutputDir = parsed.Value("--output-dir");
  options.SummaryName = parsed.Value("--summary");
  options.RulesName = parsed.Value("--rules");
  options.ShardText = parsed.Value("--shard");
  if (const auto formatName = parsed.Value("--format")) {
    if (!FormatFromName(*formatName, options.Format))
      return UsageError("validate: unknown format '" + *formatName + "'");
    options.FormatGiven = true;
  } else if (options.OutName && !MeansStdout(*options.OutName)) {
    options.Format = FormatForFileName(*options.OutName);
  }
  if (const auto modules = parsed.Value("--modules")) {
    if (!ParseModuleList(*modules, options.Modules, error)) return UsageError("validate: " + error);
    options.ModuleList = *modules;
  }
  if (parsed.Has("--worker")) return RunWorker(options.Format, options.Force, options.Modules);

  if (options.OutName && options.OutName->empty())
    return UsageError("validate: empty name after -o");
  if (options.OutputDir && options.OutputDir->empty())
    return UsageError("validate: empty name after --output-dir");
  if (options.OutName && options.OutputDir)
    return UsageError("validate: -o OUT and --output-dir cannot be used together");
  if (options.Force && !options.OutName && !options.OutputDir && !options.SummaryName)
    return UsageError("validate: --force needs -o OUT");
  if (options.SummaryName && !SummaryFormatKnown(*options.SummaryName))
    return UsageError("validate: --summary FILE must end in .csv or .json");
  options.Jobs = UsableProcessorCount();
  if (const auto jobs = parsed.Value("--jobs")) {
    char* end = nullptr;
    const long value = std::strtol(jobs->c_str(), &end, 10);
    if (jobs->empty() || *end != '\0' || value < 1 || value > 1024)
      return UsageError("validate: --jobs needs a number from 1 to 1024");
    options.Jobs = static_cast<unsigned>(value);
  }
  if (const auto timeout = parsed.Value("--timeout")) {
    char* end = nullptr;
    options.Timeout = std::strtod(timeout->c_str(), &end);
    if (timeout->empty() || *end != '\0' || !(options.Timeout > 0) || options.Timeout > 1e7)
      return UsageError("validate: --timeout needs a number of seconds above 0");
  }
  if (options.ShardText) {
    uint32_t shard = 0, shards = 0;
    if (!ParseShard(*options.ShardText, shard, shards))
      return UsageError("validate: --shard needs K/N with 1 <= K <= N");
  }

  options.Paths = parsed.Positional;
  if (const auto list = parsed.Value("--files-from")) {
    options.FromList = true;
    if (!ReadPathList(*list, parsed.Has("--null"), options.Paths, error))
      return UsageError("validate: " + error);
  } else if (parsed.Has("--null")) {
    return UsageError("validate: -0 needs --files-from LIST");
  }
  if (options.Paths.empty()) {
    if (options.FromList) return UsageError("validate: the list names no file");
    return UsageError("validate: missing FILE");
  }

  std::vector<TRuleOverride> rules;
  TPrivateRuleStore ruleStore;
  if (options.RulesName) {
    if (!ReadRulesProfile(*options.RulesName, rules, error))
      return UsageError("validate: " + error);
    if (!ruleStore.Apply(rules, error)) {
      PrintError(error);
      return EXIT_USAGE_ERROR;
    }
  }

  struct stat info {};
  const bool oneFile = options.Paths.size() == 1 && !options.FromList && !options.OutputDir &&
                       !options.ShardText && !options.SummaryName &&
                       !(::stat(options.Paths[0].c_str(), &info) == 0 && S_ISDIR(info.st_mode));
  if (oneFile) return RunSingle(options);
  if (options.OutName)
    return UsageError("validate: -o OUT takes one FILE; use --output-dir DIR for several");

  std::vector<TBatchInput> inputs;
  if (!ExpandInputs(options.Paths, inputs, error)) return UsageError("validate: " + error);
  return RunBatch(options, std::move(inputs));
}

}  // namespace

const TCliCommand& ValidateCommand() { return VALIDATE_COMMAND; }

}  // namespace riffo::cli
