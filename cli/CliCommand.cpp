#include "cli/CliCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "platform/Product.h"
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
  // getopt_long wants a writable argv and a table of struct option; the
  // values returned index into that table (letters map to their entry).
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.emplace_back(PROGRAM_NAME);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  constexpr int HELP = 1000, VERSION = 1001, FIRST = 2000;
  std::vector<std::string> longNames;
  std::vector<struct option> table;
  std::string letters = ":h";  // ':' first: a missing value is reported as ':'
  for (size_t i = 0; i < options.size(); ++i) {
    const TOptionDef& def = options[i];
    if (def.Letter != 0) {
      letters += def.Letter;
      if (def.TakesValue) letters += ':';
    }
    longNames.push_back(def.Name.rfind("--", 0) == 0 ? def.Name.substr(2) : std::string());
  }
  for (size_t i = 0; i < options.size(); ++i)
    if (!longNames[i].empty())
      table.push_back({longNames[i].c_str(),
                       options[i].TakesValue ? required_argument : no_argument, nullptr,
                       FIRST + static_cast<int>(i)});
  table.push_back({"help", no_argument, nullptr, HELP});
  table.push_back({"version", no_argument, nullptr, VERSION});
  table.push_back({nullptr, 0, nullptr, 0});

  opterr = 0;
  optind = 0;  // 0 makes glibc start afresh, also after an earlier parse
  const int argc = static_cast<int>(words.size());
  for (;;) {
    const int c = ::getopt_long(argc, argv.data(), letters.c_str(), table.data(), nullptr);
    if (c == -1) break;
    const std::string word = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    if (c == HELP || c == 'h') {
      parsed.Help = true;
    } else if (c == VERSION) {
      parsed.Version = true;
    } else if (c >= FIRST) {
      const TOptionDef& def = options[static_cast<size_t>(c - FIRST)];
      parsed.Options.emplace_back(def.Name, def.TakesValue && optarg != nullptr ? optarg : "");
    } else if (c == ':') {
      error = "option '" + (optopt != 0 ? std::string("-") + static_cast<char>(optopt) : word) +
              "' needs a value";
      return false;
    } else if (c == '?') {
      error = "unknown option '" +
              (optopt != 0 ? std::string("-") + static_cast<char>(optopt) : word) + "'";
      return false;
    } else {
      for (const TOptionDef& def : options)
        if (def.Letter == c)
          parsed.Options.emplace_back(def.Name, def.TakesValue && optarg != nullptr ? optarg : "");
    }
  }
  for (int i = optind; i < argc; ++i) parsed.Positional.emplace_back(argv[i]);
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

int PrintVersion() {
  std::printf("%s\n", VersionText());
  return std::fflush(stdout) == 0 ? EXIT_SUCCESS_STATUS : EXIT_USAGE_ERROR;
}

const char* VersionText() {
  static const std::string text = std::string(PROGRAM_NAME) + " " + ProgramVersion();
  return text.c_str();
}

bool StdoutIsTerminal() {
  static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  return terminal;
}

std::string TerminalSafe(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C1 controls arrive as UTF-8 C2 80..C2 9F; some terminals obey them too.
    const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if ((byte < 0x20 && byte != '\n' && byte != '\r' && byte != '\t') || byte == 0x7F) {
      out += "\\x";
      AppendHex(out, byte, 2);
    } else if (c1) {
      out += "\\u";
      AppendHex(out, static_cast<unsigned char>(text[i + 1]), 4);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

bool WriteStdout(const std::string& text) {
  TStdoutStream out;
  return text.empty() || out.Write(text.data(), static_cast<int64_t>(text.size())) ==
                             static_cast<int64_t>(text.size());
}

bool MeansStdout(const std::string& outName) { return outName == "-" || outName == "/dev/stdout"; }

TStdoutStream::TStdoutStream() : FTerminal(StdoutIsTerminal()) {}

TStdoutStream::~TStdoutStream() {
  if (!FHeld.empty()) WriteAll(TerminalSafe(FHeld));
}

int64_t TStdoutStream::Read(void*, int64_t) { return -1; }

bool TStdoutStream::WriteAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int64_t TStdoutStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  std::string bytes = FHeld;
  FHeld.clear();
  bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
  if (FTerminal) {
    if (static_cast<unsigned char>(bytes.back()) == 0xC2) {
      FHeld = bytes.substr(bytes.size() - 1);
      bytes.pop_back();
    }
    bytes = TerminalSafe(bytes);
  }
  if (!WriteAll(bytes)) return -1;
  FWritten += count;
  return count;
}

int64_t TStdoutStream::Seek(int64_t, SeekOrigin) { return -1; }

// ---------------------------------------------------------------- input

std::u16string ArgText(const std::string& word) { return FromNativePath(word); }

std::optional<TWavInput> LoadWavInput(const std::string& fileName) {
  TWavInput input;
  input.FileName = ArgText(fileName);
  std::string reason;
  if (!CheckInputFile(fileName, reason)) {
    PrintError(reason);
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

bool CheckInputFile(const std::string& fileName, std::string& reason) {
  const std::string path = ToNativePath(ArgText(fileName));
  struct stat info {};
  if (fileName.empty() || ::stat(path.c_str(), &info) != 0) {
    reason = errno == EACCES ? std::strerror(errno) : "File not found.";
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    reason = "File not found.";
    return false;
  }
  // A FIFO or a device could block a read for ever or never end.
  if (!S_ISREG(info.st_mode)) {
    reason = "Not a regular file.";
    return false;
  }
  // Opened only to learn now, with the reason, whether it can be read.
  if (!TFileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC))) {
    reason = std::strerror(errno);
    return false;
  }
  if (!IsWAVEFile(ArgText(fileName))) {
    reason = "Invalid WAV file.";
    return false;
  }
  return true;
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(ToNativePath(ArgText(a)).c_str(), &sa) != 0) return false;
  if (::stat(ToNativePath(ArgText(b)).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

std::unique_ptr<TOutputFile> BeginOutputFile(const std::string& outName, bool force,
                                             const std::string& inputName,
                                             const char* cannotWrite) {
  const std::string path = ToNativePath(ArgText(outName));
  // Writing over the input with its own report or export would destroy the
  // WAV file; refused whether or not it was forced.
  if (force && !inputName.empty() && SameFile(outName, inputName)) {
    PrintError(Format8("Cannot write %s file.", outName.c_str()));
    return nullptr;
  }
  TOutputStatus status = TOutputStatus::Ok;
  std::unique_ptr<TOutputFile> output =
      TOutputFile::Begin(path, force ? TOutputMode::Replace : TOutputMode::Exclusive, status);
  switch (status) {
    case TOutputStatus::Ok: break;
    case TOutputStatus::Exists:
      PrintError(
          Format8("The file %s already exists. Use --force to replace it.", outName.c_str()));
      break;
    case TOutputStatus::NotRegular:
      PrintError(Format8("Cannot write %s file: not a regular file; it is left as it is.",
                         outName.c_str()));
      break;
    case TOutputStatus::CannotCreate:
    case TOutputStatus::CannotFinish:
      PrintError(cannotWrite != nullptr ? std::string(cannotWrite)
                                        : Format8("Cannot write %s file.", outName.c_str()));
      break;
  }
  return output;
}

bool CommitOutputFile(TOutputFile& output) {
  switch (output.Commit()) {
    case TOutputStatus::Ok: return true;
    case TOutputStatus::Exists:
      PrintError(Format8("The file %s already exists. Use --force to replace it.",
                         output.Target().c_str()));
      return false;
    case TOutputStatus::NotRegular:
      PrintError(Format8("Cannot write %s file: not a regular file; it is left as it is.",
                         output.Target().c_str()));
      return false;
    default: PrintError(Format8("Cannot write %s file.", output.Target().c_str())); return false;
  }
}

}  // namespace riffo::cli
