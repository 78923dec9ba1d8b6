// riffoscope-cli run as a program: what it writes, its messages and its
// exit statuses.
#include <pty.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "support/RunProgram.h"
#include "support/TempFolder.h"
#include "viewer/StructureExport.h"
#include "viewer/WavFixtures.h"

namespace riffo::test {
namespace {

using RunResult = TRun;

class CliTest : public ::testing::Test {
protected:
  std::string PathOf(const std::string& name) const { return Dir + "/" + name; }

  std::string Put(const std::string& name, const Bytes& bytes) const {
    WriteFileBytes(PathOf(name), bytes);
    return PathOf(name);
  }

  // Runs the program in the test's folder; stdoutPath replaces the capture
  // of standard output (for example /dev/full).
  RunResult Run(const std::vector<std::string>& args, const std::string& stdoutPath = {}) const {
    TProgramCall call(RIFFO_CLI_PATH, args, Dir);
    call.StdoutPath = stdoutPath;
    return RunProgram(call);
  }

  // Runs the program with standard output on a pseudo-terminal; returns
  // what the terminal received.
  std::string RunOnTerminal(const std::vector<std::string>& args) const {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
      if (::chdir(Dir.c_str()) != 0) ::_exit(127);
      std::vector<char*> argv{const_cast<char*>(RIFFO_CLI_PATH)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(RIFFO_CLI_PATH, argv.data());
      ::_exit(127);
    }
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
      seen.append(buffer, static_cast<size_t>(n));
    ::close(master);
    ::waitpid(pid, nullptr, 0);
    return seen;
  }

  static std::string Expected(const std::string& name, const char* kind) {
    return ReadFileText(std::string(RIFFO_VIEWER_TEST_DATA_DIR) + "/" + name + "." + kind + ".txt");
  }

  TempFolder Folder{"cli"};
  const std::string Dir = Folder.Path();
};

// The expected files were worked out by hand (see the viewer's golden
// tests); the program must print them exactly, for the name as given.
TEST_F(CliTest, ExportAndTreeOfEachFixtureMatchTheExpectedFiles) {
  for (const Fixture& fixture : FIXTURES) {
    const std::string name = std::string(fixture.Name) + ".wav";
    Put(name, fixture.Build());
    const RunResult exported = Run({"export", name});
    EXPECT_EQ(exported.Status, 0) << name << exported.Err;
    EXPECT_EQ(exported.Out, ToCrLf(Expected(fixture.Name, "export"))) << name;
    const RunResult tree = Run({"tree", name});
    EXPECT_EQ(tree.Status, 0) << name << tree.Err;
    EXPECT_EQ(tree.Out, Expected(fixture.Name, "tree")) << name;
    EXPECT_EQ(tree.Err, "");
  }
}

TEST_F(CliTest, ExportIsByteForByteWhatTheWriterProduces) {
  const Bytes file = BroadcastWaveFile();
  const std::string path = Put("take.wav", file);  // given as an absolute path
  const auto root = LoadTree(file);
  TMemoryStream expected;
  ASSERT_TRUE(WriteStructureExport(expected, u"-", Utf8ToUtf16(path),
                                   static_cast<int64_t>(file.size()), root.get())
                  .Ok);
  const std::string bytes(expected.Bytes().begin(), expected.Bytes().end());

  EXPECT_EQ(Run({"export", path}).Out, bytes);
  const RunResult toFile = Run({"export", path, "-o", "out.txt"});
  EXPECT_EQ(toFile.Status, 0) << toFile.Err;
  EXPECT_EQ(toFile.Out, "");
  EXPECT_EQ(ReadFileText(PathOf("out.txt")), bytes);
}

TEST_F(CliTest, AnExistingOutputIsRefusedUnlessForced) {
  Put("take.wav", CanonicalPcmFile());
  Put("out.txt", Bytes{'o', 'l', 'd'});
  const RunResult refused = Run({"export", "take.wav", "-o", "out.txt"});
  EXPECT_EQ(refused.Status, 2);
  EXPECT_NE(refused.Err.find("out.txt"), std::string::npos) << refused.Err;
  EXPECT_EQ(ReadFileText(PathOf("out.txt")), "old");

  const RunResult forced = Run({"export", "take.wav", "-o", "out.txt", "--force"});
  EXPECT_EQ(forced.Status, 0) << forced.Err;
  std::string expected = ToCrLf(Expected("canonical-pcm", "export"));
  const std::string nameLine = "FileName: canonical-pcm.wav";
  expected.replace(expected.find(nameLine), nameLine.size(), "FileName: take.wav");
  EXPECT_EQ(ReadFileText(PathOf("out.txt")), expected);
}

TEST_F(CliTest, ForcingTheInputFileAsOutputLeavesTheWavFileAlone) {
  const Bytes file = CanonicalPcmFile();
  Put("take.wav", file);
  const RunResult result = Run({"export", "take.wav", "-o", "take.wav", "--force"});
  EXPECT_EQ(result.Status, 2);
  EXPECT_EQ(result.Err, "Cannot write take.wav file.\n");
  EXPECT_EQ(ReadFileText(PathOf("take.wav")), std::string(file.begin(), file.end()));
}

TEST_F(CliTest, AnOutputThatCannotBeWrittenIsReportedWithExitStatus2) {
  Put("take.wav", CanonicalPcmFile());
  const RunResult noFolder = Run({"export", "take.wav", "-o", "missing/out.txt"});
  EXPECT_EQ(noFolder.Status, 2);
  EXPECT_EQ(noFolder.Err, "Cannot write missing/out.txt file.\n");

  const RunResult fullExport = Run({"export", "take.wav"}, "/dev/full");
  EXPECT_EQ(fullExport.Status, 2);
  EXPECT_EQ(fullExport.Err, "Cannot write standard output file.\n");
  const RunResult fullTree = Run({"tree", "take.wav"}, "/dev/full");
  EXPECT_EQ(fullTree.Status, 2);
  EXPECT_EQ(fullTree.Err, "Cannot write standard output file.\n");
}

TEST_F(CliTest, BadInputGivesTheViewersMessageAndExitStatus2) {
  Put("notes.txt", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'});
  Bytes avi = CanonicalPcmFile();
  std::memcpy(avi.data() + 8, "AVI ", 4);
  Put("movie.avi", avi);
  Put("short.wav", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'});  // 11 bytes
  ::mkdir(PathOf("folder.wav").c_str(), 0755);
  ::mkfifo(PathOf("fifo.wav").c_str(), 0644);  // opening it to read would block for ever
  struct Case {
    std::string File, Message;
  };
  const Case cases[] = {
      {"absent.wav", "File not found.\n"},  {"folder.wav", "File not found.\n"},
      {"notes.txt", "Invalid WAV file.\n"}, {"movie.avi", "Invalid WAV file.\n"},
      {"short.wav", "Invalid WAV file.\n"}, {"fifo.wav", "Not a regular file.\n"}};
  for (const Case& c : cases)
    for (const char* command : {"export", "tree"}) {
      const RunResult result = Run({command, c.File});
      EXPECT_EQ(result.Status, 2) << command << " " << c.File;
      EXPECT_EQ(result.Err, c.Message) << command << " " << c.File;
      EXPECT_EQ(result.Out, "") << command << " " << c.File;
    }
  // nothing is created for an export that could not load its input
  EXPECT_EQ(Run({"export", "absent.wav", "-o", "out.txt"}).Status, 2);
  EXPECT_NE(::access(PathOf("out.txt").c_str(), F_OK), 0);
}

// Bytes from the file (here the coding history) reach a terminal only in a
// visible form; files and pipes get them exactly.
TEST_F(CliTest, ControlCharactersAreShownVisiblyOnlyOnATerminal) {
  Bytes file = BroadcastWaveFile();
  const std::string marker = "T=(mix)";
  auto at = std::search(file.begin(), file.end(), marker.begin(), marker.end());
  ASSERT_NE(at, file.end());
  const std::string hostile = "\x1b]0;\x07";  // sets the terminal's title
  std::copy(hostile.begin(), hostile.end(), at);
  Put("take.wav", file);
  const std::string onTerminal = RunOnTerminal({"tree", "take.wav"});
  EXPECT_EQ(onTerminal.find('\x1b'), std::string::npos);
  EXPECT_EQ(onTerminal.find('\x07'), std::string::npos);
  EXPECT_NE(onTerminal.find("\\x1B]0;\\x07"), std::string::npos) << onTerminal;
  const RunResult piped = Run({"tree", "take.wav"});
  EXPECT_EQ(piped.Status, 0);
  EXPECT_NE(piped.Out.find(hostile), std::string::npos);
}

// On a terminal a batch shows a one-line progress display on standard
// error, cleared before each summary line; --quiet leaves it out.
TEST_F(CliTest, ProgressIsShownOnATerminalUnlessQuiet) {
  Put("a.wav", CanonicalPcmFile());
  Put("b.wav", CanonicalPcmFile());
  const std::string shown = RunOnTerminal({"validate", "a.wav", "b.wav"});
  EXPECT_NE(shown.find("\r\x1b[K[0/2]"), std::string::npos) << shown;
  EXPECT_NE(shown.find("PASS"), std::string::npos) << shown;
  const std::string quiet = RunOnTerminal({"validate", "--quiet", "a.wav", "b.wav"});
  EXPECT_EQ(quiet.find("\x1b[K"), std::string::npos) << quiet;
  EXPECT_NE(quiet.find("Total: 2 files"), std::string::npos) << quiet;
}

// -o - and -o /dev/stdout mean standard output.
TEST_F(CliTest, DashAndDevStdoutWriteToStandardOutput) {
  Put("take.wav", CanonicalPcmFile());
  const std::string expected = Run({"export", "take.wav"}).Out;
  EXPECT_EQ(Run({"export", "take.wav", "-o", "-"}).Out, expected);
  EXPECT_EQ(Run({"export", "take.wav", "-o/dev/stdout"}).Out, expected);
  EXPECT_EQ(Run({"export", "--output=-", "take.wav"}).Out, expected);
}

TEST_F(CliTest, UsageErrorsExitWithStatus2) {
  Put("take.wav", CanonicalPcmFile());
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate", "take.wav"},
      {"export"},
      {"export", "take.wav", "other.wav"},
      {"export", "take.wav", "-o"},
      {"export", "take.wav", "-o", ""},
      {"export", "take.wav", "--force"},
      {"export", "take.wav", "--verbose"},
      {"tree"},
      {"tree", "take.wav", "-o", "out.txt"},
  };
  for (const auto& args : cases) {
    const RunResult result = Run(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(result.Status, 2) << shown;
    EXPECT_NE(result.Err.find("--help"), std::string::npos) << shown << result.Err;
    EXPECT_EQ(result.Out, "") << shown;
  }
}

TEST_F(CliTest, HelpExplainsEveryCommand) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}}) {
    const RunResult help = Run(args);
    EXPECT_EQ(help.Status, 0);
    for (const char* word : {"export FILE [-o OUT] [--force]", "tree FILE", "--force",
                             "standard output", "Exit status"})
      EXPECT_NE(help.Out.find(word), std::string::npos) << word;
  }
  const RunResult exportHelp = Run({"export", "--help"});
  EXPECT_EQ(exportHelp.Status, 0);
  EXPECT_NE(exportHelp.Out.find("Usage: riffoscope-cli export FILE [-o OUT] [--force]"),
            std::string::npos);
  const RunResult treeHelp = Run({"tree", "--help"});
  EXPECT_EQ(treeHelp.Status, 0);
  EXPECT_NE(treeHelp.Out.find("two blanks per level"), std::string::npos);
}

}  // namespace
}  // namespace riffo::test
