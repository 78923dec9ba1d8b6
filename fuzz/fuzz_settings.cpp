// The per-user settings file read from fuzzed bytes, written and read again:
// whatever the file held, values written to a key read back exactly after
// the key is opened anew, values not written keep what they read before,
// another key is not disturbed, a file that does not parse is kept aside
// byte for byte, and the module's settings and rule catalogue survive their
// own save and load. One round trip has a time bound: reading and writing
// the file must stay linear, whatever it holds.
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Text.h"
#include "platform/UserStore.h"
#include "sonolint/SonolintSettings.h"
#include "sonolint/ValidationSettings.h"

namespace {

using riffo::fuzz::Check;
using riffo::fuzz::TScratchFolder;

// The longest a round trip may take, far above what a linear parser needs
// for the largest input the fuzzer builds.
constexpr auto ROUND_TRIP_BOUND = std::chrono::seconds(5);

const char16_t* const SONOLINT_FIELDS[] = {
    u"LOAD_FILE_TIMEOUT_MS", u"UNLOAD_FILE_TIMEOUT_MS", u"PLAY_TIMEOUT_MS", u"STOP_TIMEOUT_MS",
    u"SilenceLeveldB",       u"MinSilenceBlockMS",      u"NoiseLeveldB",    u"MinNoiseBlockMS"};

struct TSeen {
  riffo::StoreValueType Type = riffo::StoreValueType::None;
  int32_t Number = 0;
  std::u16string Text;
  bool operator==(const TSeen&) const = default;
};

TSeen Read(const riffo::TUserStoreKey& key, const std::u16string& name) {
  TSeen seen;
  seen.Type = key.ValueType(name);
  key.ReadInteger(name, seen.Number);
  key.ReadString(name, seen.Text);
  return seen;
}

// Names and key paths come from the program, never from the user: printable
// text. Control characters and lone surrogates become '_'.
std::u16string Printable(std::u16string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    if (high) {
      ++i;
    } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) {
      text[i] = u'_';
    }
  }
  return text;
}

// A string value as the store can hold one: well-formed UTF-16 (it is kept
// as UTF-8) without trailing NULs (the stored form ends in one).
std::u16string StorableText(std::u16string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    if (high)
      ++i;
    else if (c >= 0xD800 && c <= 0xDFFF)
      text[i] = u'\xFFFD';
  }
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

struct TWrite {
  std::u16string Name;
  bool IsNumber = false;
  int32_t Number = 0;
  std::u16string Text;
};

void SetUpStore() {
  static const bool done = [] {
    const std::string home = TScratchFolder::Path() + "/config";
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const std::string path = riffo::TUserStoreKey::StoreFilePath();
    ::mkdir(home.c_str(), 0700);
    ::mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);
    return true;
  }();
  (void)done;
}

// The module's settings and rule catalogue: load, save, load again.
void CheckModuleSettings() {
  riffo::TSonolintSettings settings;
  settings.LoadFromRegistry();
  settings.SaveToRegistry();
  riffo::TSonolintSettings reloaded;
  reloaded.SilenceLeveldB = settings.SilenceLeveldB + 1;  // so an unread value shows
  reloaded.LoadFromRegistry();
  Check(reloaded.SilenceLeveldB == settings.SilenceLeveldB &&
            reloaded.MinSilenceBlockMS == settings.MinSilenceBlockMS &&
            reloaded.NoiseLeveldB == settings.NoiseLeveldB &&
            reloaded.MinNoiseBlockMS == settings.MinNoiseBlockMS &&
            reloaded.LOAD_FILE_TIMEOUT_MS == settings.LOAD_FILE_TIMEOUT_MS &&
            reloaded.PLAY_TIMEOUT_MS == settings.PLAY_TIMEOUT_MS,
        "the module's settings changed on a save and load");
  riffo::TValidationSettingList rules;
  rules.AddBuiltInValidationSettings();
  rules.LoadFromRegistry(riffo::HKEY_CURRENT_USER, riffo::VALIDATION_SETTINGS_REGISTRY_KEY);
  rules.SaveToRegistry(riffo::HKEY_CURRENT_USER, riffo::VALIDATION_SETTINGS_REGISTRY_KEY);
  riffo::TValidationSettingList again;
  again.AddBuiltInValidationSettings();
  again.LoadFromRegistry(riffo::HKEY_CURRENT_USER, riffo::VALIDATION_SETTINGS_REGISTRY_KEY);
  for (int32_t i = 0; i < rules.ValidationSettingsCount(); ++i) {
    const riffo::TValidationSetting* a = rules.GetValidationSetting(i);
    const riffo::TValidationSetting* b = again.GetValidationSetting(i);
    Check(a->Enabled == b->Enabled && a->_Type == b->_Type,
          "a rule's settings changed on a save and load");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpStore();
  const auto start = std::chrono::steady_clock::now();
  riffo::fuzz::TFuzzInput input(data, size);
  const std::u16string keys[] = {
      u"SOFTWARE\\Brindlecorp\\Riffoscope", riffo::VALIDATION_SETTINGS_REGISTRY_KEY,
      u"\\software\\BRINDLECORP\\\\riffoscope\\", Printable(input.Text16(30))};
  const std::u16string keyPath = input.Pick(keys);
  std::vector<TWrite> writes;
  const auto count = input.Range(0, 8);
  for (int64_t i = 0; i < count; ++i) {
    TWrite write;
    if (!writes.empty() && input.Range(0, 3) == 0) {
      // The same value again under another spelling of its name.
      write.Name = riffo::UpperAscii(
          writes[static_cast<size_t>(input.Range(0, static_cast<int64_t>(writes.size()) - 1))]
              .Name);
    } else {
      // A fixed-width prefix keeps distinct values distinct however the rest folds.
      write.Name = riffo::fuzz::U16Number(10 + i) + Printable(input.Text16(12));
    }
    write.IsNumber = input.Bool();
    if (write.IsNumber)
      write.Number = static_cast<int32_t>(input.U32());
    else
      write.Text = StorableText(input.Text16(60));
    writes.push_back(std::move(write));
  }
  // The module's own settings round trip opens the store a dozen times: one
  // input in four is enough for it.
  const bool withModule = input.Range(0, 3) == 0;
  const std::vector<uint8_t> fileBytes = input.Rest();
  const std::string original(fileBytes.begin(), fileBytes.end());

  const std::string path = riffo::TUserStoreKey::StoreFilePath();
  const std::string folder = path.substr(0, path.rfind('/'));
  TScratchFolder::Clear(folder);
  Check(riffo::fuzz::WriteWholeFile(path, original), "cannot write the store file");

  // The module's key as it stands, before anything else is written.
  std::map<std::u16string, TSeen> other;
  {
    auto key = riffo::TUserStoreKey::OpenOrCreate(riffo::SONOLINT_REGISTRY_KEY);
    Check(key != nullptr, "the store cannot open a key");
    for (const char16_t* name : SONOLINT_FIELDS) other[name] = Read(*key, name);
  }

  // The expected value of every name afterwards: what was read, then what was written.
  std::map<std::u16string, TSeen> expected;  // by the upper-cased name
  {
    auto key = riffo::TUserStoreKey::OpenOrCreate(keyPath);
    Check(key != nullptr, "the store cannot open a key");
    for (const TWrite& write : writes)
      if (!expected.count(riffo::UpperAscii(write.Name)))
        expected[riffo::UpperAscii(write.Name)] = Read(*key, write.Name);
    for (const TWrite& write : writes) {
      TSeen& seen = expected[riffo::UpperAscii(write.Name)];
      if (write.IsNumber) {
        key->WriteInteger(write.Name, write.Number);
        seen = {riffo::StoreValueType::DWord, write.Number, {}};
      } else {
        key->WriteString(write.Name, write.Text);
        seen = {riffo::StoreValueType::String, 0, write.Text};
      }
    }
    for (const auto& [name, seen] : expected)
      Check(Read(*key, name) == seen, "a value reads otherwise before commit");
    Check(key->Commit(), "the store cannot be written");
  }
  {
    auto key = riffo::TUserStoreKey::OpenOrCreate(keyPath);
    Check(key != nullptr, "the store cannot open a key");
    for (const auto& [name, seen] : expected)
      Check(Read(*key, name) == seen, "a value reads otherwise after reopening");
  }
  {
    // The written names start with digits, so they never meet these.
    auto key = riffo::TUserStoreKey::OpenOrCreate(riffo::SONOLINT_REGISTRY_KEY);
    for (const auto& [name, seen] : other)
      Check(Read(*key, name) == seen, "writing one key changed another");
  }

  // A file that did not parse is kept aside whole.
  for (const std::string& name : TScratchFolder::List(folder)) {
    if (name.find(".malformed-") != std::string::npos)
      Check(riffo::fuzz::ReadWholeFile(folder + "/" + name) == original,
            "a malformed store was not kept whole");
  }

  if (withModule) CheckModuleSettings();
  Check(std::chrono::steady_clock::now() - start < ROUND_TRIP_BOUND,
        "a settings round trip took too long");
  return 0;
}
