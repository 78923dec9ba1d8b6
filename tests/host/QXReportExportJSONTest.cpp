// The JSON report: the rule prefix split off each line, and a valid document
// whatever text the file name and the lines carry.
#include "host/QXReportExportJSON.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace riffo {
namespace {

TEST(QXReportExportJSON, RulePrefixIsSplitOnlyWhenItIsOne) {
  struct Case {
    std::u16string Text;
    std::optional<int> Rule;
    std::u16string Message;
  };
  const Case cases[] = {
      {u"[204] Chunk truncated", 204, u"Chunk truncated"},
      {u"[007]x", 7, u"x"},
      {u"[101] ", 101, u""},
      {u"[12a] odd", std::nullopt, u"[12a] odd"},
      {u"[] empty", std::nullopt, u"[] empty"},
      {u"no prefix [204]", std::nullopt, u"no prefix [204]"},
      {u"[1234567890] too long", std::nullopt, u"[1234567890] too long"},
      {u"[204", std::nullopt, u"[204"},
  };
  for (const Case& c : cases) {
    const TRuleSplit split = SplitRulePrefix(c.Text);
    EXPECT_EQ(split.Rule, c.Rule);
    EXPECT_EQ(split.Message, c.Message);
  }
}

TEST(QXReportExportJSON, AnyTextGivesADocumentThatParsesBack) {
  const std::u16string name = u"take\x1b[2J\x01 \xD800 \"quoted\".wav";
  const std::vector<TCustomReport> lines = {
      {4, 3, u"[217] Date \x1b]0;title\x07 bad", -1},
      {4, 1, u"no rule, lone \xDC00 surrogate", 2},
  };
  const std::string text = JsonReport("riffoscope-cli", "9.9.9", name, {u"Sonolint"}, lines);
  for (const char c : text) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n');
  const nlohmann::json report = nlohmann::json::parse(text);
  EXPECT_EQ(report["version"], "9.9.9");
  EXPECT_EQ(report["file"], "take\x1b[2J\x01 \xEF\xBF\xBD \"quoted\".wav");
  EXPECT_EQ(report["modules"], nlohmann::json::array({"Sonolint"}));
  ASSERT_EQ(report["lines"].size(), 2u);
  EXPECT_EQ(report["lines"][0]["type"], "Error");
  EXPECT_EQ(report["lines"][0]["rule"], 217);
  EXPECT_EQ(report["lines"][0]["stream"], nullptr);
  EXPECT_EQ(report["lines"][1]["rule"], nullptr);
  EXPECT_EQ(report["lines"][1]["stream"], 2);
  EXPECT_EQ(report["lines"][1]["message"], "no rule, lone \xEF\xBF\xBD surrogate");
}

}  // namespace
}  // namespace riffo
