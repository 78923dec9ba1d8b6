// The structure export writer: the header frame, indentation, and what
// happens when the output cannot be created or written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "chunkmodel/WAVHelpers.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "viewer/StructureExport.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"
#include "viewer/WavFixtures.h"

namespace riffo {
namespace {

// Accepts the first Capacity bytes, then fails every write (a full disk).
class TFullStream final : public TStream {
public:
  explicit TFullStream(int64_t capacity) : FCapacity(capacity) {}
  int64_t Read(void*, int64_t) override { return -1; }
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t room = FCapacity - static_cast<int64_t>(Written.size());
    if (room <= 0) return -1;
    const int64_t n = std::min(room, count);
    const auto* bytes = static_cast<const char*>(buffer);
    Written.append(bytes, static_cast<size_t>(n));
    return n;
  }
  int64_t Seek(int64_t, SeekOrigin) override { return -1; }
  int64_t Position() const override { return static_cast<int64_t>(Written.size()); }
  int64_t Size() const override { return Position(); }
  std::string Written;

private:
  int64_t FCapacity;
};

std::string ExportText(const std::u16string& fileName, int64_t size, const TWAVCommonChunk* root) {
  TMemoryStream out;
  EXPECT_TRUE(WriteStructureExport(out, u"out.txt", fileName, size, root).Ok);
  return std::string(out.Bytes().begin(), out.Bytes().end());
}

TEST(StructureHeader, FramedLinesAreFiftyFourCharactersWide) {
  const auto lines = StructureHeaderLines(u"C:/take.wav", 44);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[0], std::u16string(54, u'/'));
  EXPECT_EQ(lines[2], u"//        Riffoscope 2.0                            //");
  EXPECT_EQ(lines[3], u"//        www.brindlecorp.example                   //");
  EXPECT_EQ(lines[4], u"//        Brindlecorp Ltd.                          //");
  for (size_t i : {0, 1, 2, 3, 4, 5, 6}) EXPECT_EQ(lines[i].size(), 54u) << i;
  EXPECT_EQ(lines[5], lines[1]);
  EXPECT_EQ(lines[6], lines[0]);
  EXPECT_EQ(lines[8], u"FileName: C:/take.wav");
  EXPECT_EQ(lines[9], u"FileSize: 0x000000000000002C");
  EXPECT_EQ(lines[11], u"WAV Chunk Structure");
  for (size_t i : {7, 10, 12}) EXPECT_TRUE(lines[i].empty()) << i;
}

TEST(StructureHeader, NameAndSizeEdgeCases) {
  // after a failed structure load the viewer has no name to give
  EXPECT_EQ(StructureHeaderLines(u"", 0)[8], u"FileName: ");
  EXPECT_EQ(StructureHeaderLines(u"", 0x123456789ABCDEF0)[9], u"FileSize: 0x123456789ABCDEF0");
  EXPECT_EQ(FramedLine(std::u16string(50, u'x')).size(), 62u);  // a long text is not cut
}

TEST(StructureExport, IndentsSixBlanksPerLevelWithCrLfAfterEveryLine) {
  EXPECT_EQ(StructureLine(u"x", 0), u"x");
  EXPECT_EQ(StructureLine(u"x", 2), std::u16string(12, u' ') + u"x");
  EXPECT_EQ(StructureLine(u"x", -1), u"x");

  const std::string text = ExportText(u"a.wav", 0, nullptr);
  size_t lines = 0;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      EXPECT_EQ(text[i - 1], '\r');
      ++lines;
    }
  EXPECT_EQ(lines, 13u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(StructureExport, NamesOutsideAsciiAreWrittenAsUtf8) {
  const std::string text = ExportText(u"/tmp/\u00DCbung \u65E5.wav", 0, nullptr);
  EXPECT_NE(text.find("FileName: /tmp/\xC3\x9C"
                      "bung \xE6\x97\xA5.wav\r\n"),
            std::string::npos);
}

TEST(StructureExport, AFailedWriteIsReportedAndKeepsWhatWasWritten) {
  // A tree large enough to need several blocks, so the failure can come in
  // the middle of the structure lines as well as in the header.
  test::Bytes body;
  for (int i = 0; i < 3000; ++i) test::Append(body, test::Chunk("junk", test::Bytes(2, 0)));
  const test::Bytes file = test::Riff("WAVE", body);
  const auto root = test::LoadTree(file);
  ASSERT_NE(root, nullptr);
  const std::string full = ExportText(u"big.wav", static_cast<int64_t>(file.size()), root.get());
  ASSERT_GT(full.size(), 150000u);

  for (int64_t capacity : {int64_t{0}, int64_t{100}, int64_t{70000}, int64_t{150000}}) {
    TFullStream out(capacity);
    const TExportResult result = WriteStructureExport(
        out, u"/mnt/full/structure.txt", u"big.wav", static_cast<int64_t>(file.size()), root.get());
    EXPECT_FALSE(result.Ok) << capacity;
    EXPECT_EQ(result.Message, u"Cannot write /mnt/full/structure.txt file.");
    EXPECT_EQ(out.Written, full.substr(0, out.Written.size()));
    EXPECT_EQ(static_cast<int64_t>(out.Written.size()), capacity);
  }
  TFullStream roomy(static_cast<int64_t>(full.size()));
  EXPECT_TRUE(
      WriteStructureExport(roomy, u"x", u"big.wav", static_cast<int64_t>(file.size()), root.get())
          .Ok);
  EXPECT_EQ(roomy.Written, full);
}

TEST(StructureExportToFile, WritesTheNamedFileExactlyAsNamed) {
  test::TempFolder folder;
  const test::Bytes file = test::CanonicalPcmFile();
  const auto root = test::LoadTree(file);
  const std::string outName = folder.File("structure");  // no extension is added
  const TExportResult result =
      ExportStructureToFile(Utf8ToUtf16(outName), u"take.wav", 44, root.get());
  ASSERT_TRUE(result.Ok);
  EXPECT_EQ(test::ReadFileText(outName), ExportText(u"take.wav", 44, root.get()));
  EXPECT_FALSE(FileExists(Utf8ToUtf16(outName + ".txt")));
}

// An export that cannot be written whole fails and leaves the file it was
// to replace as it was, with nothing beside it.
TEST(StructureExportToFile, AnExportCutShortLeavesTheOldFileAlone) {
  test::TempFolder folder;
  const test::Bytes file = test::CanonicalPcmFile();
  const auto root = test::LoadTree(file);
  const std::string outName = folder.File("structure.txt");
  test::WriteFileText(outName, "old export");
  TExportResult result;
  {
    test::FileSizeLimit limit(200);
    result = ExportStructureToFile(Utf8ToUtf16(outName), u"take.wav", 44, root.get());
  }
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(Utf16ToUtf8(result.Message), "Cannot write " + outName + " file.");
  EXPECT_EQ(test::ReadFileText(outName), "old export");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(StructureExportToFile, AFileThatCannotBeCreatedIsReported) {
  test::TempFolder folder;
  const std::string outName = folder.File("missing-folder/structure.txt");
  const TExportResult result =
      ExportStructureToFile(Utf8ToUtf16(outName), u"take.wav", 44, nullptr);
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(Utf16ToUtf8(result.Message), "Cannot write " + outName + " file.");
}

}  // namespace
}  // namespace riffo
