#include "cli/CliCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Files.h"
#include "platform/Text.h"

namespace riffo::cli {

// ---------------------------------------------------------------- arguments

bool TParsedArgs::Has(const std::string& name) const {
  for (const auto& option : Options)
    if (option.first == name) return true;
  return false;
}

std::optional<std::string> TParsedArgs::Value(const std::string& name) const {
  std::optional<std::string> value;
  for (const auto& option : Options)
    if (option.first == name) value = option.second;
  return value;
}

bool ParseArguments(const std::vector<std::string>& args, const std::vector<TOptionDef>& options,
                    TParsedArgs& parsed, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    // "-" alone is an ordinary word (a file of that name).
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      parsed.Positional.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help" || word == "-h") {
      parsed.Help = true;
      continue;
    }
    const TOptionDef* option = nullptr;
    for (const auto& candidate : options)
      if (candidate.Name == word) option = &candidate;
    if (option == nullptr) {
      error = "unknown option '" + word + "'";
      return false;
    }
    if (!option->TakesValue) {
      parsed.Options.emplace_back(word, std::string());
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "option '" + word + "' needs a value";
      return false;
    }
    parsed.Options.emplace_back(word, args[++i]);
  }
  return true;
}

// ---------------------------------------------------------------- output

void PrintError(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

int UsageError(const std::string& reason) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", PROGRAM_NAME,
               reason.c_str(), PROGRAM_NAME);
  return EXIT_USAGE_ERROR;
}

int PrintCommandHelp(const TCliCommand& command) {
  std::printf("Usage: %s %s %s\n\n%s", PROGRAM_NAME, command.Name, command.Synopsis, command.Help);
  return std::fflush(stdout) == 0 ? EXIT_SUCCESS_STATUS : EXIT_USAGE_ERROR;
}

int64_t TStdoutStream::Read(void*, int64_t) { return -1; }

int64_t TStdoutStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n == 0) break;
    done += n;
  }
  FWritten += done;
  return done > 0 ? done : -1;
}

int64_t TStdoutStream::Seek(int64_t, SeekOrigin) { return -1; }

// ---------------------------------------------------------------- input

std::u16string ArgText(const std::string& word) { return FromNativePath(word); }

std::optional<TWavInput> LoadWavInput(const std::string& fileName) {
  TWavInput input;
  input.FileName = ArgText(fileName);
  if (!FileExists(input.FileName)) {
    PrintError("File not found.");
    return std::nullopt;
  }
  if (!IsWAVEFile(input.FileName)) {
    PrintError("Invalid WAV file.");
    return std::nullopt;
  }
  input.Stream = TFileStream::Open(input.FileName, FileMode::OpenRead);
  if (!input.Stream) {
    PrintError("Cannot load WAV file.");
    return std::nullopt;
  }
  input.Root = std::make_unique<TWAVCommonChunk>(nullptr);
  if (input.Root->LoadChunk(input.Stream.get()) != S_OK) {
    PrintError("Cannot load WAV structure.");
    return std::nullopt;
  }
  input.FileSize = input.Stream->Size();
  return input;
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(ToNativePath(ArgText(a)).c_str(), &sa) != 0) return false;
  if (::stat(ToNativePath(ArgText(b)).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool PathExists(const std::string& name) {
  struct stat info {};
  return ::lstat(ToNativePath(ArgText(name)).c_str(), &info) == 0;
}

}  // namespace

bool PrepareOutputFile(const std::string& outName, bool force, const std::string& inputName) {
  if (!PathExists(outName)) return true;
  if (!force) {
    PrintError(Format8("The file %s already exists. Use --force to replace it.", outName.c_str()));
    return false;
  }
  // Replacing the input with its own export would destroy the WAV file.
  if (SameFile(outName, inputName)) {
    PrintError(Format8("Cannot write %s file.", outName.c_str()));
    return false;
  }
  if (!RemoveFile(ArgText(outName))) {
    PrintError(Format8("Cannot delete %s file.", outName.c_str()));
    return false;
  }
  return true;
}

}  // namespace riffo::cli
