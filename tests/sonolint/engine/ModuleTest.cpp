// The built Sonolint.qvx, loaded as the host loads it and driven only through
// its entry point and the plug-in interfaces.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "EngineTestSupport.h"
#include "platform/DynLib.h"
#include "platform/Text.h"
#include "platform/UserStore.h"

namespace riffo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char16_t* const kSettingsKey = u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Sonolint\\";

// Holds one reference to an interface and releases it.
template <typename Interface>
struct Ref {
  Ref() = default;
  explicit Ref(Interface* p) : Ptr(p) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (Ptr != nullptr) Ptr->Release();
  }
  Interface* operator->() const { return Ptr; }
  Interface* Ptr = nullptr;
};

template <typename Interface>
Interface* Query(IUnknown* object, const IID& iid) {
  void* result = nullptr;
  return object->QueryInterface(iid, &result) == S_OK ? static_cast<Interface*>(result) : nullptr;
}

// What one host-style run returned.
struct RunResult {
  HRESULT Load = S_OK, Play = S_OK, Stop = S_OK, Unload = S_OK;
  int64_t Duration = -1;
  std::vector<double> Progress;
};

class ModuleTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(FLibrary.Load(Utf8ToUtf16(SONOLINT_MODULE_PATH))) << FLibrary.LastError();
    FEntry = reinterpret_cast<TGetQuorvexControl>(FLibrary.Symbol(GET_QUORVEX_CONTROL_NAME));
    ASSERT_NE(FEntry, nullptr);
  }

  IQuorvexControl* Create() {
    IQuorvexControl* control = nullptr;
    EXPECT_EQ(FEntry(&control), 0);
    return control;
  }

  // A module with the test's sink set.
  IQuorvexControl* CreateWithSink(RecordingSink& sink) {
    IQuorvexControl* control = Create();
    Ref<IQuorvexReportSet> set(Query<IQuorvexReportSet>(control, IID_IQuorvexReportSet));
    EXPECT_EQ(set->SetQuorvexReport(&sink), S_OK);
    return control;
  }

  static void WriteSetting(const std::u16string& name, int32_t value) {
    auto key = TUserStoreKey::OpenOrCreate(kSettingsKey);
    ASSERT_TRUE(key);
    key->WriteInteger(name, value);
    ASSERT_TRUE(key->Commit());
  }

  // The host's sequence: Load, Play, poll to 100, Stop, Unload.
  static RunResult Run(IQuorvexControl* control, const std::string& path) {
    RunResult r;
    r.Load = control->LoadFile(Utf8ToUtf16(path).c_str());
    if (Failed(r.Load)) return r;
    control->GetMediaDuration(&r.Duration);
    int64_t position = -1;
    EXPECT_EQ(control->GetMediaPosition(&position), S_OK);
    EXPECT_EQ(position, 0);  // the whole file is checked at once
    r.Play = control->Play();
    const auto until = Clock::now() + 60s;
    for (;;) {
      double progress = -1;
      EXPECT_EQ(control->GetProgress(&progress), S_OK);
      r.Progress.push_back(progress);
      if (progress == 100.0 || Clock::now() > until) break;
      std::this_thread::sleep_for(10ms);
    }
    r.Stop = control->Stop();
    r.Unload = control->UnloadFile();
    return r;
  }

  // A Broadcast Wave file: 10 s of 48 kHz stereo 16-bit, silent from 2 s to 8 s.
  std::string BroadcastWave(const std::string& name, const BextFields& bext = {}) {
    const Bytes pcm = Pcm16(480000, 2, [](int64_t k, int) {
      return k >= 96000 && k < 384000 ? int16_t{0} : Square(k, NORMAL_LEVEL);
    });
    const std::string path = FFiles.File(name);
    WriteBytes(path, WaveFile(2, 48000, pcm, &bext));
    return path;
  }

  StoreFolder FConfig;  // the modules write the store when destroyed
  TempFolder FFiles;
  RecordingSink FSink;
  TDynLib FLibrary;
  TGetQuorvexControl FEntry = nullptr;
};

TEST_F(ModuleTest, EntryPointMakesIndependentObjects) {
  EXPECT_EQ(FEntry(nullptr), -1);
  RecordingSink other;
  {
    Ref<IQuorvexControl> a(CreateWithSink(FSink));
    Ref<IQuorvexControl> b(CreateWithSink(other));
    ASSERT_NE(a.Ptr, nullptr);
    ASSERT_NE(b.Ptr, nullptr);
    EXPECT_NE(a.Ptr, b.Ptr);
    const char16_t* name = nullptr;
    ASSERT_EQ(a->GetModuleName(&name), S_OK);
    EXPECT_EQ(std::u16string(name), u"Sonolint");
    EXPECT_EQ(Run(a.Ptr, BroadcastWave("a.wav")).Unload, S_OK);
    EXPECT_GT(FSink.Count(), 0u);
    EXPECT_EQ(other.Count(), 0u);
    // b holds no file of its own.
    double progress = 0;
    EXPECT_EQ(b->GetProgress(&progress), E_FAIL);
    EXPECT_GT(FSink.References(), 1u);
  }
  // Every reference the modules took on the sinks was given back.
  EXPECT_EQ(FSink.References(), 1u);
  EXPECT_EQ(other.References(), 1u);
}

TEST_F(ModuleTest, InterfacesOnOneObject) {
  Ref<IQuorvexControl> control(Create());
  Ref<IUnknown> unknown(Query<IUnknown>(control.Ptr, IID_IUnknown));
  Ref<IQuorvexVideoControl> video(
      Query<IQuorvexVideoControl>(control.Ptr, IID_IQuorvexVideoControl));
  Ref<IQuorvexReportSet> reportSet(Query<IQuorvexReportSet>(control.Ptr, IID_IQuorvexReportSet));
  Ref<IQuorvexReset> reset(Query<IQuorvexReset>(control.Ptr, IID_IQuorvexReset));
  ASSERT_NE(video.Ptr, nullptr);
  ASSERT_NE(reportSet.Ptr, nullptr);
  ASSERT_NE(reset.Ptr, nullptr);
  EXPECT_EQ(static_cast<void*>(unknown.Ptr), static_cast<void*>(control.Ptr));
  // Every interface leads back to the same object.
  Ref<IQuorvexControl> back(Query<IQuorvexControl>(reset.Ptr, IID_IQuorvexControl));
  EXPECT_EQ(back.Ptr, control.Ptr);

  void* none = &none;
  EXPECT_EQ(control->QueryInterface(IID_IQuorvexReport, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  uint32_t count = 7;
  EXPECT_EQ(video->GetVideoWindowsCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
  IVideoWindow* window = reinterpret_cast<IVideoWindow*>(&count);
  EXPECT_EQ(video->GetVideoWindow(0, &window), E_NOTIMPL);
  EXPECT_EQ(window, nullptr);

  EXPECT_EQ(reset->Reset(), S_OK);
#ifdef SONOLINT_HAS_SETTINGS_DIALOG
  // No widget application in this process: nowhere to show the dialog.
  EXPECT_EQ(control->Configure(0), E_FAIL);
#else
  EXPECT_EQ(control->Configure(0), S_OK);
#endif
}

TEST_F(ModuleTest, NullSinkIsRefusedAndThePreviousOneKept) {
  Ref<IQuorvexControl> control(CreateWithSink(FSink));
  Ref<IQuorvexReportSet> set(Query<IQuorvexReportSet>(control.Ptr, IID_IQuorvexReportSet));
  EXPECT_EQ(set->SetQuorvexReport(nullptr), E_INVALIDARG);
  EXPECT_EQ(Run(control.Ptr, BroadcastWave("kept.wav")).Unload, S_OK);
  EXPECT_EQ(FSink.IDs().front(), 101);
}

TEST_F(ModuleTest, CallsWithoutAFileFailAndSendNothing) {
  Ref<IQuorvexControl> control(CreateWithSink(FSink));
  double progress = 0;
  int64_t value = 0;
  EXPECT_EQ(control->Play(), E_FAIL);
  EXPECT_EQ(control->Stop(), E_FAIL);
  EXPECT_EQ(control->UnloadFile(), E_FAIL);
  EXPECT_EQ(control->GetProgress(&progress), E_FAIL);
  EXPECT_EQ(control->GetMediaDuration(&value), E_FAIL);
  EXPECT_EQ(control->GetMediaPosition(&value), E_FAIL);
  EXPECT_EQ(control->LoadFile(nullptr), E_FAIL);
  // A text file is refused before the run opens: not even 101.
  const std::string text = FFiles.File("readme.txt");
  WriteBytes(text, Bytes(64, 'a'));
  EXPECT_EQ(control->LoadFile(Utf8ToUtf16(text).c_str()), E_FAIL);
  EXPECT_EQ(control->LoadFile(Utf8ToUtf16(FFiles.File("missing.wav")).c_str()), E_FAIL);
  EXPECT_EQ(FSink.Count(), 0u);
}

struct ExpectedLine {
  int32_t Type;
  std::string Text;
};

std::vector<ExpectedLine> ExpectedRun(const std::string& path, bool badDateAndTime) {
  std::vector<ExpectedLine> lines = {
      {1, "[101] Start validation at "},
      {1, "[102] Loading File: " + path},
      {1, "[302] WAVE fmt - FormatTag = 1"},
      {1, "[303] WAVE fmt - Channels = 2"},
      {1, "[304] WAVE fmt - SamplesPerSec = 48000"},
      {1, "[305] WAVE fmt - AvgBytesPerSec = 192000"},
      {1, "[306] WAVE fmt - BlockAlign = 4"},
      {1, "[307] WAVE fmt - BitsPerSample = 16"},
      {1, "[410] WAVE bext - Description : Riffoscope test tone"},
      {1, "[411] WAVE bext - Originator : Riffoscope tests"},
      {1, "[412] WAVE bext - Originator Reference : REF0001"},
      {1, std::string("[413] WAVE bext - Origination Date : ") +
              (badDateAndTime ? "2026-13-10" : "2026-12-10")},
      {1, std::string("[414] WAVE bext - Origination Time : ") +
              (badDateAndTime ? "25:00:00" : "01:02:03")},
      {1, "[415] WAVE bext - Time Reference Low : 48000"},
      {1, "[416] WAVE bext - Time Reference High : 0"},
      {1, "[417] WAVE bext - Version : 2"},
      {1, "[418] WAVE bext - Loudness Value : 63236"},
      {1, "[419] WAVE bext - Loudness Range : 500"},
      {1, "[420] WAVE bext - Max True Peak Level : 65436"},
      {1, "[421] WAVE bext - Max Momentary Loudness : 0"},
      {1, "[422] WAVE bext - Max Short Term Loudness : 0"},
  };
  if (badDateAndTime) {
    // The bext chunk stands behind the 24-byte fmt chunk, at 0x24.
    lines.push_back({3, "[217] Invalid Origination Date in the bext chunk. Offset: 0x00000024 ."});
    lines.push_back({3, "[218] Invalid Origination Time in the bext chunk. Offset: 0x00000024 ."});
  }
  // The missing cart chunk (212) is a disabled rule: dropped.
  const std::vector<ExpectedLine> rest = {
      {1, "[301] WAVE Stream Duration = 00:00:10.00"},
      {2, "[500] Silence block at 00:00:02.00 with duration 00:00:06.00"},
      {1, "[502] Total file silence duration 00:00:06.00"},
      {1, "[503] Total file noise duration 00:00:00.00"},
      {1, "[504] Cumulative silence 00:00:06.00"},
      {1, "[505] Cumulative noise 00:00:00.00"},
      {1, "[103] Unloading File."},
      {1, "[108] Finish validation at "},
  };
  lines.insert(lines.end(), rest.begin(), rest.end());
  return lines;
}

TEST_F(ModuleTest, CompleteRunOnABroadcastWave) {
  for (const bool bad : {false, true}) {
    FSink.Clear();
    BextFields bext;
    if (bad) {
      bext.OriginationDate = "2026-13-10";
      bext.OriginationTime = "25:00:00";
    }
    const std::string path = BroadcastWave(bad ? "bad-origination.wav" : "clean.wav", bext);
    Ref<IQuorvexControl> control(CreateWithSink(FSink));
    const RunResult r = Run(control.Ptr, path);
    EXPECT_EQ(r.Load, S_OK);
    EXPECT_EQ(r.Play, S_OK);
    EXPECT_EQ(r.Stop, S_OK);
    EXPECT_EQ(r.Unload, S_OK);
    EXPECT_EQ(r.Duration, 100000000);
    // Progress is 0 until the analysis ends, then exactly 100.
    ASSERT_FALSE(r.Progress.empty());
    EXPECT_EQ(r.Progress.back(), 100.0);
    for (double p : r.Progress) EXPECT_TRUE(p == 0.0 || p == 100.0) << p;

    const std::vector<ReportLine> lines = FSink.Lines();
    const std::vector<ExpectedLine> expected = ExpectedRun(path, bad);
    ASSERT_EQ(lines.size(), expected.size()) << (bad ? "bad" : "clean");
    for (size_t i = 0; i < lines.size(); ++i) {
      SCOPED_TRACE(lines[i].Text);
      EXPECT_EQ(lines[i].Module, MODULE_ID_SONOLINT);
      EXPECT_EQ(lines[i].Stream, -1);
      EXPECT_EQ(lines[i].Type, expected[i].Type);
      const bool timed = expected[i].Text.back() == ' ';  // 101 and 108 end in the clock
      if (timed) {
        EXPECT_EQ(lines[i].Text.rfind(expected[i].Text, 0), 0u);
        EXPECT_GT(lines[i].Text.size(), expected[i].Text.size());
      } else {
        EXPECT_EQ(lines[i].Text, expected[i].Text);
      }
    }
    // The run is closed: a second unload has nothing to close.
    FSink.Clear();
    EXPECT_EQ(control->UnloadFile(), E_FAIL);
    EXPECT_EQ(FSink.Count(), 0u);
  }
}

std::vector<std::string> LinesWithID(const RecordingSink& sink, int32_t id) {
  std::vector<std::string> texts;
  for (const ReportLine& line : sink.Lines()) {
    if (line.ID() == id) texts.push_back(line.Text);
  }
  return texts;
}

TEST_F(ModuleTest, CumulativeTotalsAddUpUntilReset) {
  Ref<IQuorvexControl> control(CreateWithSink(FSink));
  Ref<IQuorvexReset> reset(Query<IQuorvexReset>(control.Ptr, IID_IQuorvexReset));
  const std::string path = BroadcastWave("six-seconds-silent.wav");
  Run(control.Ptr, path);
  Run(control.Ptr, path);
  reset->Reset();
  Run(control.Ptr, path);
  EXPECT_EQ(LinesWithID(FSink, 504),
            (std::vector<std::string>{"[504] Cumulative silence 00:00:06.00",
                                      "[504] Cumulative silence 00:00:12.00",
                                      "[504] Cumulative silence 00:00:06.00"}));
}

TEST_F(ModuleTest, StopDuringALongAnalysisStillClosesTheRun) {
  const std::string path = FFiles.File("four-gigabytes-of-silence.wav");
  WriteSparseWave(path, 0xFFFFFF00u);
  Ref<IQuorvexControl> control(CreateWithSink(FSink));
  ASSERT_EQ(control->LoadFile(Utf8ToUtf16(path).c_str()), S_OK);
  ASSERT_EQ(control->Play(), S_OK);
  double progress = -1;
  EXPECT_EQ(control->GetProgress(&progress), S_OK);
  EXPECT_EQ(progress, 0.0);
  const auto start = Clock::now();
  EXPECT_EQ(control->Stop(), S_OK);
  EXPECT_LT(Clock::now() - start, 5000ms);  // the stop limit
  EXPECT_EQ(control->UnloadFile(), S_OK);
  const std::vector<int32_t> ids = FSink.IDs();
  ASSERT_GE(ids.size(), 4u);
  EXPECT_EQ(std::vector<int32_t>(ids.end() - 4, ids.end()),
            (std::vector<int32_t>{504, 505, 103, 108}));
  EXPECT_TRUE(LinesWithID(FSink, 107).empty());
  // The analysis was cut short by the stop (the whole file is over six hours).
  const std::vector<std::string> totals = LinesWithID(FSink, 502);
  ASSERT_EQ(totals.size(), 1u);
  EXPECT_EQ(totals[0].rfind("[502] Total file silence duration 00:", 0), 0u) << totals[0];
}

TEST_F(ModuleTest, DestroyingDuringAnAnalysisReturnsPromptly) {
  const std::string path = FFiles.File("four-gigabytes-of-silence.wav");
  WriteSparseWave(path, 0xFFFFFF00u);
  auto control = std::make_unique<Ref<IQuorvexControl>>(CreateWithSink(FSink));
  ASSERT_EQ((*control)->LoadFile(Utf8ToUtf16(path).c_str()), S_OK);
  ASSERT_EQ((*control)->Play(), S_OK);
  std::this_thread::sleep_for(20ms);
  const auto start = Clock::now();
  control.reset();
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_EQ(FSink.References(), 1u);
}

TEST_F(ModuleTest, TimeLimitsAreMillisecondsCheckedBeforeTheAnswer) {
  // A limit of 0 ms expires in the first pass, before the worker's answer
  // is looked at, however fast the worker is.
  WriteSetting(u"LOAD_FILE_TIMEOUT_MS", 0);
  const std::string path = BroadcastWave("clean.wav");
  {
    Ref<IQuorvexControl> control(CreateWithSink(FSink));
    EXPECT_EQ(control->LoadFile(Utf8ToUtf16(path).c_str()), E_FAIL);
    const std::vector<ReportLine> lines = FSink.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].Text, "[104] Loading timeout.");
    EXPECT_EQ(lines[2].Type, REPORT_TYPE_ERROR);
  }
  FSink.Clear();
  WriteSetting(u"LOAD_FILE_TIMEOUT_MS", 15000);
  WriteSetting(u"UNLOAD_FILE_TIMEOUT_MS", 0);
  {
    Ref<IQuorvexControl> control(CreateWithSink(FSink));
    const RunResult r = Run(control.Ptr, path);
    EXPECT_EQ(r.Unload, E_FAIL);
    const std::vector<int32_t> ids = FSink.IDs();
    EXPECT_EQ(std::vector<int32_t>(ids.end() - 2, ids.end()), (std::vector<int32_t>{103, 105}));
    // The worker is kept after an unload timeout.
    double progress = 0;
    EXPECT_EQ(control->GetProgress(&progress), S_OK);
  }
}

// Records like RecordingSink, but holds the worker on the first loader line
// with the given prefix until the module has reported that it gave up the
// load ("[104]"), so the load is known to be under way when the module gives up.
class HoldingSink final : public IQuorvexReport {
public:
  explicit HoldingSink(std::string held) : FHeld(std::move(held)) {}
  HRESULT QVX_CALL QueryInterface(const IID& iid, void** object) override {
    return FLines.QueryInterface(iid, object);
  }
  uint32_t QVX_CALL AddRef() override { return FLines.AddRef(); }
  uint32_t QVX_CALL Release() override { return FLines.Release(); }
  HRESULT QVX_CALL Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                          int32_t streamID) override {
    const std::string text = reportMessage != nullptr ? Utf16ToUtf8(reportMessage) : "";
    FLines.Report(module, reportType, reportMessage, streamID);
    std::unique_lock lock(FLock);
    if (text.rfind("[104]", 0) == 0) {
      FGaveUp = true;
      FChanged.notify_all();
    } else if (text.rfind(FHeld, 0) == 0 && !FHeldOnce) {
      FHeldOnce = true;
      FChanged.wait_for(lock, 30s, [this] { return FGaveUp; });
    }
    return S_OK;
  }
  std::vector<ReportLine> Lines() const { return FLines.Lines(); }

private:
  RecordingSink FLines;
  const std::string FHeld;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FGaveUp = false;
  bool FHeldOnce = false;
};

TEST_F(ModuleTest, ALoadGivenUpStopsReadingTheFile) {
  // Two undersized cart chunks (216 each) with many chunks between them. The
  // worker is held on the first 216 until the load has timed out; a load that
  // goes on after that reports the second one.
  WriteSetting(u"LOAD_FILE_TIMEOUT_MS", 0);
  Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(body, Chunk("cart", Bytes(4, 0)));
  for (int i = 0; i < 1000; ++i) Append(body, Chunk("JUNK", {}));
  Append(body, Chunk("cart", Bytes(4, 0)));
  Append(body, Chunk("data", Bytes(4, 0)));
  const std::string path = FFiles.File("given-up.wav");
  WriteBytes(path, Riff("WAVE", body));

  HoldingSink sink("[216]");
  {
    Ref<IQuorvexControl> control(Create());
    Ref<IQuorvexReportSet> set(Query<IQuorvexReportSet>(control.Ptr, IID_IQuorvexReportSet));
    ASSERT_EQ(set->SetQuorvexReport(&sink), S_OK);
    EXPECT_EQ(control->LoadFile(Utf8ToUtf16(path).c_str()), E_FAIL);
    // Unloading first waits until the worker has answered the load.
    control->UnloadFile();
  }
  int carts = 0;
  bool gaveUp = false;
  for (const ReportLine& line : sink.Lines()) {
    carts += line.ID() == 216 ? 1 : 0;
    gaveUp = gaveUp || line.ID() == 104;
  }
  EXPECT_TRUE(gaveUp);
  EXPECT_LE(carts, 1);
}

TEST_F(ModuleTest, SettingsAreStoredWhenTheObjectGoes) {
  { Ref<IQuorvexControl> control(Create()); }
  auto key = TUserStoreKey::OpenOrCreate(kSettingsKey);
  ASSERT_TRUE(key);
  struct Value {
    const char16_t* Name;
    int32_t Expected;
  };
  for (const Value& v :
       {Value{u"LOAD_FILE_TIMEOUT_MS", 15000}, Value{u"UNLOAD_FILE_TIMEOUT_MS", 15000},
        Value{u"PLAY_TIMEOUT_MS", 5000}, Value{u"STOP_TIMEOUT_MS", 5000},
        Value{u"SilenceLeveldB", -80}, Value{u"MinSilenceBlockMS", 5000},
        Value{u"NoiseLeveldB", -10}, Value{u"MinNoiseBlockMS", 5000}}) {
    int32_t value = 0;
    EXPECT_TRUE(key->ReadInteger(v.Name, value)) << Utf16ToUtf8(v.Name);
    EXPECT_EQ(value, v.Expected) << Utf16ToUtf8(v.Name);
  }
}

TEST(ModuleFile, ExportsOnlyTheEntryPoint) {
  FILE* pipe = ::popen("nm -D --defined-only '" SONOLINT_MODULE_PATH "' 2>/dev/null", "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t blank = text.rfind(' ');
    if (blank != std::string::npos) names.insert(text.substr(blank + 1));
  }
  const int status = ::pclose(pipe);
  if (status != 0 && names.empty()) GTEST_SKIP() << "nm is not available";
  EXPECT_EQ(names, (std::set<std::string>{"GetQuorvexControl"}));
}

}  // namespace
}  // namespace riffo::test
