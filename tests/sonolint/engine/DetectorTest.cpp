// The silence and noise detector, its level functions and its FIFO.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "EngineTestSupport.h"
#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "sonolint/Buffer.h"
#include "sonolint/WAVSilenceNoiseDetector.h"
#include "support/FindingRecorder.h"

namespace riffo::test {
namespace {

constexpr int64_t kWindow48kStereo = 9600;  // 2400 frames x 4 bytes

double RmsOf(const Bytes& pcm, int channels, int channel, int64_t frames) {
  int64_t sum = 0;
  for (int64_t k = 0; k < frames; ++k) {
    const size_t i = static_cast<size_t>(2 * (k * channels + channel));
    const int32_t s = static_cast<int16_t>(pcm[i] | (pcm[i + 1] << 8));
    sum += static_cast<int64_t>(s) * s;
  }
  return std::sqrt(static_cast<double>(sum) / static_cast<double>(frames));
}

TEST(ChannelVolume, SilentWindowsMeasureMinus120OnEveryChannel) {
  const Bytes zeros16(9600, 0);
  const Bytes mid8(2400, 128);
  double v16[2];
  double v8[2];
  ASSERT_TRUE(Calc16bitChannelVolumes(zeros16.data(), 9600, 2, v16));
  ASSERT_TRUE(Calc8bitChannelVolumes(mid8.data(), 2400, 2, v8));
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(VolumeTodB(v16[c]), -120.0);
    EXPECT_EQ(VolumeTodB(v8[c]), -120.0);
  }
}

TEST(ChannelVolume, LevelsOnTheCommonScale) {
  // One step of amplitude, full-scale 16-bit and full-scale 8-bit.
  const Bytes step = Pcm16(2400, 1, [](int64_t k, int) { return Square(k, 1); });
  const Bytes full = Pcm16(2400, 1, [](int64_t k, int) { return Square(k, 32767); });
  Bytes full8(2400);
  for (size_t k = 0; k < full8.size(); ++k) full8[k] = k % 2 == 0 ? 255 : 1;
  double v = 0;
  ASSERT_TRUE(Calc16bitChannelVolume(step.data(), 4800, 1, 0, v));
  EXPECT_NEAR(VolumeTodB(v), -90.309, 0.001);
  ASSERT_TRUE(Calc16bitChannelVolume(full.data(), 4800, 1, 0, v));
  EXPECT_NEAR(VolumeTodB(v), 0.0, 1e-9);
  ASSERT_TRUE(Calc8bitChannelVolume(full8.data(), 2400, 1, 0, v));
  EXPECT_NEAR(VolumeTodB(v), -48.23, 0.01);
}

// The one-pass function sums all channels at once (with a vector path for
// channel counts dividing 8); it must agree exactly with the one-channel
// function and with a plain reference, including the extreme sample values
// whose squares fill 30 bits, and for frame counts that leave a tail.
TEST(ChannelVolume, AllChannelsAgreeWithOneChannelExactly) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> any(-32768, 32767);
  const TLevelKernel best = LevelKernel();
  for (TLevelKernel kernel : {TLevelKernel::Scalar, TLevelKernel::Sse2, TLevelKernel::Avx2}) {
    if (!SetLevelKernel(kernel)) continue;  // the processor lacks it
    SCOPED_TRACE(static_cast<int>(kernel));
    for (int channels : {1, 2, 3, 4, 5, 6, 8, 12, 32}) {
      for (int64_t frames : {2, 3, 5, 7, 9, 17, 33, 2400, 2401}) {
        for (int pattern = 0; pattern < 2; ++pattern) {
          const Bytes pcm = Pcm16(frames, channels, [&](int64_t, int) {
            return static_cast<int16_t>(pattern == 0 ? -32768 : any(random));
          });
          const auto size = static_cast<int32_t>(pcm.size());
          std::vector<double> all(static_cast<size_t>(channels));
          ASSERT_TRUE(Calc16bitChannelVolumes(pcm.data(), size, channels, all.data()));
          for (int c = 0; c < channels; ++c) {
            double one = 0;
            ASSERT_TRUE(Calc16bitChannelVolume(pcm.data(), size, channels, c, one));
            EXPECT_EQ(all[static_cast<size_t>(c)], one)
                << channels << " channels, " << frames << " frames, channel " << c;
            EXPECT_EQ(one, RmsOf(pcm, channels, c, frames));
          }
        }
      }
    }
  }
  SetLevelKernel(best);
}

TEST(ChannelVolume, EightBitChannelsAgreeWithOneChannel) {
  std::mt19937 random(3);
  for (int channels : {1, 2, 3}) {
    Bytes pcm(static_cast<size_t>(1102 * channels));
    for (uint8_t& b : pcm) b = static_cast<uint8_t>(random());
    std::vector<double> all(static_cast<size_t>(channels));
    ASSERT_TRUE(
        Calc8bitChannelVolumes(pcm.data(), static_cast<int32_t>(pcm.size()), channels, all.data()));
    for (int c = 0; c < channels; ++c) {
      double one = 0;
      ASSERT_TRUE(
          Calc8bitChannelVolume(pcm.data(), static_cast<int32_t>(pcm.size()), channels, c, one));
      EXPECT_EQ(all[static_cast<size_t>(c)], one);
    }
  }
}

TEST(ChannelVolume, RejectsBadChannelAndTooFewFrames) {
  const Bytes pcm(64, 0);
  double v = 0;
  {
    TraceCapture trace;
    EXPECT_FALSE(Calc16bitChannelVolume(pcm.data(), 64, 2, 2, v));
    EXPECT_FALSE(Calc8bitChannelVolume(pcm.data(), 64, 2, 5, v));
    EXPECT_TRUE(trace.Contains(
        u"dgn: Error in Calc16bitChannelVolume - incorrect input parameters call..."));
    EXPECT_TRUE(trace.Contains(
        u"dgn: Error in Calc8bitChannelVolume - incorrect input parameters call..."));
  }
  TraceCapture trace;
  EXPECT_FALSE(Calc16bitChannelVolume(pcm.data(), 3, 1, 0, v));  // one whole 16-bit frame
  EXPECT_FALSE(Calc8bitChannelVolume(pcm.data(), 3, 2, 0, v));
  EXPECT_TRUE(trace.Lines().empty());
}

TEST(Buffer, GrowsByTheIncrementAndKeepsUnconsumedBytes) {
  TBuffer buffer(8, 16);
  const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  buffer.AddData(bytes, 6);
  EXPECT_EQ(buffer.Capacity(), 8);
  buffer.SetReadIndex(4);
  buffer.AddData(bytes, 4);  // 6 + 4 > 8: grows to 6 + max(4, 16), unconsumed bytes first
  EXPECT_EQ(buffer.Capacity(), 22);
  ASSERT_EQ(buffer.DataLength(), 6);
  EXPECT_EQ(buffer.ReadPtr()[0], 4);
  EXPECT_EQ(buffer.ReadPtr()[2], 0);
  buffer.SetReadIndex(buffer.ReadIndex() + 3);
  buffer.Compact();
  EXPECT_EQ(buffer.ReadIndex(), 0);
  EXPECT_EQ(buffer.DataLength(), 3);
  EXPECT_EQ(buffer.ReadPtr()[0], 1);
  buffer.SetReadIndex(buffer.WriteIndex());  // everything consumed
  EXPECT_EQ(buffer.DataLength(), 0);
  EXPECT_EQ(buffer.WriteIndex(), 0);
  // Reading straight into the FIFO: reserve, write, commit.
  buffer.Reserve(40);
  EXPECT_GE(buffer.FreeSpace(), 40);
  buffer.WritePtr()[0] = 42;
  buffer.Commit(1);
  EXPECT_EQ(buffer.DataLength(), 1);
  EXPECT_EQ(buffer.ReadPtr()[0], 42);
}

struct GeometryCase {
  int32_t Rate, Channels, Bits, WindowBytes;
};

TEST(Detector, WindowIsFiftyMillisecondsOfWholeFrames) {
  for (const GeometryCase& c :
       {GeometryCase{44100, 2, 16, 2205 * 4}, GeometryCase{48000, 2, 16, 9600},
        GeometryCase{22050, 1, 8, 1102}, GeometryCase{6000, 1, 16, 600},
        GeometryCase{192000, 32, 16, 9600 * 64}}) {
    TWAVSilenceDetector detector;
    ASSERT_EQ(detector.SetPCMFormat(c.Rate, c.Channels, c.Bits), S_OK);
    EXPECT_EQ(detector.IntegrationSizeAllCh(), c.WindowBytes) << c.Rate;
  }
}

TEST(Detector, UnsupportedFormatLeavesItInactive) {
  struct Case {
    int32_t Rate, Channels, Bits;
    std::u16string Trace;
  };
  const std::u16string prefix = u"Error in TWAVSilenceDetector.SetPCMFormat - ";
  for (const Case& c : {Case{5999, 2, 16, prefix + u"samples per second not supported."},
                        Case{192001, 2, 16, prefix + u"samples per second not supported."},
                        Case{48000, 0, 16, prefix + u"channels not supported."},
                        Case{48000, 33, 16, prefix + u"channels not supported."},
                        Case{48000, 2, 24, prefix + u"bits per sample not supported."}}) {
    TraceCapture trace;
    FindingRecorder recorder;
    TWAVSilenceDetector detector;
    detector.SetReportFunction(recorder.Function());
    EXPECT_EQ(detector.SetPCMFormat(c.Rate, c.Channels, c.Bits), E_FAIL);
    EXPECT_TRUE(trace.Contains(c.Trace));
    EXPECT_EQ(detector.SetSilenceParameters(-80, 5000), E_FAIL);
    EXPECT_TRUE(
        trace.Contains(u"Error in TWAVSilenceDetector.SetSilenceParameters - not initialized."));
    const Bytes zeros(100000, 0);
    EXPECT_EQ(detector.AddPCMData(zeros.data(), 100000), E_FAIL);
    EXPECT_TRUE(trace.Contains(u"Error in TWAVSilenceDetector.AddPCMData - not initialized."));
    EXPECT_EQ(detector.Finalize(), S_OK);
    ASSERT_EQ(recorder.IDs(), (std::vector<int32_t>{502, 503}));
    EXPECT_EQ(recorder.Findings[0].Text, "Total file silence duration 00:00:00.00");
    EXPECT_EQ(recorder.Findings[1].Text, "Total file noise duration 00:00:00.00");
  }
}

// A configured detector over 48 kHz stereo 16-bit.
struct Detector48k {
  explicit Detector48k(int32_t minSilenceMS = 5000, int32_t minNoiseMS = 5000,
                       double silencedB = -80, double noisedB = -10) {
    detector.SetReportFunction(recorder.Function());
    detector.SetPCMFormat(48000, 2, 16);
    detector.SetSilenceParameters(silencedB, minSilenceMS);
    detector.SetNoiseParameters(noisedB, minNoiseMS);
  }
  void Feed(const Bytes& pcm) {
    ASSERT_EQ(detector.AddPCMData(pcm.data(), static_cast<int32_t>(pcm.size())), S_OK);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Finding& f : recorder.Findings) texts.push_back(f.Text);
    return texts;
  }
  FindingRecorder recorder;
  TWAVSilenceDetector detector;
};

// Frames [from, to) silent, frames at or above loudFrom loud, the rest normal.
Bytes Program(int64_t frames, std::vector<std::pair<int64_t, int64_t>> silent,
              std::vector<std::pair<int64_t, int64_t>> loud = {}) {
  return Pcm16(frames, 2, [&](int64_t k, int) -> int16_t {
    for (const auto& [from, to] : silent) {
      if (k >= from && k < to) return 0;
    }
    for (const auto& [from, to] : loud) {
      if (k >= from && k < to) return Square(k, LOUD_LEVEL);
    }
    return Square(k, NORMAL_LEVEL);
  });
}

TEST(Detector, SilenceBlockAtTenSecondsLastingSevenAndAHalf) {
  // PCM bytes 1,920,000 to 3,360,000 silent, i.e. frames 480,000 to 840,000.
  Detector48k d;
  std::vector<std::pair<uint32_t, int64_t>> events;
  d.detector.OnSilenceDetect([&](uint32_t type, double start, double) {
    events.emplace_back(type, d.detector.ProcessedBytes());
    EXPECT_DOUBLE_EQ(start, 10.0);
    return S_OK;
  });
  d.Feed(Program(1200000, {{480000, 840000}}));
  d.detector.Finalize();
  ASSERT_EQ(d.recorder.IDs(), (std::vector<int32_t>{500, 502, 503}));
  EXPECT_EQ(d.recorder.Findings[0].Type, REPORT_TYPE_WARNING);
  EXPECT_EQ(d.recorder.Findings[0].Module, MODULE_ID_SONOLINT);
  EXPECT_EQ(d.recorder.Findings[0].Stream, -1);
  EXPECT_EQ(d.Texts()[0], "Silence block at 00:00:10.00 with duration 00:00:07.50");
  EXPECT_EQ(d.Texts()[1], "Total file silence duration 00:00:07.50");
  EXPECT_EQ(d.Texts()[2], "Total file noise duration 00:00:00.00");
  EXPECT_EQ(d.recorder.Findings[1].Type, REPORT_TYPE_INFO);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], (std::pair<uint32_t, int64_t>{SILENCE_BLOCK_CONFIRMED_EVENT, 2870400}));
  EXPECT_EQ(events[1].first, SILENCE_BLOCK_ENDED_EVENT);
  EXPECT_NEAR(d.detector.TotalFileSilenceSeconds(), 7.5, 1e-12);
}

TEST(Detector, ShortRunsAndTheMinimum) {
  struct Case {
    int32_t Rate;
    int32_t MinMS;
    int64_t SilentWindows;
    bool Reported;
  };
  // A run of one window is never confirmed, whatever the minimum; at
  // 22050 Hz 100 ms is one frame more than two windows of 1102 frames.
  for (const Case& c :
       {Case{48000, 0, 1, false}, Case{48000, 0, 2, true}, Case{48000, 100, 2, true},
        Case{22050, 100, 2, false}, Case{22050, 100, 3, true}}) {
    FindingRecorder recorder;
    TWAVSilenceDetector detector;
    detector.SetReportFunction(recorder.Function());
    detector.SetPCMFormat(c.Rate, 1, 16);
    detector.SetSilenceParameters(-80, c.MinMS);
    detector.SetNoiseParameters(-10, 5000);
    const int64_t window = c.Rate / 20;
    const Bytes pcm = Pcm16(window * (10 + c.SilentWindows + 10), 1, [&](int64_t k, int) {
      return k >= 10 * window && k < (10 + c.SilentWindows) * window ? int16_t{0}
                                                                     : Square(k, NORMAL_LEVEL);
    });
    detector.AddPCMData(pcm.data(), static_cast<int32_t>(pcm.size()));
    detector.Finalize();
    EXPECT_EQ(recorder.IDs().front() == 500, c.Reported)
        << c.Rate << " Hz, " << c.MinMS << " ms, " << c.SilentWindows << " windows";
  }
}

TEST(Detector, EightBitMonoAt22050) {
  // 1102-byte windows; amplitude 8 measures about -72 dB on the common scale
  // (not silent at -80), bytes of 128 are silence.
  FindingRecorder recorder;
  TWAVSilenceDetector detector;
  detector.SetReportFunction(recorder.Function());
  detector.SetPCMFormat(22050, 1, 8);
  detector.SetSilenceParameters(-80, 5000);
  detector.SetNoiseParameters(-10, 5000);
  Bytes pcm(22050 * 10);
  for (size_t k = 0; k < pcm.size(); ++k) {
    const bool silent = k >= 1102 * 20 && k < 1102 * 140;  // windows 20 to 139
    pcm[k] = silent ? 128 : static_cast<uint8_t>(k % 2 == 0 ? 136 : 120);
  }
  detector.AddPCMData(pcm.data(), static_cast<int32_t>(pcm.size()));
  detector.Finalize();
  ASSERT_FALSE(recorder.Findings.empty());
  // 120 windows of 1102 frames: 132,240 / 22050 s.
  EXPECT_EQ(recorder.Findings[0].Text, "Silence block at 00:00:01.00 with duration 00:00:06.00");
}

TEST(Detector, BlockRunningToTheEndIncludesTheUnanalysedTail) {
  // 1 s normal, then silence to the end: 6 s and a quarter window, so the
  // last quarter window is never analysed and counts only as the tail.
  Detector48k d;
  d.Feed(Program(48000 + 288000 + 600, {{48000, 1 << 30}}));
  d.detector.Finalize();
  ASSERT_FALSE(d.Texts().empty());
  EXPECT_EQ(d.Texts()[0], "Silence block at 00:00:01.00 with duration 00:00:06.01");

  // An open block that never reached the minimum is dropped at the end.
  Detector48k unconfirmed;
  unconfirmed.Feed(Program(48000 * 5, {{48000 * 2, 1 << 30}}));
  unconfirmed.detector.Finalize();
  EXPECT_EQ(unconfirmed.recorder.IDs(), (std::vector<int32_t>{502, 503}));
}

TEST(Detector, SilenceAndNoiseAreIndependent) {
  // A silence level above the noise level: normal windows are both.
  Detector48k d(100, 100, -5, -40);
  d.Feed(Program(48000 * 3, {}, {{48000, 96000}}));
  d.detector.Finalize();
  // The noise block runs to the end, so Finalize reports it after the
  // second silence block.
  EXPECT_EQ(d.Texts(),
            (std::vector<std::string>{"Silence block at 00:00:00.00 with duration 00:00:01.00",
                                      "Silence block at 00:00:02.00 with duration 00:00:01.00",
                                      "Noise block at 00:00:00.00 with duration 00:00:03.00",
                                      "Total file silence duration 00:00:02.00",
                                      "Total file noise duration 00:00:03.00"}));
}

TEST(Detector, DefaultLevelsFindNothing) {
  FindingRecorder recorder;
  TWAVSilenceDetector detector;
  detector.SetReportFunction(recorder.Function());
  detector.SetPCMFormat(48000, 2, 16);
  const Bytes pcm = Program(48000 * 12, {{0, 48000 * 6}}, {{48000 * 6, 48000 * 12}});
  detector.AddPCMData(pcm.data(), static_cast<int32_t>(pcm.size()));
  detector.Finalize();
  EXPECT_EQ(recorder.IDs(), (std::vector<int32_t>{502, 503}));
}

// Silence, noise and normal stretches, with block edges off the window grid.
Bytes MixedProgram() {
  return Program(48000 * 40, {{7000, 48000 * 6 + 123}, {48000 * 20, 48000 * 27 + 77}},
                 {{48000 * 9, 48000 * 16 + 999}, {48000 * 33, 48000 * 40}});
}

TEST(Detector, SplittingTheDataDoesNotChangeTheLines) {
  const Bytes pcm = MixedProgram();
  Detector48k whole;
  whole.Feed(pcm);
  whole.detector.Finalize();
  ASSERT_EQ(whole.recorder.IDs(), (std::vector<int32_t>{500, 501, 500, 501, 502, 503}));

  std::mt19937 random(11);
  for (int scheme = 0; scheme < 5; ++scheme) {
    Detector48k pieces;
    size_t at = 0;
    std::uniform_int_distribution<size_t> anySize(1, 300000);
    const size_t fixed[] = {1, 9599, 9600, 9601};
    while (at < pcm.size()) {
      const size_t n = std::min(pcm.size() - at, scheme < 4 ? fixed[scheme] * 37 : anySize(random));
      ASSERT_EQ(pieces.detector.AddPCMData(pcm.data() + at, static_cast<int32_t>(n)), S_OK);
      at += n;
    }
    pieces.detector.Finalize();
    EXPECT_EQ(pieces.Texts(), whole.Texts()) << "scheme " << scheme;
  }
}

TEST(Detector, ProcessFileGivesTheSameLinesAsFeedingTheBytes) {
  TempFolder folder;
  const Bytes pcm = MixedProgram();  // several read pieces of 1 MiB
  const Bytes wave = WaveFile(2, 48000, pcm);
  const std::string path = folder.File("mixed.wav");
  WriteBytes(path, wave);
  Detector48k fed;
  fed.Feed(pcm);
  fed.detector.Finalize();
  Detector48k read;
  ASSERT_EQ(read.detector.ProcessFile(Utf8ToUtf16(path), 44, static_cast<int64_t>(pcm.size())),
            S_OK);
  EXPECT_EQ(read.Texts(), fed.Texts());
}

TEST(Detector, ProcessFileDropsAShortLastPiece) {
  // The data chunk claims 3 MiB but the file holds 1.5 MiB of silence: the
  // first piece is analysed, the short second one is not.
  TempFolder folder;
  const std::string path = folder.File("data-size-past-end.wav");
  WriteBytes(path, Bytes(44 + 1572864, 0));
  Detector48k d(0);
  TraceCapture trace;
  ASSERT_EQ(d.detector.ProcessFile(Utf8ToUtf16(path), 44, 3 * 1048576), S_OK);
  EXPECT_TRUE(trace.Contains(
      u"Error in TWAVSilenceDetector.ProcessFile - cannot read PCM data from the file."));
  // 1,048,576 bytes: 109 windows analysed, 2176 bytes of tail.
  EXPECT_EQ(d.detector.ProcessedBytes(), 109 * kWindow48kStereo);
  EXPECT_EQ(d.Texts(),
            (std::vector<std::string>{"Silence block at 00:00:00.00 with duration 00:00:05.46",
                                      "Total file silence duration 00:00:05.46",
                                      "Total file noise duration 00:00:00.00"}));
}

TEST(Detector, ProcessFileEdgeCases) {
  TempFolder folder;
  const std::string path = folder.File("empty-data.wav");
  WriteBytes(path, WaveFile(2, 48000, {}));
  {
    Detector48k d;
    EXPECT_EQ(d.detector.ProcessFile(Utf8ToUtf16(path), 44, 0), S_OK);
    EXPECT_EQ(d.recorder.IDs(), (std::vector<int32_t>{502, 503}));
  }
  {
    Detector48k d;
    TraceCapture trace;
    EXPECT_EQ(d.detector.ProcessFile(Utf8ToUtf16(folder.File("missing.wav")), 44, 10), E_FAIL);
    EXPECT_TRUE(trace.Contains(u"Error in TWAVSilenceDetector.ProcessFile - file not found."));
    EXPECT_TRUE(d.recorder.Findings.empty());
  }
  {
    // A cancel request stops the reading; what was read is still finalised.
    Detector48k d;
    d.detector.SetCancelFunction([] { return true; });
    WriteBytes(path, WaveFile(2, 48000, Bytes(4 * 1048576, 0)));
    EXPECT_EQ(d.detector.ProcessFile(Utf8ToUtf16(path), 44, 4 * 1048576), S_OK);
    EXPECT_TRUE(d.detector.Cancelled());
    EXPECT_EQ(d.detector.ProcessedBytes(), 0);
    EXPECT_EQ(d.recorder.IDs(), (std::vector<int32_t>{502, 503}));
  }
}

}  // namespace
}  // namespace riffo::test
