#include "loudlint/LoudlintRules.h"

#include <iterator>

namespace riffo {
namespace {

// Every row's Description equals its Name and its enabled state may change.
constexpr TRuleRow LOUDLINT_RULES[] = {
    {LL_RUN_START_ID, "Start validation information", 1, true, false},
    {LL_RUN_LOADING_FILE_ID, "Loading file information", 1, true, false},
    {LL_RUN_UNLOADING_FILE_ID, "Unloading file information", 1, true, false},
    {LL_RUN_LOAD_TIMEOUT_ID, "Loading timeout", 3, true, true},
    {LL_RUN_UNLOAD_TIMEOUT_ID, "Unloading timeout", 3, true, true},
    {LL_RUN_PLAY_TIMEOUT_ID, "Play timeout", 3, true, true},
    {LL_RUN_STOP_TIMEOUT_ID, "Stop timeout", 3, true, true},
    {LL_RUN_FINISH_ID, "Finish validation information", 1, true, false},
    {LL_NOT_MEASURED_ID, "Loudness not measured", 2, true, true},
    {LL_INTEGRATED_ID, "Integrated loudness information", 1, true, true},
    {LL_RANGE_ID, "Loudness range information", 1, true, true},
    {LL_MAX_MOMENTARY_ID, "Maximum momentary loudness information", 1, true, true},
    {LL_MAX_SHORT_TERM_ID, "Maximum short-term loudness information", 1, true, true},
    {LL_TRUE_PEAK_ID, "True peak per channel information", 1, true, true},
    {LL_SAMPLE_PEAK_ID, "Sample peak per channel information", 1, true, true},
    {LL_PARTIAL_DATA_ID, "Measurement of truncated data", 2, true, true},
    {LL_PROFILE_ID, "Loudness profile information", 1, true, true},
    {LL_LOUDNESS_OUT_OF_TOLERANCE_ID, "Integrated loudness outside the target tolerance", 3, true,
     true},
    {LL_TRUE_PEAK_ABOVE_LIMIT_ID, "True peak above the limit", 3, true, true},
    {LL_BEXT_DISAGREES_ID, "bext loudness field disagrees with the measurement", 2, true, true},
    {LL_BEXT_UNSET_ID, "bext loudness field not set", 1, true, true},
    {LL_CLIPPING_ID, "Clipping position", 2, true, true},
    {LL_CLIPPING_MORE_ID, "Further clipping not listed", 2, true, true},
    {LL_DC_OFFSET_ID, "DC offset", 2, true, true},
    {LL_NEGATIVE_CORRELATION_ID, "Negative stereo correlation", 2, true, true},
};

}  // namespace

const std::vector<TValidationSetting>& LoudlintRules() {
  static const std::vector<TValidationSetting> rows =
      RuleRecords(LOUDLINT_RULES, std::size(LOUDLINT_RULES));
  return rows;
}

}  // namespace riffo
