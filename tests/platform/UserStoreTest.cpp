#include "platform/UserStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/TempFolder.h"
#include "platform/Text.h"

namespace riffo {
namespace {

const std::u16string kViewerKey = u"SOFTWARE\\Brindlecorp\\Riffoscope";
const std::u16string kModuleKey = u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Sonolint\\";

// Every test gets a store of its own: XDG_CONFIG_HOME points into a fresh
// temporary folder for the test's lifetime.
class UserStore : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) FOldXdg = old;
    FConfig = FFolder.File("config");
    ::setenv("XDG_CONFIG_HOME", FConfig.c_str(), 1);
  }
  void TearDown() override {
    if (FOldXdg)
      ::setenv("XDG_CONFIG_HOME", FOldXdg->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }
  std::string StorePath() const { return FConfig + "/brindlecorp/user.reg"; }
  void PutStoreText(const std::string& text) {
    std::filesystem::create_directories(FConfig + "/brindlecorp");
    test::WriteFileText(StorePath(), text);
  }
  std::vector<std::string> StoreFolderEntries(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FConfig + "/brindlecorp")) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
  }
  std::optional<int32_t> Integer(const std::u16string& key, const std::u16string& name) {
    auto k = TUserStoreKey::OpenOrCreate(key);
    int32_t value = 0;
    if (k == nullptr || !k->ReadInteger(name, value)) return std::nullopt;
    return value;
  }

  test::TempFolder FFolder;
  std::string FConfig;
  std::optional<std::string> FOldXdg;
};

TEST_F(UserStore, ValuesRoundTripThroughTheFile) {
  const std::u16string tricky = u"C:\\Audio \"Takes\"\\Pr\u00FCfton \u20AC";
  {
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    ASSERT_NE(key, nullptr);
    key->WriteInteger(u"FormTop", 60);
    key->WriteInteger(u"SilenceLeveldB", -80);
    key->WriteBool(u"CheckForUpdates", true);
    key->WriteBool(u"Maximized", false);
    key->WriteString(u"LastFolder", tricky);
    key->WriteString(u"Notes", u"line one\r\nline\ttwo");
    key->WriteString(u"Empty", u"");
    // A file name with undecodable bytes carries them as lone surrogates.
    key->WriteString(u"RecentFile1", u"/tmp/bad\xDCFF\xDCFE.wav");
    key->WriteString(u"Pair", u"\U0001F3B5 \xD800");
  }  // the destructor lands the writes

  const std::string text = test::ReadFileText(StorePath());
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Riffoscope]\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"FormTop\"=dword:0000003c\n"), std::string::npos);
  EXPECT_NE(text.find("\"SilenceLeveldB\"=dword:ffffffb0\n"), std::string::npos);
  EXPECT_NE(text.find("\"LastFolder\"=\"C:\\\\Audio \\\"Takes\\\"\\\\Pr\xC3\xBC"
                      "fton \xE2\x82\xAC\"\n"),
            std::string::npos)
      << text;

  auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
  ASSERT_NE(key, nullptr);
  int32_t number = 0;
  bool flag = false;
  std::u16string str;
  EXPECT_TRUE(key->ReadInteger(u"FormTop", number));
  EXPECT_EQ(number, 60);
  EXPECT_TRUE(key->ReadInteger(u"SilenceLeveldB", number));
  EXPECT_EQ(number, -80);
  EXPECT_TRUE(key->ReadBool(u"CheckForUpdates", flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(key->ReadBool(u"Maximized", flag));
  EXPECT_FALSE(flag);
  EXPECT_TRUE(key->ReadString(u"LastFolder", str));
  EXPECT_EQ(str, tricky);
  EXPECT_TRUE(key->ReadString(u"Notes", str));
  EXPECT_EQ(str, u"line one\r\nline\ttwo");
  EXPECT_TRUE(key->ReadString(u"Empty", str));
  EXPECT_EQ(str, u"");
  EXPECT_TRUE(key->ReadString(u"RecentFile1", str));
  EXPECT_EQ(str, u"/tmp/bad\xDCFF\xDCFE.wav");
  EXPECT_TRUE(key->ReadString(u"Pair", str));
  EXPECT_EQ(str, u"\U0001F3B5 \xD800");
}

TEST_F(UserStore, MissingAndMistypedValuesReadAsFailure) {
  PutStoreText(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Sonolint]\r\n"
      "\"SilenceLeveldB\"=\"-80\"\r\n"
      "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n"
      "\"Odd\"=dword:notanumber\r\n"
      "\"Flag\"=dword:00000002\r\n");
  auto key = TUserStoreKey::OpenOrCreate(kModuleKey);
  ASSERT_NE(key, nullptr);
  int32_t number = 7;
  bool flag = false;
  std::u16string str;
  EXPECT_FALSE(key->ReadInteger(u"SilenceLeveldB", number));
  EXPECT_FALSE(key->ReadInteger(u"Blob", number));
  EXPECT_FALSE(key->ReadInteger(u"Odd", number));
  EXPECT_FALSE(key->ReadInteger(u"MinSilenceBlockMS", number));
  EXPECT_FALSE(key->ReadBool(u"SilenceLeveldB", flag));
  EXPECT_FALSE(key->ReadString(u"Flag", str));
  EXPECT_FALSE(key->ReadString(u"Missing", str));
  EXPECT_EQ(number, 7);  // a failed read leaves the caller's value alone
  EXPECT_EQ(key->ValueType(u"SilenceLeveldB"), StoreValueType::String);
  EXPECT_EQ(key->ValueType(u"Blob"), StoreValueType::Other);
  EXPECT_EQ(key->ValueType(u"Flag"), StoreValueType::DWord);
  EXPECT_FALSE(key->ValueExists(u"Missing"));
  EXPECT_TRUE(key->ReadBool(u"Flag", flag));
  EXPECT_TRUE(flag);

  // Overwriting the mistyped value replaces it; data the store does not
  // interpret survives the rewrite unchanged.
  key->WriteInteger(u"SilenceLeveldB", -80);
  ASSERT_TRUE(key->Commit());
  const std::string text = test::ReadFileText(StorePath());
  EXPECT_NE(text.find("\"SilenceLeveldB\"=dword:ffffffb0"), std::string::npos);
  EXPECT_EQ(text.find("\"-80\""), std::string::npos);
  EXPECT_NE(text.find("\"Blob\"=hex:01,02,03,04"), std::string::npos);
  EXPECT_NE(text.find("\"Odd\"=dword:notanumber"), std::string::npos);
  EXPECT_EQ(Integer(kModuleKey, u"SilenceLeveldB"), -80);
}

TEST_F(UserStore, KeyPathsAndValueNamesIgnoreCase) {
  PutStoreText(
      "[HKEY_CURRENT_USER\\Software\\BrindleCorp\\Riffoscope]\n"
      "\"FormTop\"=dword:00000010\n");
  {
    auto key = TUserStoreKey::OpenOrCreate(u"\\SOFTWARE\\\\brindlecorp\\RIFFOSCOPE\\");
    ASSERT_NE(key, nullptr);
    int32_t number = 0;
    EXPECT_TRUE(key->ReadInteger(u"formtop", number));
    EXPECT_EQ(number, 16);
    key->WriteInteger(u"FORMTOP", 20);
    key->WriteInteger(u"formTop", 30);  // the later spelling wins
  }
  const std::string text = test::ReadFileText(StorePath());
  EXPECT_EQ(text.find("[HKEY_CURRENT_USER\\SOFTWARE"), std::string::npos) << text;
  size_t count = 0;
  for (size_t at = text.find("=dword:"); at != std::string::npos; at = text.find("=dword:", at + 1))
    ++count;
  EXPECT_EQ(count, 1u) << text;
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 30);
}

TEST_F(UserStore, HonoursXdgConfigHomeAndFallsBackToHome) {
  EXPECT_EQ(TUserStoreKey::StoreFilePath(), StorePath());
  { auto key = TUserStoreKey::OpenOrCreate(kViewerKey); }
  // Creating a key makes it exist in the file.
  EXPECT_NE(test::ReadFileText(StorePath())
                .find("[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Riffoscope]"),
            std::string::npos);

  std::optional<std::string> oldHome;
  if (const char* home = std::getenv("HOME")) oldHome = home;
  ::setenv("HOME", FFolder.Path().c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(TUserStoreKey::StoreFilePath(), FFolder.Path() + "/.config/brindlecorp/user.reg");
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // only absolute paths count
  EXPECT_EQ(TUserStoreKey::StoreFilePath(), FFolder.Path() + "/.config/brindlecorp/user.reg");
  if (oldHome) ::setenv("HOME", oldHome->c_str(), 1);
}

TEST_F(UserStore, ReadsSeeTheFileAsItWasWhenTheKeyWasOpened) {
  auto early = TUserStoreKey::OpenOrCreate(kViewerKey);
  ASSERT_NE(early, nullptr);
  {
    auto other = TUserStoreKey::OpenOrCreate(kViewerKey);
    other->WriteInteger(u"FormLeft", 5);
  }
  int32_t number = 0;
  EXPECT_FALSE(early->ReadInteger(u"FormLeft", number));
  EXPECT_EQ(Integer(kViewerKey, u"FormLeft"), 5);
}

TEST_F(UserStore, TwoStoreObjectsKeepEachOthersValues) {
  auto viewer = TUserStoreKey::OpenOrCreate(kViewerKey);
  auto module = TUserStoreKey::OpenOrCreate(kModuleKey);
  auto viewerAgain = TUserStoreKey::OpenOrCreate(kViewerKey);
  ASSERT_TRUE(viewer && module && viewerAgain);
  viewer->WriteInteger(u"FormTop", 1);
  module->WriteInteger(u"PLAY_TIMEOUT_MS", 5000);
  viewerAgain->WriteInteger(u"FormLeft", 2);
  EXPECT_TRUE(viewer->Commit());
  EXPECT_TRUE(module->Commit());
  EXPECT_TRUE(viewerAgain->Commit());
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 1);
  EXPECT_EQ(Integer(kViewerKey, u"FormLeft"), 2);
  EXPECT_EQ(Integer(kModuleKey, u"PLAY_TIMEOUT_MS"), 5000);
}

// Saving values the file already holds, in any spelling of the name or the
// number, leaves the file untouched (same inode, same bytes); a real change
// rewrites it. A value another writer changed after this key was opened is
// still written back: the comparison is with the file at commit time.
TEST_F(UserStore, WritesThatChangeNothingLeaveTheFileAlone) {
  const std::string original = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" +
                               Utf16ToUtf8(kViewerKey) +
                               "]\n\"FormTop\"=dword:0000003C\n\"FormLeft\"=hex(4):05,00,00,00\n"
                               "\"Name\"=\"text\"\n";
  PutStoreText(original);
  const auto inode = [&] {
    struct stat info {};
    return ::stat(StorePath().c_str(), &info) == 0 ? info.st_ino : ino_t{0};
  };
  const ino_t before = inode();
  {
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    ASSERT_NE(key, nullptr);
    key->WriteInteger(u"formtop", 60);
    key->WriteInteger(u"FormLeft", 5);
    key->WriteString(u"NAME", u"text");
    EXPECT_TRUE(key->Commit());
  }
  EXPECT_EQ(inode(), before);
  EXPECT_EQ(test::ReadFileText(StorePath()), original);

  {
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    key->WriteInteger(u"FormTop", 60);
    key->WriteString(u"Name", u"other");
    EXPECT_TRUE(key->Commit());
  }
  EXPECT_NE(inode(), before);
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 60);

  auto early = TUserStoreKey::OpenOrCreate(kViewerKey);
  {
    auto other = TUserStoreKey::OpenOrCreate(kViewerKey);
    other->WriteInteger(u"FormTop", 7);
  }
  early->WriteInteger(u"FormTop", 60);  // what early read, no longer what the file holds
  EXPECT_TRUE(early->Commit());
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 60);
}

// Opening keys again while the file stays the same does not parse it again
// (no work in proportion to the other keys' values); a file changed in place
// meanwhile, or replaced, is read anew.
TEST_F(UserStore, AFileIsParsedAgainOnlyWhenItChanged) {
  const auto storeText = [](int formTop) {
    std::string text = "[HKEY_CURRENT_USER\\Other]\n";
    for (int i = 0; i < 3000; ++i) text += Format8("\"Value%d\"=dword:%08x\n", i, i);
    return text + "[HKEY_CURRENT_USER\\" + Utf16ToUtf8(kViewerKey) + "]\n" +
           Format8("\"FormTop\"=dword:%08x\n", formTop) + std::string(formTop % 7, ';') + "\n";
  };
  PutStoreText(storeText(1));
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 1);
  const uint64_t before = UserStoreNameFoldings();
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 1);
  EXPECT_LT(UserStoreNameFoldings() - before, 100u);

  PutStoreText(storeText(1000));  // rewritten in place, a few bytes longer
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 1000);
  {
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    key->WriteInteger(u"FormTop", 7);
  }
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 7);
}

// A child process running body; it exits with 0 when body returns true. The
// child dies with the test process and is killed and reaped when the object
// goes, so a failing assertion never leaves a writer behind.
class Child {
public:
  template <typename Body>
  explicit Child(Body body) {
    const pid_t parent = ::getpid();
    FPid = ::fork();
    if (FPid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(2);
      ::_exit(body() ? 0 : 1);
    }
  }
  ~Child() {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      Wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void Kill() const { ::kill(FPid, SIGKILL); }
  // The exit code, or 128 + the signal that ended it.
  int Wait() {
    int status = 0;
    const pid_t pid = std::exchange(FPid, -1);
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

private:
  pid_t FPid = -1;
};

TEST_F(UserStore, TwoProcessesWritingAtOnceKeepEachOthersKeys) {
  constexpr int kRounds = 25;
  auto writer = [](const std::u16string& keyPath) {
    return [keyPath] {
      for (int i = 0; i < kRounds; ++i) {
        auto key = TUserStoreKey::OpenOrCreate(keyPath);
        if (key == nullptr) return false;
        key->WriteInteger(u"Count", i);
        key->WriteInteger(Format16("Round%d", i), i);
        if (!key->Commit()) return false;
      }
      return true;
    };
  };
  Child a(writer(kViewerKey));
  Child b(writer(kModuleKey));
  ASSERT_EQ(a.Wait(), 0);
  ASSERT_EQ(b.Wait(), 0);
  for (const auto& keyPath : {kViewerKey, kModuleKey}) {
    EXPECT_EQ(Integer(keyPath, u"Count"), kRounds - 1);
    for (int i = 0; i < kRounds; ++i) EXPECT_EQ(Integer(keyPath, Format16("Round%d", i)), i);
  }
  EXPECT_TRUE(StoreFolderEntries("user.reg.malformed").empty());
}

TEST_F(UserStore, MalformedFileReadsAsEmptyAndIsKeptAsideBeforeRewriting) {
  const std::string cases[] = {
      "\"FormTop\"=dword:00000001\n",                             // a value outside any key
      "[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Riffoscope\n",  // header not closed
      "[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Riffoscope]\n\"FormTop=dword:1\n",
      "[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Riffoscope]\n\"FormTop\"=dword:1\n\xFF\xFE "
      "junk\n",
  };
  for (const auto& garbage : cases) {
    std::filesystem::remove_all(FConfig);
    PutStoreText(garbage);
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    ASSERT_NE(key, nullptr);
    int32_t number = 0;
    EXPECT_FALSE(key->ReadInteger(u"FormTop", number)) << garbage;
    key->WriteInteger(u"FormTop", 42);
    EXPECT_TRUE(key->Commit());

    const auto aside = StoreFolderEntries("user.reg.malformed-");
    ASSERT_EQ(aside.size(), 1u) << garbage;
    EXPECT_EQ(test::ReadFileText(FConfig + "/brindlecorp/" + aside[0]), garbage);
    EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 42);
  }
}

// A key with 30,000 values (and as many again in later lines that repeat
// names in another letter case) is read with work in proportion to the
// values: a few name foldings each, not one comparison per pair of values.
TEST_F(UserStore, ManyValuesInOneKeyAreReadInLinearWork) {
  constexpr int kValues = 30000;
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" +
                     Utf16ToUtf8(kViewerKey) + "]\n";
  for (int i = 0; i < kValues; ++i) text += Format8("\"Value%d\"=dword:%08x\n", i, i);
  for (int i = 0; i < kValues; i += 1000) text += Format8("\"VALUE%d\"=\"again\"\n", i);
  text += "[HKEY_CURRENT_USER\\Other]\n\"Value1\"=dword:00000007\n";
  PutStoreText(text);

  const uint64_t before = UserStoreNameFoldings();
  auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
  ASSERT_NE(key, nullptr);
  key->WriteInteger(u"value29999", -1);
  EXPECT_TRUE(key->Commit());  // a second read of the whole file, and its rewrite
  const uint64_t work = UserStoreNameFoldings() - before;
  EXPECT_LT(work, 20u * kValues) << "name foldings for " << kValues << " values";

  int32_t number = 0;
  EXPECT_TRUE(key->ReadInteger(u"Value12345", number));
  EXPECT_EQ(number, 12345);
  std::u16string again;
  EXPECT_TRUE(key->ReadString(u"value2000", again));
  EXPECT_EQ(again, u"again");
  EXPECT_EQ(Integer(kViewerKey, u"Value29999"), -1);
  EXPECT_EQ(Integer(u"Other", u"value1"), 7);
}

// A file above the size cap is not read, well-formed as it is: the key reads
// as empty, and the file is kept aside before the store is rewritten. A file
// of exactly the cap is read.
TEST_F(UserStore, FileAboveTheSizeCapIsKeptAsideLikeAMalformedOne) {
  // A valid store padded with a comment line to the given size.
  const auto storeOfSize = [](size_t size) {
    std::string text =
        "[HKEY_CURRENT_USER\\" + Utf16ToUtf8(kViewerKey) + "]\n\"FormTop\"=dword:00000001\n;";
    text.resize(size, 'x');
    return text;
  };
  PutStoreText(storeOfSize(MAX_USER_STORE_FILE_SIZE + 1));
  {
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    ASSERT_NE(key, nullptr);
    int32_t number = 0;
    EXPECT_FALSE(key->ReadInteger(u"FormTop", number));
    key->WriteInteger(u"FormLeft", 5);
    EXPECT_TRUE(key->Commit());
  }
  const auto aside = StoreFolderEntries("user.reg.malformed-");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(std::filesystem::file_size(FConfig + "/brindlecorp/" + aside[0]),
            MAX_USER_STORE_FILE_SIZE + 1);
  EXPECT_EQ(Integer(kViewerKey, u"FormLeft"), 5);
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), std::nullopt);

  std::filesystem::remove_all(FConfig);
  PutStoreText(storeOfSize(MAX_USER_STORE_FILE_SIZE));
  EXPECT_EQ(Integer(kViewerKey, u"FormTop"), 1);
  EXPECT_TRUE(StoreFolderEntries("user.reg.malformed-").empty());
}

TEST_F(UserStore, SecondMalformedFileGetsItsOwnAsideName) {
  for (int round = 0; round < 2; ++round) {
    PutStoreText(round == 0 ? "garbage one" : "garbage two");
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    key->WriteInteger(u"FormTop", round);
  }
  EXPECT_EQ(StoreFolderEntries("user.reg.malformed-").size(), 2u);
}

TEST_F(UserStore, FileThatCannotBeReadIsNeverReplaced) {
  std::filesystem::create_directories(StorePath());  // a folder where the file should be
  auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
  ASSERT_NE(key, nullptr);
  key->WriteInteger(u"FormTop", 1);
  EXPECT_FALSE(key->Commit());
  EXPECT_TRUE(std::filesystem::is_directory(StorePath()));
}

TEST_F(UserStore, NoKeyWhenTheStoreFolderCannotBeMade) {
  test::WriteFileText(FConfig, "a file where the config folder should be");
  EXPECT_EQ(TUserStoreKey::OpenOrCreate(kViewerKey), nullptr);
}

// A writer killed at any moment leaves either the old or the new file, never
// a torn one: readers meanwhile, and after the kill, always find a file that
// parses and holds the value written before the writer started.
TEST_F(UserStore, FileStaysParseableWhileAWriterIsKilled) {
  {
    auto key = TUserStoreKey::OpenOrCreate(kModuleKey);
    key->WriteInteger(u"LOAD_FILE_TIMEOUT_MS", 15000);
  }
  Child writer([] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
      auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
      key->WriteInteger(u"Counter", i);
      key->WriteString(u"Padding", std::u16string(static_cast<size_t>(200 + i % 400), u'x'));
      key->Commit();
    }
    return true;
  });
  // Read along until the writer has landed a good number of rewrites.
  int reads = 0;
  for (std::optional<int32_t> counter; reads < 20000 && counter.value_or(0) < 40; ++reads) {
    // The raw file, as any reader sees it, not only what the store makes of it.
    const std::string text = test::ReadFileText(StorePath());
    ASSERT_NE(text.find("\"LOAD_FILE_TIMEOUT_MS\"=dword:00003a98\n"), std::string::npos) << reads;
    ASSERT_TRUE(!text.empty() && text.back() == '\n') << reads;
    counter = Integer(kViewerKey, u"Counter");
  }
  EXPECT_LT(reads, 20000);
  writer.Kill();
  EXPECT_EQ(writer.Wait(), 128 + SIGKILL);
  EXPECT_NE(test::ReadFileText(StorePath()).find("\"LOAD_FILE_TIMEOUT_MS\"=dword:00003a98\n"),
            std::string::npos);
  EXPECT_EQ(Integer(kModuleKey, u"LOAD_FILE_TIMEOUT_MS"), 15000);
  EXPECT_TRUE(Integer(kViewerKey, u"Counter").has_value());
  EXPECT_TRUE(StoreFolderEntries("user.reg.malformed").empty());

  // Whatever temporary file the killed writer left goes with the next write.
  test::WriteFileText(StorePath() + ".tmp-999999", "half a store");
  std::filesystem::create_directories(FConfig + "/brindlecorp/.riffoscope-out-left");
  test::WriteFileText(FConfig + "/brindlecorp/.riffoscope-out-left/user.reg", "half a store");
  {
    auto key = TUserStoreKey::OpenOrCreate(kViewerKey);
    key->WriteInteger(u"Counter", -1);
  }
  EXPECT_TRUE(StoreFolderEntries("user.reg.tmp-").empty());
  EXPECT_TRUE(StoreFolderEntries(".riffoscope-out-").empty());
  EXPECT_EQ(Integer(kViewerKey, u"Counter"), -1);
}

}  // namespace
}  // namespace riffo
