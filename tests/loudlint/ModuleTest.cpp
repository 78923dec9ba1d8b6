// The built Loudlint.qvx, found and driven by the host's session beside
// Sonolint.qvx: the order of the modules, the run lines around the
// measurement, and the settings it keeps in the per-user store.
#include <gtest/gtest.h>

#include "LoudlintFixtures.h"
#include "host/MediaValidationSession.h"
#include "loudlint/LoudlintSettings.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/UserStore.h"
#include "support/StoreFolder.h"

namespace riffo::test {
namespace {

int RuleNumber(const TCustomReport& line) {
  const std::string text = Utf16ToUtf8(line.ReportMessage);
  return text.size() > 5 && text[0] == '[' ? std::stoi(text.substr(1, 3)) : -1;
}

TEST(LoudlintModule, RunsAfterSonolintWithItsOwnRunLines) {
  StoreFolder store;
  TempFolder folder("loudlint");
  const std::string path = WriteWave(folder, "tone.wav", WaveLayout{}, Sine(997, -23, 5));
  TMediaValidationSession session(ProgramFolder(), Utf8ToUtf16(path), 0x7FFFFFFFu, 0x7FFFFFFFu);
  ASSERT_TRUE(session.LoadValidationModules());
  ASSERT_EQ(session.ModuleCount(), 2u) << "both modules beside the test program";
  EXPECT_EQ(session.Module(0).ValidationModuleName(), u"Sonolint");
  EXPECT_EQ(session.Module(1).ValidationModuleName(), u"Loudlint");
  EXPECT_EQ(ModuleIDFromName(u"Loudlint"), MODULE_ID_LOUDLINT);
  EXPECT_EQ(std::u16string(ModuleFileName(MODULE_ID_LOUDLINT)), u"Loudlint.qvx");

  TValidationRunView view;
  ASSERT_EQ(session.RunValidation(view), TRunResult::Completed);
  std::vector<int> loudlint;
  bool sonolintFirst = true, seenLoudlint = false;
  for (const TCustomReport& line : session.Reports()) {
    if (line.Module == MODULE_ID_LOUDLINT) {
      seenLoudlint = true;
      loudlint.push_back(RuleNumber(line));
    } else if (line.Module == MODULE_ID_SONOLINT && seenLoudlint) {
      sonolintFirst = false;
    }
  }
  EXPECT_TRUE(sonolintFirst);
  EXPECT_EQ(loudlint,
            (std::vector<int>{601, 602, 611, 612, 613, 614, 615, 615, 616, 616, 620, 603, 608}));

  // The module wrote its settings and its rules' switches under its own key.
  auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Loudlint");
  int32_t value = -1;
  ASSERT_TRUE(key->ReadInteger(u"Profile", value));
  EXPECT_EQ(value, 0);
  ASSERT_TRUE(key->ReadInteger(u"BextToleranceCentiLU", value));
  EXPECT_EQ(value, 10);
  auto rules = TUserStoreKey::OpenOrCreate(
      u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Loudlint\\ValidationSettings");
  ASSERT_TRUE(rules->ReadInteger(u"621_Type", value));
  EXPECT_EQ(value, REPORT_TYPE_ERROR);
}

TEST(LoudlintModule, TheStoredProfileDecidesTheNextRun) {
  StoreFolder store;
  {
    auto key = TUserStoreKey::OpenOrCreate(u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Loudlint");
    key->WriteInteger(u"Profile", PROFILE_ATSC_A85);
    ASSERT_TRUE(key->Commit());
  }
  TempFolder folder("loudlint");
  const std::string path = WriteWave(folder, "tone.wav", WaveLayout{}, Sine(997, -23, 5));
  TMediaValidationSession session(ProgramFolder(), Utf8ToUtf16(path), MODULE_ID_LOUDLINT,
                                  MODULE_ID_LOUDLINT);
  ASSERT_TRUE(session.LoadValidationModules());
  ASSERT_EQ(session.ModuleCount(), 1u);
  TValidationRunView view;
  ASSERT_EQ(session.RunValidation(view), TRunResult::Completed);
  bool profile = false;
  for (const TCustomReport& line : session.Reports())
    if (RuleNumber(line) == 620)
      profile = Utf16ToUtf8(line.ReportMessage).find("Profile ATSC A/85: -24.0 LUFS +/- 2.0 LU") !=
                std::string::npos;
  EXPECT_TRUE(profile);
}

}  // namespace
}  // namespace riffo::test
