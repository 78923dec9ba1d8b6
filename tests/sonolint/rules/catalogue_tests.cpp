// The rule catalogue: the built-in table, the filter between producers and
// the host's sink, and the per-rule values in the per-user store.
#include "sonolint/ValidationSettings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "platform/UserStore.h"
#include "sonolint/WAVRIFFValidator.h"
#include "tests/sonolint/rules/RuleFixtures.h"
#include "tests/support/StoreFolder.h"

namespace riffo {
namespace {

using namespace riffo::rulestest;
using riffo::test::StoreFolder;

const std::u16string RULE_KEY = VALIDATION_SETTINGS_REGISTRY_KEY;

std::unique_ptr<TUserStoreKey> OpenRuleKey() { return TUserStoreKey::OpenOrCreate(RULE_KEY); }

std::u16string Name(int32_t id, const char* suffix) { return Format16("%d%s", id, suffix); }

// A list as the module object makes it: the built-in rows, in table order.
struct Catalogue {
  TValidationSettingList List;
  Catalogue() { List.AddBuiltInValidationSettings(); }
};

TEST(RuleCatalogue, BuiltInTableHas90RulesInAscendingOrder) {
  const auto& rows = BuiltInValidationSettings();
  ASSERT_EQ(rows.size(), 90u);
  std::set<int32_t> fixedType;
  std::set<int32_t> disabled;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TValidationSetting& row = rows[i];
    if (i > 0) {
      EXPECT_LT(rows[i - 1].ID, row.ID);
    }
    EXPECT_EQ(row.Description, row.Name) << row.ID;
    EXPECT_EQ(row.Code, 0) << row.ID;
    EXPECT_TRUE(row.CanChangeEnable) << row.ID;
    if (!row.CanChangeType) fixedType.insert(row.ID);
    if (!row.Enabled) disabled.insert(row.ID);
  }
  EXPECT_EQ(fixedType, (std::set<int32_t>{101, 102, 103, 108, 301, 302, 303, 304, 305, 306, 307}));
  EXPECT_EQ(disabled, (std::set<int32_t>{211, 212}));
  EXPECT_EQ(rows.front().ID, 101);
  EXPECT_EQ(rows.back().ID, 506);
}

TEST(RuleCatalogue, BuiltInRowsCarryTheirNamesAndSeverities) {
  Catalogue c;
  struct Row {
    int32_t ID;
    const char* Name;
    int32_t Type;
  } rows[] = {
      {101, "Start validation information", 1},
      {104, "Loading timeout", 3},
      {108, "Finish validation information", 1},
      {201, "Chunk name read on end of file check", 3},
      {215, "bext chunk completeness check", 3},
      {226, "mext chunk read on end of file check", 3},
      {227, "ds64 chunk read check", 3},
      {228, "Chunk count limit check", 3},
      {229, "ds64 chunk presence and position check", 3},
      {230, "64-bit chunk size presence check", 3},
      {231, "ds64 sizes against the file check", 3},
      {232, "RF64 form for a file that fits in RIFF information", 1},
      {301, "WAVE stream duration information", 1},
      {406, "fmt chunk BitsPerSample check", 3},
      {422, "bext chunk Max Short Term Loudness information", 1},
      {446, "cart chunk URL information", 1},
      {500, "Silence block position and duration", 2},
      {501, "Noise block position and duration", 2},
      {505, "Cumulative noise duration", 1},
      {506, "Audio not analysed", 2},
  };
  for (const Row& row : rows) {
    const TValidationSetting* setting = c.List.GetValidationSettingFromID(row.ID);
    ASSERT_NE(setting, nullptr) << row.ID;
    EXPECT_EQ(setting->Name, row.Name);
    EXPECT_EQ(setting->_Type, row.Type) << row.ID;
  }
  EXPECT_EQ(c.List.ValidationSettingsCount(), BUILT_IN_VALIDATION_SETTINGS_COUNT);
  EXPECT_EQ(c.List.GetValidationSettingFromID(0), nullptr);
  EXPECT_EQ(c.List.GetValidationSettingFromID(409), nullptr);
}

struct FilterCase {
  const char* Name;
  int32_t ID;
  int32_t ProducerType;
  bool Sent;
  int32_t SentType;
  const char* Text;
};

TEST(RuleCatalogue, ReportFiltersRegradesAndPrefixes) {
  RecordingSink sink;  // outlives the catalogue that refers to it
  Catalogue c;
  ASSERT_EQ(c.List.SetQuorvexReport(&sink), S_OK);
  const FilterCase cases[] = {
      {"enabled rule takes its own severity", 209, 1, true, 3, "[209] msg"},
      {"info rule", 302, 3, true, 1, "[302] msg"},
      {"warning rule", 500, 1, true, 2, "[500] msg"},
      {"disabled by default", 211, 3, false, 0, ""},
      {"identifier 0 passes with the producer's severity", 0, 3, true, 3, "[000] msg"},
      {"unknown identifier padded to three digits", 7, 2, true, 2, "[007] msg"},
      {"long identifier", 1234, 1, true, 1, "[1234] msg"},
      {"negative identifier", -5, 0, true, 0, "[-005] msg"},
  };
  for (const FilterCase& fc : cases) {
    SCOPED_TRACE(fc.Name);
    sink.Lines.clear();
    EXPECT_EQ(c.List.Report(4, fc.ProducerType, u"msg", fc.ID, 17), S_OK);
    if (!fc.Sent) {
      EXPECT_TRUE(sink.Lines.empty());
      continue;
    }
    ASSERT_EQ(sink.Lines.size(), 1u);
    EXPECT_EQ(sink.Lines[0].Module, 4);
    EXPECT_EQ(sink.Lines[0].Type, fc.SentType);
    EXPECT_EQ(sink.Lines[0].Text, fc.Text);
    EXPECT_EQ(sink.Lines[0].Stream, 17);
  }
}

TEST(RuleCatalogue, ReportFollowsChangesMadeInPlaceAndReturnsTheSinkResult) {
  RecordingSink sink;
  Catalogue c;
  sink.Result = S_FALSE;
  c.List.SetQuorvexReport(&sink);
  c.List.GetValidationSettingFromID(211)->Enabled = true;
  c.List.GetValidationSettingFromID(210)->_Type = 9;
  c.List.GetValidationSettingFromID(209)->Enabled = false;
  EXPECT_EQ(c.List.Report(4, 3, u"a", 211, -1), S_FALSE);
  EXPECT_EQ(c.List.Report(4, 3, u"b", 210, -1), S_FALSE);
  EXPECT_EQ(c.List.Report(4, 3, u"c", 209, -1), S_OK);  // dropped
  ASSERT_EQ(sink.Lines.size(), 2u);
  EXPECT_EQ(sink.Lines[0].Text, "[211] a");
  EXPECT_EQ(sink.Lines[1].Type, 9);
  EXPECT_EQ(std::u16string(ReportTypeName(sink.Lines[1].Type)), u"Unknown");
}

TEST(RuleCatalogue, WithoutSinkNothingIsSent) {
  Catalogue c;
  EXPECT_EQ(c.List.Report(4, 3, u"msg", 209, -1), E_FAIL);
}

TEST(RuleCatalogue, SinkReferencesAreCountedAndANullSinkKeepsThePreviousOne) {
  RecordingSink first;
  RecordingSink second;
  {
    Catalogue c;
    ASSERT_EQ(c.List.SetQuorvexReport(&first), S_OK);
    EXPECT_EQ(first.Refs(), 1u);

    TraceCapture trace;
    EXPECT_EQ(c.List.SetQuorvexReport(nullptr), E_INVALIDARG);
    EXPECT_TRUE(trace.Contains(u"dgn: Error in TValidationSettingList.SetQuorvexReport call..."));
    c.List.Report(4, 1, u"still here", 0, -1);
    ASSERT_EQ(first.Lines.size(), 1u);

    ASSERT_EQ(c.List.SetQuorvexReport(&second), S_OK);
    EXPECT_EQ(first.Refs(), 0u);
    EXPECT_EQ(second.Refs(), 1u);
    ASSERT_EQ(c.List.SetQuorvexReport(&second), S_OK);  // the same sink again
    EXPECT_EQ(second.Refs(), 1u);
  }
  EXPECT_EQ(second.Refs(), 0u);
}

TEST(RuleCatalogue, ConcurrentReportsFromTwoThreads) {
  RecordingSink sink;
  Catalogue c;
  c.List.SetQuorvexReport(&sink);
  auto producer = [&](int32_t id) {
    for (int i = 0; i < 500; ++i) c.List.Report(4, 1, u"x", id, -1);
  };
  std::thread worker(producer, 302);
  producer(101);
  worker.join();
  EXPECT_EQ(sink.Lines.size(), 1000u);
  EXPECT_EQ(sink.Refs(), 1u);
}

TEST(RuleCatalogue, TheFirstRowWithAnIdentifierDecides) {
  RecordingSink sink;
  TValidationSettingList list;
  list.SetQuorvexReport(&sink);
  list.AddItem({42, "first", 2, true, "first", 0, true, true});
  list.AddItem({42, "second", 3, false, "second", 0, true, true});
  EXPECT_EQ(list.GetValidationSettingFromID(42)->Name, "first");
  list.Report(4, 1, u"m", 42, -1);
  ASSERT_EQ(sink.Lines.size(), 1u);
  EXPECT_EQ(sink.Lines[0].Type, 2);
}

TEST(RuleCatalogue, ListsOwnIndependentCopies) {
  TValidationSetting caller{7, std::string(300, 'n'), 1, true, "d", 5, true, false};
  TValidationSettingList list;
  list.AddItem(caller);
  caller.Name = "changed";
  ASSERT_EQ(list.ValidationSettingsCount(), 1);
  EXPECT_EQ(list.GetValidationSetting(0)->Name, std::string(255, 'n'));  // cut to 255
  EXPECT_EQ(list.GetValidationSetting(0)->Code, 5);
  EXPECT_EQ(list.GetValidationSetting(-1), nullptr);
  EXPECT_EQ(list.GetValidationSetting(1), nullptr);

  Catalogue original;
  TValidationSettingList copy;
  copy.AddItem(caller);
  ASSERT_TRUE(copy.AssignValidationSettingList(original.List));
  ASSERT_EQ(copy.ValidationSettingsCount(), BUILT_IN_VALIDATION_SETTINGS_COUNT);
  for (int32_t i = 0; i < BUILT_IN_VALIDATION_SETTINGS_COUNT; ++i) {
    EXPECT_NE(copy.GetValidationSetting(i), original.List.GetValidationSetting(i));
    EXPECT_EQ(copy.GetValidationSetting(i)->ID, original.List.GetValidationSetting(i)->ID);
  }
  copy.GetValidationSettingFromID(209)->Enabled = false;
  EXPECT_TRUE(original.List.GetValidationSettingFromID(209)->Enabled);
  EXPECT_TRUE(copy.AssignValidationSettingList(copy));  // assigning itself keeps the rows
  EXPECT_EQ(copy.ValidationSettingsCount(), BUILT_IN_VALIDATION_SETTINGS_COUNT);

  copy.ClearValidationSettingList();
  EXPECT_EQ(copy.ValidationSettingsCount(), 0);
}

// --- persistence ----------------------------------------------------------

TEST(RuleCatalogueStore, FirstLoadWritesTheChangeableValuesAndSaveWritesAll) {
  StoreFolder folder;
  Catalogue c;
  ASSERT_TRUE(c.List.LoadFromRegistry(HKEY_CURRENT_USER, RULE_KEY));
  {
    auto key = OpenRuleKey();
    ASSERT_NE(key, nullptr);
    int enabledCount = 0;
    int typeCount = 0;
    for (const TValidationSetting& row : BuiltInValidationSettings()) {
      int32_t enabled = -1;
      if (key->ReadInteger(Name(row.ID, "_Enabled"), enabled)) {
        ++enabledCount;
        EXPECT_EQ(enabled, (row.ID == 211 || row.ID == 212) ? 0 : 1) << row.ID;
      }
      int32_t type = -1;
      if (key->ReadInteger(Name(row.ID, "_Type"), type)) {
        ++typeCount;
        EXPECT_EQ(type, row._Type) << row.ID;
      }
    }
    // Every rule's switch, and the severity of all but the 11 fixed ones.
    EXPECT_EQ(enabledCount, BUILT_IN_VALIDATION_SETTINGS_COUNT);
    EXPECT_EQ(typeCount, BUILT_IN_VALIDATION_SETTINGS_COUNT - 11);
    for (int32_t id : {101, 102, 103, 108, 301, 302, 303, 304, 305, 306, 307})
      EXPECT_FALSE(key->ValueExists(Name(id, "_Type"))) << id;
  }
  ASSERT_TRUE(c.List.SaveToRegistry(HKEY_CURRENT_USER, RULE_KEY));
  auto key = OpenRuleKey();
  for (const TValidationSetting& row : BuiltInValidationSettings()) {
    EXPECT_EQ(key->ValueType(Name(row.ID, "_Enabled")), StoreValueType::DWord) << row.ID;
    EXPECT_EQ(key->ValueType(Name(row.ID, "_Type")), StoreValueType::DWord) << row.ID;
  }
}

TEST(RuleCatalogueStore, StoredChoicesReachTheHost) {
  StoreFolder folder;
  {
    auto key = OpenRuleKey();
    key->WriteInteger(u"209_Enabled", 0);
    key->WriteInteger(u"404_Type", 2);
    key->WriteInteger(u"302_Type", 3);     // a fixed severity: ignored
    key->WriteInteger(u"210_Type", 9);     // no range check
    key->WriteInteger(u"211_Enabled", 7);  // any non-zero is enabled
    key->WriteString(u"405_Type", u"2");   // wrong type: replaced
    key->WriteString(u"406_Enabled", u"0");
    ASSERT_TRUE(key->Commit());
  }
  RecordingSink sink;
  Catalogue c;
  c.List.SetQuorvexReport(&sink);
  ASSERT_TRUE(c.List.LoadFromRegistry(HKEY_CURRENT_USER, RULE_KEY));

  for (int32_t id : {209, 404, 302, 210, 211, 405, 406}) c.List.Report(4, 1, u"m", id, -1);
  ASSERT_EQ(sink.Lines.size(), 6u);  // 209 dropped
  EXPECT_EQ(sink.Lines[0].Text, "[404] m");
  EXPECT_EQ(sink.Lines[0].Type, 2);
  EXPECT_EQ(sink.Lines[1].Type, 1);  // 302 stays Info
  EXPECT_EQ(sink.Lines[2].Type, 9);
  EXPECT_EQ(sink.Lines[3].Text, "[211] m");
  EXPECT_EQ(sink.Lines[4].Type, 3);  // 405 kept its built-in severity
  EXPECT_EQ(sink.Lines[5].Text, "[406] m");

  {
    auto key = OpenRuleKey();
    int32_t value = -1;
    ASSERT_TRUE(key->ReadInteger(u"405_Type", value));
    EXPECT_EQ(value, 3);
    ASSERT_TRUE(key->ReadInteger(u"406_Enabled", value));
    EXPECT_EQ(value, 1);
    ASSERT_TRUE(key->ReadInteger(u"302_Type", value));
    EXPECT_EQ(value, 3);  // loading leaves a value it does not use alone
  }
  c.List.SaveToRegistry(HKEY_CURRENT_USER, RULE_KEY);
  auto key = OpenRuleKey();
  int32_t value = -1;
  ASSERT_TRUE(key->ReadInteger(u"302_Type", value));
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(key->ReadInteger(u"211_Enabled", value));
  EXPECT_EQ(value, 1);
  ASSERT_TRUE(key->ReadInteger(u"209_Enabled", value));
  EXPECT_EQ(value, 0);
}

TEST(RuleCatalogueStore, FlagsDecideWhatIsLoaded) {
  StoreFolder folder;
  {
    auto key = OpenRuleKey();
    key->WriteInteger(u"1_Enabled", 0);
    key->WriteInteger(u"1_Type", 3);
    key->Commit();
  }
  TValidationSettingList list;
  list.AddItem({1, "locked", 2, true, "locked", 0, false, false});
  list.LoadFromRegistry(HKEY_CURRENT_USER, RULE_KEY);
  EXPECT_TRUE(list.GetValidationSettingFromID(1)->Enabled);
  EXPECT_EQ(list.GetValidationSettingFromID(1)->_Type, 2);
}

TEST(RuleCatalogueStore, OtherRootsAreLeftAlone) {
  StoreFolder folder;
  Catalogue c;
  const HKEY localMachine = 0x80000002u;
  EXPECT_TRUE(c.List.LoadFromRegistry(localMachine, RULE_KEY));
  EXPECT_TRUE(c.List.SaveToRegistry(localMachine, RULE_KEY));
  EXPECT_FALSE(OpenRuleKey()->ValueExists(u"209_Enabled"));
}

// --- the rules through the catalogue -------------------------------------

TEST(RuleCatalogueWithRules, BroadcastWaveRunAsTheHostSeesIt) {
  Bytes body = Chunk("fmt ", PcmFormat(2, 44100, 16));
  BextFields bext;
  bext.Time = "08:61:00";
  Append(body, Chunk("bext", BextPayload(bext)));
  Append(body, Chunk("data", Bytes(88200, 0)));
  LoadedTree tree(Riff("WAVE", body));

  RecordingSink sink;
  Catalogue c;
  c.List.SetQuorvexReport(&sink);
  TWAVRIFFValidator validator;
  validator.SetReportFunction(
      [&](int32_t module, int32_t type, const char16_t* text, int32_t id, int32_t stream) {
        return c.List.Report(module, type, text, id, stream);
      });
  ASSERT_EQ(validator.ValidateWAV(tree.Root()), S_OK);

  std::vector<std::string> prefixes;
  for (const auto& line : sink.Lines) prefixes.push_back(line.Text.substr(0, 6));
  EXPECT_THAT(prefixes,
              ::testing::ElementsAre("[302] ", "[303] ", "[304] ", "[305] ", "[306] ", "[307] ",
                                     "[410] ", "[411] ", "[412] ", "[413] ", "[414] ", "[415] ",
                                     "[416] ", "[417] ", "[418] ", "[419] ", "[420] ", "[421] ",
                                     "[422] ", "[218] ", "[301] "));  // 212 is off by default
  EXPECT_EQ(sink.Lines[0].Text, "[302] WAVE fmt - FormatTag = 1");
  EXPECT_EQ(sink.Lines[19].Text,
            "[218] Invalid Origination Time in the bext chunk. Offset: 0x00000024 .");
  EXPECT_EQ(sink.Lines[19].Type, 3);
  EXPECT_EQ(sink.Lines[20].Text, "[301] WAVE Stream Duration = 00:00:00.50");
}

TEST(RuleCatalogueWithRules, UnreadableCartReachesTheHostAsAnErrorEvenWithEverythingOff) {
  TWAVCommonChunk root;
  TWAVCommonChunk& riff = AddNode(root, FOURCC_RIFF, 0, FOURCC_WAVE);
  AddNode(riff, FOURCC_cart, 12);
  RecordingSink sink;
  Catalogue c;
  for (int32_t i = 0; i < c.List.ValidationSettingsCount(); ++i)
    c.List.GetValidationSetting(i)->Enabled = false;
  c.List.SetQuorvexReport(&sink);
  TWAVRIFFValidator validator;
  validator.SetReportFunction(
      [&](int32_t module, int32_t type, const char16_t* text, int32_t id, int32_t stream) {
        return c.List.Report(module, type, text, id, stream);
      });
  validator.ValidateWAV(&root);
  ASSERT_EQ(sink.Lines.size(), 1u);
  EXPECT_EQ(sink.Lines[0].Text, "[000] Invalid cart chunk. Offset: 0x0000000C .");
  EXPECT_EQ(sink.Lines[0].Type, 3);
}

}  // namespace
}  // namespace riffo
