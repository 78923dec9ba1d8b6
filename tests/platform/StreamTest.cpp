#include "platform/Stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "support/TempFolder.h"
#include "platform/Text.h"

namespace riffo {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Counting(size_t n) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  return bytes;
}

// Each maker gives a read-write stream holding the given bytes, positioned
// at 0. The suite below runs unchanged on both, so both byte sources yield
// the same results for the code that reads through them.
struct FileMaker {
  test::TempFolder Folder;
  std::unique_ptr<TStream> Make(const Bytes& bytes) {
    const std::string path = Folder.File("stream.bin");
    test::WriteFileText(path, std::string(bytes.begin(), bytes.end()));
    return TFileStream::Open(path, FileMode::OpenReadWrite);
  }
};

struct MemoryMaker {
  std::unique_ptr<TStream> Make(const Bytes& bytes) {
    return std::make_unique<TMemoryStream>(bytes);
  }
};

template <typename Maker>
class StreamContract : public ::testing::Test {
protected:
  std::unique_ptr<TStream> Make(const Bytes& bytes) {
    auto stream = FMaker.Make(bytes);
    EXPECT_NE(stream, nullptr);
    return stream;
  }
  Bytes ReadAll(TStream& stream, int64_t from) {
    Bytes out(static_cast<size_t>(stream.Size()));
    stream.Seek(from, SeekOrigin::Begin);
    out.resize(static_cast<size_t>(
        std::max<int64_t>(0, stream.Read(out.data(), static_cast<int64_t>(out.size())))));
    return out;
  }
  Maker FMaker;
};

using Makers = ::testing::Types<FileMaker, MemoryMaker>;
TYPED_TEST_SUITE(StreamContract, Makers);

TYPED_TEST(StreamContract, ReadsInOrderAndAdvances) {
  auto s = this->Make(Counting(10));
  uint8_t buffer[4] = {};
  EXPECT_EQ(s->Size(), 10);
  ASSERT_EQ(s->Read(buffer, 4), 4);
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(s->Position(), 4);
  ASSERT_TRUE(s->ReadExact(buffer, 4));
  EXPECT_EQ(buffer[0], 5);
  EXPECT_EQ(s->Read(buffer, 0), 0);
  EXPECT_EQ(s->Read(buffer, -3), 0);
  EXPECT_EQ(s->Position(), 8);
}

TYPED_TEST(StreamContract, ShortReadLeavesPositionBehindTheBytesThatCame) {
  auto s = this->Make(Counting(10));
  uint8_t buffer[16] = {};
  EXPECT_EQ(s->Seek(7, SeekOrigin::Begin), 7);
  EXPECT_EQ(s->Read(buffer, 16), 3);
  EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{8, 9, 10}));
  EXPECT_EQ(s->Position(), 10);
  EXPECT_EQ(s->Read(buffer, 16), 0);
  EXPECT_EQ(s->Position(), 10);

  s->Seek(8, SeekOrigin::Begin);
  EXPECT_FALSE(s->ReadExact(buffer, 4));
  EXPECT_EQ(s->Position(), 10);  // what came is consumed
}

TYPED_TEST(StreamContract, SeekBeyondTheEndIsNotClamped) {
  auto s = this->Make(Counting(10));
  uint8_t buffer[4] = {};
  EXPECT_EQ(s->Seek(100, SeekOrigin::Begin), 100);
  EXPECT_EQ(s->Position(), 100);
  EXPECT_EQ(s->Read(buffer, 4), 0);
  EXPECT_EQ(s->Position(), 100);
  EXPECT_EQ(s->Size(), 10);
  EXPECT_EQ(s->Seek(-5, SeekOrigin::Current), 95);
  EXPECT_EQ(s->Seek(6, SeekOrigin::End), 16);
  EXPECT_EQ(s->Seek(-10, SeekOrigin::End), 0);
}

TYPED_TEST(StreamContract, NegativeOrOverflowingSeekIsRefusedAndKeepsPosition) {
  auto s = this->Make(Counting(10));
  s->Seek(3, SeekOrigin::Begin);
  EXPECT_EQ(s->Seek(-1, SeekOrigin::Begin), -1);
  EXPECT_EQ(s->Seek(-11, SeekOrigin::End), -1);
  EXPECT_EQ(s->Position(), 3);
  EXPECT_EQ(s->Seek(INT64_MAX, SeekOrigin::Begin), INT64_MAX);
  EXPECT_EQ(s->Seek(1, SeekOrigin::Current), -1);
  EXPECT_EQ(s->Position(), INT64_MAX);
}

TYPED_TEST(StreamContract, WriteOverwritesAndExtends) {
  auto s = this->Make(Counting(10));
  const uint8_t patch[4] = {0xAA, 0xBB, 0xCC, 0xDD};
  s->Seek(8, SeekOrigin::Begin);
  EXPECT_EQ(s->Write(patch, 4), 4);
  EXPECT_EQ(s->Position(), 12);
  EXPECT_EQ(s->Size(), 12);
  EXPECT_EQ(this->ReadAll(*s, 0), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0xAA, 0xBB, 0xCC, 0xDD}));
  EXPECT_EQ(s->Write(patch, 0), 0);
}

TYPED_TEST(StreamContract, WriteBeyondTheEndFillsTheGapWithZeros) {
  auto s = this->Make(Counting(2));
  const uint8_t one = 0x7F;
  s->Seek(5, SeekOrigin::Begin);
  EXPECT_EQ(s->Write(&one, 1), 1);
  EXPECT_EQ(s->Size(), 6);
  EXPECT_EQ(this->ReadAll(*s, 0), (Bytes{1, 2, 0, 0, 0, 0x7F}));
}

// ---------------------------------------------------------------- files only

TEST(FileStream, OpenFailsOnMissingFilesAndFolders) {
  test::TempFolder folder;
  for (const FileMode mode : {FileMode::OpenRead, FileMode::OpenReadWrite}) {
    EXPECT_EQ(TFileStream::Open(folder.File("missing.wav"), mode), nullptr);
    EXPECT_EQ(TFileStream::Open(Utf8ToUtf16(folder.File("missing.wav")), mode), nullptr);
    EXPECT_EQ(TFileStream::Open(folder.Path(), mode), nullptr);
  }
  EXPECT_EQ(TFileStream::Open(folder.Path(), FileMode::Create), nullptr);
  EXPECT_EQ(TFileStream::Open(folder.File("no/such/dir.wav"), FileMode::Create), nullptr);
}

TEST(FileStream, OpensNonAsciiNamesAndCreateTruncates) {
  test::TempFolder folder;
  const std::u16string name =
      Utf8ToUtf16(folder.File("Pr\xC3\xBC"
                              "fton \xE2\x82\xAC.wav"));
  test::WriteFileText(Utf16ToUtf8(name), "old contents");
  auto s = TFileStream::Open(name, FileMode::Create);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Size(), 0);
}

TEST(FileStream, ReadOnlyHandleRefusesWrites) {
  test::TempFolder folder;
  test::WriteFileText(folder.File("a.bin"), "abc");
  auto s = TFileStream::Open(folder.File("a.bin"), FileMode::OpenRead);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Write("x", 1), -1);
  EXPECT_EQ(test::ReadFileText(folder.File("a.bin")), "abc");
}

TEST(FileStream, SharedReadSeesWhatAnotherHandleWrites) {
  test::TempFolder folder;
  const std::string path = folder.File("shared.bin");
  test::WriteFileText(path, "RIFF");
  auto reader = TFileStream::Open(path, FileMode::OpenRead);
  auto writer = TFileStream::Open(path, FileMode::OpenReadWrite);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);

  char buffer[8] = {};
  EXPECT_EQ(reader->Read(buffer, 8), 4);
  writer->Seek(0, SeekOrigin::End);
  EXPECT_EQ(writer->Write("WAVE", 4), 4);
  writer->Seek(0, SeekOrigin::Begin);
  EXPECT_EQ(writer->Write("X", 1), 1);

  EXPECT_EQ(reader->Size(), 8);
  EXPECT_EQ(reader->Read(buffer, 8), 4);  // continues where the short read stopped
  EXPECT_EQ(std::string(buffer, 4), "WAVE");
  reader->Seek(0, SeekOrigin::Begin);
  EXPECT_EQ(reader->Read(buffer, 8), 8);
  EXPECT_EQ(std::string(buffer, 8), "XIFFWAVE");
}

}  // namespace
}  // namespace riffo
