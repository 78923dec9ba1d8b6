// What RF64/BW64 files and extensible format records look like in the tree
// and the structure export, loaded from files built in code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.h"
#include "support/TempFolder.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/StructureExport.h"
#include "viewer/WavFixtures.h"

namespace riffo::test {
namespace {

// The fmt chunk's field lines as the export gets them.
std::vector<std::string> FmtLines(const Bytes& fmtPayload) {
  const auto root = LoadTree(Riff("WAVE", Chunk("fmt ", fmtPayload)));
  std::vector<std::string> lines;
  const TStructureLineProc sink = [&](const std::u16string& text, int32_t level) {
    if (level == 2) lines.push_back(Utf16ToUtf8(text));
  };
  UpdateTreeView(nullptr, nullptr, 0, &sink, root.get());
  return lines;
}

TEST(ExtensibleFmtLines, ThreeMoreLinesAfterSizeOnlyForACompleteExtensibleRecord) {
  Bytes oddSubFormat = ExtensibleFormat(2, 96000, 32, 32, 0x80000003u, 0x0092);
  Bytes cut = ExtensibleFormat(2, 48000, 24, 24, 3, 1);
  cut.resize(38);  // cbSize says 22, the chunk holds 20 of them
  Bytes pcmWithCbSize = ExtensibleFormat(2, 48000, 16, 16, 3, 1);
  pcmWithCbSize[0] = 1;  // tag 1 with the same 40 bytes
  const struct {
    const char* Name;
    Bytes Payload;
    std::vector<std::string> Extra;  // the lines after "Size"
  } cases[] = {
      {"6 channels, 24 bits in 4-byte containers",
       ExtensibleFormat(6, 48000, 32, 24, 0x3F, 1),
       {"ValidBitsPerSample   : 24", "ChannelMask          : 0x0000003F (FL FR FC LFE BL BR)",
        "SubFormat            : {00000001-0000-0010-8000-00AA00389B71} (PCM)"}},
      {"float stereo",
       ExtensibleFormat(2, 48000, 32, 32, 0x3, 3),
       {"ValidBitsPerSample   : 32", "ChannelMask          : 0x00000003 (FL FR)",
        "SubFormat            : {00000003-0000-0010-8000-00AA00389B71} (IEEE float)"}},
      {"unnamed bits and another SubFormat",
       oddSubFormat,
       {"ValidBitsPerSample   : 32", "ChannelMask          : 0x80000003 (FL FR bit31)",
        "SubFormat            : {00000092-0000-0010-8000-00AA00389B71} (unknown)"}},
      {"no speaker positions",
       ExtensibleFormat(1, 8000, 16, 16, 0, 1),
       {"ValidBitsPerSample   : 16", "ChannelMask          : 0x00000000",
        "SubFormat            : {00000001-0000-0010-8000-00AA00389B71} (PCM)"}},
      {"chunk shorter than the record", cut, {}},
      {"another tag", pcmWithCbSize, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<std::string> lines = FmtLines(c.Payload);
    ASSERT_EQ(lines.size(), 7u + c.Extra.size());
    EXPECT_EQ(lines[6].rfind("Size                 : ", 0), 0u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 7, lines.end()), c.Extra);
  }
}

TEST(Rf64Export, SixGigabyteFileShowsItsSixtyFourBitSizes) {
  TempFolder folder("rf64-export");
  const uint64_t dataSize = 6ull << 30;
  const Bytes head = Rf64Head(dataSize, PcmFormat(2, 48000, 16), "BW64");
  const std::string path = folder.File("six-gigabytes.wav");
  WriteSparseFile(path, head, head.size() + dataSize);
  TWAVCommonChunk root;
  ASSERT_EQ(root.LoadFile(Utf8ToUtf16(path)), S_OK);
  const int64_t fileSize = static_cast<int64_t>(head.size() + dataSize);

  TMemoryStream out;
  ASSERT_TRUE(WriteStructureExport(out, u"out.txt", u"six.wav", fileSize, &root).Ok);
  const std::string text(out.Bytes().begin(), out.Bytes().end());
  // 6 GiB of data behind an 80-byte head: the form holds 6 GiB + 72 bytes.
  ASSERT_EQ(head.size(), 80u);
  for (const char* line : {"FileSize: 0x0000000180000050\r\n",
                           "0x0000000000000000 BW64 <Size: 0x0000000180000048> WAVE\r\n",
                           "            RIFF Size            : 6442451016\r\n",
                           "            Data Size            : 6442450944\r\n",
                           "            Sample Count         : 1610612736\r\n",
                           "      0x0000000000000048 data <Size: 0x0000000180000000>\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace riffo::test
