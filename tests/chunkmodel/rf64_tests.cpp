// RF64/BW64 forms: sizes from the ds64 chunk, the ds64 record, the
// extensible fmt record, and malformed 64-bit files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "chunkmodel/WAVCommonChunk.h"
#include "chunkmodel/WAVHelpers.h"
#include "platform/Text.h"
#include "support/FindingRecorder.h"
#include "support/RiffBuilder.h"
#include "support/TempFolder.h"

using namespace riffo;
using namespace riffo::test;
using ::testing::ElementsAre;

namespace {

// ds64, fmt, a 'big1' chunk sized by the table, and data sized by dataSize:
// all in memory, every size exact.
Bytes SmallRf64(const std::string& formId) {
  const Bytes big(10, 0x11);
  const Bytes pcm(8, 0);
  Bytes rest = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(rest, ChunkWithSize("big1", 0xFFFFFFFF, big));
  Append(rest, ChunkWithSize("data", 0xFFFFFFFF, pcm));
  // 4 (WAVE) + ds64 chunk (8 + 28 + 12) + the rest.
  const uint64_t riffSize = 4 + 48 + rest.size();
  Bytes body = Chunk("ds64", Ds64(riffSize, pcm.size(), 2, {{"big1", big.size()}}));
  Append(body, rest);
  return Rf64(body, formId);
}

}  // namespace

TEST(Rf64Loader, SizesComeFromTheDs64Chunk) {
  for (const char* id : {"RF64", "BW64"}) {
    SCOPED_TRACE(id);
    auto l = Load(SmallRf64(id));
    ASSERT_EQ(l->Result, S_OK);
    EXPECT_TRUE(l->Recorder.Findings.empty());
    const TWAVCommonChunk& form = l->Form();
    EXPECT_EQ(FourCCToText(form.FName), Utf8ToUtf16(id));
    EXPECT_EQ(form.FType, FOURCC_WAVE);
    EXPECT_EQ(form.FSize, l->Root->FSize - 8);
    EXPECT_EQ(form.FSizeSource, TSizeSource::Ds64);
    ASSERT_EQ(form.FSubChunks.size(), 4u);
    const TWAVCommonChunk& ds64 = l->Child(0);
    ASSERT_TRUE(ds64.Fds64);
    EXPECT_EQ(ds64.Fds64->dataSize, 8u);
    EXPECT_EQ(ds64.Fds64->sampleCount, 2u);
    EXPECT_EQ(ds64.Fds64->tableLength, 1u);
    ASSERT_EQ(ds64.Fds64->Table.size(), 1u);
    EXPECT_EQ(l->Child(1).FSizeSource, TSizeSource::Field);
    EXPECT_EQ(l->Child(2).FSize, 10);
    EXPECT_EQ(l->Child(2).FSizeSource, TSizeSource::Ds64);
    EXPECT_EQ(l->Child(3).FName, FOURCC_data);
    EXPECT_EQ(l->Child(3).FSize, 8);
    EXPECT_EQ(l->Child(3).FSizeSource, TSizeSource::Ds64);
  }
}

TEST(Rf64Loader, SixGigabyteSparseFileLoadsWithItsTrueSizes) {
  TempFolder folder("rf64");
  const uint64_t dataSize = 6ull << 30;
  const Bytes head = Rf64Head(dataSize, PcmFormat(2, 48000, 16));
  const std::string path = folder.File("six-gigabytes.wav");
  WriteSparseFile(path, head, head.size() + dataSize);
  ASSERT_EQ(IsWAVEFile(Utf8ToUtf16(path)), 1);

  TWAVCommonChunk root;
  FindingRecorder recorder;
  root.SetReportFunction(recorder.Function());
  ASSERT_EQ(root.LoadFile(Utf8ToUtf16(path)), S_OK);
  EXPECT_TRUE(recorder.Findings.empty());
  EXPECT_EQ(root.FSize, static_cast<int64_t>(head.size() + dataSize));
  const TWAVCommonChunk& form = *root.FSubChunks.at(0);
  EXPECT_EQ(form.FSize, root.FSize - 8);
  const TWAVCommonChunk& data = *form.FSubChunks.at(2);
  EXPECT_EQ(data.FName, FOURCC_data);
  EXPECT_EQ(data.FOffset, static_cast<int64_t>(head.size()) - 8);
  EXPECT_EQ(data.FSize, static_cast<int64_t>(dataSize));
}

TEST(Rf64Loader, ExtensibleFormatRecord) {
  auto l = Load(Riff("WAVE", Chunk("fmt ", ExtensibleFormat(6, 48000, 32, 24, 0x3F, 1))));
  const tWAVEFORMATEX& f = *l->Child(0).Ffmt;
  EXPECT_TRUE(f.HasExtension);
  EXPECT_EQ(f.wValidBitsPerSample, 24);
  EXPECT_EQ(f.dwChannelMask, 0x3Fu);
  EXPECT_EQ(f.SubFormat[0], 1);
  EXPECT_EQ(f.SubFormat[15], 0x71);

  // cbSize 22 promised, but the chunk ends after cbSize: no extension, no finding.
  Bytes cut = ExtensibleFormat(2, 48000, 24, 24, 3, 1);
  cut.resize(18);
  auto shortChunk = Load(Riff("WAVE", Chunk("fmt ", cut)));
  EXPECT_FALSE(shortChunk->Child(0).Ffmt->HasExtension);
  EXPECT_TRUE(shortChunk->Recorder.Findings.empty());

  // The chunk claims the whole extension but the file ends inside it: the
  // base record is kept, the extension is not.
  Bytes partial = ExtensibleFormat(2, 48000, 24, 24, 3, 1);
  partial.resize(30);
  auto endsInside = Load(Riff("WAVE", ChunkWithSize("fmt ", 40, partial)));
  ASSERT_NE(endsInside->Child(0).Ffmt, nullptr);
  EXPECT_EQ(endsInside->Child(0).Ffmt->wFormatTag, 0xFFFE);
  EXPECT_EQ(endsInside->Child(0).Ffmt->cbSize, 22);
  EXPECT_FALSE(endsInside->Child(0).Ffmt->HasExtension);
}

TEST(Rf64Loader, MalformedDs64ChunksAreFindingsNotCrashes) {
  const Bytes fmt = Chunk("fmt ", PcmFormat(2, 48000, 16));
  struct Case {
    const char* Name;
    Bytes File;
    std::vector<int32_t> Findings;
    bool HasRecord;
    size_t TableEntries;
  };
  Bytes shortDs64 = Ds64(0, 0, 0);
  shortDs64.resize(20);
  // Three entries claimed, room for one.
  Bytes overrun = Ds64(0, 0, 0, {{"big1", 10}}, 3);
  // Four billion entries claimed: nothing is allocated by that number.
  Bytes millions = Ds64(0, 0, 0, {{"big1", 10}, {"big2", 20}}, 0xFFFFFFFF);
  // 2^64 - 1 and 2^63 bytes: sizes no file has.
  Bytes huge = Ds64(~0ull, 1ull << 63, 0);
  // riffSize is made right unless the case is about it.
  const auto form = [&](const Bytes& ds64, const Bytes& tail = {}) {
    Bytes body = Chunk("ds64", ds64);
    Append(body, fmt);
    Append(body, tail);
    Bytes file = Rf64(body);
    if (ds64.size() >= 8 && ds64[0] == 0)
      for (int i = 0; i < 8; ++i) file[20 + i] = static_cast<uint8_t>((file.size() - 8) >> (8 * i));
    return file;
  };
  const Bytes unsizedData = ChunkWithSize("data", 0xFFFFFFFF, Bytes(4, 0));
  const Case cases[] = {
      // The form's size stays 0xFFFFFFFF (odd, so padded): the walk runs
      // into the end, and the root finds the form past its own end.
      {"shorter than the fixed part", form(shortDs64), {227, 201, 204, 205}, false, 0},
      {"table runs past the chunk", form(overrun), {227}, true, 1},
      {"millions of entries", form(millions), {227}, true, 2},
      // The form and data, each capped, exceed the file and their parents.
      {"sizes beyond any file", form(huge, unsizedData), {204, 204, 205, 205}, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto l = Load(c.File);
    EXPECT_EQ(l->Result, S_OK);
    EXPECT_EQ(l->Recorder.IDs(), c.Findings);
    const TWAVCommonChunk& ds64 = l->Child(0);
    ASSERT_EQ(static_cast<bool>(ds64.Fds64), c.HasRecord);
    if (c.HasRecord) {
      EXPECT_EQ(ds64.Fds64->Table.size(), c.TableEntries);
    }
    // Whatever the record says, sizes stay far from overflowing offset sums.
    for (const auto& chunk : l->Form().FSubChunks) EXPECT_LE(chunk->FSize, MAX_CHUNK_SIZE);
    EXPECT_LE(l->Form().FSize, MAX_CHUNK_SIZE);
  }
  auto shortOne = Load(form(shortDs64));
  EXPECT_EQ(shortOne->Recorder.Findings[0].Text,
            "Incomplete ds64 chunk. Chunk offset 0x0000000C .");
  auto overrunOne = Load(form(overrun));
  EXPECT_EQ(overrunOne->Recorder.Findings[0].Text,
            "ds64 chunk table runs past the chunk. Chunk offset 0x0000000C .");
}

TEST(Rf64Loader, PlaceholderSizesWithoutAReplacementAreMarked) {
  // No table entry for 'big1', and no ds64 at all for the second file.
  Bytes body = Chunk("ds64", Ds64(100, 0, 0));
  Append(body, ChunkWithSize("big1", 0xFFFFFFFF, Bytes(4, 0)));
  auto noEntry = Load(Rf64(body));
  EXPECT_EQ(noEntry->Child(1).FSizeSource, TSizeSource::Unresolved);
  EXPECT_EQ(noEntry->Child(1).FSize, 0xFFFFFFFFll);

  auto noDs64 = Load(Rf64(Chunk("fmt ", PcmFormat(2, 48000, 16))));
  EXPECT_EQ(noDs64->Form().FSizeSource, TSizeSource::Unresolved);
  EXPECT_THAT(noDs64->Recorder.IDs(), ElementsAre(201, 204, 205));
}

TEST(Rf64Loader, Rf64InsideRiffIsAnOrdinaryChunk) {
  // Nested, RF64 is a leaf; its 0xFFFFFFFF is taken as it stands, and a ds64
  // chunk in a RIFF form is not decoded.
  Bytes inner = Rf64(Chunk("ds64", Ds64(1000, 0, 0)));
  Bytes body = Chunk("ds64", Ds64(1000, 0, 0));
  Append(body, inner);
  auto l = Load(Riff("WAVE", body));
  ASSERT_EQ(l->Form().FSubChunks.size(), 2u);
  EXPECT_FALSE(l->Child(0).Fds64);
  EXPECT_TRUE(l->Child(1).FSubChunks.empty());
  EXPECT_EQ(l->Child(1).FType, 0u);
  EXPECT_EQ(l->Child(1).FSize, 0xFFFFFFFFll);
  EXPECT_EQ(l->Child(1).FSizeSource, TSizeSource::Field);
  EXPECT_THAT(l->Recorder.IDs(), ElementsAre(204, 205));
}

TEST(IsWAVEFileTest, AcceptsTheSixtyFourBitForms) {
  TempFolder folder("iswave");
  const struct {
    const char* Id;
    int32_t Expected;
  } cases[] = {{"RF64", 1}, {"BW64", 1}, {"RIFX", 0}, {"RF65", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Id);
    Bytes file = SmallRf64("RF64");
    std::copy_n(c.Id, 4, file.begin());
    const std::string path = folder.File("form.wav");
    WriteFileBytes(path, file);
    EXPECT_EQ(IsWAVEFile(Utf8ToUtf16(path)), c.Expected);
  }
}
