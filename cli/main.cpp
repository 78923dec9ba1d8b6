// riffoscope-cli: the viewer's structure export and tree, and validation
// with the modules (one file, or many in parallel), for checking files in
// bulk or on machines without a display.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace riffo::cli {

// The commands, in the order "--help" lists them. A command is a source file
// defining its accessor, plus one line here.
const TCliCommand& ExportCommand();
const TCliCommand& TreeCommand();
const TCliCommand& ValidateCommand();

namespace {

using TCommandAccessor = const TCliCommand& (*)();
const TCommandAccessor COMMANDS[] = {
    ExportCommand,
    TreeCommand,
    ValidateCommand,
};

int PrintHelp() {
  std::printf("Usage: %s COMMAND [ARGUMENTS]\n\nCommands:\n", PROGRAM_NAME);
  for (TCommandAccessor accessor : COMMANDS) {
    const TCliCommand& command = accessor();
    std::printf("  %s %s\n      %s\n", command.Name, command.Synopsis, command.Summary);
  }
  std::printf(
      "\n"
      "Run '%s COMMAND --help' for the details of a command.\n"
      "File names are used exactly as given. Messages about bad input go to\n"
      "standard error. '%s --version' prints the version.\n"
      "\n"
      "Exit status, the same for every command: 0 success (validate: every file\n"
      "PASS or WARN); 1 validate found at least one FAIL; 2 an input could not be\n"
      "read or validated (UNREADABLE, ERROR), or a usage or output error; 130\n"
      "interrupted by Ctrl+C.\n",
      PROGRAM_NAME, PROGRAM_NAME);
  for (TCommandAccessor accessor : COMMANDS) {
    const TCliCommand& command = accessor();
    std::printf("\n%s %s %s\n\n%s", PROGRAM_NAME, command.Name, command.Synopsis, command.Help);
  }
  return std::fflush(stdout) == 0 ? EXIT_SUCCESS_STATUS : EXIT_USAGE_ERROR;
}

}  // namespace

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  if (args.empty()) return UsageError("missing command");
  const std::string& name = args[0];
  if (name == "--help" || name == "-h" || name == "help") return PrintHelp();
  if (name == "--version") return PrintVersion();
  for (TCommandAccessor accessor : COMMANDS) {
    const TCliCommand& command = accessor();
    if (name == command.Name) return command.Run({args.begin() + 1, args.end()});
  }
  return UsageError("unknown command '" + name + "'");
}

}  // namespace riffo::cli

int main(int argc, char** argv) { return riffo::cli::Main(argc, argv); }
