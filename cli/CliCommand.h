// What every riffoscope-cli command shares: its entry in the command table,
// the argument parser, the exit statuses, message output and the viewer's
// way of opening a WAV file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "platform/OutputFile.h"
#include "platform/Stream.h"

namespace riffo::cli {

// The exit statuses, the same rule for every command.
inline constexpr int EXIT_SUCCESS_STATUS = 0;
inline constexpr int EXIT_FAIL_STATUS = 1;    // validation found at least one Error line
inline constexpr int EXIT_INPUT_ERROR = 2;    // an input could not be read or validated
inline constexpr int EXIT_USAGE_ERROR = 2;    // bad arguments, or an output cannot be written
inline constexpr int EXIT_INTERRUPTED = 130;  // stopped by Ctrl+C

inline constexpr char PROGRAM_NAME[] = "riffoscope-cli";
// "riffoscope-cli 2.0.0": the program and the project's version.
const char* VersionText();

struct TCliCommand {
  const char* Name;
  const char* Synopsis;  // the arguments, as shown in the usage lines
  const char* Summary;   // one line for the command list
  const char* Help;      // the full explanation for "--help"
  // args are the words after the command's name; returns the exit status.
  int (*Run)(const std::vector<std::string>& args);
};

// ---------------------------------------------------------------- arguments

// An option: its long name ("--format"), its one-letter form ('o' for -o,
// 0 for none) and whether it takes a value. An option with only a letter
// has the name "-o".
struct TOptionDef {
  std::string Name;
  bool TakesValue;
  char Letter = 0;
};

struct TParsedArgs {
  std::vector<std::string> Positional;
  std::vector<std::pair<std::string, std::string>> Options;  // name, value ("" for flags)
  bool Help = false;
  bool Version = false;

  bool Has(const std::string& name) const;
  std::optional<std::string> Value(const std::string& name) const;  // the last one given
};

// Splits args into positional words and the given options, GNU style
// (getopt_long): "--format=csv" and "--format csv", "-oOUT" and "-o OUT",
// options and words in any order, "--" ends the options, "-" alone is a
// word. "--help"/"-h" set Help and "--version" sets Version. Options are
// recorded under their Name. False with a reason on an unknown option or a
// missing value.
bool ParseArguments(const std::vector<std::string>& args, const std::vector<TOptionDef>& options,
                    TParsedArgs& parsed, std::string& error);

// ---------------------------------------------------------------- output

// One line on standard error.
void PrintError(const std::string& message);
// A usage error: the reason and a pointer to the help on standard error;
// returns EXIT_USAGE_ERROR.
int UsageError(const std::string& reason);
// Prints the command's help on standard output; returns EXIT_SUCCESS_STATUS.
int PrintCommandHelp(const TCliCommand& command);
// Prints VersionText() on standard output; returns EXIT_SUCCESS_STATUS.
int PrintVersion();

// True when standard output is a terminal. Text for a terminal shows control
// characters other than the line ends in a visible form ("\x1B"), so bytes
// from a file cannot drive the terminal; files and pipes get the exact bytes.
bool StdoutIsTerminal();
std::string TerminalSafe(const std::string& text);
// Writes text to standard output (made TerminalSafe on a terminal); false
// when it could not all be written.
bool WriteStdout(const std::string& text);

// An output name that means standard output: "-" and "/dev/stdout".
bool MeansStdout(const std::string& outName);

// Standard output as a stream (write only), for the writers that take a
// TStream. On a terminal the bytes pass through TerminalSafe.
class TStdoutStream final : public TStream {
public:
  TStdoutStream();
  ~TStdoutStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() const override { return FWritten; }
  int64_t Size() const override { return FWritten; }

private:
  bool WriteAll(const std::string& bytes);
  int64_t FWritten = 0;
  bool FTerminal = false;
  std::string FHeld;  // a last byte that may start a C1 control, on a terminal
};

// How a failure message names standard output.
inline constexpr char16_t STDOUT_NAME[] = u"standard output";

// ---------------------------------------------------------------- input

// A WAV file opened as the viewer opens it: the file exists, passes the
// RIFF/WAVE test, a shared read stream is open and the chunk tree is loaded.
struct TWavInput {
  std::u16string FileName;  // as given on the command line
  std::unique_ptr<TFileStream> Stream;
  std::unique_ptr<TWAVCommonChunk> Root;
  int64_t FileSize = 0;
};

// Opens and loads fileName. On failure prints the viewer's message ("File
// not found.", "Invalid WAV file.", "Cannot load WAV file.", "Cannot load
// WAV structure.") and returns nothing; the exit status is then
// EXIT_INPUT_ERROR.
std::optional<TWavInput> LoadWavInput(const std::string& fileName);

// Whether fileName can be read as a WAV file at all: it exists, is a regular
// file (a FIFO or device could block or never end), opens for reading and
// starts as a RIFF/WAVE file. False with the reason in the system's words
// ("File not found.", "Permission denied", "Invalid WAV file.").
bool CheckInputFile(const std::string& fileName, std::string& reason);

// Starts writing a named output file through TOutputFile: an existing file
// is refused unless force, then replaced only once the new content is
// complete; something that is not a regular file, or the input file itself,
// is never replaced. Prints the reason and returns nullptr when the name
// cannot be used; the exit status is then EXIT_USAGE_ERROR.
// cannotWrite replaces "Cannot write OUT file." when the output cannot be
// started.
std::unique_ptr<TOutputFile> BeginOutputFile(const std::string& outName, bool force,
                                             const std::string& inputName,
                                             const char* cannotWrite = nullptr);
// Commits it; prints "Cannot write OUT file." (or the refusal) on failure.
bool CommitOutputFile(TOutputFile& output);

// A command-line word as a file name or text; bytes that are not UTF-8 are
// kept (see FromNativePath), so a name given opens the file it names.
std::u16string ArgText(const std::string& word);

}  // namespace riffo::cli
