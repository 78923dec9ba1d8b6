// The metadata decoders: records, their limits and findings 206 to 226.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "chunkmodel/WAVCommonChunk.h"
#include "chunkmodel/WAVHelpers.h"
#include "platform/Text.h"
#include "support/FindingRecorder.h"
#include "support/RiffBuilder.h"

using namespace riffo;
using namespace riffo::test;
using ::testing::ElementsAre;

namespace {

// Loads a WAVE file whose RIFF holds the given chunks.
std::unique_ptr<Loaded> LoadBody(const Bytes& body) {
  auto loaded = Load(Riff("WAVE", body));
  EXPECT_EQ(loaded->Result, S_OK);
  return loaded;
}

// A file that ends inside the chunk: the header claims `claimed` bytes.
std::unique_ptr<Loaded> LoadTruncated(const std::string& id, uint32_t claimed,
                                      const Bytes& present) {
  Bytes file;
  AppendText(file, "RIFF");
  Append32(file, 4 + 8 + claimed);
  AppendText(file, "WAVE");
  Append(file, ChunkWithSize(id, claimed, present));
  auto loaded = Load(file);
  EXPECT_EQ(loaded->Result, S_OK);
  return loaded;
}

std::string Text(const uint8_t* field, int32_t width) {
  return Utf16ToUtf8(CharArrayToString(field, width));
}

Bytes Bext(const std::string& description, size_t codingHistory, const std::string& history = "") {
  Bytes p = Field(description, 256);
  Append(p, Field("Originator", 32));
  Append(p, Field("Ref", 32));
  AppendText(p, "2017-03-14");
  AppendText(p, "10:20:30");
  Append32(p, 0x11223344);
  Append32(p, 0x55);
  Append16(p, 2);
  Append(p, Bytes(64, 0xAB));
  Append16(p, 0xF704);
  Append16(p, 2);
  Append16(p, 3);
  Append16(p, 4);
  Append16(p, 5);
  Append(p, Bytes(180, 0));
  Bytes h = Field(history, codingHistory);
  Append(p, h);
  return p;
}

}  // namespace

TEST(FormatRecord, PcmAndExtensibleAndTruncated) {
  auto pcm = LoadBody(Chunk("fmt ", PcmFormat(2, 48000, 16)));
  const auto* f = pcm->Child(0).Ffmt.get();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->wFormatTag, 1);
  EXPECT_EQ(f->nChannels, 2);
  EXPECT_EQ(f->nSamplesPerSec, 48000u);
  EXPECT_EQ(f->nAvgBytesPerSec, 192000u);
  EXPECT_EQ(f->nBlockAlign, 4);
  EXPECT_EQ(f->wBitsPerSample, 16);
  EXPECT_EQ(f->cbSize, 0);

  Bytes extensible = PcmFormat(2, 48000, 24);
  extensible[0] = 0xFE;
  extensible[1] = 0xFF;
  Append16(extensible, 22);
  Append(extensible, Bytes(22, 0x77));
  auto ext = LoadBody(Chunk("fmt ", extensible));
  ASSERT_NE(ext->Child(0).Ffmt, nullptr);
  EXPECT_EQ(ext->Child(0).Ffmt->wFormatTag, 0xFFFE);
  EXPECT_EQ(ext->Child(0).Ffmt->cbSize, 22);
  EXPECT_TRUE(ext->Recorder.Findings.empty());

  auto cut = LoadTruncated("fmt ", 16, {1, 0, 2, 0});
  EXPECT_EQ(cut->Child(0).Ffmt, nullptr);
  // The RIFF and the fmt chunk both run past the end of the file, and the
  // root finds the RIFF's claimed end beyond its own.
  ASSERT_EQ(cut->Recorder.IDs(), (std::vector<int32_t>{204, 204, 206, 205}));
  EXPECT_EQ(cut->Recorder.Findings[2].Text,
            "Cannot read fmt chunk. End of file reached at 0x0000000C .");
}

TEST(FixedRecords, ReadTheirSizeWhateverTheChunkSays) {
  Bytes levl;
  for (uint32_t v = 1; v <= 8; ++v) Append32(levl, v);
  Append(levl, Field("2017-03-14 10:20:30", 28));
  Append(levl, Bytes(68, 0xEE));  // reserved bytes and peak data: not read
  Bytes mext = {1, 0, 0x10, 0x02, 3, 0, 4, 0, 'a', 'b', 0, 0};
  Bytes body = Chunk("levl", levl);
  Append(body, Chunk("mext", mext));
  Append(body, Chunk("fact", {0x40, 0x42, 0x0F, 0x00}));
  auto l = LoadBody(body);
  const TLevl_chunk& lv = l->Child(0).Flevl;
  EXPECT_EQ(lv.dwVersion, 1u);
  EXPECT_EQ(lv.dwFormat, 2u);
  EXPECT_EQ(lv.dwOffsetToPeaks, 8u);
  EXPECT_EQ(Text(lv.strTimestamp, 28), "2017-03-14 10:20:30");
  const Tmext_chunk& mx = l->Child(1).Fmext;
  EXPECT_EQ(mx.SoundInformtion, 1);
  EXPECT_EQ(mx.FrameSize, 0x0210);
  EXPECT_EQ(mx.AncillaryDataLength, 3);
  EXPECT_EQ(mx.AncillaryDataDef, 4);
  EXPECT_EQ(Text(mx.Reserved, 4), "ab");
  EXPECT_EQ(l->Child(2).Ffact.dwSampleLength, 1000000u);
  EXPECT_TRUE(l->Recorder.Findings.empty());

  // A fact chunk of 2 bytes is read on into the next chunk's header.
  Bytes shortFact = Chunk("fact", {0x01, 0x02});
  Append(shortFact, Chunk("data", {}));
  auto s = LoadBody(shortFact);
  EXPECT_EQ(s->Child(0).Ffact.dwSampleLength, 0x61640201u);  // 01 02 'd' 'a'
}

TEST(FixedRecords, TruncatedRecordsReportAndKeepWhatCame) {
  const struct {
    const char* Id;
    int32_t Finding;
    const char* Text;
  } cases[] = {
      {"fact", 224, "Cannot read fact chunk. End of file reached at 0x0000000C ."},
      {"levl", 225, "Cannot read levl chunk. End of file reached at 0x0000000C ."},
      {"mext", 226, "Cannot read mext chunk. End of file reached at 0x0000000C ."},
      {"bext", 213, "Cannot read bext chunk. End of file reached at 0x0000000C ."},
      {"qlty", 223, "Cannot read qlty chunk. End of file reached at 0x0000000C ."},
      {"cart", 214, "Cannot read cart chunk. End of file reached at 0x0000000C ."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Id);
    auto l = LoadTruncated(c.Id, 2100, {0x2A, 0, 0});
    ASSERT_EQ(l->Recorder.Findings.size(), 4u);
    EXPECT_EQ(l->Recorder.Findings[1].ID, 204);
    EXPECT_EQ(l->Recorder.Findings[2].ID, c.Finding);
    EXPECT_EQ(l->Recorder.Findings[2].Text, c.Text);
    EXPECT_EQ(l->Root->FSubChunks[0]->FSubChunks.size(), 1u);  // the node stays
  }
  auto fact = LoadTruncated("fact", 4, {0x2A, 0});
  EXPECT_EQ(fact->Child(0).Ffact.dwSampleLength, 0x2Au);
  auto cart = LoadTruncated("cart", 2100, {1});
  EXPECT_EQ(cart->Child(0).Fcart_extension, nullptr);
}

TEST(BroadcastExtension, WellFormedChunkAndCodingHistorySizes) {
  auto l = LoadBody(Chunk("bext", Bext("A description", 98, "A=PCM,F=48000\r\nA=PCM,F=44100\r\n")));
  const auto& b = *l->Child(0).Fbroadcast_audio_extension;
  EXPECT_EQ(Text(b.Description, 256), "A description");
  EXPECT_EQ(Text(b.Originator, 32), "Originator");
  EXPECT_EQ(Text(b.OriginatorReference, 32), "Ref");
  EXPECT_EQ(Text(b.OriginationDate, 10), "2017-03-14");
  EXPECT_EQ(Text(b.OriginationTime, 8), "10:20:30");
  EXPECT_EQ(b.TimeReferenceLow, 0x11223344u);
  EXPECT_EQ(b.TimeReferenceHigh, 0x55u);
  EXPECT_EQ(b.Version, 2);
  EXPECT_EQ(b.SMPTE_UMID[63], 0xAB);
  EXPECT_EQ(b.LoudnessValue, 63236);
  EXPECT_EQ(b.MaxShortTermLoudness, 5);
  EXPECT_EQ(b.CodingHistorySize, 98);
  EXPECT_EQ(Text(b.CodingHistory, 98), "A=PCM,F=48000\r\nA=PCM,F=44100\r\n");

  auto exact = LoadBody(Chunk("bext", Bext("x", 0)));
  EXPECT_EQ(exact->Child(0).Fbroadcast_audio_extension->CodingHistorySize, 0);
}

TEST(BroadcastExtension, TextFieldsDropControlAndHighBytes) {
  auto l = LoadBody(Chunk("bext", Bext("a\tb\nc\xE9"
                                       "d",
                                       0)));
  EXPECT_EQ(Text(l->Child(0).Fbroadcast_audio_extension->Description, 256), "abcd");
}

TEST(BroadcastExtension, StrayBytesAfterATerminatorShiftTheLaterFields) {
  Bytes description = Field("abc", 256);
  description[4] = 'x';
  Bytes payload = description;
  Append(payload, Bext("", 0));  // enough bytes behind for every field
  payload.resize(602);
  payload[320 - 252] = 'D';  // where OriginationDate is read, 252 bytes early
  auto l = LoadBody(Chunk("bext", payload));
  const auto& b = *l->Child(0).Fbroadcast_audio_extension;
  EXPECT_EQ(Text(b.Description, 256), "abc");
  EXPECT_EQ(Text(b.Originator, 32), "x");
  EXPECT_EQ(Text(b.OriginatorReference, 32), "");
  EXPECT_EQ(b.OriginationDate[0], 'D');
  EXPECT_EQ(b.CodingHistorySize, 252);
}

TEST(BroadcastExtension, ShortChunkLeavesTheRestZeroWithoutAFinding) {
  auto l = LoadBody(Chunk("bext", Field("only a description", 300)));
  const auto& b = *l->Child(0).Fbroadcast_audio_extension;
  EXPECT_EQ(Text(b.Description, 256), "only a description");
  EXPECT_EQ(Text(b.Originator, 32), "");
  EXPECT_EQ(b.Version, 0);
  EXPECT_LE(b.CodingHistorySize, 0);
  EXPECT_TRUE(l->Recorder.Findings.empty());
}

TEST(BroadcastExtension, LongCodingHistoryIsCutAtTheField) {
  std::string history(9000, 'h');
  auto l = LoadBody(Chunk("bext", Bext("d", 9000, history)));
  const auto& b = *l->Child(0).Fbroadcast_audio_extension;
  EXPECT_EQ(b.CodingHistorySize, 9000);
  EXPECT_EQ(b.CodingHistory[CODING_HISTORY_CAPACITY - 1], 'h');
}

TEST(BroadcastExtension, OversizedPayloadIsNotReadWhole) {
  // A payload above the limit fails even when every byte is present.
  Bytes payload = Bext("big", 0);
  payload.resize(static_cast<size_t>(MAX_METADATA_PAYLOAD) + 2);
  auto l = LoadBody(Chunk("bext", payload));
  EXPECT_THAT(l->Recorder.IDs(), ElementsAre(213));
  EXPECT_EQ(l->Child(0).Fbroadcast_audio_extension->Description[0], 0);
}

TEST(ReadCountedStringTest, CountsLookedAtAndKept) {
  const uint8_t text[] = {'a', 0x01, 'b', 0, 'c'};
  std::string result;
  int32_t consumed = -1, counted = -1;
  EXPECT_TRUE(ReadCountedString(text, 5, result, consumed, counted));
  EXPECT_EQ(result, "ab");
  EXPECT_EQ(consumed, 4);
  EXPECT_EQ(counted, 3);
  EXPECT_TRUE(ReadCountedString(text, 2, result, consumed, counted));
  EXPECT_EQ(result, "a");
  EXPECT_EQ(consumed, 2);
  EXPECT_EQ(counted, 1);
}

TEST(QualityChunk, LinesUpToTheTerminatorRules) {
  auto quality = [](const std::vector<std::string>& lines, const std::string& tail) {
    Bytes p;
    Append32(p, 7);
    Append32(p, 9);
    for (const auto& line : lines) AppendText(p, line + "\r\n");
    AppendText(p, tail);
    return p;
  };
  const struct {
    const char* Name;
    Bytes Payload;
    int32_t Lines;
  } cases[] = {
      {"two lines", quality({"first", "second"}, ""), 2},
      {"without final CR LF", quality({"first"}, "second"), 1},
      {"third starts with 0", quality({"first", "second"}, std::string("\0third\r\n", 8)), 2},
      {"300 lines", quality(std::vector<std::string>(300, "l"), ""), 256},
      {"no lines", quality({}, ""), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto l = LoadBody(Chunk("qlty", c.Payload));
    const auto& q = *l->Child(0).Fquality_chunk;
    EXPECT_EQ(q.LinesCount, c.Lines);
    EXPECT_EQ(q.FileSecurityReport, 7u);
    EXPECT_EQ(q.FileSecurityWave, 9u);
  }
  auto l = LoadBody(Chunk("qlty", quality({"a\x01()"}, "")));
  EXPECT_EQ(l->Child(0).Fquality_chunk->Lines[0], "a\x01()");  // unfiltered
}

TEST(CartChunk, FixedPartTagTextAndShortChunks) {
  auto cart = [](size_t size) {
    Bytes p = Field("0101", 4);
    Append(p, Field("Title", 64));
    p.resize(680);
    Append32(p, 12345);
    AppendText(p, "SEC1");
    Append32(p, 48000);
    p.resize(1024);
    Bytes url = Field("http://x", 1024);
    url.back() = 'Z';
    Append(p, url);
    AppendText(p, std::string(size > 2048 ? size - 2048 : 0, 't'));
    p.resize(size);
    return p;
  };
  auto full = LoadBody(Chunk("cart", cart(2048)));
  const Tcart_extension* c = full->Child(0).Fcart_extension.get();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Text(c->Version, 4), "0101");
  EXPECT_EQ(Text(c->Title, 64), "Title");
  EXPECT_EQ(c->dwLevelReference, 12345u);
  EXPECT_EQ(Utf16ToUtf8(FourCCToText(c->PostTimer[0].dwUsage)), "SEC1");
  EXPECT_EQ(c->PostTimer[0].dwValue, 48000u);
  EXPECT_EQ(c->TagTextSize, 0);
  EXPECT_TRUE(full->Recorder.Findings.empty());

  auto tagged = LoadBody(Chunk("cart", cart(2100)));
  EXPECT_EQ(tagged->Child(0).Fcart_extension->TagTextSize, 52);
  EXPECT_EQ(tagged->Child(0).Fcart_extension->TagText[51], 't');

  auto shortCart = LoadBody(Chunk("cart", cart(2000)));
  ASSERT_NE(shortCart->Child(0).Fcart_extension, nullptr);
  const Tcart_extension& s = *shortCart->Child(0).Fcart_extension;
  EXPECT_EQ(s.TagTextSize, 0);
  EXPECT_EQ(s.URL[0], 'h');
  EXPECT_EQ(s.URL[1023], 0);  // cut after 976 bytes: the last byte never came
  EXPECT_EQ(shortCart->Recorder.IDs(), std::vector<int32_t>{216});
  EXPECT_EQ(shortCart->Recorder.Findings[0].Text,
            "Incomplete cart chunk. Chunk offset 0x0000000C .");
}

TEST(CartChunk, EveryFieldIsReadFromItsOwnPlaceAndWidth) {
  // The fixed part built from the published widths, each text field filled
  // with a byte of its own: a field read from a shifted place or with another
  // width shows a neighbour's byte.
  const size_t widths[] = {4, 64, 64, 64, 64, 64, 64, 64, 10, 8, 10, 8, 64, 64, 64};
  Bytes p;
  uint8_t fill = 'A';
  for (size_t width : widths) Append(p, Bytes(width, fill++));
  Append32(p, 0x01020304);
  for (uint32_t i = 0; i < 8; ++i) {
    Append32(p, 0x10 + i);
    Append32(p, 0x20 + i);
  }
  Append(p, Bytes(276, 'r'));
  Append(p, Bytes(1024, 'u'));
  AppendText(p, "tag");
  ASSERT_EQ(p.size(), 2048u + 3);

  auto l = LoadBody(Chunk("cart", p));
  const Tcart_extension& c = *l->Child(0).Fcart_extension;
  auto bytes = [](const auto& field) { return std::string(std::begin(field), std::end(field)); };
  const std::string texts[] = {bytes(c.Version),        bytes(c.Title),
                               bytes(c.Artist),         bytes(c.CutID),
                               bytes(c.ClientID),       bytes(c.Category),
                               bytes(c.Classification), bytes(c.OutCue),
                               bytes(c.StartDate),      bytes(c.StartTime),
                               bytes(c.EndDate),        bytes(c.EndTime),
                               bytes(c.ProducerAppID),  bytes(c.ProducerAppVersion),
                               bytes(c.UserDef)};
  ASSERT_EQ(std::size(texts), std::size(widths));
  char expected = 'A';
  for (size_t i = 0; i < std::size(texts); ++i, ++expected) {
    SCOPED_TRACE(i);
    EXPECT_EQ(texts[i], std::string(widths[i], expected));
  }
  EXPECT_EQ(c.dwLevelReference, 0x01020304u);
  EXPECT_EQ(c.PostTimer[0].dwUsage, 0x10u);
  EXPECT_EQ(c.PostTimer[7].dwValue, 0x27u);
  EXPECT_EQ(c.Reserved[0], 'r');
  EXPECT_EQ(c.Reserved[275], 'r');
  EXPECT_EQ(c.URL[0], 'u');
  EXPECT_EQ(c.URL[1023], 'u');
  EXPECT_EQ(c.TagTextSize, 3);
  EXPECT_EQ(Text(c.TagText, 3), "tag");
}

TEST(NestedMetadata, ChunksInsideANestedRiffAreDecodedToo) {
  auto l = LoadBody(Riff("WAVE", Chunk("bext", Bext("inner", 0))));
  EXPECT_EQ(Text(l->Child(0).FSubChunks[0]->Fbroadcast_audio_extension->Description, 256), "inner");
}
