// Golden-file tests of the structure export and the tree listing. The
// expected files in data/ were worked out by hand, line by line, from the
// chunk layouts, the caption and field-line formats and the header frame (the
// offsets from the chunk sizes, the hex lines from the bytes the fixtures put
// in), not by running this code and saving its output.
#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/StructureExport.h"
#include "viewer/WavFixtures.h"

namespace riffo::test {
namespace {

std::string Expected(const std::string& name, const char* kind) {
  return ReadFileText(std::string(RIFFO_TEST_DATA_DIR) + "/" + name + "." + kind + ".txt");
}

class GoldenTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(GoldenTest, ExportMatchesExpectedFile) {
  const Fixture& fixture = GetParam();
  const Bytes file = fixture.Build();
  const auto root = LoadTree(file);
  ASSERT_NE(root, nullptr);
  TMemoryStream out;
  const TExportResult result =
      WriteStructureExport(out, u"out.txt", Utf8ToUtf16(std::string(fixture.Name) + ".wav"),
                           static_cast<int64_t>(file.size()), root.get());
  ASSERT_TRUE(result.Ok);
  const std::string expected = ToCrLf(Expected(fixture.Name, "export"));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()), expected);
}

TEST_P(GoldenTest, TreeListingMatchesExpectedFile) {
  const Fixture& fixture = GetParam();
  const Bytes file = fixture.Build();
  const auto root = LoadTree(file);
  ASSERT_NE(root, nullptr);
  auto fileNode = MakeFileNode(Utf8ToUtf16(std::string(fixture.Name) + ".wav"),
                               static_cast<int64_t>(file.size()));
  UpdateTreeView(fileNode.get(), fileNode.get(), 0, nullptr, root.get());
  const std::string expected = Expected(fixture.Name, "tree");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Utf16ToUtf8(TreeListingText(*fileNode)), expected);

  // The clipboard text holds the same nodes in the same order, unindented
  // and ended by CR LF (no node text of these fixtures starts with a blank).
  std::string copy;
  size_t start = 0;
  while (start < expected.size()) {
    const size_t end = expected.find('\n', start);
    const size_t first = expected.find_first_not_of(' ', start);
    copy += expected.substr(first, end - first) + "\r\n";
    start = end + 1;
  }
  EXPECT_EQ(Utf16ToUtf8(TreeCopyText(*fileNode)), copy);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenTest, ::testing::ValuesIn(FIXTURES),
                         [](const auto& param) {
                           std::string name = param.param.Name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace riffo::test
