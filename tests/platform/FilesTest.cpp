// File names that are not valid UTF-8 reach the very file they name: opened,
// tested for and removed, while the file whose name is their U+FFFD spelling
// is left alone.
#include "platform/Files.h"

#include <gtest/gtest.h>

#include "support/TempFolder.h"
#include "platform/Stream.h"

namespace riffo {
namespace {

TEST(Files, NamesThatAreNotUtf8ReachTheFileTheyName) {
  test::TempFolder folder;
  const std::string raw = folder.File("take\xFF\xFE.wav");
  const std::string lookalike = folder.File("take\xEF\xBF\xBD\xEF\xBF\xBD.wav");
  test::WriteFileText(raw, "raw");
  test::WriteFileText(lookalike, "lookalike");

  const std::u16string name = FromNativePath(raw);
  EXPECT_EQ(ToNativePath(name), raw);
  EXPECT_TRUE(FileExists(name));
  auto stream = TFileStream::Open(name, FileMode::OpenRead);
  ASSERT_NE(stream, nullptr);
  char bytes[8] = {};
  EXPECT_EQ(stream->Read(bytes, sizeof bytes), 3);
  EXPECT_EQ(std::string(bytes, 3), "raw");
  stream.reset();

  EXPECT_TRUE(RemoveFile(name));
  EXPECT_FALSE(FileExists(name));
  EXPECT_EQ(test::ReadFileText(lookalike), "lookalike");

  // Created under such a name, the file gets exactly those bytes.
  auto created = TFileStream::Open(FromNativePath(folder.File("new\x80.txt")), FileMode::Create);
  ASSERT_NE(created, nullptr);
  created.reset();
  EXPECT_TRUE(FileExists(FromNativePath(folder.File("new\x80.txt"))));
  EXPECT_FALSE(FileExists(FromNativePath(folder.File("new\xE2\x82\xAC.txt"))));
}

}  // namespace
}  // namespace riffo
