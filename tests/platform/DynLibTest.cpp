#include "platform/DynLib.h"

#include <gtest/gtest.h>

#include <utility>

#include "support/TempFolder.h"
#include "platform/Text.h"

namespace riffo {
namespace {

using AnswerFunction = int (*)();
const std::u16string kTinyLib = Utf8ToUtf16(RIFFO_TINYLIB_PATH);

TEST(DynLib, MissingOrForeignFilesFailWithTheLoadersText) {
  test::TempFolder folder;
  test::WriteFileText(folder.File("NotAModule.qvx"), "this is text, not a shared object");
  for (const std::string& path : {folder.File("Missing.qvx"), folder.File("NotAModule.qvx")}) {
    TDynLib lib;
    EXPECT_FALSE(lib.Load(Utf8ToUtf16(path)));
    EXPECT_FALSE(lib.Loaded());
    EXPECT_NE(lib.LastError().find(path), std::string::npos) << lib.LastError();
    EXPECT_EQ(lib.Symbol("riffo_tiny_answer"), nullptr);
  }
  TDynLib empty;
  EXPECT_FALSE(empty.Load(u""));  // would otherwise hand back the program itself
  EXPECT_FALSE(empty.LastError().empty());
}

TEST(DynLib, LoadsResolvesAndFreesOnce) {
  TDynLib lib;
  ASSERT_TRUE(lib.Load(kTinyLib)) << lib.LastError();
  EXPECT_TRUE(lib.Loaded());
  auto answer = reinterpret_cast<AnswerFunction>(lib.Symbol("riffo_tiny_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);

  EXPECT_EQ(lib.Symbol("riffo_not_exported"), nullptr);
  EXPECT_NE(lib.LastError().find("riffo_not_exported"), std::string::npos) << lib.LastError();

  EXPECT_TRUE(lib.Free());
  EXPECT_FALSE(lib.Loaded());
  EXPECT_TRUE(lib.Free());  // nothing left to close
  EXPECT_EQ(lib.Symbol("riffo_tiny_answer"), nullptr);
}

TEST(DynLib, MovingHandsOverTheOneHandle) {
  TDynLib first;
  ASSERT_TRUE(first.Load(kTinyLib));
  TDynLib second(std::move(first));
  EXPECT_FALSE(first.Loaded());  // NOLINT(bugprone-use-after-move): moved-from is empty by contract
  ASSERT_TRUE(second.Loaded());
  TDynLib third;
  ASSERT_TRUE(third.Load(kTinyLib));
  third = std::move(second);      // frees third's own handle, takes second's
  EXPECT_FALSE(second.Loaded());  // NOLINT(bugprone-use-after-move)
  EXPECT_NE(third.Symbol("riffo_tiny_answer"), nullptr);
  EXPECT_TRUE(third.Free());
}

}  // namespace
}  // namespace riffo
