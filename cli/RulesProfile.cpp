#include "cli/RulesProfile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/Text.h"
#include "platform/UserStore.h"
#include "sonolint/ValidationSettings.h"

namespace riffo::cli {

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

bool ReadRulesProfile(const std::string& fileName, std::vector<TRuleOverride>& rules,
                      std::string& error) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    error = "cannot read " + fileName + ": " + std::strerror(errno);
    return false;
  }
  const std::vector<TValidationSetting>& catalogue = BuiltInValidationSettings();
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
    const std::string value = Lower(Trim(line.substr(equals + 1)));
    const TValidationSetting* setting = nullptr;
    if (!ruleText.empty() && ruleText.size() <= 6 &&
        ruleText.find_first_not_of("0123456789") == std::string::npos) {
      const int rule = std::atoi(ruleText.c_str());
      for (const TValidationSetting& candidate : catalogue)
        if (candidate.ID == rule) setting = &candidate;
    }
    if (setting == nullptr) {
      error = where + "unknown rule '" + ruleText + "'";
      return false;
    }
    TRuleOverride rule;
    rule.Rule = setting->ID;
    if (value == "off") {
      rule.Enabled = false;
    } else if (value == "on") {
      rule.Enabled = true;
    } else if (value == "info" || value == "warning" || value == "error") {
      rule.Type = value == "info" ? REPORT_TYPE_INFO
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
  std::string folder = (std::filesystem::temp_directory_path() / "riffoscope-rules-XXXXXX").string();
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
  std::u16string key = VALIDATION_SETTINGS_REGISTRY_KEY;
  while (!key.empty() && key.back() == u'\\') key.pop_back();
  std::unique_ptr<TUserStoreKey> store = TUserStoreKey::OpenOrCreate(key);
  if (!store) {
    error = "cannot write the private settings";
    return false;
  }
  for (const TRuleOverride& rule : rules) {
    store->WriteInteger(Format16("%d_Enabled", rule.Rule), rule.Enabled ? 1 : 0);
    if (rule.Type != 0) store->WriteInteger(Format16("%d_Type", rule.Rule), rule.Type);
  }
  if (!store->Commit()) {
    error = "cannot write the private settings";
    return false;
  }
  return true;
}

}  // namespace riffo::cli
