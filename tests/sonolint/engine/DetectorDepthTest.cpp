// The detector on 24- and 32-bit integer and on float data, and the line it
// sends when a format cannot be analysed.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "platform/Text.h"
#include "pcm/PcmFormat.h"
#include "pcm/PcmReader.h"
#include "sonolint/WAVSilenceNoiseDetector.h"
#include "support/FindingRecorder.h"

namespace riffo::test {
namespace {

constexpr uint8_t kFloatGuid[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

TFmtFields Fmt(uint16_t tag, uint16_t channels, uint16_t bits, uint16_t container,
               uint32_t rate = 48000) {
  TFmtFields f;
  f.FormatTag = tag;
  f.Channels = channels;
  f.SamplesPerSec = rate;
  f.BitsPerSample = bits;
  f.BlockAlign = static_cast<uint16_t>(channels * container);
  return f;
}

TFmtFields Extensible(uint16_t channels, uint16_t bits, uint16_t container, uint16_t valid,
                      const uint8_t (&guid)[16]) {
  TFmtFields f = Fmt(PCM_TAG_EXTENSIBLE, channels, bits, container);
  f.HasExtension = true;
  f.ValidBitsPerSample = valid;
  std::copy(guid, guid + 16, f.SubFormat);
  return f;
}

// The depths under test, each with the value that measures 0 dB.
struct Depth {
  const char* Name;
  TFmtFields Fields;
  double FullScale;
};

std::vector<Depth> Depths(uint16_t channels) {
  return {
      {"16-bit", Fmt(1, channels, 16, 2), 32767.0},
      {"24-bit packed", Fmt(1, channels, 24, 3), 8388607.0},
      {"24-bit in 4 bytes", Fmt(1, channels, 24, 4), 8388607.0},
      {"24 valid bits in 32 (extensible)", Extensible(channels, 32, 4, 24, kPcmGuid), 8388607.0},
      {"32-bit", Fmt(1, channels, 32, 4), 2147483647.0},
      {"float32", Fmt(3, channels, 32, 4), 1.0},
      {"float64 (extensible)", Extensible(channels, 64, 8, 64, kFloatGuid), 1.0}};
}

// Writes sample values (integers in sample units, or floats) in a format's
// byte layout; written here byte by byte, independently of the readers.
Bytes Encode(const TPcmFormat& f, const std::vector<double>& values) {
  Bytes out;
  for (double v : values) {
    switch (f.Encoding) {
      case TSampleEncoding::Float32: {
        const auto u = std::bit_cast<uint32_t>(static_cast<float>(v));
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
        break;
      }
      case TSampleEncoding::Float64: {
        const auto u = std::bit_cast<uint64_t>(v);
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
        break;
      }
      default: {
        const auto s = static_cast<uint32_t>(static_cast<int32_t>(v));
        const int bytes = f.ValidBits / 8;
        for (int i = bytes; i < f.ContainerBytes; ++i) out.push_back(0);  // padding first
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(s >> (8 * i)));
      }
    }
  }
  return out;
}

TEST(DetectorDepth, LevelsAgainstIndependentValues) {
  constexpr int kFrames = 2400;  // one window at 48 kHz: fifty periods of 1 kHz
  const double pi = std::acos(-1.0);
  struct Signal {
    const char* Name;
    std::function<double(int, double)> Value;  // frame, full scale
    double ExpecteddB;
    double Tolerance;
  };
  const Signal signals[] = {
      {"full-scale square", [](int k, double fs) { return k % 2 == 0 ? fs : -fs; }, 0.0, 1e-9},
      {"full-scale sine",
       [&](int k, double fs) {
         const double v = fs * std::sin(2 * pi * k / 48.0);
         return fs == 1.0 ? v : std::round(v);
       },
       -3.0103, 1e-3},
      {"zeros", [](int, double) { return 0.0; }, -120.0, 0.0},
  };
  for (const Depth& d : Depths(2)) {
    const TPcmFormat f = DescribePcmFormat(d.Fields);
    ASSERT_TRUE(f.Supported()) << d.Name;
    for (const Signal& s : signals) {
      SCOPED_TRACE(std::string(d.Name) + ", " + s.Name);
      std::vector<double> values;
      for (int k = 0; k < kFrames; ++k) {
        values.push_back(s.Value(k, d.FullScale));
        values.push_back(s.Value(k, d.FullScale));
      }
      const Bytes pcm = Encode(f, values);
      double volumes[2];
      ASSERT_TRUE(CalcChannelVolumes(f.Encoding, f.ContainerBytes, pcm.data(),
                                     static_cast<int32_t>(pcm.size()), 2, volumes));
      for (double v : volumes) {
        if (s.Tolerance == 0.0) {
          EXPECT_EQ(VolumeTodB(v, FullScaleOf(f.Encoding)), s.ExpecteddB);
        } else {
          EXPECT_NEAR(VolumeTodB(v, FullScaleOf(f.Encoding)), s.ExpecteddB, s.Tolerance);
        }
      }
    }
  }
  // One step of amplitude at each integer depth (float: 2^-23, a 24-bit step).
  const struct {
    TFmtFields Fields;
    double Step, ExpecteddB;
  } steps[] = {{Fmt(1, 1, 16, 2), 1, -90.30873},
               {Fmt(1, 1, 24, 3), 1, -138.47380},
               {Fmt(1, 1, 24, 4), 1, -138.47380},
               {Fmt(1, 1, 32, 4), 1, -186.63860},
               {Fmt(3, 1, 32, 4), 1.0 / 8388608, -138.47380}};
  for (const auto& s : steps) {
    const TPcmFormat f = DescribePcmFormat(s.Fields);
    std::vector<double> values;
    for (int k = 0; k < kFrames; ++k) values.push_back(k % 2 == 0 ? s.Step : -s.Step);
    const Bytes pcm = Encode(f, values);
    double volume = 0;
    ASSERT_TRUE(CalcChannelVolumes(f.Encoding, f.ContainerBytes, pcm.data(),
                                   static_cast<int32_t>(pcm.size()), 1, &volume));
    EXPECT_NEAR(VolumeTodB(volume, FullScaleOf(f.Encoding)), s.ExpecteddB, 1e-4)
        << s.Fields.BitsPerSample;
  }
}

// Every kernel against sums formed from the shared sample reader: exact
// integer sums, and float sums added in sample order. Extreme values fill the
// sums (2401 squares of -2^31 pass 2^64), odd frame counts leave tails, and
// channel counts not dividing 8 take the generic paths.
TEST(DetectorDepth, KernelsAgreeWithTheSampleReader) {
  std::mt19937 random(11);
  const TLevelKernel best = LevelKernel();
  for (const Depth& depth : Depths(1)) {
    for (int channels : {1, 2, 3, 4, 6, 8, 32}) {
      TFmtFields fields = depth.Fields;
      fields.BlockAlign = static_cast<uint16_t>(fields.BlockAlign * channels);
      fields.Channels = static_cast<uint16_t>(channels);
      const TPcmFormat f = DescribePcmFormat(fields);
      ASSERT_TRUE(f.Supported());
      for (int64_t frames : {2, 3, 9, 17, 2400, 2401}) {
        for (int pattern = 0; pattern < 2; ++pattern) {
          // Pattern 0: the most negative value (float: -0.75); 1: random
          // bytes (float: random values whose squares round differently).
          const size_t count = static_cast<size_t>(frames * channels);
          Bytes pcm;
          if (pattern == 0) {
            pcm = Encode(f, std::vector<double>(count, f.IsFloat() ? -0.75 : -depth.FullScale - 1));
          } else if (f.IsFloat()) {
            std::uniform_real_distribution<double> any(-1.5, 1.5);
            std::vector<double> values(count);
            for (double& v : values) v = any(random);
            pcm = Encode(f, values);
          } else {
            pcm.resize(static_cast<size_t>(frames * f.FrameBytes));
            for (auto& b : pcm) b = static_cast<uint8_t>(random());
          }
          // The reference.
          std::vector<double> expected(static_cast<size_t>(channels));
          if (f.IsFloat()) {
            std::vector<double> samples(static_cast<size_t>(frames * channels));
            ASSERT_TRUE(ReadSamples(f, pcm.data(), static_cast<size_t>(frames), samples.data()));
            std::vector<double> sums(static_cast<size_t>(channels), 0.0);
            for (size_t i = 0; i < samples.size(); ++i) {
              const double square = samples[i] * samples[i];
              sums[i % static_cast<size_t>(channels)] += square;
            }
            for (int c = 0; c < channels; ++c) {
              expected[static_cast<size_t>(c)] =
                  std::sqrt(sums[static_cast<size_t>(c)] / static_cast<double>(frames));
            }
          } else {
            std::vector<int32_t> samples(static_cast<size_t>(frames * channels));
            ASSERT_TRUE(ReadSamples(f, pcm.data(), static_cast<size_t>(frames), samples.data()));
            __extension__ std::vector<unsigned __int128> sums(static_cast<size_t>(channels), 0);
            for (size_t i = 0; i < samples.size(); ++i) {
              const int64_t s = samples[i];
              sums[i % static_cast<size_t>(channels)] += static_cast<uint64_t>(s * s);
            }
            for (int c = 0; c < channels; ++c) {
              expected[static_cast<size_t>(c)] = std::sqrt(
                  static_cast<double>(sums[static_cast<size_t>(c)]) / static_cast<double>(frames));
            }
          }
          for (TLevelKernel kernel :
               {TLevelKernel::Scalar, TLevelKernel::Sse2, TLevelKernel::Avx2}) {
            if (!SetLevelKernel(kernel)) continue;  // the processor lacks it
            std::vector<double> volumes(static_cast<size_t>(channels));
            ASSERT_TRUE(CalcChannelVolumes(f.Encoding, f.ContainerBytes, pcm.data(),
                                           static_cast<int32_t>(pcm.size()), channels,
                                           volumes.data()));
            EXPECT_EQ(volumes, expected)
                << depth.Name << ", " << channels << " channels, " << frames << " frames, pattern "
                << pattern << ", kernel " << static_cast<int>(kernel);
          }
          SetLevelKernel(best);
        }
      }
    }
  }
}

// Float windows measured four at a time give each window exactly its own
// volumes, NaN in one window staying in that window.
TEST(DetectorDepth, FloatWindowsMeasuredTogetherAgreeWithOneAtATime) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> any(-1.0, 1.0);
  for (const TFmtFields& base : {Fmt(3, 1, 32, 4), Fmt(3, 1, 64, 8)}) {
    for (uint16_t channels : {1, 2, 3, 6, 8}) {
      TFmtFields fields = base;
      fields.Channels = channels;
      fields.BlockAlign = static_cast<uint16_t>(base.BlockAlign * channels);
      const TPcmFormat f = DescribePcmFormat(fields);
      const int64_t frames = 301;
      std::vector<double> values(static_cast<size_t>(5 * frames * channels));
      for (double& v : values) v = any(random);
      values[static_cast<size_t>(2 * frames * channels + 1)] = std::nan("");
      const Bytes pcm = Encode(f, values);
      const auto window = static_cast<int32_t>(frames * f.FrameBytes);
      std::vector<double> together(FLOAT_WINDOW_BATCH * MAX_DETECTOR_CHANNELS);
      const int32_t measured =
          CalcFloatWindowVolumes(f.Encoding, pcm.data(), window, 5, channels, together.data());
      // Channel counts with a batched path measure four; the others one.
      const bool batched = channels != 3;
      ASSERT_EQ(measured, batched ? FLOAT_WINDOW_BATCH : 1) << channels;
      for (int32_t w = 0; w < measured; ++w) {
        std::vector<double> alone(channels);
        ASSERT_TRUE(CalcChannelVolumes(f.Encoding, f.ContainerBytes, pcm.data() + w * window,
                                       window, channels, alone.data()));
        for (int c = 0; c < channels; ++c) {
          const double got = together[static_cast<size_t>(w * MAX_DETECTOR_CHANNELS + c)];
          if (std::isnan(alone[static_cast<size_t>(c)])) {
            EXPECT_TRUE(std::isnan(got));
          } else {
            EXPECT_EQ(got, alone[static_cast<size_t>(c)]) << channels << " channels, window " << w;
          }
        }
      }
      EXPECT_EQ(
          CalcFloatWindowVolumes(f.Encoding, pcm.data(), window, 3, channels, together.data()),
          1);  // fewer windows than a batch
    }
  }
}

TEST(DetectorDepth, RejectsContainersThatDoNotFit) {
  const Bytes pcm(64, 0);
  double volumes[2];
  EXPECT_FALSE(CalcChannelVolumes(TSampleEncoding::Int24, 2, pcm.data(), 64, 2, volumes));
  EXPECT_FALSE(CalcChannelVolumes(TSampleEncoding::Float64, 4, pcm.data(), 64, 2, volumes));
  EXPECT_FALSE(CalcChannelVolumes(TSampleEncoding::Unsupported, 4, pcm.data(), 64, 2, volumes));
  EXPECT_FALSE(
      CalcChannelVolumes(TSampleEncoding::Int32, 4, pcm.data(), 8, 2, volumes));  // one frame
}

// A detector fed through the described format, silence -80 dB and noise
// -10 dB, both with a 5 s minimum.
struct DepthDetector {
  explicit DepthDetector(const TFmtFields& fields) : format(DescribePcmFormat(fields)) {
    detector.SetReportFunction(recorder.Function());
    result = detector.SetPCMFormat(format);
    detector.SetSilenceParameters(-80, 5000);
    detector.SetNoiseParameters(-10, 5000);
  }
  void Feed(const Bytes& pcm) {
    for (size_t at = 0; at < pcm.size(); at += 1 << 20) {
      const size_t piece = std::min<size_t>(1 << 20, pcm.size() - at);
      ASSERT_EQ(detector.AddPCMData(pcm.data() + at, static_cast<int32_t>(piece)), S_OK);
    }
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Finding& f : recorder.Findings) texts.push_back(f.Text);
    return texts;
  }
  TPcmFormat format;
  FindingRecorder recorder;
  TWAVSilenceDetector detector;
  HRESULT result = E_FAIL;
};

// Stereo at about -30 dB (1000 in 16-bit units), silent from 3 s to 8 s.
std::vector<double> ThreeToEightSilent(double fullScale, int64_t seconds) {
  const double normal = 1000.0 / 32767.0 * fullScale;
  std::vector<double> values;
  for (int64_t k = 0; k < seconds * 48000; ++k) {
    const bool silent = k >= 3 * 48000 && k < 8 * 48000;
    const double v = silent ? 0.0 : (k % 2 == 0 ? normal : -normal);
    values.push_back(fullScale == 1.0 ? v : std::round(v));
    values.push_back(fullScale == 1.0 ? v : std::round(v));
  }
  return values;
}

TEST(DetectorDepth, SameSilenceAtEveryDepth) {
  for (const Depth& d : Depths(2)) {
    SCOPED_TRACE(d.Name);
    DepthDetector run(d.Fields);
    ASSERT_EQ(run.result, S_OK);
    run.Feed(Encode(run.format, ThreeToEightSilent(d.FullScale, 12)));
    run.detector.Finalize();
    EXPECT_EQ(run.Texts(),
              (std::vector<std::string>{"Silence block at 00:00:03.00 with duration 00:00:05.00",
                                        "Total file silence duration 00:00:05.00",
                                        "Total file noise duration 00:00:00.00"}));
    EXPECT_EQ(run.recorder.IDs(), (std::vector<int32_t>{500, 502, 503}));
  }
}

TEST(DetectorDepth, ProcessFileTakesOffsetsAndSizesBeyond32Bits) {
  // 24-bit samples 5 GiB into a sparse file; the size given is 8 GiB, far
  // more than the file holds, so the reading ends at the short last piece.
  TempFolder folder("detector");
  const std::string path = folder.File("far-data.bin");
  DepthDetector run(Fmt(1, 2, 24, 3));
  const Bytes pcm = Encode(run.format, ThreeToEightSilent(8388607.0, 12));
  const int64_t offset = 5LL << 30;
  {
    std::ofstream out(path, std::ios::binary);
    out.seekp(offset);
    out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
    ASSERT_TRUE(out.good());
  }
  ASSERT_EQ(run.detector.ProcessFile(Utf8ToUtf16(path), offset, 8LL << 30), S_OK);
  // Three whole 1 MiB pieces: 218 windows of 14,400 bytes analysed.
  EXPECT_EQ(run.detector.ProcessedBytes(), 218 * 14400);
  EXPECT_EQ(run.Texts(),
            (std::vector<std::string>{"Silence block at 00:00:03.00 with duration 00:00:05.00",
                                      "Total file silence duration 00:00:05.00",
                                      "Total file noise duration 00:00:00.00"}));
}

TEST(DetectorDepth, NonFiniteSamplesMakeAWindowLoud) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const TFmtFields& fields : {Fmt(3, 2, 32, 4), Fmt(3, 2, 64, 8)}) {
    for (double odd : {nan, inf, -inf}) {
      SCOPED_TRACE(std::to_string(fields.BitsPerSample) + " bits, " + std::to_string(odd));
      // Zeros for 18 s; from 6 s to 12 s one odd sample in the left channel
      // of every window, the rest still zeros.
      DepthDetector run(fields);
      std::vector<double> values(2 * 18 * 48000, 0.0);
      for (int64_t k = 6 * 48000; k < 12 * 48000; k += 2400) {
        values[static_cast<size_t>(2 * (k + 7))] = odd;
      }
      run.Feed(Encode(run.format, values));
      run.detector.Finalize();
      EXPECT_EQ(run.Texts(),
                (std::vector<std::string>{"Silence block at 00:00:00.00 with duration 00:00:06.00",
                                          "Noise block at 00:00:06.00 with duration 00:00:06.00",
                                          "Silence block at 00:00:12.00 with duration 00:00:06.00",
                                          "Total file silence duration 00:00:12.00",
                                          "Total file noise duration 00:00:06.00"}));
    }
  }
}

TEST(DetectorDepth, WindowsOfTheWiderContainers) {
  const struct {
    TFmtFields Fields;
    int32_t Window;
  } cases[] = {{Fmt(1, 2, 24, 3), 2400 * 6},
               {Fmt(1, 2, 24, 4), 2400 * 8},
               {Fmt(3, 6, 32, 4), 2400 * 24},
               {Fmt(3, 2, 64, 8), 2400 * 16},
               // 8- and 16-bit data keeps its own width whatever the block align says.
               {Fmt(1, 2, 16, 3), 2400 * 4}};
  for (const auto& c : cases) {
    TWAVSilenceDetector detector;
    TPcmFormat format = DescribePcmFormat(c.Fields);
    format.BitsPerSample = c.Fields.BitsPerSample;
    ASSERT_EQ(detector.SetPCMFormat(format), S_OK) << c.Window;
    EXPECT_EQ(detector.IntegrationSizeAllCh(), c.Window);
    EXPECT_TRUE(detector.NotAnalysedReason().empty());
  }
}

TEST(DetectorDepth, FormatsItCannotAnalyseAreNamedBeforeTheTotals) {
  TFmtFields unknownSubFormat = Extensible(2, 24, 3, 24, kPcmGuid);
  unknownSubFormat.SubFormat[0] = 0x02;
  const struct {
    TFmtFields Fields;
    const char* Reason;
  } cases[] = {
      {Fmt(0x0011, 1, 4, 0), "format tag 0x0011, 4 bits per sample"},
      {Fmt(1, 2, 20, 3), "integer PCM, 20 bits per sample"},
      {Fmt(1, 2, 24, 5), "24 bits per sample in 5-byte containers"},
      {unknownSubFormat,
       "format tag 0xFFFE with SubFormat {00000002-0000-0010-8000-00AA00389B71}, 24 bits per "
       "sample"},
      {Fmt(1, 2, 16, 2, 5999), "sample rate 5999 Hz, outside 6000 to 192000"},
      {Fmt(1, 2, 24, 3, 384000), "sample rate 384000 Hz, outside 6000 to 192000"},
      {Fmt(1, 0, 24, 3), "no channels"},
      {Fmt(1, 33, 16, 2), "33 channels, more than 32"},
  };
  for (const auto& c : cases) {
    DepthDetector run(c.Fields);
    EXPECT_EQ(run.result, E_FAIL) << c.Reason;
    const Bytes zeros(4096, 0);
    EXPECT_EQ(run.detector.AddPCMData(zeros.data(), 4096), E_FAIL);
    EXPECT_EQ(run.detector.Finalize(), S_OK);
    ASSERT_EQ(run.recorder.IDs(), (std::vector<int32_t>{506, 502, 503})) << c.Reason;
    EXPECT_EQ(run.recorder.Findings[0].Text, std::string("Audio not analysed: ") + c.Reason);
    EXPECT_EQ(run.recorder.Findings[0].Type, REPORT_TYPE_WARNING);
    EXPECT_EQ(run.recorder.Findings[1].Text, "Total file silence duration 00:00:00.00");
  }
  // 8- and 16-bit data is analysed whatever the tag says.
  for (const TFmtFields& fields : {Fmt(3, 2, 16, 2), Fmt(0x0011, 1, 8, 1)}) {
    DepthDetector run(fields);
    EXPECT_EQ(run.result, S_OK) << fields.FormatTag;
    run.detector.Finalize();
    EXPECT_EQ(run.recorder.IDs(), (std::vector<int32_t>{502, 503}));
  }
  // The format given as three numbers stays as it was: no reason, no line.
  FindingRecorder recorder;
  TWAVSilenceDetector detector;
  detector.SetReportFunction(recorder.Function());
  EXPECT_EQ(detector.SetPCMFormat(48000, 2, 24), E_FAIL);
  detector.Finalize();
  EXPECT_EQ(recorder.IDs(), (std::vector<int32_t>{502, 503}));
  // Reset forgets the reason.
  EXPECT_EQ(detector.SetPCMFormat(DescribePcmFormat(Fmt(0x0011, 1, 4, 0))), E_FAIL);
  EXPECT_FALSE(detector.NotAnalysedReason().empty());
  detector.Reset();
  EXPECT_TRUE(detector.NotAnalysedReason().empty());
}

}  // namespace
}  // namespace riffo::test
