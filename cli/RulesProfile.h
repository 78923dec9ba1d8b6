// --rules FILE: a rule profile for one run. The file holds one setting a
// line, "<rule> = <value>", where rule is a rule of any module and value is
// off, on, info, warning or error (a severity also switches the rule on);
// "#" starts a comment; blank lines are skipped.
//
// The modules read their rule settings from the per-user store when they
// are created. For the run, the program points the store (XDG_CONFIG_HOME)
// at a private copy of the user's store with the profile applied; workers
// inherit it, the user's own store is never written, and the copy is
// removed when the run ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace riffo::cli {

struct TRuleOverride {
  int32_t Rule = 0;
  bool Enabled = true;
  int32_t Type = 0;   // 0: keep the rule's severity
  size_t Module = 0;  // which module's catalogue knows the rule
};

// Reads and checks the profile against the rule catalogues of every module
// (Sonolint, Loudlint); false with a reason naming the line
// ("rules.txt:3: unknown rule '999'").
bool ReadRulesProfile(const std::string& fileName, std::vector<TRuleOverride>& rules,
                      std::string& error);

// The private store for one run; the environment is restored and the copy
// removed when it goes.
class TPrivateRuleStore {
public:
  TPrivateRuleStore() = default;
  ~TPrivateRuleStore();
  TPrivateRuleStore(const TPrivateRuleStore&) = delete;
  TPrivateRuleStore& operator=(const TPrivateRuleStore&) = delete;

  // Copies the user's store, applies the rules and points this process (and
  // its children) at the copy. False with a reason when that fails.
  bool Apply(const std::vector<TRuleOverride>& rules, std::string& error);

private:
  std::string FFolder;
  bool FHadHome = false;
  std::string FOldHome;
};

}  // namespace riffo::cli
