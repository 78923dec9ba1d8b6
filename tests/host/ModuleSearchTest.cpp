// Where module files are looked for: the program's folder, the modules folder
// of an installed tree below it, then RIFFOSCOPE_MODULE_PATH; the first file
// of a name wins, even when it does not load.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "HostTestSupport.h"
#include "host/MediaValidationSession.h"
#include "host/ValidationModule.h"
#include "platform/DebugTrace.h"

namespace riffo {
namespace {

namespace fs = std::filesystem;

// An installed tree under the scratch folder: prefix/bin (the program's
// folder), prefix/lib/riffoscope/modules, and two further folders.
class ModuleSearchTest : public test::THostTest {
protected:
  void SetUp() override {
    THostTest::SetUp();
    ::unsetenv(MODULE_PATH_VARIABLE);
    for (const char* folder : {"prefix/bin", "prefix/lib/riffoscope/modules", "extra1", "extra2"})
      fs::create_directories(FDir / folder);
  }
  void TearDown() override {
    ::unsetenv(MODULE_PATH_VARIABLE);
    THostTest::TearDown();
  }
  std::u16string ProgramFolder() const { return Path("prefix/bin/"); }
  void Put(const std::string& folder, const std::string& fake,
           const std::string& file = "Sonolint.qvx") {
    fs::copy_file(test::Path8ForFake(fake, file), FDir / folder / file);
  }
};

TEST_F(ModuleSearchTest, FoldersComeInOrderAndEmptyPathEntriesAreSkipped) {
  ::setenv(MODULE_PATH_VARIABLE, (Path8("extra1") + "::" + Path8("extra2/") + ":").c_str(), 1);
  const std::vector<std::u16string> expected = {Path("prefix/bin/"),
                                                Path("prefix/lib/riffoscope/modules/"),
                                                Path("extra1/"), Path("extra2/")};
  EXPECT_EQ(ValidationModuleFolders(ProgramFolder()), expected);
  // A folder given without its final slash gets one.
  EXPECT_EQ(ValidationModuleFolders(Path("prefix/bin")), expected);
  ::unsetenv(MODULE_PATH_VARIABLE);
  const std::pair<std::u16string, std::vector<std::u16string>> relative[] = {
      {u"", {u""}},
      {u"bin/", {u"bin/", u"lib/riffoscope/modules/"}},
      {u"./", {u"./", u"./../lib/riffoscope/modules/"}},
      {u"/", {u"/", u"/../lib/riffoscope/modules/"}},
  };
  for (const auto& [program, folders] : relative)
    EXPECT_EQ(ValidationModuleFolders(program), folders);
}

TEST_F(ModuleSearchTest, FirstFolderHoldingTheFileWins) {
  const std::string bin = "prefix/bin", lib = "prefix/lib/riffoscope/modules";
  struct Case {
    std::vector<std::string> Holders;  // folders that get a Sonolint.qvx
    std::string Winner;                // "" when none is found
  };
  const Case cases[] = {
      {{bin}, bin},
      {{lib}, lib},
      {{"extra2"}, "extra2"},
      {{bin, lib, "extra1"}, bin},
      {{lib, "extra1", "extra2"}, lib},
      {{"extra2", "extra1"}, "extra1"},
      {{}, ""},
  };
  ::setenv(MODULE_PATH_VARIABLE, (Path8("extra1") + ":" + Path8("extra2")).c_str(), 1);
  for (const Case& c : cases) {
    for (const char* folder : {"prefix/bin", "prefix/lib/riffoscope/modules", "extra1", "extra2"})
      fs::remove(FDir / folder / "Sonolint.qvx");
    for (const std::string& folder : c.Holders) Put(folder, "good");
    const std::u16string found =
        FindValidationModuleFile(ValidationModuleFolders(ProgramFolder()), u"Sonolint.qvx");
    const std::u16string expected =
        c.Winner.empty() ? u"" : Utf8ToUtf16((FDir / c.Winner).string()) + u"/Sonolint.qvx";
    EXPECT_EQ(Utf16ToUtf8(found), Utf16ToUtf8(expected)) << "expected the one in " << c.Winner;
  }
}

// Through the session, as the programs load them: each kind from its own
// folder, and a first file that does not load hides a good one further on.
TEST_F(ModuleSearchTest, SessionLoadsEachKindFromTheFirstFolderThatHasIt) {
  Put("prefix/lib/riffoscope/modules", "pair", "Sonolint.qvx");
  Put("extra1", "pair", "Vidolint.qvx");
  ::setenv(MODULE_PATH_VARIABLE, Path8("extra1").c_str(), 1);
  {
    TMediaValidationSession session(ProgramFolder(), u"take.wav", 0xFFFFFFFFu, 0);
    EXPECT_TRUE(session.LoadValidationModules());
    ASSERT_EQ(session.ModuleCount(), 2u);
    EXPECT_EQ(session.Module(0).ValidationModuleName(), u"Vidolint");
    EXPECT_EQ(session.Module(1).ValidationModuleName(), u"Sonolint");
    EXPECT_EQ(session.Module(1).ValidationModuleFileName(),
              Path("prefix/lib/riffoscope/modules/Sonolint.qvx"));
  }

  WriteFile("prefix/bin/Sonolint.qvx", "not a shared object");
  TraceCapture trace;
  TMediaValidationSession session(ProgramFolder(), u"take.wav", 0xFFFFFFFFu, 0);
  EXPECT_TRUE(session.LoadValidationModules());
  ASSERT_EQ(session.ModuleCount(), 1u);
  EXPECT_EQ(session.Module(0).ValidationModuleName(), u"Vidolint");
  EXPECT_FALSE(trace.Lines().empty()) << "the file that failed to load is traced";
}

}  // namespace
}  // namespace riffo
