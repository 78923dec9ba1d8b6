#include "host/QXReportExportJSON.h"

#include <nlohmann/json.hpp>

#include "contract/QuorvexControlInterface.h"
#include "platform/Text.h"

namespace riffo {

TRuleSplit SplitRulePrefix(const std::u16string& reportMessage) {
  TRuleSplit split;
  split.Message = reportMessage;
  if (reportMessage.size() < 3 || reportMessage[0] != u'[') return split;
  size_t end = 1;
  int rule = 0;
  // At most nine digits, so the number always fits.
  while (end < reportMessage.size() && end <= 9 && reportMessage[end] >= u'0' &&
         reportMessage[end] <= u'9') {
    rule = rule * 10 + (reportMessage[end] - u'0');
    ++end;
  }
  if (end == 1 || end >= reportMessage.size() || reportMessage[end] != u']') return split;
  ++end;
  if (end < reportMessage.size() && reportMessage[end] == u' ') ++end;
  split.Rule = rule;
  split.Message = reportMessage.substr(end);
  return split;
}

std::string JsonReport(const std::string& tool, const std::string& version,
                       const std::u16string& fileName, const std::vector<std::u16string>& modules,
                       const std::vector<TCustomReport>& lines) {
  using nlohmann::ordered_json;
  ordered_json document;
  document["tool"] = tool;
  document["version"] = version;
  document["file"] = Utf16ToUtf8(fileName);
  document["modules"] = ordered_json::array();
  for (const auto& name : modules) document["modules"].push_back(Utf16ToUtf8(name));
  ordered_json array = ordered_json::array();
  for (const TCustomReport& line : lines) {
    const TRuleSplit split = SplitRulePrefix(line.ReportMessage);
    ordered_json item;
    item["module"] = Utf16ToUtf8(ModuleDisplayName(line.Module));
    item["stream"] = line.StreamID < 0 ? ordered_json() : ordered_json(line.StreamID);
    item["type"] = Utf16ToUtf8(ReportTypeName(line.ReportType));
    item["rule"] = split.Rule ? ordered_json(*split.Rule) : ordered_json();
    item["message"] = Utf16ToUtf8(split.Message);
    array.push_back(std::move(item));
  }
  document["lines"] = std::move(array);
  // replace: bytes that are not UTF-8 become U+FFFD rather than an exception.
  return document.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace riffo
