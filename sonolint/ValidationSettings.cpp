#include "sonolint/ValidationSettings.h"

#include <iterator>

namespace riffo {

namespace {

// The built-in catalogue in ascending identifier order. Every row's
// Description equals its Name, its Code is 0 and its enabled state may change.
constexpr TRuleRow BUILT_IN_RULES[] = {
    // Run lines of the module object.
    {101, "Start validation information", 1, true, false},
    {102, "Loading file information", 1, true, false},
    {103, "Unloading file information", 1, true, false},
    {104, "Loading timeout", 3, true, true},
    {105, "Unloading timeout", 3, true, true},
    {106, "Play timeout", 3, true, true},
    {107, "Stop timeout", 3, true, true},
    {108, "Finish validation information", 1, true, false},
    // File structure, from the chunk loader and the conformance rules.
    {201, "Chunk name read on end of file check", 3, true, true},
    {202, "Chunk size read on end of file check", 3, true, true},
    {203, "Chunk type read on end of file check", 3, true, true},
    {204, "Chunk completeness check", 3, true, true},
    {205, "Chunk boundaries check", 3, true, true},
    {206, "fmt chunk read on end of file check", 3, true, true},
    {207, "Non-RIFF chunk check", 3, true, true},
    {208, "Main RIFF chunk name check", 3, true, true},
    {209, "fmt chunk absence", 3, true, true},
    {210, "data chunk absence", 3, true, true},
    {211, "bext chunk absence", 3, false, true},
    {212, "cart chunk absence", 3, false, true},
    {213, "bext chunk read on end of file check", 3, true, true},
    {214, "cart chunk read on end of file check", 3, true, true},
    {215, "bext chunk completeness check", 3, true, true},
    {216, "cart chunk completeness check", 3, true, true},
    {217, "bext chunk Origination Date check", 3, true, true},
    {218, "bext chunk Origination Time check", 3, true, true},
    {219, "cart chunk Start Date check", 3, true, true},
    {220, "cart chunk Start Time check", 3, true, true},
    {221, "cart chunk End Date check", 3, true, true},
    {222, "cart chunk End Time check", 3, true, true},
    {223, "qlty chunk read on end of file check", 3, true, true},
    {224, "fact chunk read on end of file check", 3, true, true},
    {225, "levl chunk read on end of file check", 3, true, true},
    {226, "mext chunk read on end of file check", 3, true, true},
    {227, "ds64 chunk read check", 3, true, true},
    {228, "Chunk count limit check", 3, true, true},
    {229, "ds64 chunk presence and position check", 3, true, true},
    {230, "64-bit chunk size presence check", 3, true, true},
    {231, "ds64 sizes against the file check", 3, true, true},
    {232, "RF64 form for a file that fits in RIFF information", 1, true, true},
    // Stream and format information.
    {301, "WAVE stream duration information", 1, true, false},
    {302, "fmt chunk FormatTag information", 1, true, false},
    {303, "fmt chunk Channels information", 1, true, false},
    {304, "fmt chunk SamplesPerSec information", 1, true, false},
    {305, "fmt chunk AvgBytesPerSec information", 1, true, false},
    {306, "fmt chunk BlockAlign information", 1, true, false},
    {307, "fmt chunk BitsPerSample information", 1, true, false},
    // Format checks.
    {401, "fmt chunk FormatTag check", 3, true, true},
    {402, "fmt chunk Channels check", 3, true, true},
    {403, "fmt chunk SamplesPerSec check", 3, true, true},
    {404, "fmt chunk AvgBytesPerSec check", 3, true, true},
    {405, "fmt chunk BlockAlign check", 3, true, true},
    {406, "fmt chunk BitsPerSample check", 3, true, true},
    // Broadcast extension information.
    {410, "bext chunk Description information", 1, true, true},
    {411, "bext chunk Originator information", 1, true, true},
    {412, "bext chunk Originator Reference information", 1, true, true},
    {413, "bext chunk Origination Date information", 1, true, true},
    {414, "bext chunk Origination Time information", 1, true, true},
    {415, "bext chunk Time Reference Low information", 1, true, true},
    {416, "bext chunk Time Reference High information", 1, true, true},
    {417, "bext chunk Version information", 1, true, true},
    {418, "bext chunk Loudness Value information", 1, true, true},
    {419, "bext chunk Loudness Range information", 1, true, true},
    {420, "bext chunk Max True Peak Level information", 1, true, true},
    {421, "bext chunk Max Momentary Loudness information", 1, true, true},
    {422, "bext chunk Max Short Term Loudness information", 1, true, true},
    // Cart information.
    {430, "cart chunk Version information", 1, true, true},
    {431, "cart chunk Title information", 1, true, true},
    {432, "cart chunk Artist information", 1, true, true},
    {433, "cart chunk Cut ID information", 1, true, true},
    {434, "cart chunk Client ID information", 1, true, true},
    {435, "cart chunk Category information", 1, true, true},
    {436, "cart chunk Classification information", 1, true, true},
    {437, "cart chunk Out Cue information", 1, true, true},
    {438, "cart chunk Start Date information", 1, true, true},
    {439, "cart chunk Start Time information", 1, true, true},
    {440, "cart chunk End Date information", 1, true, true},
    {441, "cart chunk End Time information", 1, true, true},
    {442, "cart chunk Producer App ID information", 1, true, true},
    {443, "cart chunk Producer App Version information", 1, true, true},
    {444, "cart chunk User Def information", 1, true, true},
    {445, "cart chunk Level Reference information", 1, true, true},
    {446, "cart chunk URL information", 1, true, true},
    // Silence and noise.
    {500, "Silence block position and duration", 2, true, true},
    {501, "Noise block position and duration", 2, true, true},
    {502, "Total file silence duration", 1, true, true},
    {503, "Total file noise duration", 1, true, true},
    {504, "Cumulative silence duration", 1, true, true},
    {505, "Cumulative noise duration", 1, true, true},
    {506, "Audio not analysed", 2, true, true},
};
static_assert(std::size(BUILT_IN_RULES) == BUILT_IN_VALIDATION_SETTINGS_COUNT);

}  // namespace

const std::vector<TValidationSetting>& BuiltInValidationSettings() {
  static const std::vector<TValidationSetting> rows =
      RuleRecords(BUILT_IN_RULES, std::size(BUILT_IN_RULES));
  return rows;
}

int32_t TValidationSettingList::AddBuiltInValidationSettings() {
  return AddItems(BuiltInValidationSettings());
}

}  // namespace riffo
