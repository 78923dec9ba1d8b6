// riffoscope-cli validate FILE [--format F] [-o OUT] [--force]: runs the
// validation modules found beside the program on FILE, through the same
// loader, contract and run as the validation window, and writes the report.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <unistd.h>

#include "cli/CliCommand.h"
#include "host/MediaValidationSession.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace riffo::cli {

namespace {

int RunValidate(const std::vector<std::string>& args);

const TCliCommand VALIDATE_COMMAND{
    "validate", "FILE [--format txt|csv|xml|html|pdf] [-o OUT] [--force]",
    "run the validation modules on a file and write the report",
    "Loads every validation module (\".qvx\") found in the program's folder, runs\n"
    "each on FILE as the validation window does, and writes the collected report\n"
    "lines as a report. The file name appears in the report as given.\n"
    "\n"
    "  --format F  the report format: txt (the default), csv, xml, html or pdf;\n"
    "              without it, -o OUT picks the format by OUT's extension as the\n"
    "              window's Save Report does (.csv, .xml, .pdf, .html/.htm, else\n"
    "              plain text)\n"
    "  -o OUT      write into the file OUT instead of standard output; an existing\n"
    "              OUT is refused\n"
    "  --force     replace an existing OUT (it is removed first)\n"
    "  --help      show this help\n"
    "\n"
    "Ctrl+C stops the run as the window's Stop Validation does; the lines that\n"
    "came so far are written.\n"
    "\n"
    "Exit status: 0 no line has severity Error; 1 at least one has; 2 bad\n"
    "arguments, FILE not found, no module found, or the report cannot be written.\n",
    RunValidate};

// Exit status when the report holds at least one line of severity Error.
constexpr int EXIT_ERROR_LINES = 1;

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void OnInterrupt(int) { gInterrupted = 1; }

// The run as the command line shows it: nothing on screen, a stop on Ctrl+C.
class TCliRunView final : public TValidationRunView {
public:
  explicit TCliRunView(TMediaValidationSession& session) : FSession(session) {}
  void ProcessEvents() override {
    if (gInterrupted != 0) FSession.RequestStop();
  }

private:
  TMediaValidationSession& FSession;
};

bool FormatFromName(const std::string& name, TReportFormat& format) {
  const std::pair<const char*, TReportFormat> formats[] = {
      {"txt", TReportFormat::TXT}, {"csv", TReportFormat::CSV}, {"xml", TReportFormat::XML},
      {"html", TReportFormat::HTML}, {"pdf", TReportFormat::PDF}};
  for (const auto& [text, value] : formats)
    if (name == text) {
      format = value;
      return true;
    }
  return false;
}

// The exporters write files; for standard output the report is written into
// a private temporary folder and copied out.
bool SaveToStdout(TMediaValidationSession& session, TReportFormat format) {
  std::string folder = (std::filesystem::temp_directory_path() / "riffoscope-cli-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return false;
  const std::string report = folder + "/report";
  bool ok = Succeeded(session.SaveReport(format, FromNativePath(report)));
  if (ok) {
    std::ifstream in(report, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ok = in.good() || in.eof();
    ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    ok = std::fflush(stdout) == 0 && ok;
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return ok;
}

int RunValidate(const std::vector<std::string>& args) {
  TParsedArgs parsed;
  std::string error;
  if (!ParseArguments(args, {{"--format", true}, {"-o", true}, {"--force", false}}, parsed, error))
    return UsageError(error);
  if (parsed.Help) return PrintCommandHelp(VALIDATE_COMMAND);
  if (parsed.Positional.empty()) return UsageError("validate: missing FILE");
  if (parsed.Positional.size() > 1)
    return UsageError("validate: unexpected argument '" + parsed.Positional[1] + "'");
  const std::optional<std::string> outName = parsed.Value("-o");
  if (outName && outName->empty()) return UsageError("validate: empty name after -o");
  if (parsed.Has("--force") && !outName) return UsageError("validate: --force needs -o OUT");

  TReportFormat format = TReportFormat::TXT;
  if (const auto formatName = parsed.Value("--format")) {
    if (!FormatFromName(*formatName, format))
      return UsageError("validate: unknown format '" + *formatName + "'");
  } else if (outName) {
    format = ReportFormatForFileName(ArgText(*outName));
  }

  const std::string& fileName = parsed.Positional[0];
  if (!FileExists(ArgText(fileName))) {
    PrintError("File not found.");
    return EXIT_USAGE_ERROR;
  }
  if (outName && !PrepareOutputFile(*outName, parsed.Has("--force"), fileName))
    return EXIT_USAGE_ERROR;

  // Every module kind the program knows, each ticked.
  TMediaValidationSession session(ProgramFolder(), ArgText(fileName), 0x7FFFFFFFu, 0x7FFFFFFFu);
  session.LoadValidationModules();
  if (session.ModuleCount() == 0) {
    PrintError("No validation modules found.");
    return EXIT_USAGE_ERROR;
  }

  gInterrupted = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  TCliRunView view(session);
  const TRunResult result = session.RunValidation(view);
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
  switch (result) {
    case TRunResult::Completed:
    case TRunResult::Stopped:
      break;
    case TRunResult::NoFile:
      PrintError("File not found.");
      return EXIT_USAGE_ERROR;
    case TRunResult::NoModules:
      PrintError(Utf16ToUtf8(MSG_NO_MODULES_SELECTED));
      return EXIT_USAGE_ERROR;
    case TRunResult::Busy:
    case TRunResult::Failed:
      PrintError("Validation failed.");
      return EXIT_USAGE_ERROR;
  }

  // An empty report is still written (header and footer): "nothing found"
  // is an answer on the command line.
  const bool saved = outName ? Succeeded(session.SaveReport(format, ArgText(*outName)))
                             : SaveToStdout(session, format);
  if (!saved) {
    PrintError(Utf16ToUtf8(MSG_ERROR_SAVING));
    return EXIT_USAGE_ERROR;
  }
  return session.ErrorsCount() > 0 ? EXIT_ERROR_LINES : EXIT_SUCCESS_STATUS;
}

}  // namespace

const TCliCommand& ValidateCommand() { return VALIDATE_COMMAND; }

}  // namespace riffo::cli
