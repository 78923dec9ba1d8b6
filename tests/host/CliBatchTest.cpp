// riffoscope-cli validate on many files, run as a program: a copy of the
// program in a scratch folder with a fake module beside it whose behaviour
// the file names pick ("pass", "warn", "crash", "hang"; anything else FAILs).
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "HostTestSupport.h"
#include "platform/Processors.h"
#include "support/RiffBuilder.h"
#include "support/RunProgram.h"

namespace riffo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using test::MinimalWav;
using test::TRun;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The summary lines without the totals line (its time differs run to run).
std::string WithoutTotals(const std::string& out) {
  std::string kept;
  for (const std::string& line : Lines(out))
    if (line.rfind("Total: ", 0) != 0) kept += line + "\n";
  return kept;
}

class CliBatchTest : public test::THostTest {
protected:
  void SetUp() override {
    THostTest::SetUp();
    fs::create_directories(FDir / "bin");
    fs::copy_file(RIFFO_CLI_PATH, FDir / "bin" / "riffoscope-cli");
    fs::copy_file(test::Path8ForFake("good"), FDir / "bin" / "Sonolint.qvx");
    ::setenv("FAKE_QVX_BY_NAME_good", "1", 1);
  }
  void TearDown() override {
    ::unsetenv("FAKE_QVX_BY_NAME_good");
    THostTest::TearDown();
  }
  void Wav(const std::string& name) const {
    fs::create_directories((FDir / name).parent_path());
    WriteFile(name, MinimalWav());
  }

  // riffoscope-cli validate with args in the scratch folder, input on its
  // standard input.
  test::TProgramCall Call(const std::vector<std::string>& args,
                          const std::string& input = {}) const {
    std::vector<std::string> all{"validate"};
    all.insert(all.end(), args.begin(), args.end());
    test::TProgramCall call((FDir / "bin" / "riffoscope-cli").string(), all, FDir.string());
    call.Input = input;
    return call;
  }
  pid_t Start(const std::vector<std::string>& args, const std::string& input = {}) const {
    return test::StartProgram(Call(args, input));
  }
  TRun Finish(pid_t pid) const { return test::FinishProgram(pid, Call({})); }
  TRun Run(const std::vector<std::string>& args, const std::string& input = {}) const {
    return Finish(Start(args, input));
  }
};

// Every kind of input in one run: verdicts, reasons, order, exit status,
// the reports' layout and the JSON summary.
TEST_F(CliBatchTest, EveryKindOfInputGetsItsVerdictInInputOrder) {
  for (const char* name : {"in/pass.wav", "in/warn.WAV", "in/fail.bwf", "in/d1/take1.wav",
                           "in/d2/take1.wav", "in/crash.wav", "in/hang.wav", "in/.hidden.wav"})
    Wav(name);
  WriteFile("in/empty.wav", "");
  WriteFile("in/text.wav", "just some text, not a RIFF file\n");
  WriteFile("in/rifx.wav", "RIFX" + MinimalWav().substr(4));
  WriteFile("in/notes.txt", "not a WAV name");
  ASSERT_EQ(::mkfifo(Path8("in/fifo.wav").c_str(), 0644), 0);
  const bool root = ::geteuid() == 0;
  if (!root) {
    Wav("in/noperm.wav");
    ::chmod(Path8("in/noperm.wav").c_str(), 0);
  }

  const TRun run = Run({"--jobs", "3", "--timeout", "1", "--output-dir", "out", "--summary",
                        "sum.json", "in", "missing.wav"});
  EXPECT_EQ(run.Status, 2) << run.Err;

  struct Expect {
    const char* Path;
    const char* Verdict;
    const char* Reason;  // the start of it
  };
  std::vector<Expect> expected = {
      {"in/crash.wav", "ERROR", "crashed: "},
      {"in/d1/take1.wav", "FAIL", ""},
      {"in/d2/take1.wav", "FAIL", ""},
      {"in/empty.wav", "UNREADABLE", "Invalid WAV file."},
      {"in/fail.bwf", "FAIL", ""},
      {"in/fifo.wav", "UNREADABLE", "Not a regular file."},
      {"in/hang.wav", "ERROR", "timed out after 1 s"},
      {"in/noperm.wav", "UNREADABLE", "Permission denied"},
      {"in/pass.wav", "PASS", ""},
      {"in/rifx.wav", "UNREADABLE", "Invalid WAV file."},
      {"in/text.wav", "UNREADABLE", "Invalid WAV file."},
      {"in/warn.WAV", "WARN", ""},
      {"missing.wav", "UNREADABLE", "File not found."},
  };
  if (root) expected.erase(expected.begin() + 7);
  const std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), expected.size() + 1) << run.Out;
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::string& line = lines[i];
    EXPECT_EQ(line.rfind(expected[i].Verdict, 0), 0u) << line;
    const std::string tail =
        std::string(expected[i].Path) +
        (*expected[i].Reason != '\0' ? std::string(": ") + expected[i].Reason : "");
    EXPECT_NE(line.find("  " + tail), std::string::npos) << line;
    if (*expected[i].Reason != '\0') {  // the reason also on standard error
      EXPECT_NE(run.Err.find(tail), std::string::npos) << run.Err;
    }
  }
#ifndef __SANITIZE_ADDRESS__
  EXPECT_NE(lines[0].find("crashed: signal SIGABRT"), std::string::npos) << lines[0];
#endif
  EXPECT_EQ(lines.back().rfind(
                "Total: " + std::to_string(expected.size()) + " files: 1 PASS, 1 WARN, 3 FAIL", 0),
            0u)
      << lines.back();

  // Reports only for what was validated, mirroring the folders.
  std::set<std::string> reports;
  for (const auto& entry : fs::recursive_directory_iterator(FDir / "out"))
    if (entry.is_regular_file()) reports.insert(fs::relative(entry.path(), FDir / "out").string());
  EXPECT_EQ(reports,
            (std::set<std::string>{"in/d1/take1.wav.txt", "in/d2/take1.wav.txt", "in/fail.bwf.txt",
                                   "in/pass.wav.txt", "in/warn.WAV.txt"}));
  EXPECT_NE(ReadFile("out/in/d2/take1.wav.txt").find("FileName: in/d2/take1.wav\r\n"),
            std::string::npos);

  const json summary = json::parse(ReadFile("sum.json"));
  EXPECT_EQ(summary["tool"], "riffoscope-cli");
  EXPECT_EQ(summary["started"].get<std::string>().size(), 20u);  // 2026-12-10T15:04:05Z
  ASSERT_EQ(summary["files"].size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(summary["files"][i]["path"], expected[i].Path);
    EXPECT_EQ(summary["files"][i]["verdict"], expected[i].Verdict);
  }

  // Existing reports are refused without --force, and that is an output error.
  const TRun again = Run({"--output-dir", "out", "in/pass.wav", "in/warn.WAV"});
  EXPECT_EQ(again.Status, 2);
  EXPECT_NE(again.Err.find("already exists"), std::string::npos) << again.Err;
  EXPECT_EQ(Run({"--output-dir", "out", "--force", "in/pass.wav", "in/warn.WAV"}).Status, 0);
}

TEST_F(CliBatchTest, ResultsDoNotDependOnTheNumberOfWorkers) {
  for (const char* name : {"a/pass1.wav", "a/warn2.wav", "a/x3.wav", "b/crash4.wav", "b/pass5.wav",
                           "b/y6.wav", "b/z7.wav"})
    Wav(name);
  const TRun one = Run({"-j", "1", "--format=json", "--output-dir", "r1", "a", "b"});
  const TRun three = Run({"-j3", "--format", "json", "--output-dir", "r3", "a", "b"});
  EXPECT_EQ(one.Status, 2);
  EXPECT_EQ(three.Status, 2);
  EXPECT_EQ(WithoutTotals(one.Out), WithoutTotals(three.Out));
  for (const char* report :
       {"a/pass1.wav.json", "a/warn2.wav.json", "a/x3.wav.json", "b/y6.wav.json"}) {
    const std::string text = ReadFile(std::string("r1/") + report);
    EXPECT_EQ(text, ReadFile(std::string("r3/") + report)) << report;
    const json parsed = json::parse(text);  // valid JSON
    EXPECT_EQ(parsed["modules"], json::array({"Sonolint"}));
  }
  const json fail = json::parse(ReadFile("r1/a/x3.wav.json"));
  EXPECT_EQ(fail["lines"][1], json::parse(R"({"module":"Sonolint","stream":null,"type":"Warning",
                                              "rule":500,"message":"Silence block"})"));
}

TEST_F(CliBatchTest, ShardsCoverEveryFileExactlyOnce) {
  std::set<std::string> all;
  for (int i = 0; i < 24; ++i) {
    const std::string name = "arc/f" + std::to_string(i) + "pass.wav";
    Wav(name);
    all.insert(name);
  }
  std::multiset<std::string> seen;
  for (int k = 1; k <= 3; ++k) {
    const std::string summary = "part" + std::to_string(k) + ".csv";
    const TRun run = Run({"--shard", std::to_string(k) + "/3", "--summary", summary, "arc"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    const std::vector<std::string> rows = Lines(ReadFile(summary));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(
        rows[0].rfind("path,verdict,errors,warnings,infos,reason,output_error,version,started", 0),
        0u);
    for (size_t i = 1; i < rows.size(); ++i) seen.insert(rows[i].substr(0, rows[i].find(',')));
  }
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()), all);
  EXPECT_EQ(seen.size(), all.size());
}

TEST_F(CliBatchTest, UsageErrorsAndCleanExitStatuses) {
  Wav("pass.wav");
  Wav("warn.wav");
  Wav("fail.wav");
  fs::create_directories(FDir / "nowav");
  WriteFile("nowav/readme.txt", "x");
  WriteFile("list.txt", "pass.wav\n\nwarn.wav\n");
  struct Case {
    std::vector<std::string> Args;
    std::string Input;
    int Status;
    const char* Text;  // in the standard error, or the standard output for status 0/1
  };
  const Case cases[] = {
      {{"pass.wav", "warn.wav"}, "", 0, "Total: 2 files: 1 PASS, 1 WARN"},
      {{"pass.wav", "fail.wav"}, "", 1, "FAIL        E 1  W 1  I 3  fail.wav"},
      {{"--files-from", "list.txt"}, "", 0, "WARN        E 0  W 1  I 3  warn.wav"},
      {{"-0", "--files-from", "-"}, std::string("pass.wav\0fail.wav\0", 18), 1, "fail.wav"},
      {{"--", "pass.wav", "warn.wav"}, "", 0, "PASS"},
      {{"nowav"}, "", 2, "no WAV files found in nowav"},
      {{"--jobs", "0", "pass.wav", "warn.wav"}, "", 2, "--jobs"},
      {{"--shard", "4/3", "pass.wav"}, "", 2, "--shard"},
      {{"--shard=0/2", "pass.wav"}, "", 2, "--shard"},
      {{"--shard", "1/x", "pass.wav"}, "", 2, "--shard"},
      {{"--summary", "s.txt", "pass.wav"}, "", 2, ".csv or .json"},
      {{"-o", "r.txt", "pass.wav", "warn.wav"}, "", 2, "--output-dir"},
      {{"--frobnicate", "pass.wav"}, "", 2, "unknown option '--frobnicate'"},
      {{"pass.wav", "--format"}, "", 2, "needs a value"},
  };
  for (const Case& c : cases) {
    const TRun run = Run(c.Args, c.Input);
    std::string shown;
    for (const auto& a : c.Args) shown += a + " ";
    EXPECT_EQ(run.Status, c.Status) << shown << run.Err;
    EXPECT_NE((c.Status == 2 ? run.Err : run.Out).find(c.Text), std::string::npos)
        << shown << "\n"
        << run.Out << run.Err;
  }
}

TEST_F(CliBatchTest, OneFileKeepsTheSingleReportAndTheGnuOptionForms) {
  Wav("pass.wav");
  const TRun version = Run({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, std::string("riffoscope-cli ") + RIFFO_VERSION + "\n");
  const std::string csv =
      "#,Module,Stream,Type,Message\r\n1,Sonolint,,Info,[101] Start validation\r\n"
      "2,Sonolint,,Info,[302] FormatTag = 1\r\n3,Sonolint,,Info,[108] Finish validation\r\n";
  EXPECT_EQ(Run({"--format=csv", "pass.wav"}).Out, csv);
  EXPECT_EQ(Run({"pass.wav", "--format", "csv", "-o", "-"}).Out, csv);
  EXPECT_EQ(Run({"pass.wav", "--format", "csv", "-o/dev/stdout"}).Out, csv);
  EXPECT_EQ(Run({"pass.wav", "-or.csv"}).Status, 0);
  EXPECT_EQ(ReadFile("r.csv"), csv);
  // JSON by -o's extension.
  EXPECT_EQ(Run({"pass.wav", "--output=r.json"}).Status, 0);
  EXPECT_EQ(json::parse(ReadFile("r.json"))["lines"][1]["rule"], 302);
  // No temporary is left beside the reports.
  for (const auto& entry : fs::directory_iterator(FDir))
    EXPECT_EQ(entry.path().filename().string().rfind(".riffoscope-out-", 0), std::string::npos);
}

TEST_F(CliBatchTest, JsonStaysValidForAnyTextInTheFileName) {
  const std::string name = std::string("pass\x1b[31m\x01\x7f.wav");
  Wav(name);
  const TRun run = Run({"--format", "json", name});
  EXPECT_EQ(run.Status, 0) << run.Err;
  const json report = json::parse(run.Out);  // throws on invalid JSON
  EXPECT_EQ(report["file"].get<std::string>().rfind("pass\x1b[31m", 0), 0u);
  EXPECT_EQ(run.Out.find('\x1b'), std::string::npos);  // escaped as \u001b
  EXPECT_EQ(report["lines"].size(), 3u);
}

TEST_F(CliBatchTest, ForceNeverRemovesBeforeItHasAReportNorAnythingButARegularFile) {
  Wav("pass.wav");
  WriteFile("old.txt", "keep");
  fs::remove(FDir / "bin" / "Sonolint.qvx");
  EXPECT_EQ(Run({"pass.wav", "-o", "old.txt", "--force"}).Status, 2);
  EXPECT_EQ(ReadFile("old.txt"), "keep");
  fs::copy_file(test::Path8ForFake("good"), FDir / "bin" / "Sonolint.qvx");

  ASSERT_EQ(::mkfifo(Path8("pipe").c_str(), 0644), 0);
  fs::create_symlink("old.txt", FDir / "link.txt");
  for (const char* target : {"pipe", "link.txt"}) {
    const TRun run = Run({"pass.wav", "-o", target, "--force"});
    EXPECT_EQ(run.Status, 2) << target;
    EXPECT_NE(run.Err.find("not a regular file"), std::string::npos) << run.Err;
  }
  EXPECT_TRUE(fs::is_fifo(FDir / "pipe"));
  EXPECT_TRUE(fs::is_symlink(FDir / "link.txt"));
  EXPECT_EQ(ReadFile("old.txt"), "keep");
  EXPECT_EQ(Run({"pass.wav", "-o", "old.txt", "--force"}).Status, 0);
  EXPECT_EQ(ReadFile("old.txt").rfind("//////", 0), 0u);
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\n");
  const size_t last = text.find_last_not_of(" \t\n");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The processors a thread of this process may run on, as the system lists
// them ("0-3").
std::string AllowedProcessors() {
  std::ifstream in("/proc/thread-self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Cpus_allowed_list:", 0) == 0) return Trimmed(line.substr(18));
  return {};
}

// Each worker, and the threads its module starts, keeps to a processor of its
// own when every worker can have one; --no-pin, or more workers than
// processors, leave them where the system puts them. The default number of
// workers follows the processors the program may use.
TEST_F(CliBatchTest, EachWorkerKeepsToAProcessorOfItsOwn) {
  const std::vector<int> usable = UsableProcessors();
  // More files than processors, so that asking for one worker more than
  // there are processors starts that many.
  const size_t files = std::max<size_t>(8, usable.size() + 1);
  for (size_t i = 0; i < files; ++i) Wav("c/cpus-pass" + std::to_string(i) + ".wav");
  ::setenv("FAKE_QVX_CPUS", Path8("cpus.txt").c_str(), 1);
  const std::string all = AllowedProcessors();
  ASSERT_FALSE(all.empty());
  const std::string jobs = std::to_string(std::min<size_t>(2, usable.size()));
  const std::string tooMany = std::to_string(usable.size() + 1);
  struct Case {
    std::vector<std::string> Args;
    bool Pinned;
  };
  const Case cases[] = {
      {{"-j", jobs, "c"}, true},
      {{"-j", jobs, "--no-pin", "c"}, false},
      {{"-j", tooMany, "c"}, false},
  };
  for (const Case& c : cases) {
    fs::remove(FDir / "cpus.txt");
    const TRun run = Run(c.Args);
    ASSERT_EQ(run.Status, 0) << c.Args[1] << run.Err;
    std::map<std::string, std::string> processorOf;  // worker pid -> processors
    const std::vector<std::string> lines = Lines(ReadFile("cpus.txt"));
    EXPECT_EQ(lines.size(), files);
    for (const std::string& line : lines) {
      const std::string pid = line.substr(0, line.find(' '));
      const std::string processors = Trimmed(line.substr(line.find(' ') + 1));
      if (c.Pinned) {
        EXPECT_NE(std::find(usable.begin(), usable.end(), std::atoi(processors.c_str())),
                  usable.end())
            << line;
        EXPECT_EQ(std::to_string(std::atoi(processors.c_str())), processors) << line;
      } else {
        EXPECT_EQ(processors, all) << line;
      }
      EXPECT_EQ(processorOf.emplace(pid, processors).first->second, processors) << line;
    }
    if (c.Pinned) {
      std::set<std::string> distinct;
      for (const auto& [pid, processors] : processorOf) distinct.insert(processors);
      EXPECT_EQ(distinct.size(), processorOf.size());
    }
  }

  // A program limited to one processor (as `taskset` or a cluster's job slot
  // does) starts one worker, kept on that processor.
  cpu_set_t saved, one;
  ASSERT_EQ(::sched_getaffinity(0, sizeof saved, &saved), 0);
  CPU_ZERO(&one);
  CPU_SET(usable.back(), &one);
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
  fs::remove(FDir / "cpus.txt");
  const TRun limited = Run({"c"});
  ::sched_setaffinity(0, sizeof saved, &saved);
  EXPECT_EQ(limited.Status, 0) << limited.Err;
  std::set<std::string> lines;
  for (const std::string& line : Lines(ReadFile("cpus.txt"))) lines.insert(line);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Trimmed(lines.begin()->substr(lines.begin()->find(' ') + 1)),
            std::to_string(usable.back()));
  ::unsetenv("FAKE_QVX_CPUS");
}

TEST_F(CliBatchTest, CtrlCStopsTheRunAndASecondOneEndsItAtOnce) {
  Wav("q/a-hang.wav");
  Wav("q/b-pass.wav");
  // Batch: the file in work is STOPPED, the one never started is listed.
  pid_t pid = Start({"-j", "1", "q"});
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ::kill(pid, SIGINT);
  TRun run = Finish(pid);
  EXPECT_EQ(run.Status, 130);
  EXPECT_NE(run.Out.find("STOPPED     E 0  W 0  I 0  q/a-hang.wav\n"), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("q/b-pass.wav: not started"), std::string::npos) << run.Out;

  // One file whose module never returns: the first Ctrl+C cannot stop it,
  // the second ends the program.
  pid = Start({"q/a-hang.wav"});
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  ::kill(pid, SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0);  // still running
  const auto start = std::chrono::steady_clock::now();
  ::kill(pid, SIGINT);
  run = Finish(pid);
  EXPECT_EQ(run.Status, 130);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace riffo

namespace riffo {
namespace {

// The real Sonolint beside the program, with a fake second module where a
// test needs to look inside a run.
class CliRealModuleTest : public CliBatchTest {
protected:
  void SetUp() override {
    CliBatchTest::SetUp();
    fs::remove(FDir / "bin" / "Sonolint.qvx");
    fs::copy_file(RIFFO_SONOLINT_PATH, FDir / "bin" / "Sonolint.qvx");
    fs::create_directories(FDir / "xdg");
    ::setenv("XDG_CONFIG_HOME", (FDir / "xdg").c_str(), 1);
  }
  void TearDown() override {
    if (FOldHome) ::setenv("XDG_CONFIG_HOME", FOldHome->c_str(), 1);
    CliBatchTest::TearDown();
  }
  // A 16-bit stereo file with a little signal.
  void SignalWav(const std::string& name, int frames = 400) const {
    std::string data;
    for (int i = 0; i < frames; ++i) {
      const int16_t v = static_cast<int16_t>(i % 2 ? 3000 : -3000);
      for (int c = 0; c < 2; ++c)
        data += {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    }
    std::string wav = MinimalWav();
    wav[22] = 2;  // channels
    const uint32_t avg = 44100 * 4;
    for (int i = 0; i < 4; ++i) wav[28 + i] = static_cast<char>((avg >> (8 * i)) & 0xFF);
    wav[32] = 4;  // block align
    const uint32_t size = static_cast<uint32_t>(data.size());
    for (int i = 0; i < 4; ++i) wav[40 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    const uint32_t riff = 36 + size;
    for (int i = 0; i < 4; ++i) wav[4 + i] = static_cast<char>((riff >> (8 * i)) & 0xFF);
    WriteFile(name, wav + data);
  }
  std::optional<std::string> FOldHome =
      std::getenv("XDG_CONFIG_HOME") ? std::optional<std::string>(std::getenv("XDG_CONFIG_HOME"))
                                     : std::nullopt;
};

TEST_F(CliRealModuleTest, RulesProfileAppliesToOneRunOnly) {
  SignalWav("take.wav");
  const TRun plain = Run({"--format", "csv", "take.wav"});
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  EXPECT_NE(plain.Out.find(",Info,[301]"), std::string::npos) << plain.Out;
  EXPECT_NE(plain.Out.find(",Info,[502]"), std::string::npos) << plain.Out;
  const std::string store = ReadFile("xdg/brindlecorp/user.reg");
  ASSERT_FALSE(store.empty());

  WriteFile("rules.txt", "# a profile\n\n502 = Warning   # louder\n301=off\n");
  const TRun ruled = Run({"--format", "csv", "--rules", "rules.txt", "take.wav"});
  EXPECT_EQ(ruled.Status, 0) << ruled.Err;
  EXPECT_EQ(ruled.Out.find("[301]"), std::string::npos) << ruled.Out;
  EXPECT_NE(ruled.Out.find(",Warning,[502]"), std::string::npos) << ruled.Out;
  const TRun batch = Run({"--rules", "rules.txt", "take.wav", "take.wav"});
  EXPECT_EQ(batch.Out.rfind("WARN", 0), 0u) << batch.Out;
  // The user's own settings are untouched and apply again without --rules.
  EXPECT_EQ(ReadFile("xdg/brindlecorp/user.reg"), store);
  EXPECT_EQ(Run({"--format", "csv", "take.wav"}).Out.find(",Warning,"), std::string::npos);

  const std::pair<const char*, const char*> bad[] = {
      {"301 = off\n999 = off\n", "rules.txt:2: unknown rule '999'"},
      {"217 = loud\n", "rules.txt:1: unknown value 'loud'"},
      {"217 warning\n", "rules.txt:1: expected"},
      {"101 = error\n", "rules.txt:1: the severity of rule 101 cannot be changed"},
      {"611 = warning\n699 = off\n", "rules.txt:2: unknown rule '699'"},
      {"601 = error\n", "rules.txt:1: the severity of rule 601 cannot be changed"},
  };
  for (const auto& [text, message] : bad) {
    WriteFile("rules.txt", text);
    const TRun run = Run({"--rules", "rules.txt", "take.wav"});
    EXPECT_EQ(run.Status, 2) << text;
    EXPECT_NE(run.Err.find(message), std::string::npos) << run.Err;
  }
}

// A profile reaches every module: Loudlint's rules are switched and
// re-graded under its own key, in the same profile as Sonolint's.
TEST_F(CliRealModuleTest, RulesProfileSetsTheRulesOfEveryModule) {
  fs::copy_file(RIFFO_LOUDLINT_PATH, FDir / "bin" / "Loudlint.qvx");
  SignalWav("take.wav", 44100);  // long enough to be measured
  const TRun plain = Run({"--format", "csv", "take.wav"});
  ASSERT_NE(plain.Status, 2) << plain.Err;  // FAIL: the loudness is off target
  for (const char* line : {",Info,[301]", ",Info,[601]", ",Info,[611]", ",Info,[612]"})
    EXPECT_NE(plain.Out.find(line), std::string::npos) << line << "\n" << plain.Out;

  struct TCase {
    const char* Profile;
    std::vector<const char*> Present, Absent;
  };
  const TCase cases[] = {
      {"601 = off\n", {",Info,[611]", ",Info,[301]"}, {"[601]"}},
      {"611 = Warning\n", {",Warning,[611]", ",Info,[612]"}, {",Info,[611]"}},
      {"301 = off\n612 = error\n601 = off\n", {",Error,[612]", ",Info,[611]"}, {"[301]", "[601]"}},
  };
  for (const TCase& c : cases) {
    WriteFile("rules.txt", c.Profile);
    const TRun run = Run({"--format", "csv", "--rules", "rules.txt", "take.wav"});
    EXPECT_NE(run.Status, 2) << c.Profile << run.Err;
    for (const char* line : c.Present)
      EXPECT_NE(run.Out.find(line), std::string::npos) << c.Profile << line << "\n" << run.Out;
    for (const char* line : c.Absent)
      EXPECT_EQ(run.Out.find(line), std::string::npos) << c.Profile << line << "\n" << run.Out;
  }
  // The user's own Loudlint settings still grade 611 as information.
  EXPECT_NE(Run({"--format", "csv", "take.wav"}).Out.find(",Info,[611]"), std::string::npos);
}

// --modules runs only the modules it names, in one file's run and in the
// workers of a batch; a name that is not a module, or a module that is not
// installed, is an error before any file is validated.
TEST_F(CliRealModuleTest, ModulesOptionRunsOnlyTheNamedModules) {
  fs::copy_file(RIFFO_LOUDLINT_PATH, FDir / "bin" / "Loudlint.qvx");
  SignalWav("take.wav", 44100);
  fs::create_directories(FDir / "dir");
  SignalWav("dir/take.wav", 44100);
  struct TCase {
    const char* Modules;
    bool Sonolint, Loudlint;
  };
  const TCase cases[] = {
      {"sonolint", true, false}, {"Loudlint", false, true}, {"LOUDLINT,Sonolint", true, true}};
  for (const TCase& c : cases) {
    const TRun single = Run({"--modules", c.Modules, "--format=csv", "take.wav"});
    EXPECT_NE(single.Status, 2) << c.Modules << single.Err;
    EXPECT_EQ(single.Out.find("[301]") != std::string::npos, c.Sonolint) << c.Modules;
    EXPECT_EQ(single.Out.find("[611]") != std::string::npos, c.Loudlint) << c.Modules;

    fs::remove_all(FDir / "out");
    const TRun batch = Run({"--modules=" + std::string(c.Modules), "--format", "json",
                            "--output-dir", "out", "take.wav", "dir"});
    EXPECT_NE(batch.Status, 2) << c.Modules << batch.Err;
    for (const char* report : {"out/take.wav.json", "out/dir/take.wav.json"}) {
      const json doc = json::parse(ReadFile(report), nullptr, false);
      ASSERT_TRUE(doc.is_object()) << report;
      std::vector<std::string> expected;
      if (c.Sonolint) expected.push_back("Sonolint");
      if (c.Loudlint) expected.push_back("Loudlint");
      EXPECT_EQ(doc["modules"].get<std::vector<std::string>>(), expected) << c.Modules;
    }
  }

  fs::remove(FDir / "bin" / "Loudlint.qvx");
  const std::pair<std::vector<std::string>, const char*> bad[] = {
      {{"--modules", "Sonolint,Foo", "take.wav"}, "unknown module 'Foo' (modules: "},
      {{"--modules", "", "take.wav"}, "--modules needs module names"},
      {{"--modules", "Sonolint,", "take.wav"}, "--modules needs module names"},
      {{"--modules", "Loudlint", "take.wav"}, "module not found: Loudlint"},
      {{"--modules", "Sonolint,Loudlint", "take.wav", "dir"}, "module not found: Loudlint"},
  };
  for (const auto& [args, message] : bad) {
    const TRun run = Run(args);
    EXPECT_EQ(run.Status, 2) << message;
    EXPECT_NE(run.Err.find(message), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out.find("PASS"), std::string::npos) << run.Out;
  }
}

// A batch worker's modules take file after file. Each file's report must be
// the one a run on that file alone gives, whatever came before it: a file
// without a format record after one with audio, a format the detector cannot
// analyse, a short data chunk, the first file again at the end.
TEST_F(CliRealModuleTest, EachFileOfABatchGetsTheReportOfARunOnItAlone) {
  using test::Append;
  using test::Bytes;
  using test::Chunk;
  fs::copy_file(RIFFO_LOUDLINT_PATH, FDir / "bin" / "Loudlint.qvx");
  auto tone = [](int frames, int channels, int bytes) {
    std::string data;
    for (int i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c) {
        const int32_t v =
            static_cast<int32_t>(std::lround(std::sin(i * 0.05 + c) * (bytes == 1   ? 100
                                                                       : bytes == 2 ? 20000
                                                                                    : 5000000)));
        if (bytes == 1) data += static_cast<char>(v + 128);
        for (int b = 0; bytes > 1 && b < bytes; ++b)
          data += static_cast<char>((v >> (8 * b)) & 0xFF);
      }
    return Bytes(data.begin(), data.end());
  };
  auto wave = [](const Bytes& body) {
    const Bytes file = test::Riff("WAVE", body);
    return std::string(file.begin(), file.end());
  };
  Bytes toneBody = Chunk("fmt ", test::PcmFormat(2, 48000, 16));
  Append(toneBody, Chunk("data", tone(48000, 2, 2)));
  Bytes shortBody = Chunk("fmt ", test::PcmFormat(2, 44100, 24));
  Append(shortBody, test::ChunkWithSize("data", 44100 * 6, tone(22050, 2, 3)));
  Bytes silentBody = Chunk("fmt ", test::PcmFormat(1, 22050, 8));
  Append(silentBody, Chunk("data", Bytes(11025, 0x80)));
  Bytes adpcmBody = Chunk("fmt ", test::FormatPayload(0x0011, 1, 22050, 4, 256));
  Append(adpcmBody, Chunk("data", Bytes(4096, 0x11)));
  // Six seconds of silence (a silence block), then more of it without a
  // format record: the second must not be analysed with the first's format.
  Bytes silence = Chunk("fmt ", test::PcmFormat(1, 8000, 16));
  Append(silence, Chunk("data", Bytes(6 * 8000 * 2, 0)));
  const std::pair<const char*, std::string> files[] = {
      {"a-silence.wav", wave(silence)},
      {"b-no-format.wav", wave(Chunk("data", Bytes(12 * 8000 * 2, 0)))},
      {"b-tone.wav", wave(toneBody)},
      {"c-silent-8bit.wav", wave(silentBody)},
      {"d-no-data.wav", wave(Chunk("fmt ", test::PcmFormat(2, 96000, 24)))},
      {"e-adpcm.wav", wave(adpcmBody)},
      {"f-short-24bit.wav", wave(shortBody)},
      {"g-tone-again.wav", wave(toneBody)},
  };
  std::vector<std::string> args{"--jobs", "1", "--format", "csv", "--output-dir", "out"};
  for (const auto& [name, bytes] : files) {
    WriteFile(name, bytes);
    args.push_back(name);
  }
  const TRun batch = Run(args);
  ASSERT_NE(batch.Status, 2) << batch.Out << batch.Err;
  // The start and finish lines carry the time of day.
  auto withoutTimes = [](const std::string& report) {
    std::string kept;
    for (const std::string& line : Lines(report))
      if (line.find(" validation at ") == std::string::npos) kept += line + "\n";
    return kept;
  };
  for (const auto& [name, bytes] : files) {
    const TRun alone = Run({"--format", "csv", name});
    ASSERT_NE(alone.Status, 2) << name << alone.Err;
    EXPECT_EQ(withoutTimes(ReadFile(std::string("out/") + name + ".csv")), withoutTimes(alone.Out))
        << name;
  }
}

// No widget toolkit, no text layout or drawing library in a validation run
// that writes no PDF: a second (fake) module copies the worker's memory map
// while the real Sonolint is loaded beside it.
TEST_F(CliRealModuleTest, AValidationRunMapsNoToolkitNorPdfLibraries) {
  fs::copy_file(test::Path8ForFake("pair", "Vidolint.qvx"), FDir / "bin" / "Vidolint.qvx");
  ::setenv("FAKE_QVX_BY_NAME_vido", "1", 1);
  ::setenv("FAKE_QVX_MAPS", Path8("maps.txt").c_str(), 1);
  SignalWav("maps-pass.wav");
  const TRun single = Run({"maps-pass.wav"});
  const std::string singleMaps = ReadFile("maps.txt");
  fs::remove(FDir / "maps.txt");
  const TRun batch = Run({"maps-pass.wav", "maps-pass.wav", "--output-dir", "out"});
  const std::string batchMaps = ReadFile("maps.txt");
  ::unsetenv("FAKE_QVX_BY_NAME_vido");
  ::unsetenv("FAKE_QVX_MAPS");
  for (const std::string* maps : {&singleMaps, &batchMaps}) {
    ASSERT_NE(maps->find("Sonolint.qvx"), std::string::npos) << single.Err << batch.Err;
    for (const char* library : {"libQt", "libcairo", "libpango"})
      EXPECT_EQ(maps->find(library), std::string::npos) << library;
  }
}

}  // namespace
}  // namespace riffo
