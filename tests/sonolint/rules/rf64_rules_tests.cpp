// The RF64/BW64 rules 229 to 232 over files built in code, and a sparse
// file over 4 GiB that passes them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chunkmodel/WAVHelpers.h"
#include "platform/Text.h"
#include "sonolint/WAVRIFFValidator.h"
#include "support/TempFolder.h"
#include "tests/sonolint/rules/RuleFixtures.h"

namespace riffo {
namespace {

using namespace riffo::rulestest;
using test::ChunkWithSize;
using test::Ds64;
using test::Rf64;

// The 64-bit rules' findings of a validator run over a loaded tree.
std::vector<Finding> Rf64Findings(const TWAVCommonChunk* root) {
  FindingRecorder recorder;
  TWAVRIFFValidator validator;
  validator.SetReportFunction(recorder.Function());
  EXPECT_EQ(validator.ValidateWAV(root), S_OK);
  std::vector<Finding> found;
  for (const Finding& f : recorder.Findings)
    if (f.ID >= 229 && f.ID <= 232) found.push_back(f);
  return found;
}

// An RF64 form whose ds64 riffSize, when ds64 is the first chunk and the
// recorded value is 0, is set to what the file holds.
Bytes Form(const Bytes& body, const std::string& id = "RF64") {
  Bytes file = Rf64(body, id);
  const bool ds64First = std::string(file.begin() + 12, file.begin() + 16) == "ds64";
  if (ds64First &&
      std::all_of(file.begin() + 20, file.begin() + 28, [](uint8_t b) { return b == 0; }))
    for (int i = 0; i < 8; ++i) file[20 + i] = static_cast<uint8_t>((file.size() - 8) >> (8 * i));
  return file;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) Append(out, p);
  return out;
}

TEST(Rf64Rules, EachConditionRaisesItsRule) {
  const Bytes fmt = Chunk("fmt ", PcmFormat(2, 48000, 16));
  const Bytes pcm(16, 0);
  const Bytes unsizedData = ChunkWithSize("data", 0xFFFFFFFF, pcm);
  struct Case {
    const char* Name;
    Bytes File;
    std::vector<int32_t> IDs;
  };
  const Case cases[] = {
      {"well formed, small", Form(Join({Chunk("ds64", Ds64(0, 16, 4)), fmt, unsizedData})), {232}},
      {"BW64 too", Form(Join({Chunk("ds64", Ds64(0, 16, 4)), fmt, unsizedData}), "BW64"), {232}},
      {"no ds64", Form(Join({fmt, Chunk("data", pcm)})), {229, 230, 232}},
      {"ds64 after fmt",
       Form(Join({fmt, Chunk("ds64", Ds64(88, 16, 4)), unsizedData})),
       {229, 232}},
      {"no table entry",
       Form(Join({Chunk("ds64", Ds64(0, 16, 4)), fmt, ChunkWithSize("big1", 0xFFFFFFFF, pcm)})),
       {230, 232}},
      {"riffSize beyond the file",
       Form(Join({Chunk("ds64", Ds64(1000, 16, 4)), fmt, unsizedData})),
       {231, 232}},
      {"dataSize beyond the file",
       Form(Join({Chunk("ds64", Ds64(0, 5000, 4)), fmt, unsizedData})),
       {231, 232}},
      {"dataSize against a real size field",
       Form(Join({Chunk("ds64", Ds64(0, 20, 4)), fmt, Chunk("data", pcm)})),
       {231, 232}},
      {"a RIFF form is not looked at", Riff("WAVE", Join({fmt, unsizedData})), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    LoadedTree tree(c.File);
    std::vector<int32_t> ids;
    for (const Finding& f : Rf64Findings(tree.Root())) ids.push_back(f.ID);
    EXPECT_EQ(ids, c.IDs);
  }
}

TEST(Rf64Rules, MessagesCarryTheChunkAndBothValues) {
  const Bytes fmt = Chunk("fmt ", PcmFormat(2, 48000, 16));
  LoadedTree noDs64(Form(Join({fmt, ChunkWithSize("data", 0xFFFFFFFF, Bytes(16, 0))})));
  const std::vector<Finding> first = Rf64Findings(noDs64.Root());
  ASSERT_EQ(first.size(), 4u);
  EXPECT_EQ(first[0].Text, "ds64 chunk not found in the main RF64 chunk. Offset: 0x00000000 .");
  EXPECT_EQ(first[0].Type, REPORT_TYPE_ERROR);
  EXPECT_EQ(
      first[1].Text,
      "Chunk size 0xFFFFFFFF of RF64 has no 64-bit size in the ds64 chunk. Offset: 0x00000000 .");
  EXPECT_EQ(
      first[2].Text,
      "Chunk size 0xFFFFFFFF of data has no 64-bit size in the ds64 chunk. Offset: 0x00000024 .");
  EXPECT_EQ(
      first[3].Text,
      "RF64 form used for a file of 60 bytes that a RIFF form would hold. Offset: 0x00000000 .");
  EXPECT_EQ(first[3].Type, REPORT_TYPE_INFO);

  Bytes misfit = Form(Join({Chunk("ds64", Ds64(1000, 5000, 4)), fmt,
                            ChunkWithSize("data", 0xFFFFFFFF, Bytes(16, 0))}),
                      "BW64");
  LoadedTree sizes(misfit);
  const std::vector<Finding> second = Rf64Findings(sizes.Root());
  ASSERT_EQ(second.size(), 3u);
  // 96 bytes: the form holds 88; data's header ends at 80, 16 bytes follow.
  EXPECT_EQ(
      second[0].Text,
      "RIFF size in the ds64 chunk (1000) disagrees with the file (88). Offset: 0x00000000 .");
  EXPECT_EQ(
      second[1].Text,
      "Data size in the ds64 chunk (5000) disagrees with the file (16). Offset: 0x00000048 .");
}

TEST(Rf64Rules, SparseFileOverFourGigabytesPassesAndHasItsDuration) {
  test::TempFolder folder("rf64-rules");
  const uint64_t dataSize = 6ull << 30;  // 33554.432 s at 192000 bytes per second
  const Bytes head = test::Rf64Head(dataSize, PcmFormat(2, 48000, 16), "BW64");
  const std::string path = folder.File("six-gigabytes.wav");
  test::WriteSparseFile(path, head, head.size() + dataSize);
  TWAVCommonChunk root;
  ASSERT_EQ(root.LoadFile(Utf8ToUtf16(path)), S_OK);
  FindingRecorder recorder;
  TWAVRIFFValidator validator;
  validator.SetReportFunction(recorder.Function());
  ASSERT_EQ(validator.ValidateWAV(&root), S_OK);
  for (const Finding& f : recorder.Findings) EXPECT_TRUE(f.ID < 229 || f.ID > 232) << f.Text;
  ASSERT_FALSE(recorder.Findings.empty());
  EXPECT_EQ(recorder.Findings.back().ID, 301);
  EXPECT_EQ(recorder.Findings.back().Text,
            "WAVE Stream Duration = " + Utf16ToUtf8(SecondsToDurationText(33554.432)));
}

}  // namespace
}  // namespace riffo
