// riffoscope-cli export FILE [-o OUT] [--force]: the viewer's structure
// export, written by the same writer as the viewer's Export Structure.
#include "cli/CliCommand.h"
#include "platform/Text.h"
#include "viewer/StructureExport.h"

namespace riffo::cli {

namespace {

int RunExport(const std::vector<std::string>& args);

const TCliCommand EXPORT_COMMAND{
    "export", "FILE [-o OUT] [--force]", "write the structure export of a WAV file",
    "Writes the chunk structure of the WAV file FILE as the viewer's Export\n"
    "Structure does: a framed header with the file name (as given) and its size,\n"
    "then one line per chunk and per decoded field, indented six blanks per\n"
    "level. UTF-8 text, every line ended by CR LF. On a terminal, control\n"
    "characters from the file other than line ends are shown as \\xNN; files\n"
    "and pipes get the exact bytes.\n"
    "\n"
    "  -o, --output OUT  write into the file OUT instead of standard output (\"-\"\n"
    "                    or /dev/stdout: standard output); an existing OUT is\n"
    "                    refused. OUT is written under a temporary name beside it\n"
    "                    and renamed in when complete.\n"
    "  --force           replace an existing regular file OUT, once the new one\n"
    "                    is complete; never a device, folder or link\n"
    "  --help            show this help\n"
    "\n"
    "Exit status: 0 written; 2 FILE not found, not a WAV file or not loadable,\n"
    "bad arguments, or the output cannot be written; 130 interrupted.\n",
    RunExport};

int RunExport(const std::vector<std::string>& args) {
  TParsedArgs parsed;
  std::string error;
  if (!ParseArguments(args, {{"--output", true, 'o'}, {"--force", false}}, parsed, error))
    return UsageError(error);
  if (parsed.Help) return PrintCommandHelp(EXPORT_COMMAND);
  if (parsed.Version) return PrintVersion();
  if (parsed.Positional.empty()) return UsageError("export: missing FILE");
  if (parsed.Positional.size() > 1)
    return UsageError("export: unexpected argument '" + parsed.Positional[1] + "'");
  std::optional<std::string> outName = parsed.Value("--output");
  if (outName && outName->empty()) return UsageError("export: empty name after -o");
  if (parsed.Has("--force") && !outName) return UsageError("export: --force needs -o OUT");
  if (outName && MeansStdout(*outName)) outName.reset();

  const std::string& fileName = parsed.Positional[0];
  std::optional<TWavInput> input = LoadWavInput(fileName);
  if (!input) return EXIT_INPUT_ERROR;

  TExportResult result;
  if (outName) {
    std::unique_ptr<TOutputFile> output =
        BeginOutputFile(*outName, parsed.Has("--force"), fileName);
    if (!output) return EXIT_USAGE_ERROR;
    TStream* stream = output->Stream();
    if (stream == nullptr) {
      PrintError(Format8("Cannot write %s file.", outName->c_str()));
      return EXIT_USAGE_ERROR;
    }
    result = WriteStructureExport(*stream, ArgText(*outName), input->FileName, input->FileSize,
                                  input->Root.get());
    if (result.Ok && !CommitOutputFile(*output)) return EXIT_USAGE_ERROR;
  } else {
    TStdoutStream out;
    result =
        WriteStructureExport(out, STDOUT_NAME, input->FileName, input->FileSize, input->Root.get());
  }
  if (!result.Ok) {
    PrintError(Utf16ToUtf8(result.Message));
    return EXIT_USAGE_ERROR;
  }
  return EXIT_SUCCESS_STATUS;
}

}  // namespace

const TCliCommand& ExportCommand() { return EXPORT_COMMAND; }

}  // namespace riffo::cli
