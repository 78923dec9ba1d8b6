// The validation worker driven directly through its mailbox and status word.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "EngineTestSupport.h"
#include "platform/Text.h"
#include "sonolint/ValidationSettings.h"
#include "sonolint/WAVValidationThread.h"

namespace riffo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A worker wired to a catalogue and a recording sink, as the module object
// wires it. The worker is declared last so it ends before what it borrows.
struct WorkerRun {
  WorkerRun() {
    catalogue.AddBuiltInValidationSettings();
    catalogue.SetQuorvexReport(&sink);
    worker = std::make_unique<TWAVValidationThread>();
    worker->SetQuorvexReport(&sink);
    worker->SetValidationSettingList(&catalogue);
    worker->SetSonolintSettings(TSonolintSettings{});
  }
  int32_t Status() const { return worker->Mailbox().Status(); }
  // Waits until the status is one of the given values; returns it (or the
  // last status seen after 30 s).
  int32_t WaitFor(std::initializer_list<int32_t> statuses) const {
    const auto until = Clock::now() + 30s;
    for (;;) {
      const int32_t status = Status();
      for (int32_t s : statuses) {
        if (status == s) return status;
      }
      if (Clock::now() > until) return status;
      std::this_thread::sleep_for(1ms);
    }
  }
  double Progress() const { return worker->Progress(); }
  int64_t Duration() const { return worker->Duration(); }
  // Waits until the analysis is complete (progress 100) or the limit passes.
  void WaitForCompleteAnalysis(std::chrono::seconds limit = 30s) const {
    const auto until = Clock::now() + limit;
    while (Progress() != 100.0 && Clock::now() < until) std::this_thread::sleep_for(1ms);
  }
  // Loads four gigabytes of silence and plays it for a moment: the analysis
  // is then well under way and far from done.
  void StartLongAnalysis() {
    const std::string path = folder.File("four-gigabytes-of-silence.wav");
    WriteSparseWave(path, 0xFFFFFF00u);
    worker->Mailbox().Post(COMMAND_LOAD, Utf8ToUtf16(path));
    ASSERT_EQ(WaitFor({101, 201}), 101);
    worker->Mailbox().Post(COMMAND_PLAY);
    ASSERT_EQ(WaitFor({103}), 103);
    std::this_thread::sleep_for(20ms);
  }

  TempFolder folder;
  RecordingSink sink;
  TValidationSettingList catalogue;
  std::unique_ptr<TWAVValidationThread> worker;
};

Bytes TenSeconds() {
  return Pcm16(480000, 2, [](int64_t k, int) { return Square(k, NORMAL_LEVEL); });
}

TEST(Worker, LoadPlayStopUnload) {
  WorkerRun run;
  const std::string path = run.folder.File("ten-seconds.wav");
  WriteBytes(path, WaveFile(2, 48000, TenSeconds()));
  EXPECT_EQ(run.Status(), 0);
  run.worker->Mailbox().Post(COMMAND_LOAD, Utf8ToUtf16(path));
  ASSERT_EQ(run.WaitFor({101, 201}), 101);
  // Whoever sees the answer finds the stream parameters already in place.
  EXPECT_EQ(run.Duration(), 100000000);
  EXPECT_EQ(run.worker->PCMDataOffset(), 44);  // data chunk at 36, payload behind its header
  EXPECT_EQ(run.worker->PCMDataSize(), 1920000);
  EXPECT_EQ(run.worker->Frequency(), 48000);
  EXPECT_EQ(run.worker->Channels(), 2);
  EXPECT_EQ(run.worker->BitsPerSample(), 16);
  EXPECT_EQ(run.Progress(), 0.0);
  EXPECT_EQ(run.sink.Count(), 0u);  // a clean file: the loader finds nothing

  run.worker->Mailbox().Post(COMMAND_PLAY);
  ASSERT_EQ(run.WaitFor({103}), 103);
  run.WaitForCompleteAnalysis();
  ASSERT_EQ(run.Progress(), 100.0);
  // Every finding of the run is sent before progress reads 100.
  const std::vector<int32_t> ids = run.sink.IDs();
  // No bext (211) and no cart (212): both rules are disabled by default.
  EXPECT_EQ(ids, (std::vector<int32_t>{302, 303, 304, 305, 306, 307, 301, 502, 503}));

  run.worker->Mailbox().Post(COMMAND_STOP);
  EXPECT_EQ(run.WaitFor({104}), 104);
  run.worker->Mailbox().Post(COMMAND_UNLOAD);
  EXPECT_EQ(run.WaitFor({102}), 102);
  EXPECT_EQ(run.Duration(), 0);
  EXPECT_EQ(run.Progress(), 0.0);
  EXPECT_EQ(run.worker->TotalFileSilenceSeconds(), 0.0L);
}

TEST(Worker, StreamParametersWhereverTheChunksStand) {
  struct Case {
    const char* Name;
    bool FmtBehindData;
    uint32_t AvgBytesPerSec;
    int64_t Duration;
  };
  for (const Case& c : {Case{"fmt-behind-data.wav", true, 192000, 100000000},
                        Case{"zero-byte-rate.wav", false, 0, 0}}) {
    WorkerRun run;
    Bytes fmt = PcmFormat(2, 48000, 16);
    for (int i = 0; i < 4; ++i) fmt[8 + i] = static_cast<uint8_t>(c.AvgBytesPerSec >> (8 * i));
    Bytes body;
    if (!c.FmtBehindData) Append(body, Chunk("fmt ", fmt));
    Append(body, Chunk("data", TenSeconds()));
    if (c.FmtBehindData) Append(body, Chunk("fmt ", fmt));
    const std::string path = run.folder.File(c.Name);
    WriteBytes(path, Riff("WAVE", body));
    run.worker->Mailbox().Post(COMMAND_LOAD, Utf8ToUtf16(path));
    ASSERT_EQ(run.WaitFor({101, 201}), 101) << c.Name;
    EXPECT_EQ(run.Duration(), c.Duration) << c.Name;
    EXPECT_EQ(run.worker->PCMDataOffset(), c.FmtBehindData ? 20 : 44) << c.Name;
    // The worker stays responsive either way.
    run.worker->Mailbox().Post(COMMAND_PLAY);
    EXPECT_EQ(run.WaitFor({103}), 103);
    run.worker->Mailbox().Post(COMMAND_STOP);
    EXPECT_EQ(run.WaitFor({104}), 104) << c.Name;
  }
}

TEST(Worker, FileThatIsNotWaveFailsTheLoadSilently) {
  WorkerRun run;
  const std::string path = run.folder.File("notes.txt");
  WriteBytes(path, Bytes(100, 'x'));
  run.worker->Mailbox().Post(COMMAND_LOAD, Utf8ToUtf16(path));
  EXPECT_EQ(run.WaitFor({101, 201}), 201);
  EXPECT_EQ(run.Duration(), 0);
  // A play after a failed load runs no rules; the inactive detector sends
  // only its zero totals.
  run.worker->Mailbox().Post(COMMAND_PLAY);
  EXPECT_EQ(run.WaitFor({103}), 103);
  run.worker->Mailbox().Post(COMMAND_STOP);
  EXPECT_EQ(run.WaitFor({104}), 104);
  EXPECT_EQ(run.sink.IDs(), (std::vector<int32_t>{502, 503}));
}

TEST(Worker, StopDuringALongAnalysisEndsIt) {
  WorkerRun run;
  ASSERT_NO_FATAL_FAILURE(run.StartLongAnalysis());
  // Posting returns at once: play emptied the mailbox when it began.
  const auto posted = Clock::now();
  run.worker->Mailbox().Post(COMMAND_STOP);
  EXPECT_LT(Clock::now() - posted, 500ms);
  EXPECT_EQ(run.WaitFor({104}), 104);
  EXPECT_LT(Clock::now() - posted, 5s);
  // The analysis was cut short: not complete, but its findings are closed.
  EXPECT_LT(run.Progress(), 100.0);
  const std::vector<int32_t> ids = run.sink.IDs();
  ASSERT_GE(ids.size(), 2u);
  EXPECT_EQ(ids[ids.size() - 2], 502);
  EXPECT_EQ(ids.back(), 503);
}

TEST(Worker, DestroyingReturnsPromptly) {
  {
    const auto start = Clock::now();
    { TWAVValidationThread idle; }
    EXPECT_LT(Clock::now() - start, 1s);
  }
  WorkerRun run;
  ASSERT_NO_FATAL_FAILURE(run.StartLongAnalysis());
  const auto start = Clock::now();
  run.worker.reset();
  EXPECT_LT(Clock::now() - start, 1s);
  // Cut short: the whole file would be more than six hours of silence.
  bool sawTotal = false;
  for (const ReportLine& line : run.sink.Lines()) {
    if (line.ID() != 502) continue;
    sawTotal = true;
    EXPECT_EQ(line.Text.rfind("[502] Total file silence duration 00:", 0), 0u) << line.Text;
  }
  EXPECT_TRUE(sawTotal);
}

}  // namespace
}  // namespace riffo::test

namespace riffo::test {
namespace {

// Loads a file, plays it through the worker until the analysis is complete
// (or the limit passes) and stops; the lines of the run.
std::vector<ReportLine> PlayFile(WorkerRun& run, const std::string& path,
                                 std::chrono::seconds limit = 30s) {
  run.worker->Mailbox().Post(COMMAND_LOAD, Utf8ToUtf16(path));
  EXPECT_EQ(run.WaitFor({101, 201}), 101);
  run.worker->Mailbox().Post(COMMAND_PLAY);
  EXPECT_EQ(run.WaitFor({103}), 103);
  run.WaitForCompleteAnalysis(limit);
  run.worker->Mailbox().Post(COMMAND_STOP);
  EXPECT_EQ(run.WaitFor({104}), 104);
  return run.sink.Lines();
}

// Writes the file and plays it through the worker; the lines of the run.
std::vector<ReportLine> PlayThrough(WorkerRun& run, const std::string& name, const Bytes& file) {
  const std::string path = run.folder.File(name);
  WriteBytes(path, file);
  return PlayFile(run, path);
}

// The detector's lines (rules 500 and up) of a whole run over the file.
std::vector<std::string> DetectorLines(const std::string& name, const Bytes& file) {
  WorkerRun run;
  std::vector<std::string> lines;
  for (const ReportLine& line : PlayThrough(run, name, file)) {
    if (line.ID() >= 500) lines.push_back(line.Text);
  }
  return lines;
}

TEST(Worker, TwentyFourBitSilenceIsFound) {
  // 12 s of 24-bit stereo at about -30 dB, silent from 3 s to 8 s.
  Bytes pcm;
  for (int64_t k = 0; k < 12 * 48000; ++k) {
    const bool silent = k >= 3 * 48000 && k < 8 * 48000;
    const int32_t v = silent ? 0 : (k % 2 == 0 ? 256000 : -256000);
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < 3; ++i) pcm.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
  }
  Bytes body = Chunk("fmt ", FormatPayload(1, 2, 48000, 24, 6));
  Append(body, Chunk("data", pcm));
  EXPECT_EQ(
      DetectorLines("silence-24.wav", Riff("WAVE", body)),
      (std::vector<std::string>{"[500] Silence block at 00:00:03.00 with duration 00:00:05.00",
                                "[502] Total file silence duration 00:00:05.00",
                                "[503] Total file noise duration 00:00:00.00"}));
}

TEST(Worker, FloatFileFullOfNaN) {
  // 6 s of float32 stereo, every sample a quiet NaN: one noise block, no crash.
  Bytes pcm;
  for (int64_t i = 0; i < 2 * 6 * 48000; ++i) Append32(pcm, 0x7FC00000u);
  Bytes body = Chunk("fmt ", FormatPayload(3, 2, 48000, 32, 8));
  Append(body, Chunk("data", pcm));
  EXPECT_EQ(DetectorLines("nan.wav", Riff("WAVE", body)),
            (std::vector<std::string>{"[501] Noise block at 00:00:00.00 with duration 00:00:06.00",
                                      "[502] Total file silence duration 00:00:00.00",
                                      "[503] Total file noise duration 00:00:06.00"}));
}

TEST(Worker, AudioThatCannotBeAnalysedIsNamed) {
  // A 4-bit ADPCM format with data: rule 506 with the reason, before the totals.
  Bytes adpcm = Chunk("fmt ", FormatPayload(0x0011, 1, 44100, 4, 256));
  Append(adpcm, Chunk("data", Bytes(1024, 0x77)));
  WorkerRun run;
  const std::vector<ReportLine> lines = PlayThrough(run, "adpcm.wav", Riff("WAVE", adpcm));
  ASSERT_GE(lines.size(), 3u);
  const ReportLine& line = lines[lines.size() - 3];
  EXPECT_EQ(line.Text, "[506] Audio not analysed: format tag 0x0011, 4 bits per sample");
  EXPECT_EQ(line.Type, REPORT_TYPE_WARNING);
  EXPECT_EQ(lines[lines.size() - 2].ID(), 502);
  EXPECT_EQ(lines.back().ID(), 503);

  // Without a data chunk nothing was there to analyse: no 506.
  WorkerRun noData;
  const Bytes fmtOnly = Riff("WAVE", Chunk("fmt ", FormatPayload(0x0011, 1, 44100, 4, 256)));
  for (const ReportLine& l : PlayThrough(noData, "fmt-only.wav", fmtOnly)) {
    EXPECT_NE(l.ID(), 506) << l.Text;
  }
}

}  // namespace
}  // namespace riffo::test

namespace riffo::test {
namespace {

TEST(Worker, ExtensibleFilesAreAnalysedLikeTheirPlainTwins) {
  // 12 s of stereo at about -30 dB, silent from 3 s to 8 s, in three
  // extensible layouts: the same lines as the 24-bit plain file.
  const auto signal = [](int64_t k) {
    const bool silent = k >= 3 * 48000 && k < 8 * 48000;
    return silent ? 0.0 : (k % 2 == 0 ? 256000.0 : -256000.0) / 8388608.0;
  };
  struct Case {
    const char* Name;
    uint16_t Bits;
    uint16_t ValidBits;
    uint16_t SubFormat;
  } cases[] = {{"24 in 3 bytes", 24, 24, 1}, {"24 in 4 bytes", 32, 24, 1}, {"float", 32, 32, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bytes pcm;
    for (int64_t k = 0; k < 12 * 48000; ++k) {
      for (int ch = 0; ch < 2; ++ch) {
        if (c.SubFormat == 3) {
          const float v = static_cast<float>(signal(k));
          uint32_t bits = 0;
          std::memcpy(&bits, &v, 4);
          Append32(pcm, bits);
        } else {
          const auto v = static_cast<int32_t>(signal(k) * 8388608.0);
          if (c.Bits == 32) pcm.push_back(0);  // padding below the 24 bits
          for (int i = 0; i < 3; ++i) pcm.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
      }
    }
    Bytes body = Chunk("fmt ", ExtensibleFormat(2, 48000, c.Bits, c.ValidBits, 3, c.SubFormat));
    Append(body, Chunk("data", pcm));
    EXPECT_EQ(
        DetectorLines("extensible.wav", Riff("WAVE", body)),
        (std::vector<std::string>{"[500] Silence block at 00:00:03.00 with duration 00:00:05.00",
                                  "[502] Total file silence duration 00:00:05.00",
                                  "[503] Total file noise duration 00:00:00.00"}));
  }
}

// Loads and plays a file through the worker; the lines of rules 229 to 232
// and of the detector.
std::vector<std::string> SixtyFourBitLines(WorkerRun& run, const std::string& path) {
  std::vector<std::string> lines;
  for (const ReportLine& line : PlayFile(run, path, 300s)) {
    if ((line.ID() >= 229 && line.ID() <= 232) || line.ID() >= 500) lines.push_back(line.Text);
  }
  return lines;
}

TEST(Worker, SparseDataOverFourGigabytesIsAnalysedWhole) {
  // 22400 s of 16-bit stereo silence: 4 300 800 000 bytes, past what a
  // 32-bit size field holds. Zeros from a hole in the file.
  const uint64_t dataSize = 22400ull * 192000;
  WorkerRun run;
  const std::string path = run.folder.File("long.wav");
  const Bytes head = Rf64Head(dataSize, PcmFormat(2, 48000, 16));
  WriteSparseFile(path, head, head.size() + dataSize);
  const std::vector<std::string> lines = SixtyFourBitLines(run, path);
  EXPECT_EQ(run.worker->PCMDataSize(), static_cast<int64_t>(dataSize));
  EXPECT_EQ(run.Duration(), 224000000000);  // in 100 ns units
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "[500] Silence block at 00:00:00.00 with duration 06:13:20.00",
                       "[502] Total file silence duration 06:13:20.00",
                       "[503] Total file noise duration 00:00:00.00"}));
}

TEST(Worker, DataBehindFourGigabytesOfOtherChunksIsFound) {
  // BW64: a 4 GiB chunk sized by the ds64 table (a hole in the file), then
  // 10 s of loud 16-bit stereo with silence from 2 s to 7 s.
  const uint64_t junkSize = 4ull << 30;
  const Bytes pcm = Pcm16(480000, 2, [](int64_t k, int) {
    return k >= 2 * 48000 && k < 7 * 48000 ? int16_t{0} : Square(k, NORMAL_LEVEL);
  });
  Bytes body = Chunk("ds64", Ds64(0, pcm.size(), 480000, {{"junk", junkSize}}));
  Append(body, Chunk("fmt ", PcmFormat(2, 48000, 16)));
  AppendText(body, "junk");
  Append32(body, 0xFFFFFFFF);
  Bytes head = Rf64(body, "BW64");
  const Bytes data = Chunk("data", pcm);
  const uint64_t total = head.size() + junkSize + data.size();
  for (int i = 0; i < 8; ++i) head[20 + i] = static_cast<uint8_t>((total - 8) >> (8 * i));

  WorkerRun run;
  const std::string path = run.folder.File("behind.wav");
  WriteSparseFile(path, head, head.size() + junkSize);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
  }
  const std::vector<std::string> lines = SixtyFourBitLines(run, path);
  EXPECT_EQ(run.worker->PCMDataOffset(), static_cast<int64_t>(head.size() + junkSize + 8));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "[500] Silence block at 00:00:02.00 with duration 00:00:05.00",
                       "[502] Total file silence duration 00:00:05.00",
                       "[503] Total file noise duration 00:00:00.00"}));
}

}  // namespace
}  // namespace riffo::test
