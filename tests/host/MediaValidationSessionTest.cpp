// The headless session: loading the module table from a folder, the ticks
// and the last-used mask, the report sink under several threads, the run
// over the ticked modules with its stop, and saving in the chosen format.
#include "host/MediaValidationSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "HostTestSupport.h"
#include "platform/DebugTrace.h"

namespace riffo {
namespace {

using test::FakeFolder;

// Records what the run shows; can ask for a stop after a number of passes.
class TRecordingView : public TValidationRunView {
public:
  explicit TRecordingView(TMediaValidationSession& session) : FSession(session) {}
  void RunStarted() override { ++Starts; }
  void ShowReport(size_t index, const TCustomReport& line) override {
    Indexes.push_back(index);
    Messages.push_back(line.ReportMessage);
  }
  void ShowProgress(double progress) override { Progress.push_back(progress); }
  void ShowCounters(int32_t infos, int32_t warnings, int32_t errors) override {
    Counters = {infos, warnings, errors};
  }
  void ProcessEvents() override {
    ++Passes;
    if (StopAfterPasses > 0 && Passes >= StopAfterPasses) FSession.RequestStop();
  }
  void RunFinished(bool stopped) override { Finished.push_back(stopped); }

  TMediaValidationSession& FSession;
  int StopAfterPasses = 0;
  int Starts = 0;
  int Passes = 0;
  std::vector<size_t> Indexes;
  std::vector<std::u16string> Messages;
  std::vector<double> Progress;
  std::vector<int32_t> Counters;
  std::vector<bool> Finished;
};

class SessionTest : public test::THostTest {
protected:
  void SetUp() override {
    THostTest::SetUp();
    WriteFile("take1.wav", "RIFF");
    FMedia = Path("take1.wav");
  }
  // The calls a run makes on a module, without references and polling.
  std::vector<std::string> RunCalls(const std::string& tag) const {
    return Calls(tag, {"Reset", "LoadFile", "Play", "GetProgress", "Stop", "UnloadFile"});
  }
  std::vector<std::string> FullRun(const std::string& tag) const {
    const std::string media = Path8("take1.wav");
    return {tag + " Reset", tag + " LoadFile " + media, tag + " Play", tag + " GetProgress",
            tag + " Stop",  tag + " UnloadFile"};
  }
  std::u16string FMedia;
};

// ------------------------------------------------------------- loading ----

TEST_F(SessionTest, LoadsTheModulesOfTheMaskAndTicksTheLastUsedOnes) {
  struct Case {
    uint32_t Flags, LastUsed;
    std::vector<std::u16string> Names;
    std::vector<bool> Ticks;
  };
  const Case cases[] = {
      {1 | 4, 4, {u"Vidolint", u"Sonolint"}, {false, true}},  // table order, not mask order
      {1 | 4, 5, {u"Vidolint", u"Sonolint"}, {true, true}},
      {4, 0, {u"Sonolint"}, {false}},
      {1, 4, {u"Vidolint"}, {false}},
      {0, 5, {}, {}},
      {2, 2, {}, {}},  // a kind whose file is not in the folder
  };
  for (const Case& c : cases) {
    TraceCapture trace;
    TMediaValidationSession session(FakeFolder("pair"), FMedia, c.Flags, c.LastUsed);
    EXPECT_TRUE(session.LoadValidationModules());
    ASSERT_EQ(session.ModuleCount(), c.Names.size()) << c.Flags;
    for (size_t i = 0; i < c.Names.size(); ++i) {
      EXPECT_EQ(session.Module(i).ValidationModuleName(), c.Names[i]);
      EXPECT_EQ(session.ModuleTicked(i), c.Ticks[i]) << c.Flags << " " << i;
    }
    EXPECT_TRUE(trace.Lines().empty());
  }
}

TEST_F(SessionTest, MissingModuleFolderGivesAnEmptyListWithoutTrace) {
  TraceCapture trace;
  TMediaValidationSession session(Path("nowhere/"), FMedia, 0xFFFFFFFFu, 4);
  EXPECT_TRUE(session.LoadValidationModules());
  EXPECT_EQ(session.ModuleCount(), 0u);
  EXPECT_TRUE(trace.Lines().empty());
  EXPECT_FALSE(session.LoadValidationModule(0));
}

TEST_F(SessionTest, ModuleThatFailsToBindIsNotListed) {
  TMediaValidationSession session(FakeFolder("no-reportset"), FMedia, 4, 4);
  EXPECT_TRUE(session.LoadValidationModules());
  EXPECT_EQ(session.ModuleCount(), 0u);
}

TEST_F(SessionTest, CaptionNamesFileAndModules) {
  TMediaValidationSession session(FakeFolder("pair"), u"/audio/take1.wav", 5, 0);
  session.LoadValidationModules();
  EXPECT_EQ(session.Caption(), u"Media Validation - /audio/take1.wav [Vidolint, Sonolint]");
}

TEST_F(SessionTest, UnloadRecordsTheTickedKindsAndReleasesTheSink) {
  struct Case {
    bool TickVido, TickSono;
    uint32_t Mask;
  };
  for (const Case c : {Case{true, true, 5}, Case{false, true, 4}, Case{false, false, 0}}) {
    TMediaValidationSession session(FakeFolder("pair"), FMedia, 5, 0xFFu);
    session.LoadValidationModules();
    ASSERT_EQ(session.ModuleCount(), 2u);
    session.SetModuleTicked(0, c.TickVido);
    session.SetModuleTicked(1, c.TickSono);
    EXPECT_GT(session.ReportSink().References(), 0u);
    EXPECT_TRUE(session.UnloadValidationModules());
    EXPECT_EQ(session.LastUsedModulesMask(), c.Mask);
    EXPECT_EQ(session.ModuleCount(), 0u);
    EXPECT_EQ(session.ReportSink().References(), 0u);
  }
  EXPECT_EQ(Calls("vido", {"library-unloaded"}).size(), 3u);
  EXPECT_EQ(Calls("sono", {"library-unloaded"}).size(), 3u);
}

TEST_F(SessionTest, ConfigureCallsTheSelectedModuleWithNoWindow) {
  TMediaValidationSession session(FakeFolder("pair"), FMedia, 5, 0);
  session.LoadValidationModules();
  EXPECT_TRUE(session.ConfigureModule(1));
  EXPECT_FALSE(session.ConfigureModule(2));
  EXPECT_EQ(Calls("sono", {"Configure"}), std::vector<std::string>{"sono Configure 0"});
  EXPECT_TRUE(Calls("vido", {"Configure"}).empty());
}

// ---------------------------------------------------------------- sink ----

TEST(ReportSinkTest, KeepsEveryLineFromSeveralThreadsInEachThreadsOrder) {
  TMediaValidationSession session(u"/nowhere/", u"/nowhere.wav", 0, 0);
  constexpr int kThreads = 6, kLines = 500;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([&session, t] {
      for (int i = 0; i < kLines; ++i) {
        const std::u16string text = Format16("%d:%d", t, i);
        EXPECT_EQ(session.ReportSink().Report(4, 1 + i % 3, text.c_str(), t), S_OK);
      }
    });
  // Drain while the writers write, as the polling loop does.
  struct TOrderView : TValidationRunView {
    void ShowReport(size_t index, const TCustomReport& line) override {
      EXPECT_EQ(index, Seen.size());
      Seen.push_back(line);
    }
    std::vector<TCustomReport> Seen;
  } view;
  while (view.Seen.size() < static_cast<size_t>(kThreads * kLines)) {
    session.VisualizeReports(view);
    std::this_thread::yield();
  }
  for (auto& writer : writers) writer.join();
  session.VisualizeReports(view);

  ASSERT_EQ(view.Seen.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  for (const auto& line : view.Seen) {
    ASSERT_GE(line.StreamID, 0);
    ASSERT_LT(line.StreamID, kThreads);
    EXPECT_EQ(line.ReportMessage, Format16("%d:%d", line.StreamID, next[line.StreamID]));
    ++next[line.StreamID];
  }
  EXPECT_EQ(session.InfosCount() + session.WarningsCount() + session.ErrorsCount(),
            kThreads * kLines);
  EXPECT_EQ(session.InfosCount(), kThreads * ((kLines + 2) / 3));
}

TEST(ReportSinkTest, AnswersItsOwnInterfacesAndCopiesTheText) {
  TReportSink sink;
  void* object = nullptr;
  EXPECT_EQ(sink.QueryInterface(IID_IQuorvexReport, &object), S_OK);
  EXPECT_EQ(object, static_cast<IQuorvexReport*>(&sink));
  EXPECT_EQ(sink.QueryInterface(IID_IUnknown, &object), S_OK);
  EXPECT_EQ(sink.QueryInterface(IID_IQuorvexControl, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(sink.References(), 2u);
  sink.Release();
  sink.Release();

  std::u16string text = u"[101] Start";
  EXPECT_EQ(sink.Report(4, 7, text.c_str(), -1), S_OK);
  text.assign(u"overwritten");
  EXPECT_EQ(sink.Report(0, 1, nullptr, 3), S_OK);  // a null text is an empty line, not a crash
  const auto lines = sink.Snapshot();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].ReportMessage, u"[101] Start");
  EXPECT_EQ(lines[0].ReportType, 7);
  EXPECT_EQ(lines[1].ReportMessage, u"");
  EXPECT_TRUE(sink.ClearReports());
  EXPECT_EQ(sink.Count(), 0u);
}

// ----------------------------------------------------------------- run ----

TEST_F(SessionTest, RunDrivesEachTickedModuleThroughTheWholeSequence) {
  TMediaValidationSession session(FakeFolder("pair"), FMedia, 5, 5);
  ASSERT_TRUE(session.LoadValidationModules());
  TRecordingView view(session);
  TraceCapture trace;
  EXPECT_EQ(session.RunValidation(view), TRunResult::Completed);

  EXPECT_EQ(RunCalls("vido"), FullRun("vido"));
  EXPECT_EQ(RunCalls("sono"), FullRun("sono"));
  // Vidolint (listed first) is done before Sonolint starts.
  const auto log = Log();
  const auto vidoEnd = std::find(log.begin(), log.end(), "vido UnloadFile");
  const auto sonoStart = std::find(log.begin(), log.end(), "sono Reset");
  EXPECT_LT(vidoEnd, sonoStart);

  ASSERT_EQ(view.Messages.size(), 10u);
  for (size_t i = 0; i < view.Indexes.size(); ++i) EXPECT_EQ(view.Indexes[i], i);
  EXPECT_EQ(view.Messages.front(), u"[101] Start validation");
  EXPECT_EQ(view.Messages[4], u"[108] Finish validation");
  EXPECT_EQ(view.Counters, (std::vector<int32_t>{6, 2, 2}));
  EXPECT_EQ(session.ReportCount(), 10u);
  EXPECT_EQ(view.Starts, 1);
  EXPECT_EQ(view.Finished, std::vector<bool>{false});
  EXPECT_DOUBLE_EQ(view.Progress.back(), 100.0);
  EXPECT_TRUE(trace.Lines().empty());
  EXPECT_FALSE(session.Running());
  // The run's local references are gone again: only the bindings hold the modules.
  EXPECT_EQ(Calls("sono", {"AddRef", "Release"}).back(), "sono Release 2");
}

TEST_F(SessionTest, ModulesNotTickedOrNotInTheTableAreNotRun) {
  for (const char* folder : {"unknown", "pair"}) {
    TMediaValidationSession session(FakeFolder(folder), FMedia, 5, 0);
    session.LoadValidationModules();
    ASSERT_GE(session.ModuleCount(), 1u);
    session.SetModuleTicked(0, true);  // unknown: its name maps to 0; pair: Vidolint only
    TRecordingView view(session);
    EXPECT_EQ(session.RunValidation(view), TRunResult::Completed);
  }
  EXPECT_TRUE(RunCalls("unknown").empty());
  EXPECT_TRUE(RunCalls("sono").empty());
  EXPECT_EQ(RunCalls("vido"), FullRun("vido"));
}

TEST_F(SessionTest, NameInOtherCaseAndBlanksIsRunButWithoutReset) {
  TMediaValidationSession session(FakeFolder("odd-case"), FMedia, 4, 4);
  session.LoadValidationModules();
  ASSERT_TRUE(session.ModuleTicked(0));
  TRecordingView view(session);
  EXPECT_EQ(session.RunValidation(view), TRunResult::Completed);
  auto expected = FullRun("oddcase");
  expected.erase(expected.begin());  // no Reset
  EXPECT_EQ(RunCalls("oddcase"), expected);
}

// A failing call ends the module's turn at the documented point; the next
// module is still run.
TEST_F(SessionTest, FailingModuleCallsAreHandledStepByStep) {
  struct Case {
    const char* Fail;
    size_t CallsMade;  // of Reset, LoadFile, Play, GetProgress, Stop, UnloadFile
    const char16_t* Trace;
  };
  const Case cases[] = {
      {"LoadFile", 2, nullptr},
      {"Play", 3,
       u"Error in TMediaValidationForm.btnStartValidationClick - cannot start file validation."},
      {"Stop", 6,
       u"Error in TMediaValidationForm.btnStartValidationClick - cannot stop file validation."},
      {"UnloadFile", 6,
       u"Error in TMediaValidationForm.btnStartValidationClick - cannot unload file."},
  };
  for (const Case& c : cases) {
    std::remove(FLog.c_str());
    ::setenv("FAKE_QVX_FAIL_vido", c.Fail, 1);
    TMediaValidationSession session(FakeFolder("pair"), FMedia, 5, 5);
    session.LoadValidationModules();
    TRecordingView view(session);
    TraceCapture trace;
    EXPECT_EQ(session.RunValidation(view), TRunResult::Completed) << c.Fail;
    auto expected = FullRun("vido");
    expected.resize(c.CallsMade);
    EXPECT_EQ(RunCalls("vido"), expected) << c.Fail;
    EXPECT_EQ(RunCalls("sono"), FullRun("sono")) << c.Fail;
    if (c.Trace == nullptr)
      EXPECT_TRUE(trace.Lines().empty()) << c.Fail;
    else
      EXPECT_EQ(trace.Lines(), std::vector<std::u16string>{c.Trace}) << c.Fail;
  }
}

TEST_F(SessionTest, ProgressCountsAsDoneWithinAHundredthOfAHundred) {
  struct Case {
    const char* Final;
    bool Done;
  };
  for (const Case c :
       {Case{"99.995", true}, Case{"100", true}, Case{"99.98", false}, Case{"0", false}}) {
    ::setenv("FAKE_QVX_PROGRESS_good", c.Final, 1);
    TMediaValidationSession session(FakeFolder("good"), FMedia, 4, 4);
    session.LoadValidationModules();
    TRecordingView view(session);
    view.StopAfterPasses = 50;  // a safety net: a module that is not done is stopped here
    const TRunResult result = session.RunValidation(view);
    EXPECT_EQ(result, c.Done ? TRunResult::Completed : TRunResult::Stopped) << c.Final;
    EXPECT_EQ(view.Finished, std::vector<bool>{!c.Done}) << c.Final;
  }
}

// A module that cannot report how far it is would be polled for ever: its
// turn ends with a trace line and a host error line, it is still stopped and
// unloaded, and the next module runs as usual. No stop request is needed.
TEST_F(SessionTest, ModuleWithoutAValidProgressFailsAndTheRunGoesOn) {
  struct Case {
    const char* Fail;      // FAKE_QVX_FAIL_vido
    const char* Progress;  // FAKE_QVX_PROGRESS_vido
  };
  for (const Case c : {Case{"GetProgress", ""}, Case{"", "nan"}, Case{"", "-1"}, Case{"", "-inf"},
                       Case{"", "inf"}}) {
    SCOPED_TRACE(std::string(c.Fail) + c.Progress);
    std::remove(FLog.c_str());
    ::setenv("FAKE_QVX_FAIL_vido", c.Fail, 1);
    ::setenv("FAKE_QVX_PROGRESS_vido", c.Progress, 1);
    TMediaValidationSession session(FakeFolder("pair"), FMedia, 5, 5);
    session.LoadValidationModules();
    TRecordingView view(session);
    view.StopAfterPasses = 500;  // a safety net only: the run must end on its own
    TraceCapture trace;
    EXPECT_EQ(session.RunValidation(view), TRunResult::Completed);
    EXPECT_LT(view.Passes, 500);
    EXPECT_EQ(RunCalls("vido"), FullRun("vido"));
    EXPECT_EQ(RunCalls("sono"), FullRun("sono"));
    EXPECT_EQ(trace.Lines(),
              std::vector<std::u16string>{u"Error in TMediaValidationForm.btnStartValidationClick "
                                          u"- module gave no valid progress."});

    const auto lines = session.Reports();
    const auto failed = std::find_if(lines.begin(), lines.end(), [](const TCustomReport& line) {
      return line.Module == MODULE_ID_HOST;
    });
    ASSERT_NE(failed, lines.end());
    EXPECT_EQ(failed->ReportType, REPORT_TYPE_ERROR);
    EXPECT_EQ(failed->ReportMessage,
              u"Validation module Vidolint failed: it gave no valid progress.");
    EXPECT_EQ(failed->StreamID, -1);
    // One such line, shown and counted like any other.
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const TCustomReport& line) { return line.Module == MODULE_ID_HOST; }),
        1);
    EXPECT_EQ(lines.size(), 11u);
    EXPECT_EQ(view.Messages.size(), 11u);
    EXPECT_EQ(view.Counters, (std::vector<int32_t>{6, 2, 3}));
    EXPECT_EQ(view.Finished, std::vector<bool>{false});
  }
}

TEST_F(SessionTest, StopDuringTheFirstModuleEndsTheRunAfterUnloadingIt) {
  ::setenv("FAKE_QVX_PROGRESS_vido", "50", 1);
  TMediaValidationSession session(FakeFolder("pair"), FMedia, 5, 5);
  session.LoadValidationModules();
  TRecordingView view(session);
  view.StopAfterPasses = 3;
  EXPECT_EQ(session.RunValidation(view), TRunResult::Stopped);
  EXPECT_EQ(RunCalls("vido"), FullRun("vido"));  // still stopped and unloaded
  EXPECT_TRUE(RunCalls("sono").empty());         // the second module is never started
  EXPECT_EQ(view.Passes, 3);
  EXPECT_DOUBLE_EQ(session.LastProgress(), 50.0);
  EXPECT_EQ(view.Finished, std::vector<bool>{true});
  // The lines up to the stop are all there and shown.
  EXPECT_EQ(view.Messages.size(), session.ReportCount());
  EXPECT_EQ(view.Messages.back(), u"[108] Finish validation");
}

TEST_F(SessionTest, ModuleWhoseProgressNeverEndsRunsUntilStopped) {
  TMediaValidationSession session(FakeFolder("stalls"), FMedia, 4, 4);
  session.LoadValidationModules();
  TRecordingView view(session);
  view.StopAfterPasses = 25;
  EXPECT_EQ(session.RunValidation(view), TRunResult::Stopped);
  EXPECT_EQ(view.Passes, 25);
  EXPECT_EQ(RunCalls("stalls"), FullRun("stalls"));
  // A new run starts afresh: the stop request does not stick.
  view.Passes = 0;
  view.StopAfterPasses = 2;
  EXPECT_EQ(session.RunValidation(view), TRunResult::Stopped);
  EXPECT_EQ(view.Passes, 2);
}

TEST_F(SessionTest, RunRefusesWithoutFileOrTickedModule) {
  TMediaValidationSession session(FakeFolder("pair"), FMedia, 5, 0);
  session.LoadValidationModules();
  TRecordingView view(session);
  session.ReportSink().Report(4, 1, u"old line", -1);

  EXPECT_EQ(session.RunValidation(view), TRunResult::NoModules);
  EXPECT_EQ(session.ReportCount(), 0u);  // the old lines are discarded all the same
  EXPECT_EQ(session.SaveReportFile(Path("r.txt"), [] { return true; }), TSaveResult::EmptyReport);

  session.SetModuleTicked(1, true);
  std::filesystem::remove(FDir / "take1.wav");
  EXPECT_EQ(session.RunValidation(view), TRunResult::NoFile);
  EXPECT_EQ(view.Starts, 0);
  EXPECT_TRUE(RunCalls("sono").empty());
}

// -------------------------------------------------------------- saving ----

TEST(ReportFormatTest, ExtensionPicksTheFormatInAnyCase) {
  const std::pair<const char16_t*, TReportFormat> cases[] = {
      {u"/r/report.csv", TReportFormat::CSV},     {u"/r/report.XML", TReportFormat::XML},
      {u"/r/report.Pdf", TReportFormat::PDF},     {u"/r/report.html", TReportFormat::HTML},
      {u"/r/report.HTM", TReportFormat::HTML},    {u"/r/report.dat", TReportFormat::TXT},
      {u"/r/report", TReportFormat::TXT},         {u"/r.xml/report", TReportFormat::TXT},
      {u"/r/report.csv.txt", TReportFormat::TXT}, {u"/r/report.htmlx", TReportFormat::TXT},
  };
  for (const auto& [name, format] : cases)
    EXPECT_EQ(ReportFormatForFileName(name), format) << Utf16ToUtf8(name);
}

TEST_F(SessionTest, DefaultReportNameReplacesTheExtension) {
  EXPECT_EQ(TMediaValidationSession(u"/", u"/a/take1.wav", 0, 0).DefaultReportFileName(),
            u"/a/take1.html");
  EXPECT_EQ(TMediaValidationSession(u"/", u"/a.b/take", 0, 0).DefaultReportFileName(),
            u"/a.b/take.html");
}

TEST_F(SessionTest, SaveWritesTheFormatTheNameAsksFor) {
  TMediaValidationSession session(FakeFolder("good"), FMedia, 4, 4);
  session.ReportSink().Report(4, 2, u"[500] Silence block", -1);
  const std::pair<const char*, const char*> cases[] = {
      {"r.HTM", "<HTML>\r\n"},
      {"r.dat", "//////"},
      {"r", "//////"},
      {"r.Csv", "#,Module,Stream,Type,Message\r\n1,Sonolint,,Warning,[500] Silence block\r\n"},
      {"r.xml", "<?xml"},
      {"r.pdf", "%PDF-"},
  };
  for (const auto& [name, start] : cases) {
    EXPECT_EQ(session.SaveReportFile(Path(name), nullptr), TSaveResult::Saved) << name;
    EXPECT_EQ(ReadFile(name).rfind(start, 0), 0u) << name;
  }
}

TEST_F(SessionTest, ExistingDestinationIsReplacedOnlyAfterYes) {
  TMediaValidationSession session(FakeFolder("good"), FMedia, 4, 4);
  session.ReportSink().Report(4, 1, u"[101] Start", -1);
  WriteFile("r.csv", "old");
  int asked = 0;
  EXPECT_EQ(session.SaveReportFile(Path("r.csv"), [&] { return ++asked, false; }),
            TSaveResult::NotConfirmed);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ReadFile("r.csv"), "old");
  EXPECT_EQ(session.SaveReportFile(Path("r.csv"), [&] { return ++asked, true; }),
            TSaveResult::Saved);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(ReadFile("r.csv"), "#,Module,Stream,Type,Message\r\n1,Sonolint,,Info,[101] Start\r\n");
}

TEST_F(SessionTest, SaveThatCannotWriteIsAFailure) {
  TMediaValidationSession session(FakeFolder("good"), FMedia, 4, 4);
  session.ReportSink().Report(4, 1, u"[101] Start", -1);
  for (const char* name : {"missing/r.txt", "missing/r.pdf"})
    EXPECT_EQ(session.SaveReportFile(Path(name), nullptr), TSaveResult::Failed) << name;
  EXPECT_EQ(session.SaveReportTXT(Path("missing/r.txt")), E_FAIL);
}

}  // namespace
}  // namespace riffo
