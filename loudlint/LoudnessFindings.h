// The report lines of a loudness measurement: the measured values, the
// selected profile's verdicts, the agreement of a bext chunk's loudness
// fields with the measurement and the signal faults with their positions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "loudlint/LoudlintSettings.h"
#include "loudlint/LoudnessMeter.h"

namespace riffo {

// Clipping runs listed one per line; the rest are counted in one line.
inline constexpr size_t MAX_CLIP_LINES = 20;
// A bext loudness field holding this value is not set.
inline constexpr int16_t BEXT_LOUDNESS_UNSET = 0x7FFF;

struct TFinding {
  int32_t ID = 0;
  int32_t Type = 0;
  std::u16string Text;
};

// The five loudness fields of a bext chunk of version 2 or later, as stored
// (signed hundredths).
struct TBextLoudness {
  int16_t LoudnessValue = BEXT_LOUDNESS_UNSET;
  int16_t LoudnessRange = BEXT_LOUDNESS_UNSET;
  int16_t MaxTruePeakLevel = BEXT_LOUDNESS_UNSET;
  int16_t MaxMomentaryLoudness = BEXT_LOUDNESS_UNSET;
  int16_t MaxShortTermLoudness = BEXT_LOUDNESS_UNSET;
};

struct TFindingContext {
  TLoudnessProfile Profile;
  double BextTolerance = 0.1;
  std::optional<TBextLoudness> Bext;  // only for a bext of version 2 or later
  int64_t DataOffset = 0;             // file position of the first sample byte
  int32_t FrameBytes = 0;
  int32_t ContainerBytes = 0;
  uint32_t SampleRate = 0;
  double DcOffsetLimitdBFS = -40;
  double CorrelationLimit = -0.2;
  // Rules switched off for the run: their lines are left out, and what only
  // they would show is not measured (see MeterNeeds).
  std::vector<int32_t> RulesOff;
};

// "-23.0"; "-inf" for minus infinity.
std::u16string LevelText(double value, int decimals = 1);
// 20 log10 of a linear level; minus infinity for 0.
double ToDecibels(double linear);

// The parts of the measurement that the lines of the rules still on show or
// compare: a rule that is off costs nothing. The bext comparison needs only
// the values of the fields the chunk sets.
TMeterNeeds MeterNeeds(const TFindingContext& context);

// The lines of the rules that are on, in report order; every value they show
// must have been measured (see MeterNeeds).
std::vector<TFinding> LoudnessFindings(const TMeterResult& result, const TFindingContext& context);

}  // namespace riffo
