// The conformance rules over small trees: loaded from bytes where the loader's
// decoding matters, built node by node where a record must be missing or a
// field must hold a value the loader would not produce.
#include "sonolint/WAVRIFFValidator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "chunkmodel/WAVHelpers.h"
#include "platform/DebugTrace.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "tests/sonolint/rules/RuleFixtures.h"

namespace riffo {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using namespace riffo::rulestest;

// Runs the validator over the given tree and records what it sends.
struct ValidatorRun {
  FindingRecorder Recorder;
  HRESULT Result = E_FAIL;

  explicit ValidatorRun(const TWAVCommonChunk* root) {
    TWAVRIFFValidator validator;
    validator.SetReportFunction(Recorder.Function());
    Result = validator.ValidateWAV(root);
  }
};

std::vector<int32_t> Range(int32_t from, int32_t to) {
  std::vector<int32_t> ids;
  for (int32_t id = from; id <= to; ++id) ids.push_back(id);
  return ids;
}

std::vector<int32_t> Concat(std::initializer_list<std::vector<int32_t>> parts) {
  std::vector<int32_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(ConformanceRules, CanonicalPcmFileListsTheFormatAndMissesBextAndCart) {
  LoadedTree tree(CanonicalPcm());
  ValidatorRun run(tree.Root());

  EXPECT_EQ(run.Result, S_OK);
  const auto& f = run.Recorder.Findings;
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(f[0].Text, "WAVE fmt - FormatTag = 1");
  EXPECT_EQ(f[1].Text, "WAVE fmt - Channels = 2");
  EXPECT_EQ(f[2].Text, "WAVE fmt - SamplesPerSec = 48000");
  EXPECT_EQ(f[3].Text, "WAVE fmt - AvgBytesPerSec = 192000");
  EXPECT_EQ(f[4].Text, "WAVE fmt - BlockAlign = 4");
  EXPECT_EQ(f[5].Text, "WAVE fmt - BitsPerSample = 16");
  EXPECT_EQ(f[6].Text, "bext chunk not found in the main RIFF chunk. Offset: 0x00000000 .");
  EXPECT_EQ(f[7].Text, "cart chunk not found in the main RIFF chunk. Offset: 0x00000000 .");
  // Empty data: no duration line.
  EXPECT_THAT(run.Recorder.IDs(), ElementsAre(302, 303, 304, 305, 306, 307, 211, 212));
  for (size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i].Module, 4);
    EXPECT_EQ(f[i].Stream, -1);
    EXPECT_EQ(f[i].Type, i < 6 ? 1 : 3) << i;
  }
}

TEST(ConformanceRules, BroadcastWaveLinesComeInRuleOrder) {
  Bytes body = Chunk("fmt ", PcmFormat(2, 44100, 16));
  Append(body, Chunk("bext", BextPayload({})));
  Append(body, Chunk("data", Bytes(88200, 0)));
  LoadedTree tree(Riff("WAVE", body));
  ValidatorRun run(tree.Root());

  EXPECT_EQ(run.Result, S_OK);
  EXPECT_THAT(run.Recorder.IDs(),
              ElementsAreArray(Concat({Range(302, 307), Range(410, 422), {212, 301}})));
  const auto& f = run.Recorder.Findings;
  EXPECT_EQ(f[6].Text, "WAVE bext - Description : Take 1 of the morning news");
  EXPECT_EQ(f[7].Text, "WAVE bext - Originator : Desk 4");
  EXPECT_EQ(f[8].Text, "WAVE bext - Originator Reference : REF0001");
  EXPECT_EQ(f[9].Text, "WAVE bext - Origination Date : 2017-12-01");
  EXPECT_EQ(f[10].Text, "WAVE bext - Origination Time : 08:30:00");
  EXPECT_EQ(f[11].Text, "WAVE bext - Time Reference Low : 4000000000");
  EXPECT_EQ(f[12].Text, "WAVE bext - Time Reference High : 1");
  EXPECT_EQ(f[13].Text, "WAVE bext - Version : 2");
  // Loudness values print as stored, unsigned: -2300 is 63236.
  EXPECT_EQ(f[14].Text, "WAVE bext - Loudness Value : 63236");
  EXPECT_EQ(f[15].Text, "WAVE bext - Loudness Range : 500");
  EXPECT_EQ(f[16].Text, "WAVE bext - Max True Peak Level : 65436");
  EXPECT_EQ(f[17].Text, "WAVE bext - Max Momentary Loudness : 65535");
  EXPECT_EQ(f[18].Text, "WAVE bext - Max Short Term Loudness : 0");
  // 88200 bytes at 176400 bytes per second.
  EXPECT_EQ(f[20].Text, "WAVE Stream Duration = " + Utf16ToUtf8(SecondsToDurationText(0.5)));
  EXPECT_EQ(f[20].Text, "WAVE Stream Duration = 00:00:00.50");
}

TEST(ConformanceRules, BadOriginationDateAndTimeFollowTheBextLines) {
  BextFields fields;
  fields.Date = "2017-13-01";
  fields.Time = "23:60:00";
  Bytes body = Chunk("fmt ", PcmFormat(1, 8000, 8));
  const size_t bextOffset = 12 + body.size();
  Append(body, Chunk("bext", BextPayload(fields)));
  Append(body, Chunk("cart", CartPayload({})));
  Append(body, Chunk("data", Bytes(16, 0)));
  LoadedTree tree(Riff("WAVE", body));
  ValidatorRun run(tree.Root());

  EXPECT_THAT(run.Recorder.IDs(),
              ElementsAreArray(
                  Concat({Range(302, 307), Range(410, 422), {217, 218}, Range(430, 446), {301}})));
  const auto& f = run.Recorder.Findings;
  EXPECT_EQ(f[19].Text, "Invalid Origination Date in the bext chunk. Offset: 0x" +
                            HexPos(static_cast<int64_t>(bextOffset)) + " .");
  EXPECT_EQ(f[20].Text, "Invalid Origination Time in the bext chunk. Offset: 0x" +
                            HexPos(static_cast<int64_t>(bextOffset)) + " .");
  EXPECT_EQ(f[19].Type, 3);
}

TEST(ConformanceRules, CartLinesAndDateChecks) {
  CartFields fields;
  fields.StartDate = "2020-02-31";  // day not checked against the month
  fields.StartTime = "24:00:00";    // 24 is a valid hour
  fields.EndDate = "2020-00-10";
  fields.EndTime = "9:00:00";  // 7 characters
  Bytes body = Chunk("fmt ", PcmFormat(1, 8000, 8));
  Append(body, Chunk("bext", BextPayload({})));
  const size_t cartOffset = 12 + body.size();
  Append(body, Chunk("cart", CartPayload(fields)));
  LoadedTree tree(Riff("WAVE", body));
  ValidatorRun run(tree.Root());

  EXPECT_THAT(run.Recorder.IDs(),
              ElementsAreArray(
                  Concat({Range(302, 307), Range(410, 422), Range(430, 446), {221, 222, 210}})));
  const auto& f = run.Recorder.Findings;
  EXPECT_EQ(f[19].Text, "WAVE cart - Version : 0101");
  EXPECT_EQ(f[20].Text, "WAVE cart - Title : Morning news");
  EXPECT_EQ(f[27].Text, "WAVE cart - Start Date : 2020-02-31");
  EXPECT_EQ(f[32].Text, "WAVE cart - Producer App Version : 1.0");
  EXPECT_EQ(f[34].Text, "WAVE cart - Level Reference : 32768");
  EXPECT_EQ(f[35].Text, "WAVE cart - URL : http://example.invalid/news");
  const std::string at = "0x" + HexPos(static_cast<int64_t>(cartOffset)) + " .";
  EXPECT_EQ(f[36].Text, "Invalid End Date in the cart chunk. Offset: " + at);
  EXPECT_EQ(f[37].Text, "Invalid End Time in the cart chunk. Offset: " + at);
  EXPECT_EQ(f[38].Text, "data chunk not found in the main RIFF chunk. Offset: 0x00000000 .");
}

TEST(ConformanceRules, AbsencesAreReportedAsFmtBextCartData) {
  LoadedTree tree(Riff("WAVE", Chunk("JUNK", Bytes(4, 0))));
  ValidatorRun run(tree.Root());
  EXPECT_EQ(run.Result, S_OK);
  EXPECT_THAT(run.Recorder.IDs(), ElementsAre(209, 211, 212, 210));
  EXPECT_EQ(run.Recorder.Findings[0].Text,
            "fmt chunk not found in the main RIFF chunk. Offset: 0x00000000 .");
}

TEST(ConformanceRules, AnythingButOneRiffAtTheTopIsASingle207) {
  {
    Bytes file = CanonicalPcm();
    Append(file, Chunk("JUNK", Bytes(6, 0)));
    LoadedTree tree(file);
    ASSERT_EQ(tree.Root()->FSubChunks.size(), 2u);
    ValidatorRun run(tree.Root());
    EXPECT_EQ(run.Result, E_FAIL);
    ASSERT_EQ(run.Recorder.Findings.size(), 1u);
    EXPECT_EQ(run.Recorder.Findings[0].ID, 207);
    EXPECT_EQ(run.Recorder.Findings[0].Type, 3);
    EXPECT_EQ(run.Recorder.Findings[0].Text,
              "Non-RIFF chunk found in the root layer at 0x00000000 .");
  }
  {
    TWAVCommonChunk root;
    ValidatorRun run(&root);  // an empty file
    EXPECT_EQ(run.Result, E_FAIL);
    EXPECT_THAT(run.Recorder.IDs(), ElementsAre(207));
  }
  {
    TWAVCommonChunk root;
    AddNode(root, FOURCC_LIST, 0x10);
    ValidatorRun run(&root);
    EXPECT_EQ(run.Result, E_FAIL);
    ASSERT_EQ(run.Recorder.Findings.size(), 1u);
    EXPECT_EQ(run.Recorder.Findings[0].Text,
              "Non-RIFF chunk found in the root layer at 0x00000010 .");
  }
}

TEST(ConformanceRules, NonWaveFormIsReportedAndNothingElseChecked) {
  TraceCapture trace;
  LoadedTree tree(Riff("AVI ", Chunk("fmt ", PcmFormat(1, 8000, 8))));
  ValidatorRun run(tree.Root());
  EXPECT_EQ(run.Result, S_OK);
  ASSERT_EQ(run.Recorder.Findings.size(), 1u);
  EXPECT_EQ(run.Recorder.Findings[0].ID, 208);
  EXPECT_EQ(run.Recorder.Findings[0].Text,
            "Invalid chunk name. The main RIFF chunk should be of WAV type. Offset: 0x00000000 .");
  EXPECT_TRUE(trace.Contains(
      u"dgn: Error in TWAVRIFFValidator.ValidateWAV - cannot validate first RIFF chunk."));
}

// Builds a RIFF/WAVE tree node by node around one fmt record.
struct FormatCase {
  const char* Name;
  tWAVEFORMATEX Format;
  std::vector<int32_t> Checks;  // the 40x findings expected
};

TEST(ConformanceRules, FormatChecksRaiseOnlyOnZeroValues) {
  const FormatCase cases[] = {
      {"sound PCM", {1, 2, 44100, 176400, 4, 16, 0}, {}},
      {"float without bits", {3, 1, 48000, 192000, 4, 0, 0}, {}},
      {"PCM without bits", {1, 1, 48000, 96000, 2, 0, 0}, {406}},
      {"all zero", {0, 0, 0, 0, 0, 0, 0}, {401, 402, 403, 404, 405}},
      {"no byte rate", {1, 1, 8000, 0, 1, 8, 0}, {404}},
      {"inconsistent but non-zero", {1, 7, 3, 5, 9, 11, 0}, {}},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TWAVCommonChunk root;
    TWAVCommonChunk& riff = AddNode(root, FOURCC_RIFF, 0, FOURCC_WAVE);
    TWAVCommonChunk& fmt = AddNode(riff, FOURCC_fmt, 12);
    fmt.Ffmt = std::make_unique<tWAVEFORMATEX>(c.Format);
    AddNode(riff, FOURCC_bext, 36);
    AddNode(riff, FOURCC_cart, 40);  // no record: one rule-0 finding
    AddNode(riff, FOURCC_data, 44).FSize = 88200;
    ValidatorRun run(&root);

    // The bext node has an empty record: its date and time are findings.
    std::vector<int32_t> expected =
        Concat({Range(302, 307), c.Checks, Range(410, 422), {217, 218, 0}});
    if (static_cast<int32_t>(c.Format.nAvgBytesPerSec) > 0) expected.push_back(301);
    EXPECT_THAT(run.Recorder.IDs(), ElementsAreArray(expected));
    for (const Finding& f : run.Recorder.Findings)
      if (f.ID >= 401 && f.ID <= 406) {
        EXPECT_EQ(f.Type, 3);
        EXPECT_THAT(f.Text, ::testing::EndsWith("in the fmt chunk. Offset: 0x0000000C ."));
      }
  }
}

TEST(ConformanceRules, FormatMessagesTextAndNumberForms) {
  TWAVCommonChunk root;
  TWAVCommonChunk& riff = AddNode(root, FOURCC_RIFF, 0, FOURCC_WAVE);
  TWAVCommonChunk& fmt = AddNode(riff, FOURCC_fmt, 12);
  // 32-bit fields print signed, 16-bit fields unsigned.
  fmt.Ffmt = std::make_unique<tWAVEFORMATEX>(
      tWAVEFORMATEX{0xFFFE, 65535, 0x80000000u, 0xFFFFFFFFu, 40000, 0, 22});
  ValidatorRun run(&root);
  const auto& f = run.Recorder.Findings;
  ASSERT_GE(f.size(), 6u);
  EXPECT_EQ(f[0].Text, "WAVE fmt - FormatTag = 65534");
  EXPECT_EQ(f[1].Text, "WAVE fmt - Channels = 65535");
  EXPECT_EQ(f[2].Text, "WAVE fmt - SamplesPerSec = -2147483648");
  EXPECT_EQ(f[3].Text, "WAVE fmt - AvgBytesPerSec = -1");
  EXPECT_EQ(f[4].Text, "WAVE fmt - BlockAlign = 40000");
  EXPECT_EQ(f[5].Text, "WAVE fmt - BitsPerSample = 0");
}

TEST(ConformanceRules, DurationNeedsPositiveSignedByteRate) {
  struct Case {
    uint32_t Rate;
    int64_t DataSize;
    bool Duration;
  } cases[] = {
      {176400, 88200, true},       {176400, 0, false},
      {0x80000000u, 88200, false},  // negative as a signed rate
      {1, 0x100000000LL, false},    // low 32 bits of the size are 0
      {1, 0x100000002LL, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Rate);
    TWAVCommonChunk root;
    TWAVCommonChunk& riff = AddNode(root, FOURCC_RIFF, 0, FOURCC_WAVE);
    AddNode(riff, FOURCC_fmt, 12).Ffmt =
        std::make_unique<tWAVEFORMATEX>(tWAVEFORMATEX{1, 2, 44100, c.Rate, 4, 16, 0});
    AddNode(riff, FOURCC_data, 36).FSize = c.DataSize;
    ValidatorRun run(&root);
    EXPECT_EQ(run.Recorder.IDs().back() == 301, c.Duration);
  }
}

TEST(ConformanceRules, EveryFmtChunkIsCheckedAndTheLastRateCounts) {
  Bytes body = Chunk("fmt ", PcmFormat(1, 8000, 8));     // 8000 bytes per second
  Append(body, Chunk("fmt ", PcmFormat(2, 44100, 16)));  // 176400
  Append(body, Chunk("data", Bytes(88200, 0)));
  LoadedTree tree(Riff("WAVE", body));
  ValidatorRun run(tree.Root());
  EXPECT_THAT(run.Recorder.IDs(),
              ElementsAreArray(Concat({Range(302, 307), Range(302, 307), {211, 212, 301}})));
  EXPECT_EQ(run.Recorder.Findings[0].Text, "WAVE fmt - FormatTag = 1");
  EXPECT_EQ(run.Recorder.Findings[7].Text, "WAVE fmt - Channels = 2");
  EXPECT_EQ(run.Recorder.Findings.back().Text, "WAVE Stream Duration = 00:00:00.50");
}

TEST(ConformanceRules, MissingRecordsGiveRuleZeroAndTheWalkGoesOn) {
  TraceCapture trace;
  TWAVCommonChunk root;
  TWAVCommonChunk& riff = AddNode(root, FOURCC_RIFF, 0, FOURCC_WAVE);
  AddNode(riff, FOURCC_fmt, 12);   // record could not be read
  AddNode(riff, FOURCC_cart, 20);  // same
  AddNode(riff, FOURCC_fact, 28);
  AddNode(riff, FOURCC_data, 40).FSize = 1000;
  ValidatorRun run(&root);

  EXPECT_EQ(run.Result, S_OK);
  const auto& f = run.Recorder.Findings;
  ASSERT_EQ(f.size(), 3u);  // no 301: the fmt chunk gave no byte rate
  EXPECT_EQ(f[0].ID, 0);
  EXPECT_EQ(f[0].Type, 3);
  EXPECT_EQ(f[0].Text, "Invalid fmt chunk. Offset: 0x0000000C .");
  EXPECT_EQ(f[1].ID, 0);
  EXPECT_EQ(f[1].Text, "Invalid cart chunk. Offset: 0x00000014 .");
  EXPECT_EQ(f[2].ID, 211);
  EXPECT_TRUE(trace.Contains(
      u"dgn: Error in TWAVRIFFValidator.ValidateRIFFChunk - cannot validate fmt chunk."));
  EXPECT_TRUE(trace.Contains(
      u"dgn: Error in TWAVRIFFValidator.ValidateRIFFChunk - cannot validate cart chunk."));
  EXPECT_TRUE(trace.Contains(u"fact"));  // other chunks are only traced
}

TEST(ConformanceRules, NestedChunksAreNotVisited) {
  Bytes inner = Chunk("fmt ", PcmFormat(1, 8000, 8));
  Append(inner, Chunk("data", Bytes(8, 0)));
  Bytes body = Riff("WAVE", inner);  // a RIFF form inside the main one
  LoadedTree tree(Riff("WAVE", body));
  ValidatorRun run(tree.Root());
  EXPECT_THAT(run.Recorder.IDs(), ElementsAre(209, 211, 212, 210));
}

TEST(ConformanceRules, WithoutReportFunctionOrRoot) {
  LoadedTree tree(CanonicalPcm());
  TWAVRIFFValidator validator;
  EXPECT_EQ(validator.ValidateWAV(tree.Root()), S_OK);  // findings dropped
  EXPECT_EQ(validator.Report(4, 1, 302, u"x"), E_FAIL);

  TraceCapture trace;
  EXPECT_EQ(validator.ValidateWAV(nullptr), E_FAIL);
  EXPECT_TRUE(trace.Contains(
      u"dgn: Error in TWAVRIFFValidator.ValidateWAV - WAVCommonChunk not initialized."));
}

TEST(ConformanceRules, ReportPassesTheCallbackResultAndRunsAgainAfresh) {
  LoadedTree tree(CanonicalPcm());
  TWAVRIFFValidator validator;
  int calls = 0;
  validator.SetReportFunction([&](int32_t, int32_t, const char16_t*, int32_t, int32_t stream) {
    ++calls;
    EXPECT_EQ(stream, -1);
    return S_FALSE;
  });
  EXPECT_EQ(validator.Report(4, 1, 7, u"x"), S_FALSE);
  calls = 0;
  EXPECT_EQ(validator.ValidateWAV(tree.Root()), S_OK);
  EXPECT_EQ(validator.ValidateWAV(tree.Root()), S_OK);
  EXPECT_EQ(calls, 16);
}

TEST(ConformanceRules, ACallbackThatThrowsDoesNotStopTheWalk) {
  LoadedTree tree(CanonicalPcm());
  TWAVRIFFValidator validator;
  std::vector<int32_t> ids;
  validator.SetReportFunction([&](int32_t, int32_t, const char16_t*, int32_t id, int32_t) {
    ids.push_back(id);
    if (id == 303) throw std::runtime_error("sink failed");
    return S_OK;
  });
  TraceCapture trace;
  EXPECT_EQ(validator.ValidateWAV(tree.Root()), S_OK);
  EXPECT_THAT(ids, ElementsAre(302, 303, 304, 305, 306, 307, 211, 212));
  EXPECT_TRUE(trace.Contains(u"dgn: Error in TWAVRIFFValidator.Report call..."));
}

struct TextCase {
  std::string Text;
  bool Valid;
};

TEST(ConformanceRules, DateTexts) {
  const TextCase cases[] = {
      {"2017-12-01", true},   {"2017x12y01", true},  {"2017-02-31", true},  {"0000-01-01", true},
      {"9999-12-31", true},   {"2017/02/31", true},  {"2017-13-01", false}, {"2017-00-01", false},
      {"2017-12-00", false},  {"2017-12-32", false}, {"17-12-01", false},   {"", false},
      {"2017-12-011", false}, {"20a7-12-01", false}, {"2017-1b-01", false}, {" 017-12-01", false},
      {"+017-12-01", false},  {"2017--1-01", false},
  };
  for (const TextCase& c : cases)
    EXPECT_EQ(TWAVRIFFValidator::IsValidDateText(c.Text) != 0, c.Valid) << '"' << c.Text << '"';
}

TEST(ConformanceRules, TimeTexts) {
  const TextCase cases[] = {
      {"00:00:00", true},  {"24:00:00", true},   {"23:59:59", true},  {"24:59:59", true},
      {"12x30y45", true},  {"25:00:00", false},  {"23:60:00", false}, {"23:00:60", false},
      {"9:00:00", false},  {"09:00:000", false}, {"", false},         {"ab:00:00", false},
      {"-1:00:00", false}, {"00:0 :00", false},
  };
  for (const TextCase& c : cases)
    EXPECT_EQ(TWAVRIFFValidator::IsValidTimeText(c.Text) != 0, c.Valid) << '"' << c.Text << '"';
}

TEST(ConformanceRules, EmptyOrShortDateFieldsAreFindings) {
  BextFields fields;
  fields.Date = "";         // first byte NUL
  fields.Time = "08:30:0";  // 7 characters
  Bytes body = Chunk("fmt ", PcmFormat(1, 8000, 8));
  Append(body, Chunk("bext", BextPayload(fields)));
  LoadedTree tree(Riff("WAVE", body));
  ValidatorRun run(tree.Root());
  const auto ids = run.Recorder.IDs();
  EXPECT_NE(std::find(ids.begin(), ids.end(), 217), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), 218), ids.end());
  EXPECT_EQ(run.Recorder.Findings[9].Text, "WAVE bext - Origination Date : ");
}

}  // namespace
}  // namespace riffo
