#include "contract/QuorvexControlInterface.h"

namespace riffo {
namespace {

struct ModuleRow {
  int32_t ID;
  const char16_t* DisplayName;
  const char16_t* FileName;
};

// The module kinds this host knows, tried in this order. Rows besides the
// host, Sonolint and Loudlint are reserved for the maker's other modules.
constexpr ModuleRow kModules[] = {
    {0, u"Quorvex", u""},
    {1, u"Vidolint", u"Vidolint.qvx"},
    {2, u"Mpegolint", u"Mpegolint.qvx"},
    {4, u"Sonolint", u"Sonolint.qvx"},
    {8, u"Loudlint", u"Loudlint.qvx"},
};

const ModuleRow* FindRow(int32_t moduleID) {
  for (const auto& row : kModules)
    if (row.ID == moduleID) return &row;
  return nullptr;
}

std::u16string UpperTrimmed(std::u16string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && text[begin] <= u' ') ++begin;
  while (end > begin && text[end - 1] <= u' ') --end;
  std::u16string out(text.substr(begin, end - begin));
  for (auto& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return out;
}

}  // namespace

const char16_t* ModuleDisplayName(int32_t moduleID) {
  const ModuleRow* row = FindRow(moduleID);
  return row ? row->DisplayName : u"Unknown";
}

const char16_t* ModuleFileName(int32_t moduleID) {
  const ModuleRow* row = FindRow(moduleID);
  return row ? row->FileName : u"Unknown";
}

int32_t ModuleIDFromName(std::u16string_view moduleName) {
  const std::u16string wanted = UpperTrimmed(moduleName);
  if (wanted == UpperTrimmed(ModuleDisplayName(0))) return 0;
  for (int n = 0; n <= 30; ++n) {
    const int32_t id = static_cast<int32_t>(1u << n);
    const ModuleRow* row = FindRow(id);
    if (row && wanted == UpperTrimmed(row->DisplayName)) return id;
  }
  return 0;
}

}  // namespace riffo
