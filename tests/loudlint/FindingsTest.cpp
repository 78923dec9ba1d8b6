// The report lines: what a file's measurement says under each profile, the
// bext loudness fields against the measurement, and the input that cannot
// be measured or only in part.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "LoudlintFixtures.h"
#include "loudlint/LoudlintRules.h"
#include "loudlint/LoudlintWorker.h"
#include "platform/Text.h"

namespace riffo::test {
namespace {

struct Line {
  int32_t ID;
  int32_t Type;
  std::string Text;
};

std::vector<Line> Lines(const std::string& path, const TLoudlintSettings& settings = {}) {
  TLoadedStream stream;
  EXPECT_TRUE(LoadStreamDescription(Utf8ToUtf16(path), stream));
  std::vector<Line> out;
  for (const TFinding& f : MeasureFile(Utf8ToUtf16(path), stream, settings, {}))
    out.push_back({f.ID, f.Type, Utf16ToUtf8(f.Text)});
  return out;
}

std::vector<Line> Only(const std::vector<Line>& lines, std::initializer_list<int32_t> ids) {
  std::vector<Line> out;
  for (const Line& line : lines)
    for (int32_t id : ids)
      if (line.ID == id) out.push_back(line);
  return out;
}

std::string Texts(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& line : lines) out += std::to_string(line.ID) + " " + line.Text + "\n";
  return out;
}

TEST(LoudnessFindings, MeasuredValuesAndTheProfilesVerdicts) {
  TempFolder folder("loudlint");
  const std::string quiet = WriteWave(folder, "quiet.wav", WaveLayout{}, Sine(997, -23, 10));
  const std::string loud = WriteWave(folder, "loud.wav", WaveLayout{}, Sine(997, -0.5, 10));

  const std::vector<Line> lines = Lines(quiet);
  EXPECT_EQ(
      Texts(Only(lines, {LL_INTEGRATED_ID, LL_RANGE_ID, LL_MAX_MOMENTARY_ID, LL_MAX_SHORT_TERM_ID,
                         LL_TRUE_PEAK_ID, LL_SAMPLE_PEAK_ID, LL_PROFILE_ID})),
      "611 Integrated loudness -23.0 LUFS\n"
      "612 Loudness range 0.0 LU\n"
      "613 Maximum momentary loudness -23.0 LUFS\n"
      "614 Maximum short-term loudness -23.0 LUFS\n"
      "615 True peak channel 1 -23.0 dBTP\n"
      "615 True peak channel 2 -23.0 dBTP\n"
      "616 Sample peak channel 1 -23.0 dBFS\n"
      "616 Sample peak channel 2 -23.0 dBFS\n"
      "620 Profile EBU R128: -23.0 LUFS +/- 0.5 LU, true peak <= -1.0 dBTP\n");
  for (const Line& line : lines) EXPECT_EQ(line.Type, REPORT_TYPE_INFO) << line.Text;

  struct Case {
    const char* Name;
    int32_t Profile;
    int32_t Target, Tolerance, PeakLimit;  // the user profile, hundredths
    const std::string* File;
    const char* Verdicts;
  };
  const Case cases[] = {
      {"EBU, in", PROFILE_EBU_R128, 0, 0, 0, &quiet, ""},
      {"ATSC, 1 LU off is inside +/- 2", PROFILE_ATSC_A85, 0, 0, 0, &quiet, ""},
      {"EBU, loud", PROFILE_EBU_R128, 0, 0, 0, &loud,
       "621 Integrated loudness -0.5 LUFS outside -23.0 +/- 0.5 LU\n"
       "622 True peak -0.5 dBTP on channel 1 above the limit of -1.0 dBTP\n"},
      {"ATSC, loud", PROFILE_ATSC_A85, 0, 0, 0, &loud,
       "621 Integrated loudness -0.5 LUFS outside -24.0 +/- 2.0 LU\n"
       "622 True peak -0.5 dBTP on channel 1 above the limit of -2.0 dBTP\n"},
      {"user, loud accepted", PROFILE_USER, -100, 100, 0, &loud, ""},
      {"user, quiet refused", PROFILE_USER, -1400, 300, -2500, &quiet,
       "621 Integrated loudness -23.0 LUFS outside -14.0 +/- 3.0 LU\n"
       "622 True peak -23.0 dBTP on channel 1 above the limit of -25.0 dBTP\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TLoudlintSettings settings;
    settings.Profile = c.Profile;
    settings.UserTargetCentiLUFS = c.Target;
    settings.UserToleranceCentiLU = c.Tolerance;
    settings.UserPeakLimitCentidBTP = c.PeakLimit;
    const std::vector<Line> verdicts = Only(
        Lines(*c.File, settings), {LL_LOUDNESS_OUT_OF_TOLERANCE_ID, LL_TRUE_PEAK_ABOVE_LIMIT_ID});
    EXPECT_EQ(Texts(verdicts), c.Verdicts);
    for (const Line& line : verdicts) EXPECT_EQ(line.Type, REPORT_TYPE_ERROR);
  }
}

TEST(LoudnessFindings, BextLoudnessFieldsAgainstTheMeasurement) {
  TempFolder folder("loudlint");
  const Signal signal = Sine(997, -23, 10);
  // What the signal measures, in hundredths as a bext stores it.
  BextLoudnessFields agree;
  agree.LoudnessValue = -2300;
  agree.LoudnessRange = 0;
  agree.MaxTruePeakLevel = -2300;
  agree.MaxMomentaryLoudness = -2300;
  agree.MaxShortTermLoudness = -2300;
  BextLoudnessFields offByOne = agree;
  offByOne.LoudnessValue = -2200;
  BextLoudnessFields unset;  // every field 0x7FFF
  BextLoudnessFields versionOne = offByOne;
  versionOne.Version = 1;
  struct Case {
    const char* Name;
    BextLoudnessFields Fields;
    const char* Lines;
  };
  const Case cases[] = {
      {"agreeing", agree, ""},
      {"off by 1 LU", offByOne,
       "630 bext LoudnessValue declares -22.00 LUFS, measured -23.00 LUFS\n"},
      {"unset", unset,
       "631 bext LoudnessValue not set\n631 bext LoudnessRange not set\n631 bext MaxTruePeakLevel "
       "not set\n"
       "631 bext MaxMomentaryLoudness not set\n631 bext MaxShortTermLoudness not set\n"},
      {"version 1 has no loudness", versionOne, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes bext = BextWithLoudness(c.Fields);
    WaveLayout layout;
    layout.Bext = &bext;
    const std::vector<Line> lines = Only(Lines(WriteWave(folder, "bext.wav", layout, signal)),
                                         {LL_BEXT_DISAGREES_ID, LL_BEXT_UNSET_ID});
    EXPECT_EQ(Texts(lines), c.Lines);
    for (const Line& line : lines)
      EXPECT_EQ(line.Type,
                line.ID == LL_BEXT_DISAGREES_ID ? REPORT_TYPE_WARNING : REPORT_TYPE_INFO);
  }
  // The tolerance is a setting.
  TLoudlintSettings wide;
  wide.BextToleranceCentiLU = 100;
  const Bytes bext = BextWithLoudness(offByOne);
  WaveLayout layout;
  layout.Bext = &bext;
  EXPECT_TRUE(
      Only(Lines(WriteWave(folder, "bext.wav", layout, signal), wide), {LL_BEXT_DISAGREES_ID})
          .empty());
}

TEST(LoudnessFindings, FormatsThatCannotBeMeasuredGiveOneWarningAndNothingElse) {
  TempFolder folder("loudlint");
  struct Case {
    const char* Name;
    WaveLayout Layout;
    const char* Line;
  };
  WaveLayout compressed;
  compressed.FormatTag = 0x0055;
  WaveLayout twelve;
  twelve.Bits = 12;
  WaveLayout many;
  many.Channels = 65;
  many.Bits = 16;
  WaveLayout slow;
  slow.Rate = 4000;
  const Case cases[] = {
      {"compressed", compressed,
       "610 Loudness not measured: format tag 0x0055, 24 bits per sample\n"},
      {"12 bits", twelve, "610 Loudness not measured: integer PCM, 12 bits per sample\n"},
      {"65 channels", many, "610 Loudness not measured: 65 channels, more than 64\n"},
      {"4 kHz", slow, "610 Loudness not measured: sample rate 4000 Hz, outside 8000..2822400 Hz\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Signal signal(static_cast<size_t>(c.Layout.Channels) * 4000, 0.1);
    const std::vector<Line> lines = Lines(WriteWave(folder, "bad.wav", c.Layout, signal));
    EXPECT_EQ(Texts(lines), c.Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Type, REPORT_TYPE_WARNING);
  }
}

TEST(LoudnessFindings, SilenceReadsMinusInfinityAndFailsTheTarget) {
  TempFolder folder("loudlint");
  const std::vector<Line> lines =
      Lines(WriteWave(folder, "silence.wav", WaveLayout{}, Signal(2 * 48000 * 5, 0.0)));
  EXPECT_EQ(Texts(Only(lines, {LL_INTEGRATED_ID, LL_MAX_MOMENTARY_ID, LL_TRUE_PEAK_ID,
                               LL_LOUDNESS_OUT_OF_TOLERANCE_ID, LL_TRUE_PEAK_ABOVE_LIMIT_ID})),
            "611 Integrated loudness -inf LUFS\n"
            "613 Maximum momentary loudness -inf LUFS\n"
            "615 True peak channel 1 -inf dBTP\n"
            "615 True peak channel 2 -inf dBTP\n"
            "621 Integrated loudness -inf LUFS outside -23.0 +/- 0.5 LU\n");
}

TEST(LoudnessFindings, TruncatedDataIsMeasuredAsFarAsItGoesAndSaysSo) {
  TempFolder folder("loudlint");
  WaveLayout layout;
  layout.Bits = 16;
  layout.DeclaredDataSize = 2 * 2 * 48000 * 10;  // 10 s declared, 4 s present
  const std::vector<Line> lines = Lines(WriteWave(folder, "short.wav", layout, Sine(997, -20, 4)));
  EXPECT_EQ(Texts(Only(lines, {LL_PARTIAL_DATA_ID, LL_INTEGRATED_ID})),
            "617 Loudness measured over 192000 of 480000 frames: the data is truncated\n"
            "611 Integrated loudness -20.0 LUFS\n");
}

TEST(LoudnessFindings, SignalFaultsGiveTheirTimeAndByteOffset) {
  TempFolder folder("loudlint");
  WaveLayout layout;
  layout.Bits = 16;
  Signal clipped = Sine(997, -6, 3);
  for (int i = 0; i < 4; ++i) clipped[static_cast<size_t>((24000 + i) * 2 + 1)] = 1.0;
  // 44 bytes of headers before the data: RIFF, WAVE, fmt (8 + 16), data header.
  EXPECT_EQ(Texts(Only(Lines(WriteWave(folder, "clip.wav", layout, clipped)), {LL_CLIPPING_ID})),
            "640 Clipping on channel 2 at 00:00:00.50, byte offset 96046: 4 consecutive samples at "
            "full scale\n");

  // Phase-reversed right channel from the second second on, with a DC offset
  // on the left.
  Signal reversed = Sine(997, -20, 6);
  for (size_t i = 0; i < reversed.size() / 2; ++i) {
    reversed[2 * i] += 0.05;
    if (i >= 48000) reversed[2 * i + 1] = -reversed[2 * i + 1];
  }
  const std::vector<Line> lines = Only(Lines(WriteWave(folder, "phase.wav", layout, reversed)),
                                       {LL_DC_OFFSET_ID, LL_NEGATIVE_CORRELATION_ID});
  ASSERT_EQ(lines.size(), 2u) << Texts(lines);
  EXPECT_EQ(
      lines[0].Text.rfind(
          "DC offset on channel 1 -26.0 dBFS (mean +0.0500) at 00:00:00.00, byte offset 44", 0),
      0u)
      << lines[0].Text;
  EXPECT_EQ(lines[1].Text.rfind("Negative stereo correlation -0.", 0), 0u) << lines[1].Text;
  EXPECT_NE(lines[1].Text.find("at 00:00:01.00, byte offset 192044"), std::string::npos)
      << lines[1].Text;
}

TEST(LoudnessFindings, ALoadToldToStopFailsAtItsNextChunk) {
  // The worker stops a load this way when the module object gave it up.
  TempFolder folder("loudlint");
  const std::u16string path =
      Utf8ToUtf16(WriteWave(folder, "stopped.wav", WaveLayout{}, Sine(997, -23, 1)));
  TLoadedStream stream;
  int asked = 0;
  EXPECT_FALSE(LoadStreamDescription(path, stream, [&asked] { return ++asked > 1; }));
  EXPECT_FALSE(stream.HasFormat);
  EXPECT_TRUE(LoadStreamDescription(path, stream, [] { return false; }));
  EXPECT_TRUE(stream.HasFormat);
}

}  // namespace
}  // namespace riffo::test
