// riffoscope-cli tree FILE: the viewer's display tree as text, the file node
// first, one node per line, indented two blanks per level.
#include "chunkmodel/DisplayTree.h"
#include "cli/CliCommand.h"
#include "platform/Text.h"
#include "viewer/ChunkTreeRender.h"

namespace riffo::cli {

namespace {

int RunTree(const std::vector<std::string>& args);

const TCliCommand TREE_COMMAND{
    "tree", "FILE", "print the viewer's chunk tree of a WAV file",
    "Prints the tree the viewer shows for the WAV file FILE: the file node (the\n"
    "name as given) first, then every chunk with its offset, id, size and form\n"
    "type, the decoded fields of the chunks the viewer knows, and their hex-dump\n"
    "and text lines. One node per line, indented two blanks per level, UTF-8.\n"
    "On a terminal, control characters from the file other than line ends are\n"
    "shown as \\xNN; files and pipes get the exact bytes.\n"
    "\n"
    "  --help      show this help\n"
    "\n"
    "Exit status: 0 printed; 2 FILE not found, not a WAV file or not loadable,\n"
    "bad arguments, or the output cannot be written; 130 interrupted.\n",
    RunTree};

int RunTree(const std::vector<std::string>& args) {
  TParsedArgs parsed;
  std::string error;
  if (!ParseArguments(args, {}, parsed, error)) return UsageError(error);
  if (parsed.Help) return PrintCommandHelp(TREE_COMMAND);
  if (parsed.Version) return PrintVersion();
  if (parsed.Positional.empty()) return UsageError("tree: missing FILE");
  if (parsed.Positional.size() > 1)
    return UsageError("tree: unexpected argument '" + parsed.Positional[1] + "'");

  std::optional<TWavInput> input = LoadWavInput(parsed.Positional[0]);
  if (!input) return EXIT_INPUT_ERROR;

  std::unique_ptr<TDisplayNode> fileNode = MakeFileNode(input->FileName, input->FileSize);
  UpdateTreeView(fileNode.get(), fileNode.get(), 0, nullptr, input->Root.get());
  const std::string text = Utf16ToUtf8(TreeListingText(*fileNode));
  if (!WriteStdout(text)) {
    PrintError(Utf16ToUtf8(Format16("Cannot write %s file.", Utf16ToUtf8(STDOUT_NAME).c_str())));
    return EXIT_USAGE_ERROR;
  }
  return EXIT_SUCCESS_STATUS;
}

}  // namespace

const TCliCommand& TreeCommand() { return TREE_COMMAND; }

}  // namespace riffo::cli
