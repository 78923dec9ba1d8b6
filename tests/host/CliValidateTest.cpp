// riffoscope-cli validate, run as a program. The program looks for modules
// in its own folder, so each test copies it into a scratch folder, puts the
// fake module beside it as Sonolint.qvx and runs it there.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "HostTestSupport.h"
#include "support/RiffBuilder.h"
#include "support/RunProgram.h"
#include "support/TempFolder.h"

namespace riffo {
namespace {

namespace fs = std::filesystem;

using test::MinimalWav;
using test::TRun;

// The report lines the fake module sends on every run, as CSV.
const std::string kCsvReport =
    "#,Module,Stream,Type,Message\r\n"
    "1,Sonolint,,Info,[101] Start validation\r\n"
    "2,Sonolint,,Warning,[500] Silence block\r\n"
    "3,Sonolint,,Error,[204] Chunk truncated\r\n"
    "4,Sonolint,,Info,[302] FormatTag = 1\r\n"
    "5,Sonolint,,Info,[108] Finish validation\r\n";

class CliValidateTest : public test::THostTest {
protected:
  void SetUp() override {
    THostTest::SetUp();
    fs::create_directories(FDir / "bin");
    fs::copy_file(RIFFO_CLI_PATH, FDir / "bin" / "riffoscope-cli");
#ifdef RIFFO_PDF_LIBRARY
    // The PDF exporter is loaded from beside the program.
    fs::copy_file(RIFFO_PDF_LIBRARY, FDir / "bin" / fs::path(RIFFO_PDF_LIBRARY).filename());
#endif
    WriteFile("take1.wav", MinimalWav());
  }
  void AddModule() const {
    fs::copy_file(test::Path8ForFake("good"), FDir / "bin" / "Sonolint.qvx");
  }

  // Runs the copied program's command (validate unless told) in the scratch folder.
  TRun Run(const std::vector<std::string>& args, const char* command = "validate") const {
    std::vector<std::string> all{command};
    all.insert(all.end(), args.begin(), args.end());
    return test::RunProgram({(FDir / "bin" / "riffoscope-cli").string(), all, FDir.string()});
  }
};

TEST_F(CliValidateTest, WritesPlainTextByDefaultAndFailsOnErrorLines) {
  AddModule();
  const TRun run = Run({"take1.wav"});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_EQ(run.Out.rfind(std::string(54, '/') + "\r\n", 0), 0u);
  EXPECT_NE(run.Out.find("\r\nFileName: take1.wav\r\n"), std::string::npos);  // the name as given
  EXPECT_NE(run.Out.find(
                "\r\n3    |Sonolint                      |      |Error     |[204] Chunk truncated"),
            std::string::npos);
  // The module was driven through the whole sequence with the name as given.
  EXPECT_EQ(Calls("good", {"Reset", "LoadFile", "Play", "Stop", "UnloadFile", "library-unloaded"}),
            (std::vector<std::string>{"good Reset", "good LoadFile take1.wav", "good Play",
                                      "good Stop", "good UnloadFile", "good library-unloaded"}));
}

TEST_F(CliValidateTest, ReportWithoutErrorLinesExitsZero) {
  AddModule();
  ::setenv("FAKE_QVX_NO_ERROR_good", "1", 1);
  const TRun run = Run({"--format", "csv", "take1.wav"});
  ::unsetenv("FAKE_QVX_NO_ERROR_good");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.find("Error"), std::string::npos);
}

TEST_F(CliValidateTest, FormatOptionAndOutputFile) {
  AddModule();
  EXPECT_EQ(Run({"take1.wav", "--format", "csv"}).Out, kCsvReport);

  // Without --format the name's extension decides, as in the window.
  TRun run = Run({"take1.wav", "-o", "r.xml"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(run.Out.empty());
  EXPECT_EQ(ReadFile("r.xml").rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n", 0), 0u);

  // --format wins over the extension.
  EXPECT_EQ(Run({"take1.wav", "--format", "csv", "-o", "r.txt"}).Status, 1);
  EXPECT_EQ(ReadFile("r.txt"), kCsvReport);

  // An existing OUT is refused and kept; --force replaces it.
  WriteFile("old.csv", "keep");
  run = Run({"take1.wav", "-o", "old.csv"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(ReadFile("old.csv"), "keep");
  EXPECT_EQ(Run({"take1.wav", "-o", "old.csv", "--force"}).Status, 1);
  EXPECT_EQ(ReadFile("old.csv"), kCsvReport);

#ifdef RIFFO_PDF_LIBRARY
  EXPECT_EQ(Run({"take1.wav", "--format", "pdf", "-o", "r.pdf"}).Status, 1);
  EXPECT_EQ(ReadFile("r.pdf").rfind("%PDF-", 0), 0u);
#endif
}

// A report on standard output is written straight there, byte for byte the
// report -o writes, in every format; no temporary folder is needed (TMPDIR
// names none).
TEST_F(CliValidateTest, StandardOutputGetsTheSameBytesAsAReportFile) {
  AddModule();
  std::optional<test::ScopedEnv> noTemp(std::in_place, "TMPDIR", Path8("no-such-folder"));
  for (const std::string format : {"txt", "csv", "xml", "html", "json", "pdf"}) {
#ifndef RIFFO_PDF_LIBRARY
    if (format == "pdf") continue;
#endif
    const TRun toStdout = Run({"--format", format, "take1.wav"});
    const TRun toFile = Run({"--format", format, "-o", "report." + format, "take1.wav"});
    EXPECT_EQ(toStdout.Status, 1) << format << ": " << toStdout.Err;
    EXPECT_EQ(toFile.Status, 1) << format << ": " << toFile.Err;
    const std::string file = ReadFile("report." + format);
    if (format == "pdf")  // the footer shows the time of the run
      EXPECT_EQ(toStdout.Out.rfind("%PDF-", 0), 0u);
    else
      EXPECT_EQ(toStdout.Out, file) << format;
    EXPECT_FALSE(file.empty()) << format;
  }
  noTemp.reset();
  EXPECT_EQ(Run({"--format", "csv", "-o", "-", "take1.wav"}).Out, kCsvReport);
}

// Linux names are bytes: a name that is not UTF-8 opens the file it names,
// and an output name is written as given, never as the U+FFFD spelling that
// names another file.
TEST_F(CliValidateTest, NamesThatAreNotUtf8AreKeptByteForByte) {
  AddModule();
  const std::string input = "bad\xFF\xFE.wav";
  const std::string lookalike = "\xEF\xBF\xBD.csv";  // what the name would turn into as U+FFFD
  WriteFile(input, MinimalWav());
  WriteFile(lookalike, "keep");
  WriteFile("\xFF.csv", "old");
  TRun run = Run({input, "-o", "\xFF.csv", "--force"});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_EQ(run.Err.find("File not found."), std::string::npos) << run.Err;
  EXPECT_EQ(ReadFile("\xFF.csv"), kCsvReport);
  EXPECT_EQ(ReadFile(lookalike), "keep");

  // The plain-text report shows the name readably, as valid UTF-8.
  run = Run({input});
  EXPECT_NE(run.Out.find("\r\nFileName: bad\xEF\xBF\xBD\xEF\xBF\xBD.wav\r\n"), std::string::npos);

  // The structure export, too, writes where it was told.
  const test::Bytes wav = test::CanonicalPcm();
  WriteFile("ok.wav", std::string(wav.begin(), wav.end()));
  WriteFile("\xEF\xBF\xBD.txt", "keep");
  WriteFile("\xFF.txt", "old");
  run = Run({"ok.wav", "-o", "\xFF.txt", "--force"}, "export");
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(ReadFile("\xEF\xBF\xBD.txt"), "keep");
  EXPECT_NE(ReadFile("\xFF.txt"), "old");
  EXPECT_FALSE(ReadFile("\xFF.txt").empty());
}

TEST_F(CliValidateTest, UsageAndInputErrorsExitTwo) {
  struct Case {
    std::vector<std::string> Args;
    bool Module;
    const char* Message;
  };
  const Case cases[] = {
      {{"missing.wav"}, true, "File not found."},
      {{"take1.wav"}, false, "No validation modules found."},
      {{"take1.wav", "--format", "doc"}, true, "unknown format"},
      {{}, true, "missing FILE"},
      {{"take1.wav", "--force"}, true, "--force needs -o OUT"},
      {{"take1.wav", "-o", "nowhere/r.txt"}, true, "Error saving report."},
  };
  for (const Case& c : cases) {
    std::error_code ignored;
    fs::remove(FDir / "bin" / "Sonolint.qvx", ignored);
    if (c.Module) AddModule();
    const TRun run = Run(c.Args);
    EXPECT_EQ(run.Status, 2) << c.Message;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_TRUE(run.Out.empty()) << c.Message;
  }
}

}  // namespace
}  // namespace riffo
