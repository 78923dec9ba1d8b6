// A run whose rule profile switches lines off: the lines still on are those
// of the full measurement, and what only the switched-off lines show is not
// measured (no oversampling without the true-peak lines, no sample read
// without any measuring line).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "LoudlintFixtures.h"
#include "loudlint/LoudlintRules.h"
#include "loudlint/LoudlintWorker.h"
#include "platform/Text.h"

namespace riffo::test {
namespace {

std::string Texts(const std::vector<TFinding>& findings) {
  std::string out;
  for (const TFinding& f : findings)
    out += std::to_string(f.ID) + " " + std::to_string(f.Type) + " " + Utf16ToUtf8(f.Text) + "\n";
  return out;
}

std::vector<TFinding> Without(std::vector<TFinding> findings, const std::set<int32_t>& off) {
  std::erase_if(findings, [&](const TFinding& f) { return off.count(f.ID) > 0; });
  return findings;
}

struct ProfileRun {
  std::vector<TFinding> Lines;
  TMeterResult Measured;
};

ProfileRun MeasureWith(const std::string& path, const TRuleCatalogue* rules) {
  TLoadedStream stream;
  EXPECT_TRUE(LoadStreamDescription(Utf8ToUtf16(path), stream));
  ProfileRun run;
  run.Lines = MeasureFile(Utf8ToUtf16(path), stream, TLoudlintSettings{}, {}, rules, &run.Measured);
  return run;
}

// 16-bit stereo, truncated, with a bext of version 2 whose loudness fields
// (but one) are set and disagree, clipping runs, a DC offset and a right
// channel reversed in phase after 2 s: every measuring line has something to
// say.
std::string FaultyProgramme(const TempFolder& folder) {
  Signal signal = Sine(997, -3, 6);
  for (size_t i = 0; i < signal.size() / 2; ++i) {
    signal[2 * i] += 0.03;
    if (i >= 96000) signal[2 * i + 1] = -signal[2 * i + 1];
  }
  for (size_t start : {48000u, 96000u, 150000u})
    for (size_t i = start; i < start + 5; ++i) signal[2 * i] = 1.0;
  static const Bytes bext = BextWithLoudness(BextLoudnessFields{
      .LoudnessValue = -2300,
      .LoudnessRange = 500,
      .MaxTruePeakLevel = -100,
      .MaxMomentaryLoudness = -500,
  });
  WaveLayout layout;
  layout.Bits = 16;
  layout.Bext = &bext;
  layout.DeclaredDataSize = 2 * 2 * 48000 * 8;  // 8 s declared, 6 s present
  return WriteWave(folder, "programme.wav", layout, signal);
}

const std::set<int32_t> MEASURING = {LL_INTEGRATED_ID,
                                     LL_RANGE_ID,
                                     LL_MAX_MOMENTARY_ID,
                                     LL_MAX_SHORT_TERM_ID,
                                     LL_TRUE_PEAK_ID,
                                     LL_SAMPLE_PEAK_ID,
                                     LL_LOUDNESS_OUT_OF_TOLERANCE_ID,
                                     LL_TRUE_PEAK_ABOVE_LIMIT_ID,
                                     LL_BEXT_DISAGREES_ID,
                                     LL_CLIPPING_ID,
                                     LL_CLIPPING_MORE_ID,
                                     LL_DC_OFFSET_ID,
                                     LL_NEGATIVE_CORRELATION_ID};

std::set<int32_t> AllBut(std::initializer_list<int32_t> on) {
  std::set<int32_t> off = MEASURING;
  for (int32_t id : on) off.erase(id);
  return off;
}

TEST(LoudlintRuleProfile, LinesAreTheFullMeasurementsFilteredAndOffRulesCostNothing) {
  TempFolder folder("loudlint");
  const std::string path = FaultyProgramme(folder);
  const ProfileRun full = MeasureWith(path, nullptr);
  std::set<int32_t> shown;
  for (const TFinding& f : full.Lines) shown.insert(f.ID);
  EXPECT_EQ(shown, (std::set<int32_t>{611, 612, 613, 614, 615, 616, 617, 620, 621, 622, 630, 631,
                                      640, 642, 643}))
      << Texts(full.Lines);
  EXPECT_GT(full.Measured.TruePeakFrames, 0);

  struct Case {
    const char* Name;
    std::set<int32_t> Off;
    bool ReadsSamples;
    bool Oversamples;
  };
  const Case cases[] = {
      {"every rule on", {}, true, true},
      {"true-peak rules off", {615, 622, 630}, true, false},
      {"only the true peak per channel", AllBut({615}), true, true},
      {"only the peak limit", AllBut({622}), true, true},
      {"only the bext comparison", AllBut({630}), true, true},
      {"only the loudness target", AllBut({621}), true, false},
      {"only the range", AllBut({612}), true, false},
      {"only the sample peaks", AllBut({616}), true, false},
      {"only the signal faults", AllBut({640, 641, 642, 643}), true, false},
      {"only the correlation", AllBut({643}), true, false},
      {"every measuring rule off", MEASURING, false, false},
      {"no line of the measurement at all",
       [] {
         std::set<int32_t> off = MEASURING;
         off.insert({LL_PARTIAL_DATA_ID, LL_PROFILE_ID, LL_BEXT_UNSET_ID});
         return off;
       }(),
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TLoudlintCatalogue rules;
    for (int32_t id : c.Off) rules.GetValidationSettingFromID(id)->Enabled = false;
    const ProfileRun run = MeasureWith(path, &rules);
    EXPECT_EQ(Texts(run.Lines), Texts(Without(full.Lines, c.Off)));
    EXPECT_EQ(run.Measured.FramesRead > 0, c.ReadsSamples) << run.Measured.FramesRead;
    EXPECT_EQ(run.Measured.TruePeakFrames > 0, c.Oversamples) << run.Measured.TruePeakFrames;
  }
}

TEST(LoudlintRuleProfile, BextFieldsThatAreNotSetNeedNoMeasurement) {
  TempFolder folder("loudlint");
  // Only the true-peak field is set: the comparison needs the true peak and
  // nothing of the loudness state, which the meter then leaves at its default.
  static const Bytes bext = BextWithLoudness(BextLoudnessFields{.MaxTruePeakLevel = -2000});
  WaveLayout layout;
  layout.Bits = 16;
  layout.Bext = &bext;
  const std::string path = WriteWave(folder, "peak.wav", layout, Sine(997, -3, 4));
  TLoudlintCatalogue rules;
  for (int32_t id : AllBut({630})) rules.GetValidationSettingFromID(id)->Enabled = false;
  const ProfileRun run = MeasureWith(path, &rules);
  EXPECT_EQ(Texts(Without(run.Lines, {LL_PROFILE_ID, LL_BEXT_UNSET_ID})),
            "630 2 bext MaxTruePeakLevel declares -20.00 dBTP, measured -2.99 dBTP\n");
  EXPECT_GT(run.Measured.TruePeakFrames, 0);
  EXPECT_EQ(run.Measured.Integrated, 0.0);
  EXPECT_TRUE(run.Measured.ClipRuns.empty());
}

}  // namespace
}  // namespace riffo::test
