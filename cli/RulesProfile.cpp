#include "cli/RulesProfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/Text.h"
#include "loudlint/LoudlintRules.h"
#include "platform/UserStore.h"
#include "sonolint/ValidationSettings.h"

namespace riffo::cli {

namespace {

// Every module whose rules a profile may set: its catalogue and the key its
// rule settings are read from. Each module numbers its rules in a group of
// its own, so an identifier belongs to one module at most.
struct TRuleModule {
  const std::vector<TValidationSetting>& (*Catalogue)();
  const char16_t* Key;
};

constexpr TRuleModule RULE_MODULES[] = {
    {BuiltInValidationSettings, VALIDATION_SETTINGS_REGISTRY_KEY},
    {LoudlintRules, LOUDLINT_RULES_REGISTRY_KEY},
};

// The catalogue record of a rule and the module (index into RULE_MODULES)
// that knows it; null when no module does.
const TValidationSetting* FindRule(int32_t id, size_t& module) {
  for (size_t m = 0; m < std::size(RULE_MODULES); ++m)
    for (const TValidationSetting& candidate : RULE_MODULES[m].Catalogue())
      if (candidate.ID == id) {
        module = m;
        return &candidate;
      }
  return nullptr;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

bool ReadRulesProfile(const std::string& fileName, std::vector<TRuleOverride>& rules,
                      std::string& error) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    error = "cannot read " + fileName + ": " + std::strerror(errno);
    return false;
  }
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    const std::string where = fileName + ":" + std::to_string(number) + ": ";
    const size_t hash = raw.find('#');
    const std::string line = Trim(hash == std::string::npos ? raw : raw.substr(0, hash));
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      error = where + "expected \"<rule> = <value>\"";
      return false;
    }
    const std::string ruleText = Trim(line.substr(0, equals));
    const std::string value = LowerAscii(Trim(line.substr(equals + 1)));
    const TValidationSetting* setting = nullptr;
    size_t module = 0;
    // At most six digits: the number fits an int whatever the text says.
    if (!ruleText.empty() && ruleText.size() <= 6 &&
        ruleText.find_first_not_of("0123456789") == std::string::npos)
      setting = FindRule(std::atoi(ruleText.c_str()), module);
    if (setting == nullptr) {
      error = where + "unknown rule '" + ruleText + "'";
      return false;
    }
    TRuleOverride rule;
    rule.Rule = setting->ID;
    rule.Module = module;
    if (value == "off") {
      rule.Enabled = false;
    } else if (value == "on") {
      rule.Enabled = true;
    } else if (value == "info" || value == "warning" || value == "error") {
      rule.Type = value == "info"      ? REPORT_TYPE_INFO
                  : value == "warning" ? REPORT_TYPE_WARNING
                                       : REPORT_TYPE_ERROR;
      if (!setting->CanChangeType && rule.Type != setting->_Type) {
        error = where + "the severity of rule " + ruleText + " cannot be changed";
        return false;
      }
    } else {
      error = where + "unknown value '" + value + "' (off, on, info, warning or error)";
      return false;
    }
    if (!setting->CanChangeEnable && !rule.Enabled) {
      error = where + "rule " + ruleText + " cannot be switched off";
      return false;
    }
    rules.push_back(rule);
  }
  return true;
}

TPrivateRuleStore::~TPrivateRuleStore() {
  if (FFolder.empty()) return;
  if (FHadHome)
    ::setenv("XDG_CONFIG_HOME", FOldHome.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
  std::error_code ignored;
  std::filesystem::remove_all(FFolder, ignored);
}

bool TPrivateRuleStore::Apply(const std::vector<TRuleOverride>& rules, std::string& error) {
  const std::string userStore = TUserStoreKey::StoreFilePath();
  std::string folder =
      (std::filesystem::temp_directory_path() / "riffoscope-rules-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) {
    error = std::string("cannot make a private settings folder: ") + std::strerror(errno);
    return false;
  }
  FFolder = folder;
  const char* home = std::getenv("XDG_CONFIG_HOME");
  FHadHome = home != nullptr;
  if (home != nullptr) FOldHome = home;
  ::setenv("XDG_CONFIG_HOME", FFolder.c_str(), 1);

  const std::string copy = TUserStoreKey::StoreFilePath();
  std::error_code failure;
  std::filesystem::create_directories(std::filesystem::path(copy).parent_path(), failure);
  if (!failure && std::filesystem::exists(userStore, failure))
    std::filesystem::copy_file(userStore, copy, failure);
  if (failure) {
    error = "cannot copy the settings: " + failure.message();
    return false;
  }
  // Each module's overrides go under that module's own key; every module's
  // key is made, as Sonolint's always was, whether the profile sets any of
  // its rules or not.
  for (size_t m = 0; m < std::size(RULE_MODULES); ++m) {
    std::u16string key = RULE_MODULES[m].Key;
    while (!key.empty() && key.back() == u'\\') key.pop_back();
    std::unique_ptr<TUserStoreKey> store = TUserStoreKey::OpenOrCreate(key);
    if (!store) {
      error = "cannot write the private settings";
      return false;
    }
    for (const TRuleOverride& rule : rules) {
      if (rule.Module != m) continue;
      store->WriteInteger(Format16("%d_Enabled", rule.Rule), rule.Enabled ? 1 : 0);
      if (rule.Type != 0) store->WriteInteger(Format16("%d_Type", rule.Rule), rule.Type);
    }
    if (!store->Commit()) {
      error = "cannot write the private settings";
      return false;
    }
  }
  return true;
}

}  // namespace riffo::cli
