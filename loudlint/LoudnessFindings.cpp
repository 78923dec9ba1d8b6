#include "loudlint/LoudnessFindings.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "chunkmodel/WAVHelpers.h"
#include "contract/QuorvexControlInterface.h"
#include "loudlint/LoudlintRules.h"
#include "platform/Text.h"

namespace riffo {
namespace {

bool RuleOn(const TFindingContext& context, int32_t id) {
  return std::find(context.RulesOff.begin(), context.RulesOff.end(), id) == context.RulesOff.end();
}

std::u16string Channel(size_t index) { return Format16("channel %zu", index + 1); }

std::u16string Position(const TFindingContext& context, int64_t frame, int32_t channel) {
  const double seconds =
      context.SampleRate > 0 ? static_cast<double>(frame) / context.SampleRate : 0.0;
  const int64_t offset = context.DataOffset + frame * context.FrameBytes +
                         static_cast<int64_t>(channel) * context.ContainerBytes;
  return u"at " + SecondsToTimeText(0, seconds) +
         Format16(", byte offset %lld", static_cast<long long>(offset));
}

void BextField(std::vector<TFinding>& out, const TFindingContext& context, const char16_t* field,
               int16_t declared, double measured, const char16_t* unit) {
  if (declared == BEXT_LOUDNESS_UNSET) {
    out.push_back(
        {LL_BEXT_UNSET_ID, REPORT_TYPE_INFO, u"bext " + std::u16string(field) + u" not set"});
    return;
  }
  const double value = declared / 100.0;
  // Declared values are hundredths; the tolerance is widened by half of one so
  // a measurement that rounds to the tolerance still agrees.
  const bool agrees =
      std::isfinite(measured) && std::fabs(value - measured) <= context.BextTolerance + 0.005;
  if (agrees) return;
  out.push_back({LL_BEXT_DISAGREES_ID, REPORT_TYPE_WARNING,
                 u"bext " + std::u16string(field) + u" declares " + LevelText(value, 2) + u" " +
                     unit + u", measured " + LevelText(measured, 2) + u" " + unit});
}

// Every line of the measurement, whether its rule is on or not.
std::vector<TFinding> AllFindings(const TMeterResult& r, const TFindingContext& context) {
  std::vector<TFinding> out;
  if (!r.NotMeasured.empty()) {
    out.push_back({LL_NOT_MEASURED_ID, REPORT_TYPE_WARNING,
                   u"Loudness not measured: " + Utf8ToUtf16(r.NotMeasured)});
    return out;
  }
  const auto info = [&](int32_t id, std::u16string text) {
    out.push_back({id, REPORT_TYPE_INFO, std::move(text)});
  };
  if (r.FramesMeasured < r.FramesDeclared) {
    out.push_back({LL_PARTIAL_DATA_ID, REPORT_TYPE_WARNING,
                   Format16("Loudness measured over %lld of %lld frames: ",
                            static_cast<long long>(r.FramesMeasured),
                            static_cast<long long>(r.FramesDeclared)) +
                       (r.Cancelled ? u"the measurement was stopped" : u"the data is truncated")});
  }
  info(LL_INTEGRATED_ID, u"Integrated loudness " + LevelText(r.Integrated) + u" LUFS");
  info(LL_RANGE_ID, u"Loudness range " + LevelText(r.Range) + u" LU");
  info(LL_MAX_MOMENTARY_ID, u"Maximum momentary loudness " + LevelText(r.MaxMomentary) + u" LUFS");
  info(LL_MAX_SHORT_TERM_ID,
       u"Maximum short-term loudness " + LevelText(r.MaxShortTerm) + u" LUFS");
  double maxTruePeak = 0;
  size_t maxChannel = 0;
  for (size_t c = 0; c < r.TruePeak.size(); ++c) {
    info(LL_TRUE_PEAK_ID,
         u"True peak " + Channel(c) + u" " + LevelText(ToDecibels(r.TruePeak[c])) + u" dBTP");
    if (r.TruePeak[c] > maxTruePeak) {
      maxTruePeak = r.TruePeak[c];
      maxChannel = c;
    }
  }
  for (size_t c = 0; c < r.SamplePeak.size(); ++c)
    info(LL_SAMPLE_PEAK_ID,
         u"Sample peak " + Channel(c) + u" " + LevelText(ToDecibels(r.SamplePeak[c])) + u" dBFS");

  // The profile's verdicts.
  const TLoudnessProfile& p = context.Profile;
  info(LL_PROFILE_ID, u"Profile " + p.Name + u": " + LevelText(p.Target) + u" LUFS +/- " +
                          LevelText(p.Tolerance) + u" LU, true peak <= " + LevelText(p.PeakLimit) +
                          u" dBTP");
  // Minus infinity (silence) is outside any tolerance, as it should be.
  if (!(std::fabs(r.Integrated - p.Target) <= p.Tolerance + 1e-9)) {
    out.push_back({LL_LOUDNESS_OUT_OF_TOLERANCE_ID, REPORT_TYPE_ERROR,
                   u"Integrated loudness " + LevelText(r.Integrated) + u" LUFS outside " +
                       LevelText(p.Target) + u" +/- " + LevelText(p.Tolerance) + u" LU"});
  }
  const double peakdB = ToDecibels(maxTruePeak);
  if (peakdB > p.PeakLimit + 1e-9) {
    out.push_back({LL_TRUE_PEAK_ABOVE_LIMIT_ID, REPORT_TYPE_ERROR,
                   u"True peak " + LevelText(peakdB) + u" dBTP on " + Channel(maxChannel) +
                       u" above the limit of " + LevelText(p.PeakLimit) + u" dBTP"});
  }

  if (context.Bext) {
    const TBextLoudness& b = *context.Bext;
    BextField(out, context, u"LoudnessValue", b.LoudnessValue, r.Integrated, u"LUFS");
    BextField(out, context, u"LoudnessRange", b.LoudnessRange, r.Range, u"LU");
    BextField(out, context, u"MaxTruePeakLevel", b.MaxTruePeakLevel, peakdB, u"dBTP");
    BextField(out, context, u"MaxMomentaryLoudness", b.MaxMomentaryLoudness, r.MaxMomentary,
              u"LUFS");
    BextField(out, context, u"MaxShortTermLoudness", b.MaxShortTermLoudness, r.MaxShortTerm,
              u"LUFS");
  }

  // Signal faults.
  for (size_t i = 0; i < r.ClipRuns.size() && i < MAX_CLIP_LINES; ++i) {
    const TClipRun& run = r.ClipRuns[i];
    out.push_back({LL_CLIPPING_ID, REPORT_TYPE_WARNING,
                   u"Clipping on " + Channel(static_cast<size_t>(run.Channel)) + u" " +
                       Position(context, run.Frame, run.Channel) +
                       Format16(": %lld consecutive samples at full scale",
                                static_cast<long long>(run.Length))});
  }
  if (r.ClipRuns.size() > MAX_CLIP_LINES) {
    out.push_back(
        {LL_CLIPPING_MORE_ID, REPORT_TYPE_WARNING,
         Format16("%zu more clipping runs not listed", r.ClipRuns.size() - MAX_CLIP_LINES)});
  }
  for (size_t c = 0; c < r.ChannelMean.size(); ++c) {
    const double level = ToDecibels(std::fabs(r.ChannelMean[c]));
    if (level > context.DcOffsetLimitdBFS) {
      out.push_back({LL_DC_OFFSET_ID, REPORT_TYPE_WARNING,
                     u"DC offset on " + Channel(c) + u" " + LevelText(level) + u" dBFS" +
                         Format16(" (mean %+.4f) ", r.ChannelMean[c]) +
                         Position(context, 0, static_cast<int32_t>(c))});
    }
  }
  if (r.HasCorrelation && r.Correlation < context.CorrelationLimit) {
    const int64_t frame = std::max<int64_t>(0, r.FirstLowCorrelationFrame);
    out.push_back({LL_NEGATIVE_CORRELATION_ID, REPORT_TYPE_WARNING,
                   u"Negative stereo correlation " + LevelText(r.Correlation, 2) + u" (limit " +
                       LevelText(context.CorrelationLimit, 2) + u"), starting " +
                       Position(context, frame, 0)});
  }
  return out;
}

}  // namespace

std::u16string LevelText(double value, int decimals) {
  if (std::isnan(value)) return u"nan";
  if (std::isinf(value)) return value < 0 ? u"-inf" : u"+inf";
  // No "-0.0".
  const double scale = std::pow(10.0, decimals);
  if (std::round(value * scale) == 0) value = 0;
  return Format16("%.*f", decimals, value);
}

double ToDecibels(double linear) {
  return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

TMeterNeeds MeterNeeds(const TFindingContext& context) {
  const auto on = [&](int32_t id) { return RuleOn(context, id); };
  // A bext field is compared with its measured value only when it is set.
  const auto bextSets = [&](int16_t TBextLoudness::*field) {
    return on(LL_BEXT_DISAGREES_ID) && context.Bext &&
           (*context.Bext).*field != BEXT_LOUDNESS_UNSET;
  };
  TMeterNeeds needs;
  needs.Loudness = on(LL_INTEGRATED_ID) || on(LL_RANGE_ID) || on(LL_MAX_MOMENTARY_ID) ||
                   on(LL_MAX_SHORT_TERM_ID) || on(LL_LOUDNESS_OUT_OF_TOLERANCE_ID) ||
                   bextSets(&TBextLoudness::LoudnessValue) ||
                   bextSets(&TBextLoudness::LoudnessRange) ||
                   bextSets(&TBextLoudness::MaxMomentaryLoudness) ||
                   bextSets(&TBextLoudness::MaxShortTermLoudness);
  needs.TruePeak = on(LL_TRUE_PEAK_ID) || on(LL_TRUE_PEAK_ABOVE_LIMIT_ID) ||
                   bextSets(&TBextLoudness::MaxTruePeakLevel);
  needs.SamplePeak = on(LL_SAMPLE_PEAK_ID);
  needs.Clipping = on(LL_CLIPPING_ID) || on(LL_CLIPPING_MORE_ID);
  needs.DcOffset = on(LL_DC_OFFSET_ID);
  needs.Correlation = on(LL_NEGATIVE_CORRELATION_ID);
  return needs;
}

std::vector<TFinding> LoudnessFindings(const TMeterResult& r, const TFindingContext& context) {
  std::vector<TFinding> out = AllFindings(r, context);
  std::erase_if(out, [&](const TFinding& finding) { return !RuleOn(context, finding.ID); });
  return out;
}

}  // namespace riffo
