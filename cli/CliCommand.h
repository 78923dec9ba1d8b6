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
#include "platform/Stream.h"

namespace riffo::cli {

inline constexpr int EXIT_SUCCESS_STATUS = 0;
inline constexpr int EXIT_INPUT_ERROR = 1;  // the input file is missing or not a WAV file
inline constexpr int EXIT_USAGE_ERROR = 2;  // bad arguments, or the output cannot be written

inline constexpr char PROGRAM_NAME[] = "riffoscope-cli";

struct TCliCommand {
  const char* Name;
  const char* Synopsis;  // the arguments, as shown in the usage lines
  const char* Summary;   // one line for the command list
  const char* Help;      // the full explanation for "--help"
  // args are the words after the command's name; returns the exit status.
  int (*Run)(const std::vector<std::string>& args);
};

// ---------------------------------------------------------------- arguments

struct TOptionDef {
  std::string Name;  // "-o", "--force", ...
  bool TakesValue;
};

struct TParsedArgs {
  std::vector<std::string> Positional;
  std::vector<std::pair<std::string, std::string>> Options;  // name, value ("" for flags)
  bool Help = false;

  bool Has(const std::string& name) const;
  std::optional<std::string> Value(const std::string& name) const;  // the last one given
};

// Splits args into positional words and the given options; "--help" and
// "-h" set Help. A word "--" ends the options. False with a reason on an
// unknown option or a missing value.
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

// Standard output as a stream (write only), for the writers that take a TStream.
class TStdoutStream final : public TStream {
public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() const override { return FWritten; }
  int64_t Size() const override { return FWritten; }

private:
  int64_t FWritten = 0;
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

// Makes a named output file ready to be created: a file that does not exist
// is fine; an existing one is refused unless force, and is then removed
// first (never when it is the input file itself). Prints the reason and
// returns false when the name cannot be used; the exit status is then
// EXIT_USAGE_ERROR.
bool PrepareOutputFile(const std::string& outName, bool force, const std::string& inputName);

// A command-line word as a file name or text; bytes that are not UTF-8 are
// kept (see FromNativePath), so a name given opens the file it names.
std::u16string ArgText(const std::string& word);

}  // namespace riffo::cli
