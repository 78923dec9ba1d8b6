// Loudlint's rule catalogue: the shared catalogue machinery filled from
// Loudlint's own rule table (identifiers in the 6xx group), with the user's
// choices under Loudlint's key in the per-user store.
#pragma once

#include <cstdint>
#include <vector>

#include "modulekit/RuleCatalogue.h"

namespace riffo {

// Where the rule settings live (the trailing separator is part of the key).
inline constexpr const char16_t* LOUDLINT_RULES_REGISTRY_KEY =
    u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Loudlint\\ValidationSettings\\";

// Run lines of the module object.
inline constexpr int32_t LL_RUN_START_ID = 601;
inline constexpr int32_t LL_RUN_LOADING_FILE_ID = 602;
inline constexpr int32_t LL_RUN_UNLOADING_FILE_ID = 603;
inline constexpr int32_t LL_RUN_LOAD_TIMEOUT_ID = 604;
inline constexpr int32_t LL_RUN_UNLOAD_TIMEOUT_ID = 605;
inline constexpr int32_t LL_RUN_PLAY_TIMEOUT_ID = 606;
inline constexpr int32_t LL_RUN_STOP_TIMEOUT_ID = 607;
inline constexpr int32_t LL_RUN_FINISH_ID = 608;
// Measurement.
inline constexpr int32_t LL_NOT_MEASURED_ID = 610;
inline constexpr int32_t LL_INTEGRATED_ID = 611;
inline constexpr int32_t LL_RANGE_ID = 612;
inline constexpr int32_t LL_MAX_MOMENTARY_ID = 613;
inline constexpr int32_t LL_MAX_SHORT_TERM_ID = 614;
inline constexpr int32_t LL_TRUE_PEAK_ID = 615;
inline constexpr int32_t LL_SAMPLE_PEAK_ID = 616;
inline constexpr int32_t LL_PARTIAL_DATA_ID = 617;
// Compliance with the selected profile.
inline constexpr int32_t LL_PROFILE_ID = 620;
inline constexpr int32_t LL_LOUDNESS_OUT_OF_TOLERANCE_ID = 621;
inline constexpr int32_t LL_TRUE_PEAK_ABOVE_LIMIT_ID = 622;
// Agreement of the bext loudness fields with the measurement.
inline constexpr int32_t LL_BEXT_DISAGREES_ID = 630;
inline constexpr int32_t LL_BEXT_UNSET_ID = 631;
// Signal faults.
inline constexpr int32_t LL_CLIPPING_ID = 640;
inline constexpr int32_t LL_CLIPPING_MORE_ID = 641;
inline constexpr int32_t LL_DC_OFFSET_ID = 642;
inline constexpr int32_t LL_NEGATIVE_CORRELATION_ID = 643;

// The built-in rules in ascending identifier order.
const std::vector<TValidationSetting>& LoudlintRules();

// A catalogue holding Loudlint's rules.
class TLoudlintCatalogue final : public TRuleCatalogue {
public:
  TLoudlintCatalogue() { AddItems(LoudlintRules()); }
};

}  // namespace riffo
