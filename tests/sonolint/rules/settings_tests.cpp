// The module settings record and its eight values in the per-user store.
#include "sonolint/SonolintSettings.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/UserStore.h"
#include "tests/support/StoreFolder.h"

namespace riffo {
namespace {

using riffo::test::StoreFolder;

struct Expected {
  const char16_t* Name;
  int32_t Value;
};

const Expected DEFAULTS[] = {
    {u"LOAD_FILE_TIMEOUT_MS", 15000}, {u"UNLOAD_FILE_TIMEOUT_MS", 15000},
    {u"PLAY_TIMEOUT_MS", 5000},       {u"STOP_TIMEOUT_MS", 5000},
    {u"SilenceLeveldB", -80},         {u"MinSilenceBlockMS", 5000},
    {u"NoiseLeveldB", -10},           {u"MinNoiseBlockMS", 5000},
};

std::unique_ptr<TUserStoreKey> OpenModuleKey() {
  return TUserStoreKey::OpenOrCreate(SONOLINT_REGISTRY_KEY);
}

TEST(ModuleSettings, FirstUseWritesTheEightDefaults) {
  StoreFolder folder;
  TSonolintSettings settings;
  ASSERT_EQ(settings.LoadFromRegistry(), S_OK);
  EXPECT_EQ(settings.PLAY_TIMEOUT_MS, 5000);
  auto key = OpenModuleKey();
  ASSERT_NE(key, nullptr);
  for (const Expected& e : DEFAULTS) {
    int32_t value = 0;
    ASSERT_TRUE(key->ReadInteger(e.Name, value));
    EXPECT_EQ(value, e.Value);
  }
}

TEST(ModuleSettings, StoredValuesAreUsedUncheckedAndBadOnesReplaced) {
  StoreFolder folder;
  {
    auto key = OpenModuleKey();
    key->WriteInteger(u"PLAY_TIMEOUT_MS", 1);
    key->WriteInteger(u"NoiseLeveldB", -3);
    key->WriteInteger(u"MinSilenceBlockMS", -7);  // no range check
    key->WriteString(u"SilenceLeveldB", u"-40");  // text, not a dword
    ASSERT_TRUE(key->Commit());
  }
  TSonolintSettings settings;
  ASSERT_EQ(settings.LoadFromRegistry(HKEY_CURRENT_USER, SONOLINT_REGISTRY_KEY), S_OK);
  EXPECT_EQ(settings.PLAY_TIMEOUT_MS, 1);
  EXPECT_EQ(settings.NoiseLeveldB, -3);
  EXPECT_EQ(settings.MinSilenceBlockMS, -7);
  EXPECT_EQ(settings.SilenceLeveldB, -80);
  EXPECT_EQ(settings.LOAD_FILE_TIMEOUT_MS, 15000);

  auto key = OpenModuleKey();
  EXPECT_EQ(key->ValueType(u"SilenceLeveldB"), StoreValueType::DWord);
  int32_t value = 0;
  ASSERT_TRUE(key->ReadInteger(u"SilenceLeveldB", value));
  EXPECT_EQ(value, -80);
}

TEST(ModuleSettings, SaveWritesEveryFieldAndLoadReadsThemBack) {
  StoreFolder folder;
  TSonolintSettings saved;
  saved.LOAD_FILE_TIMEOUT_MS = 1;
  saved.UNLOAD_FILE_TIMEOUT_MS = 2;
  saved.PLAY_TIMEOUT_MS = 3;
  saved.STOP_TIMEOUT_MS = 4;
  saved.SilenceLeveldB = -5;
  saved.MinSilenceBlockMS = 6;
  saved.NoiseLeveldB = -7;
  saved.MinNoiseBlockMS = 8;
  ASSERT_EQ(saved.SaveToRegistry(), S_OK);

  TSonolintSettings loaded;
  ASSERT_EQ(loaded.LoadFromRegistry(), S_OK);
  EXPECT_EQ(loaded.LOAD_FILE_TIMEOUT_MS, 1);
  EXPECT_EQ(loaded.UNLOAD_FILE_TIMEOUT_MS, 2);
  EXPECT_EQ(loaded.PLAY_TIMEOUT_MS, 3);
  EXPECT_EQ(loaded.STOP_TIMEOUT_MS, 4);
  EXPECT_EQ(loaded.SilenceLeveldB, -5);
  EXPECT_EQ(loaded.MinSilenceBlockMS, 6);
  EXPECT_EQ(loaded.NoiseLeveldB, -7);
  EXPECT_EQ(loaded.MinNoiseBlockMS, 8);
}

TEST(ModuleSettings, ARootOtherThanTheUsersKeepsTheValues) {
  StoreFolder folder;
  TSonolintSettings settings;
  settings.STOP_TIMEOUT_MS = 42;
  EXPECT_EQ(settings.LoadFromRegistry(0x80000002u, SONOLINT_REGISTRY_KEY), S_OK);
  EXPECT_EQ(settings.STOP_TIMEOUT_MS, 42);
  EXPECT_EQ(settings.SaveToRegistry(0x80000002u, SONOLINT_REGISTRY_KEY), S_OK);
  EXPECT_FALSE(OpenModuleKey()->ValueExists(u"STOP_TIMEOUT_MS"));
}

}  // namespace
}  // namespace riffo
