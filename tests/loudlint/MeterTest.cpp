// The loudness meter on signals generated here: levels of known sines, the
// constant-level and range cases defined for loudness meters, true peak,
// channel weighting, clipping positions and the split into parts.
#include <gtest/gtest.h>

#include <ebur128.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "LoudlintFixtures.h"
#include "loudlint/LoudlintWorker.h"
#include "loudlint/LoudnessMeter.h"
#include "pcm/PcmReader.h"
#include "platform/Text.h"

namespace riffo::test {
namespace {

TMeterResult Measure(const std::string& path, int32_t parts = 0, int32_t clipRun = 3,
                     TMeterNeeds needs = {}) {
  TLoadedStream stream;
  EXPECT_TRUE(LoadStreamDescription(Utf8ToUtf16(path), stream));
  TMeterInput input = MeterInputFor(Utf8ToUtf16(path), stream);
  input.ClipRunSamples = clipRun;
  input.Parts = parts;
  input.Needs = needs;
  return MeasureLoudness(input);
}

double dB(double linear) { return 20 * std::log10(linear); }

TEST(LoudnessMeter, StereoSineAt997HzMeasuresItsLevelInEveryDepth) {
  TempFolder folder("loudlint");
  struct Case {
    double Level;
    int Bits;
    bool Float;
    bool Extensible;
  };
  const Case cases[] = {{-23, 16, false, false}, {-23, 24, false, true},  {-23, 32, true, false},
                        {-20, 24, false, false}, {-20, 32, false, false}, {-20, 64, true, true},
                        {-20, 8, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.Level << " dBFS, " << c.Bits << " bits, float " << c.Float);
    WaveLayout layout;
    layout.Bits = c.Bits;
    layout.Float = c.Float;
    layout.Extensible = c.Extensible;
    layout.ChannelMask = c.Extensible ? 0x3 : 0;
    const TMeterResult r = Measure(WriteWave(folder, "sine.wav", layout, Sine(997, c.Level, 10)));
    ASSERT_TRUE(r.NotMeasured.empty()) << r.NotMeasured;
    EXPECT_NEAR(r.Integrated, c.Level, 0.1);
    EXPECT_NEAR(r.MaxMomentary, c.Level, 0.1);
    EXPECT_NEAR(r.MaxShortTerm, c.Level, 0.1);
    EXPECT_NEAR(r.Range, 0.0, 0.1);
    ASSERT_EQ(r.SamplePeak.size(), 2u);
    // 8 bits put the -20 dBFS peak on a step of about 0.7 dB.
    const double peakTolerance = c.Bits == 8 ? 0.4 : 0.1;
    EXPECT_NEAR(dB(r.SamplePeak[1]), c.Level, peakTolerance);
    EXPECT_NEAR(dB(r.TruePeak[0]), c.Level, peakTolerance);
    EXPECT_EQ(r.FramesMeasured, 480000);
    EXPECT_TRUE(r.ClipRuns.empty());
  }
}

// The constant-level cases of the meter conformance tests (1 kHz stereo
// sines; the integrated loudness must read -23 +/- 0.1, or -33 for the
// second), and the loudness range cases (expected range +/- 1 LU).
TEST(LoudnessMeter, ConformanceCasesFromTheirDefinitions) {
  TempFolder folder("loudlint");
  struct Step {
    double Level, Seconds;
  };
  struct Case {
    const char* Name;
    std::vector<Step> Steps;
    double Integrated;  // NaN: not checked
    double Range;       // NaN: not checked
  };
  const double any = std::nan("");
  const std::vector<Case> cases = {
      {"constant -23", {{-23, 20}}, -23, any},
      {"constant -33", {{-33, 20}}, -33, any},
      {"relative gate", {{-36, 10}, {-23, 60}, {-36, 10}}, -23, any},
      {"absolute gate", {{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, -23, any},
      {"two levels", {{-26, 20}, {-20, 20.1}, {-26, 20}}, -23, any},
      {"range 10", {{-20, 20}, {-30, 20}}, any, 10},
      {"range 5", {{-20, 20}, {-15, 20}}, any, 5},
      {"range 20", {{-40, 20}, {-20, 20}}, any, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Signal signal;
    for (const Step& step : c.Steps) {
      const Signal part = Sine(1000, step.Level, step.Seconds);
      signal.insert(signal.end(), part.begin(), part.end());
    }
    const TMeterResult r = Measure(WriteWave(folder, "case.wav", WaveLayout{}, signal));
    if (!std::isnan(c.Integrated)) {
      EXPECT_NEAR(r.Integrated, c.Integrated, 0.1);
    }
    if (!std::isnan(c.Range)) {
      EXPECT_NEAR(r.Range, c.Range, 1.0);
    }
  }
}

TEST(LoudnessMeter, TruePeakAboveFullScaleBetweenSamplesBelowIt) {
  // A quarter-rate sine with a 45 degree phase: every sample sits at 0.707 of
  // the amplitude, the waveform between them reaches the amplitude (+1.6 dB).
  TempFolder folder("loudlint");
  WaveLayout layout;
  layout.Bits = 24;
  const TMeterResult r = Measure(WriteWave(
      folder, "peak.wav", layout, Sine(12000, 1.6, 5, 2, 48000, -1, std::numbers::pi / 4)));
  ASSERT_TRUE(r.NotMeasured.empty());
  EXPECT_LT(dB(r.SamplePeak[0]), -1.0);
  EXPECT_GT(dB(r.TruePeak[0]), 0.0);
  EXPECT_NEAR(dB(r.TruePeak[0]), 1.6, 0.6);
  EXPECT_TRUE(r.ClipRuns.empty()) << "no sample reaches full scale";
}

// The true peak comes from the library's oversampling over the seconds where
// it can exceed the sample peak; it must equal a run of the library over all
// of the data, wherever the inter-sample peaks lie.
TEST(LoudnessMeter, TruePeakEqualsTheLibraryOverTheWholeData) {
  TempFolder folder("loudlint");
  Signal signal;
  for (double level : {-30.0, -40.0, -35.0, -8.0, -45.0, -30.0, -38.0, -42.0}) {
    const Signal part = Sine(1000, level, 4);
    signal.insert(signal.end(), part.begin(), part.end());
  }
  // Quarter-rate bursts whose waveform peaks between the samples, one across
  // a second boundary on the right channel, one inside a quiet second.
  auto burst = [&](int64_t frame, int channel, double dBFS) {
    const Signal b = Sine(12000, dBFS, 60.0 / 48000, 1, 48000, -1, std::numbers::pi / 4);
    for (size_t i = 0; i < b.size(); ++i)
      signal[static_cast<size_t>(frame + static_cast<int64_t>(i)) * 2 +
             static_cast<size_t>(channel)] = b[i];
  };
  burst(3 * 48000 - 30, 1, -6.5);
  burst(9 * 48000 + 1000, 0, -5.0);
  WaveLayout layout;
  const std::string path = WriteWave(folder, "peaks.wav", layout, signal);

  // The library alone, over the same decoded samples.
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  TFmtFields fields;
  fields.FormatTag = 1;
  fields.Channels = 2;
  fields.SamplesPerSec = 48000;
  fields.BlockAlign = 6;
  fields.BitsPerSample = 24;
  const size_t frames = signal.size() / 2;
  std::vector<float> samples(signal.size());
  ASSERT_TRUE(ReadSamples(DescribePcmFormat(fields), bytes.data() + 44, frames, samples.data()));
  ebur128_state* state = ebur128_init(2, 48000, EBUR128_MODE_TRUE_PEAK);
  ASSERT_NE(state, nullptr);
  ebur128_add_frames_float(state, samples.data(), frames);
  double expected[2] = {0, 0};
  for (unsigned c = 0; c < 2; ++c) ebur128_true_peak(state, c, &expected[c]);
  ebur128_destroy(&state);

  for (int32_t parts : {1, 2}) {
    SCOPED_TRACE(parts);
    const TMeterResult r = Measure(path, parts);
    EXPECT_DOUBLE_EQ(r.TruePeak[0], expected[0]);
    EXPECT_DOUBLE_EQ(r.TruePeak[1], expected[1]);
    EXPECT_GT(dB(r.TruePeak[0]), dB(r.SamplePeak[0]) + 1.0)
        << "the burst's peak lies between samples";
    EXPECT_LT(r.TruePeakFrames, static_cast<int64_t>(frames) / 2)
        << "quiet seconds were not oversampled";
  }
}

TEST(LoudnessMeter, ChannelRolesFollowTheCountOrTheMask) {
  using R = TChannelRole;
  EXPECT_EQ(ChannelRoles(1, 0), (std::vector<R>{R::Front}));
  EXPECT_EQ(ChannelRoles(6, 0),
            (std::vector<R>{R::Front, R::Front, R::Front, R::Lfe, R::Surround, R::Surround}));
  // 7.1: the side pair is the surround pair, the back pair is behind.
  EXPECT_EQ(ChannelRoles(8, 0x63F), (std::vector<R>{R::Front, R::Front, R::Front, R::Lfe, R::Rear,
                                                    R::Rear, R::Surround, R::Surround}));
  // A mask with fewer speakers than channels: the rest count as front.
  EXPECT_EQ(ChannelRoles(3, 0x8), (std::vector<R>{R::Lfe, R::Front, R::Front}));
  EXPECT_EQ(ChannelRoles(10, 0).size(), 10u);
}

TEST(LoudnessMeter, SurroundChannelsWeighMoreAndTheLowFrequencyChannelNotAtAll) {
  TempFolder folder("loudlint");
  auto level = [&](int channel, uint32_t mask, int channels) {
    WaveLayout layout;
    layout.Channels = channels;
    layout.Extensible = mask != 0;
    layout.ChannelMask = mask;
    return Measure(
               WriteWave(folder, "multi.wav", layout, Sine(997, -20, 5, channels, 48000, channel)))
        .Integrated;
  };
  const double front = level(0, 0, 6);
  EXPECT_NEAR(level(4, 0, 6) - front, 10 * std::log10(1.41), 0.05) << "5.1 surround";
  EXPECT_TRUE(std::isinf(level(3, 0, 6))) << "LFE alone measures nothing";
  EXPECT_NEAR(level(6, 0x63F, 8) - front, 10 * std::log10(1.41), 0.05) << "7.1 side";
  EXPECT_NEAR(level(4, 0x63F, 8) - front, 0.0, 0.05) << "7.1 back";
}

TEST(LoudnessMeter, ClippingRunsArePlacedByChannelAndFrame) {
  TempFolder folder("loudlint");
  Signal signal = Sine(997, -6, 4);
  auto clip = [&](int64_t frame, int channel, int length, double value) {
    for (int i = 0; i < length; ++i) signal[static_cast<size_t>((frame + i) * 2 + channel)] = value;
  };
  clip(48100, 1, 5, 1.0);
  clip(60000, 0, 2, -1.0);  // shorter than the default run
  clip(95998, 0, 4, -1.0);  // across the boundary of two parts
  WaveLayout layout;
  layout.Bits = 16;
  const std::string path = WriteWave(folder, "clip.wav", layout, signal);
  for (int32_t parts : {1, 2}) {
    SCOPED_TRACE(parts);
    const TMeterResult r = Measure(path, parts);
    EXPECT_EQ(r.PartsUsed, parts);
    ASSERT_EQ(r.ClipRuns.size(), 2u);
    EXPECT_EQ(r.ClipRuns[0].Channel, 1);
    EXPECT_EQ(r.ClipRuns[0].Frame, 48100);
    EXPECT_EQ(r.ClipRuns[0].Length, 5);
    EXPECT_EQ(r.ClipRuns[1].Channel, 0);
    EXPECT_EQ(r.ClipRuns[1].Frame, 95998);
    EXPECT_EQ(r.ClipRuns[1].Length, 4);
  }
  EXPECT_EQ(Measure(path, 1, 2).ClipRuns.size(), 3u);
  EXPECT_EQ(Measure(path, 1, 6).ClipRuns.size(), 0u);
}

TEST(LoudnessMeter, PartsAgreeWithOneState) {
  TempFolder folder("loudlint");
  // Levels that change every few seconds, so that the gates and the range
  // have something to do, and a peak late in the file.
  Signal signal;
  const double levels[] = {-30, -18, -25, -40, -22, -28, -16, -35, -24, -20, -27, -19};
  for (double level : levels) {
    const Signal part = Sine(440 + level * -10, level, 5.3);
    signal.insert(signal.end(), part.begin(), part.end());
  }
  signal[signal.size() - 1000] = 0.9;
  const std::string path = WriteWave(folder, "parts.wav", WaveLayout{}, signal);
  const TMeterResult one = Measure(path, 1);
  for (int32_t parts : {2, 4}) {
    SCOPED_TRACE(parts);
    const TMeterResult r = Measure(path, parts);
    EXPECT_EQ(r.PartsUsed, parts);
    // The parts make the single pass's blocks: only the filters' start differs.
    EXPECT_NEAR(r.Integrated, one.Integrated, 0.005);
    EXPECT_NEAR(r.Range, one.Range, 0.005);
    EXPECT_NEAR(r.MaxMomentary, one.MaxMomentary, 1e-6);
    EXPECT_NEAR(r.MaxShortTerm, one.MaxShortTerm, 1e-6);
    EXPECT_EQ(r.SamplePeak, one.SamplePeak);
    EXPECT_NEAR(dB(r.TruePeak[0]), dB(one.TruePeak[0]), 0.01);
    EXPECT_EQ(r.FramesMeasured, one.FramesMeasured);
  }
}

TEST(LoudnessMeter, EachPartOfTheMeasurementAloneIsWhatTheWholeMeasures) {
  TempFolder folder("loudlint");
  // Stereo with clipping, a DC offset and a phase-reversed stretch, measured
  // in three parts: the parts that are asked for come out exactly as in the
  // full measurement, the others are not made.
  Signal signal = Concat({Sine(997, -20, 4), Sine(440, -6, 4), Sine(1500, -30, 4)});
  for (size_t i = 0; i < signal.size() / 2; ++i) {
    signal[2 * i] += 0.02;
    if (i >= 150000) signal[2 * i + 1] = -signal[2 * i + 1];
  }
  for (size_t i = 300000; i < 300004; ++i) signal[2 * i + 1] = -1.0;
  const std::string path = WriteWave(folder, "faults.wav", WaveLayout{.Bits = 16}, signal);
  const TMeterResult full = Measure(path, 3);
  ASSERT_EQ(full.PartsUsed, 3);
  ASSERT_EQ(full.ClipRuns.size(), 1u);
  ASSERT_TRUE(full.HasCorrelation);

  const auto only = [](bool TMeterNeeds::*part) {
    TMeterNeeds needs{false, false, false, false, false, false};
    needs.*part = true;
    return needs;
  };
  const std::pair<const char*, TMeterNeeds> cases[] = {
      {"loudness", only(&TMeterNeeds::Loudness)},
      {"true peak", only(&TMeterNeeds::TruePeak)},
      {"sample peak", only(&TMeterNeeds::SamplePeak)},
      {"clipping", only(&TMeterNeeds::Clipping)},
      {"DC offset", only(&TMeterNeeds::DcOffset)},
      {"correlation", only(&TMeterNeeds::Correlation)},
      {"nothing", TMeterNeeds{false, false, false, false, false, false}},
  };
  const TMeterResult none;
  for (const auto& [name, needs] : cases) {
    SCOPED_TRACE(name);
    const TMeterResult r = Measure(path, 3, 3, needs);
    EXPECT_TRUE(r.NotMeasured.empty());
    EXPECT_EQ(r.FramesMeasured, full.FramesMeasured);
    const auto& pick = [&](bool wanted, const TMeterResult& whole) -> const TMeterResult& {
      return wanted ? whole : none;
    };
    const TMeterResult& loud = pick(needs.Loudness, full);
    EXPECT_EQ(r.Integrated, loud.Integrated);
    EXPECT_EQ(r.Range, loud.Range);
    EXPECT_EQ(r.MaxMomentary, loud.MaxMomentary);
    EXPECT_EQ(r.MaxShortTerm, loud.MaxShortTerm);
    EXPECT_EQ(r.TruePeak, pick(needs.TruePeak, full).TruePeak);
    EXPECT_EQ(r.TruePeakFrames, pick(needs.TruePeak, full).TruePeakFrames);
    EXPECT_EQ(r.SamplePeak, pick(needs.SamplePeak || needs.TruePeak, full).SamplePeak);
    EXPECT_EQ(r.ClipRuns.size(), pick(needs.Clipping, full).ClipRuns.size());
    EXPECT_EQ(r.ChannelMean, pick(needs.DcOffset, full).ChannelMean);
    EXPECT_EQ(r.Correlation, pick(needs.Correlation, full).Correlation);
    EXPECT_EQ(r.FirstLowCorrelationFrame, pick(needs.Correlation, full).FirstLowCorrelationFrame);
    // Every sample once for anything asked for; the loudness state's run-in
    // and the oversampled stretches read more.
    if (!needs.Any())
      EXPECT_EQ(r.FramesRead, 0);
    else if (needs.Loudness || needs.TruePeak)
      EXPECT_GT(r.FramesRead, full.FramesMeasured);
    else
      EXPECT_EQ(r.FramesRead, full.FramesMeasured);
  }
}

}  // namespace
}  // namespace riffo::test
