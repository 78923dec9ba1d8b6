// Sonolint's rule catalogue: the shared catalogue machinery filled from
// Sonolint's own rule table, with its settings under Sonolint's key in the
// per-user store.
#pragma once

#include <cstdint>
#include <vector>

#include "modulekit/RuleCatalogue.h"

namespace riffo {

// Where the rule settings live (the trailing separator is part of the key).
inline constexpr const char16_t* VALIDATION_SETTINGS_REGISTRY_KEY =
    u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Sonolint\\ValidationSettings\\";

// The 90 built-in rules in ascending identifier order.
inline constexpr int32_t BUILT_IN_VALIDATION_SETTINGS_COUNT = 90;
const std::vector<TValidationSetting>& BuiltInValidationSettings();

class TValidationSettingList final : public TRuleCatalogue {
public:
  // Appends a copy of every built-in row, in table order; the number added.
  int32_t AddBuiltInValidationSettings();
};

}  // namespace riffo
