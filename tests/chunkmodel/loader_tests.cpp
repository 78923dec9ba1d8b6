// The RIFF walk: tree shape, positions, findings 201 to 205 and 228, the
// bounds of a load and the searches.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "chunkmodel/WAVCommonChunk.h"
#include "platform/DebugTrace.h"
#include "platform/Text.h"
#include "support/FindingRecorder.h"
#include "support/RiffBuilder.h"
#include "support/TempFolder.h"

using namespace riffo;
using namespace riffo::test;
using ::testing::ElementsAre;

namespace {

// The files these tests write, in one folder removed when the tests end.
std::string TempPath(const std::string& name) {
  static const test::TempFolder folder("loader");
  return folder.File(name);
}

std::u16string WriteFile(const std::string& name, const Bytes& bytes) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return Utf8ToUtf16(path);
}

}  // namespace

TEST(Loader, CanonicalPcmFileGivesRootRiffFmtData) {
  auto l = Load(CanonicalPcm());
  ASSERT_EQ(l->Result, S_OK);
  const TWAVCommonChunk& root = *l->Root;
  EXPECT_EQ(root.FName, 0u);
  EXPECT_EQ(root.FSize, 44);
  ASSERT_EQ(root.FSubChunks.size(), 1u);
  const TWAVCommonChunk& riff = *root.FSubChunks[0];
  EXPECT_EQ(riff.FName, FOURCC_RIFF);
  EXPECT_EQ(riff.FType, FOURCC_WAVE);
  EXPECT_EQ(riff.FSize, 36);
  EXPECT_EQ(riff.FOffset, 0);
  EXPECT_EQ(riff.FOwner, &root);
  ASSERT_EQ(riff.FSubChunks.size(), 2u);
  EXPECT_EQ(riff.FSubChunks[0]->FName, FOURCC_fmt);
  EXPECT_EQ(riff.FSubChunks[0]->FOffset, 12);
  EXPECT_EQ(riff.FSubChunks[1]->FName, FOURCC_data);
  EXPECT_EQ(riff.FSubChunks[1]->FOffset, 36);
  EXPECT_TRUE(l->Recorder.Findings.empty());
}

TEST(Loader, RiffSizeBeyondTheFileReportsEachBoundaryOnce) {
  Bytes file = CanonicalPcm();
  file[4] = 36 + 100;  // the RIFF size field claims 100 bytes that are not there
  auto l = Load(file);
  ASSERT_EQ(l->Result, S_OK);
  const auto& f = l->Recorder.Findings;
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].ID, 204);
  EXPECT_EQ(f[0].Text, "Incomplete chunk RIFF at 0x0000000C . Chunk size exceeds the file.");
  EXPECT_EQ(f[1].ID, 201);
  EXPECT_EQ(f[1].Text, "Cannot read chunk name from file. End of file reached at 0x0000002C .");
  EXPECT_EQ(f[2].ID, 205);
  // The root notices on its next turn, after seeking behind the claimed end.
  EXPECT_EQ(f[2].Text,
            "Corrupted chunk      at 0x00000090 . Last chunk exceeds the parent chunk boundaries.");
  for (const auto& finding : f) {
    EXPECT_EQ(finding.Module, 4);
    EXPECT_EQ(finding.Type, 3);
    EXPECT_EQ(finding.Stream, -1);
  }
  // Everything read before the damage stays in the tree.
  EXPECT_EQ(l->Root->FSubChunks[0]->FSubChunks.size(), 2u);
}

TEST(Loader, OddSizedChunkIsFollowedByItsPadByte) {
  Bytes body = Chunk("fmt ", PcmFormat(1, 8000, 8));
  Append(body, Chunk("odd1", {1, 2, 3}));  // padded to 4
  Append(body, Chunk("data", {}));
  auto l = Load(Riff("WAVE", body));
  const auto& riff = *l->Root->FSubChunks[0];
  ASSERT_EQ(riff.FSubChunks.size(), 3u);
  EXPECT_EQ(riff.FSubChunks[1]->FSize, 3);
  EXPECT_EQ(riff.FSubChunks[2]->FOffset, riff.FSubChunks[1]->FOffset + 8 + 4);
  EXPECT_TRUE(l->Recorder.Findings.empty());
}

TEST(Loader, MissingPadByteMakesTheNextHeaderReadOneByteLate) {
  Bytes body = Chunk("odd1", {1, 2, 3}, /*pad=*/false);
  Append(body, Chunk("data", {}));
  auto l = Load(Riff("WAVE", body));
  const auto& riff = *l->Root->FSubChunks[0];
  ASSERT_EQ(riff.FSubChunks.size(), 1u);
  // The loader skipped the byte it expected as padding and lost track: the
  // next header is read from the middle of "data" and runs into the end; the
  // odd RIFF size then makes the root skip a pad byte past the end too.
  EXPECT_THAT(l->Recorder.IDs(), ElementsAre(202, 205));
}

TEST(Loader, ListAndDataAreLeaves) {
  Bytes list;
  AppendText(list, "INFO");
  Append(list, Chunk("INAM", {'a', 'b', 0, 0}));
  Bytes body = Chunk("fmt ", PcmFormat(2, 44100, 16));
  Append(body, Chunk("LIST", list));
  Append(body, Chunk("data", {0, 0, 0, 0}));
  auto l = Load(Riff("WAVE", body));
  const auto& riff = *l->Root->FSubChunks[0];
  ASSERT_EQ(riff.FSubChunks.size(), 3u);
  EXPECT_EQ(riff.FSubChunks[1]->FName, FOURCC_LIST);
  EXPECT_EQ(riff.FSubChunks[1]->FType, 0u);
  EXPECT_TRUE(riff.FSubChunks[1]->FSubChunks.empty());
  EXPECT_EQ(riff.FSubChunks[1]->FSize, static_cast<int64_t>(list.size()));
}

TEST(Loader, ShortFilesAndEmptyFiles) {
  struct Case {
    const char* Name;
    Bytes File;
    std::vector<int32_t> Findings;
  };
  const Case cases[] = {
      {"empty", {}, {}},
      {"five bytes", {'R', 'I', 'F', 'F', 0}, {202}},
      {"three bytes", {'R', 'I', 'F'}, {201}},
      {"riff without form type", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A'}, {203}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto l = Load(c.File);
    EXPECT_EQ(l->Result, S_OK);
    EXPECT_TRUE(l->Root->FSubChunks.empty());
    EXPECT_EQ(l->Recorder.IDs(), c.Findings);
  }
}

TEST(Loader, BytesBehindTheRiffChunkAreFurtherTopLevelChunks) {
  Bytes file = CanonicalPcm();
  Append(file, Chunk("junk", {1, 2}));
  Append(file, Bytes{'x', 'y'});  // fewer than 8 bytes: the next header cannot be read
  auto l = Load(file);
  ASSERT_EQ(l->Root->FSubChunks.size(), 2u);
  EXPECT_EQ(l->Root->FSubChunks[1]->FOffset, 44);
  EXPECT_EQ(l->Recorder.IDs(), std::vector<int32_t>{201});
}

TEST(Loader, ZeroSizeAndHugeSizeFields) {
  Bytes body = Chunk("zero", {});
  Append(body, ChunkWithSize("huge", 0xFFFFFFFFu, {}));
  auto l = Load(Riff("WAVE", body));
  const auto& riff = *l->Root->FSubChunks[0];
  ASSERT_EQ(riff.FSubChunks.size(), 2u);
  EXPECT_EQ(riff.FSubChunks[0]->FSize, 0);
  EXPECT_EQ(riff.FSubChunks[1]->FOffset, 20);
  EXPECT_EQ(riff.FSubChunks[1]->FSize, 4294967295LL);
  EXPECT_THAT(l->Recorder.IDs(), ElementsAre(204, 205));
}

TEST(Loader, RiffSizeBelowFourReportsCorruptionAtOnce) {
  Bytes file = {'R', 'I', 'F', 'F', 2, 0, 0, 0, 'W', 'A', 'V', 'E'};
  auto l = Load(file);
  ASSERT_EQ(l->Root->FSubChunks.size(), 1u);
  EXPECT_THAT(l->Recorder.IDs(), ::testing::Contains(205));
  EXPECT_EQ(l->Recorder.Findings[0].Text,
            "Corrupted chunk RIFF at 0x0000000C . Last chunk exceeds the parent chunk boundaries.");
}

TEST(Loader, NestedRiffIsAContainerAndDepthIsBounded) {
  Bytes inner = Riff("WAVE", Chunk("bext", Bytes(602, 0)));
  auto l = Load(Riff("WAVE", inner));
  const auto& outer = *l->Root->FSubChunks[0];
  ASSERT_EQ(outer.FSubChunks.size(), 1u);
  ASSERT_EQ(outer.FSubChunks[0]->FName, FOURCC_RIFF);
  EXPECT_EQ(outer.FSubChunks[0]->FSubChunks.size(), 1u);

  // A crafted file of 5000 nested RIFF headers: the walk stays bounded.
  Bytes deep;
  for (int i = 0; i < 5000; ++i) {
    Bytes wrapped = Riff("WAVE", deep);
    deep.swap(wrapped);
  }
  TraceCapture trace;
  auto d = Load(deep);
  EXPECT_EQ(d->Result, S_OK);
  int depth = 0;
  for (const TWAVCommonChunk* node = d->Root.get(); !node->FSubChunks.empty();
       node = node->FSubChunks[0].get())
    ++depth;
  EXPECT_EQ(depth, MAX_RIFF_NESTING + 1);
  EXPECT_TRUE(trace.Contains(u"dgn: Error in TWAVCommonChunk.LoadChunk - RIFF nesting too deep."));
}

TEST(Loader, MissingStreamAndUnsetReportFunction) {
  TraceCapture trace;
  TWAVCommonChunk root;
  EXPECT_EQ(root.LoadChunk(nullptr), E_FAIL);
  EXPECT_TRUE(trace.Contains(u"dgn: Error in TWAVCommonChunk.LoadChunk - no file loaded."));
  EXPECT_EQ(root.Report(4, 3, u"x", 201), E_FAIL);

  Bytes file = CanonicalPcm();
  file[4] = 200;
  TMemoryStream stream(file);
  EXPECT_EQ(root.LoadChunk(&stream), S_OK);  // findings are dropped without a callback
}

TEST(Loader, ReportFunctionFailuresDoNotAffectLoading) {
  Bytes file = CanonicalPcm();
  file[4] = 200;
  TWAVCommonChunk root;
  int calls = 0;
  root.SetReportFunction([&](int32_t, int32_t, const char16_t*, int32_t, int32_t) -> HRESULT {
    ++calls;
    throw std::runtime_error("sink broke");
  });
  TMemoryStream stream(file);
  EXPECT_EQ(root.LoadChunk(&stream), S_OK);
  EXPECT_GT(calls, 0);
  EXPECT_EQ(root.FSubChunks[0]->FSubChunks.size(), 2u);
}

TEST(Loader, FileAndMemoryStreamsGiveTheSameFindings) {
  Bytes file = CanonicalPcm();
  Append(file, Chunk("bext", Bytes(700, 0)));
  file[4] = 99;
  auto fromMemory = Load(file);
  TWAVCommonChunk root;
  FindingRecorder recorder;
  root.SetReportFunction(recorder.Function());
  EXPECT_EQ(root.LoadFile(WriteFile("same-findings.wav", file)), S_OK);
  ASSERT_EQ(recorder.Findings.size(), fromMemory->Recorder.Findings.size());
  for (size_t i = 0; i < recorder.Findings.size(); ++i)
    EXPECT_EQ(recorder.Findings[i].Text, fromMemory->Recorder.Findings[i].Text);
}

TEST(Loader, LoadFileOnAMissingFileFails) {
  TraceCapture trace;
  TWAVCommonChunk root;
  EXPECT_EQ(root.LoadFile(u"/nonexistent/file.wav"), E_FAIL);
  EXPECT_TRUE(trace.Contains(u"dgn: Error in TWAVCommonChunk.LoadFile - cannot load file."));
}

TEST(Search, DepthFirstPreOrderFirstMatchWins) {
  Bytes inner = Riff("AAAA", Chunk("data", {1, 2}));
  Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(body, inner);
  Append(body, Chunk("data", {3, 4}));
  auto l = Load(Riff("WAVE", body));
  const TWAVCommonChunk& root = *l->Root;
  const TWAVCommonChunk& riff = *root.FSubChunks[0];

  TWAVCommonChunk* found = &riff.FSubChunks[0].operator*();
  EXPECT_EQ(root.FindChunkByName(FOURCC_data, found, 1), S_OK);
  EXPECT_EQ(found, riff.FSubChunks[1]->FSubChunks[0].get());  // inside the nested RIFF
  EXPECT_EQ(root.FindChunkByName(FOURCC_data, found, 0), S_FALSE);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(riff.FindChunkByName(FOURCC_data, found, 0), S_OK);
  EXPECT_EQ(found, riff.FSubChunks[2].get());

  EXPECT_EQ(root.FindChunkByType(0x41414141, found, 1), S_OK);
  EXPECT_EQ(found, riff.FSubChunks[1].get());
  EXPECT_EQ(root.FindChunkByType(0, found, 1), S_OK);
  EXPECT_EQ(found, riff.FSubChunks[0].get());  // the first node that is not a RIFF
  EXPECT_EQ(root.FindChunkByNameAndType(FOURCC_RIFF, FOURCC_WAVE, found, 0), S_OK);
  EXPECT_EQ(found, &riff);
  EXPECT_EQ(root.FindChunkByNameAndType(FOURCC_RIFF, 0x41414141, found, 2), S_OK);
  EXPECT_EQ(found, riff.FSubChunks[1].get());
  EXPECT_EQ(root.FindChunkByNameAndType(FOURCC_fmt, FOURCC_WAVE, found, 1), S_FALSE);
}

TEST(IsWAVEFileTest, ChecksIdAndFormTypeOnly) {
  Bytes wrongSize = CanonicalPcm();
  wrongSize[4] = 0xEE;  // the size field is not looked at
  Bytes avi = CanonicalPcm();
  avi[8] = 'A';
  avi[9] = 'V';
  avi[10] = 'I';
  avi[11] = ' ';
  Bytes rifx = CanonicalPcm();
  rifx[3] = 'X';
  const struct {
    const char* Name;
    Bytes File;
    int32_t Expected;
  } cases[] = {
      {"canonical", CanonicalPcm(), 1},
      {"wrong size field", wrongSize, 1},
      {"exactly 12 bytes", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, 1},
      {"11 bytes", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'}, 0},
      {"other form type", avi, 0},
      {"not RIFF", rifx, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(IsWAVEFile(WriteFile("iswave.wav", c.File)), c.Expected);
  }
  EXPECT_EQ(IsWAVEFile(u"/nonexistent.wav"), 0);
  EXPECT_EQ(IsWAVEFile(Utf8ToUtf16(::testing::TempDir())), 0);  // a folder
}

// Loads stay bounded whatever the file: the callbacks are held once per tree,
// a load keeps at most MAX_LOADED_CHUNKS chunks and a cancel function stops it.
namespace {

// Bytes the allocator has handed out and not got back.
size_t HeapInUse() {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

int64_t CountNodes(const TWAVCommonChunk& node) {
  int64_t count = 0;
  for (const auto& child : node.FSubChunks) count += 1 + CountNodes(*child);
  return count;
}

Bytes EmptyChunks(int64_t count) {
  Bytes out;
  for (int64_t i = 0; i < count; ++i) Append(out, Chunk("JUNK", {}));
  return out;
}

// A RIFF WAVE file of exactly `chunks` chunks, the RIFF chunk included: fmt,
// data, then empty JUNK chunks.
Bytes FileOfChunks(int64_t chunks) {
  Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(body, Chunk("data", {0, 0, 0, 0}));
  Append(body, EmptyChunks(chunks - 3));
  return Riff("WAVE", body);
}

std::vector<Finding> WithID(const std::vector<Finding>& findings, int32_t id) {
  std::vector<Finding> out;
  for (const Finding& f : findings)
    if (f.ID == id) out.push_back(f);
  return out;
}

}  // namespace

TEST(Loader, ReportFunctionIsHeldOncePerTree) {
  // Counts the copies of the callback: a copy per node made a zero-filled
  // region cost a callback per 8 bytes.
  struct Counted {
    explicit Counted(int* copies) : Copies(copies) {}
    Counted(const Counted& other) : Copies(other.Copies) { ++*Copies; }
    int* Copies;
  };
  int copies = 0;
  const Counted counted(&copies);
  std::vector<int32_t> ids;
  TWAVCommonChunk root;
  root.SetReportFunction([counted, &ids](int32_t, int32_t, const char16_t*, int32_t id, int32_t) {
    ids.push_back(id);
    return S_OK;
  });
  const int copiesBeforeLoading = copies;

  Bytes body = EmptyChunks(1000);
  Append(body, Riff("AAAA", Chunk("cart", Bytes(4, 0))));  // 216 from two levels down
  TMemoryStream stream(Riff("WAVE", body));
  ASSERT_EQ(root.LoadChunk(&stream), S_OK);
  EXPECT_EQ(copies, copiesBeforeLoading);
  EXPECT_THAT(ids, ::testing::Contains(216));
  ASSERT_EQ(CountNodes(root), 1003);

  // Any node reports through the tree's callback.
  TWAVCommonChunk& cart = *root.FSubChunks[0]->FSubChunks[1000]->FSubChunks[0];
  EXPECT_EQ(cart.Report(4, 3, u"from a leaf", 1), S_OK);
  EXPECT_EQ(ids.back(), 1);
}

TEST(Loader, ChunkLimitStopsTheLoadWithOneFinding) {
  const std::string limit = std::to_string(MAX_LOADED_CHUNKS);
  Bytes nested = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(nested, Riff("AAAA", EmptyChunks(MAX_LOADED_CHUNKS)));
  Append(nested, Chunk("data", {}));
  Bytes nestedFile = Riff("WAVE", nested);
  Append(nestedFile, Chunk("tail", {}));
  struct Case {
    const char* Name;
    Bytes File;
    std::string Finding;  // "" for none
  };
  const Case cases[] = {
      {"exactly the limit", FileOfChunks(MAX_LOADED_CHUNKS), ""},
      {"one chunk over", FileOfChunks(MAX_LOADED_CHUNKS + 1),
       // The chunk not kept is the file's last, 8 bytes before its end.
       "Too many chunks at 0x" + HexPos(12 + 24 + 12 + 8 * (MAX_LOADED_CHUNKS - 3)) +
           " . Only the first " + limit + " chunks are loaded."},
      // Reached two levels down: the rest of the nested RIFF, the data chunk
      // behind it and the chunk behind the file's RIFF are all skipped.
      {"inside a nested RIFF", nestedFile,
       "Too many chunks at 0x" + HexPos(12 + 24 + 12 + 8 * (MAX_LOADED_CHUNKS - 3)) +
           " . Only the first " + limit + " chunks are loaded."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto l = Load(c.File);
    EXPECT_EQ(l->Result, S_OK);
    EXPECT_EQ(CountNodes(*l->Root), MAX_LOADED_CHUNKS);
    const std::vector<Finding> found = WithID(l->Recorder.Findings, 228);
    if (c.Finding.empty()) {
      EXPECT_TRUE(l->Recorder.Findings.empty());
      continue;
    }
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Text, c.Finding);
    EXPECT_EQ(l->Recorder.Findings.back().ID, 228);  // nothing is read after it
  }
}

TEST(Loader, ZeroFilledRegionsLoadInBoundedMemory) {
  // Zeros read as one empty chunk every 8 bytes; both files would make more
  // than a million nodes without the limit.
  TempFolder folder("loader");
  const std::string tail = folder.File("zero-tail.wav");
  WriteFileBytes(tail, CanonicalPcm());
  ASSERT_EQ(::truncate(tail.c_str(), 44 + 10'000'000), 0);
  // What a writer that does not know 64-bit sizes leaves past 4 GiB: both
  // size fields 0xFFFFFFFF and zeros behind the 4 GiB the RIFF claims.
  const std::string huge = folder.File("past-four-gigabytes.wav");
  Bytes header = ChunkWithSize("RIFF", 0xFFFFFFFFu, {'W', 'A', 'V', 'E'});
  Append(header, Chunk("fmt ", PcmFormat(2, 48000, 16)));
  Append(header, ChunkWithSize("data", 0xFFFFFFFFu, {}));
  WriteFileBytes(huge, header);
  ASSERT_EQ(::truncate(huge.c_str(), (int64_t{1} << 32) + 10'000'000), 0);

  for (const std::string& path : {tail, huge}) {
    SCOPED_TRACE(path);
    TWAVCommonChunk root;
    FindingRecorder recorder;
    root.SetReportFunction(recorder.Function());
    // Freed nodes wait in the loader's pool and come back without the
    // allocator, so this undercounts by at most one earlier tree.
    const size_t before = HeapInUse();
    ASSERT_EQ(root.LoadFile(Utf8ToUtf16(path)), S_OK);
    const size_t used = HeapInUse() - before;
    EXPECT_LT(used, size_t{64} << 20);
    EXPECT_EQ(CountNodes(root), MAX_LOADED_CHUNKS);
    EXPECT_EQ(WithID(recorder.Findings, 228).size(), 1u);
  }
}

TEST(Loader, CancelFunctionStopsTheLoadAtTheNextChunk) {
  Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(body, Riff("AAAA", EmptyChunks(20)));
  Append(body, EmptyChunks(20));
  const Bytes file = Riff("WAVE", body);

  // Asked before every chunk at every level; the chunks read so far stay.
  TraceCapture trace;
  TWAVCommonChunk root;
  FindingRecorder recorder;
  root.SetReportFunction(recorder.Function());
  int asked = 0;
  root.SetCancelFunction([&asked] { return ++asked > 10; });
  TMemoryStream stream(file);
  EXPECT_EQ(root.LoadChunk(&stream), E_FAIL);
  EXPECT_EQ(asked, 11);
  EXPECT_EQ(CountNodes(root), 10);  // RIFF, fmt, AAAA and 7 of its chunks
  EXPECT_TRUE(recorder.Findings.empty());
  EXPECT_TRUE(trace.Contains(u"dgn: Error in TWAVCommonChunk.LoadChunk - load cancelled."));

  // One that never fires changes nothing.
  TWAVCommonChunk whole;
  whole.SetCancelFunction([] { return false; });
  TMemoryStream again(file);
  EXPECT_EQ(whole.LoadChunk(&again), S_OK);
  EXPECT_EQ(CountNodes(whole), 43);
}
