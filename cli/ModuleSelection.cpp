#include "cli/ModuleSelection.h"

#include "contract/QuorvexControlInterface.h"
#include "platform/Text.h"

namespace riffo::cli {

namespace {

// The kinds a module file exists for (the host itself has none).
std::string KnownModuleNames() {
  std::string names;
  for (int n = 0; n <= 30; ++n) {
    const int32_t id = static_cast<int32_t>(1u << n);
    const std::u16string file = ModuleFileName(id);
    if (file.empty() || file == u"Unknown") continue;
    if (!names.empty()) names += ", ";
    names += Utf16ToUtf8(ModuleDisplayName(id));
  }
  return names;
}

}  // namespace

bool ParseModuleList(const std::string& text, uint32_t& kinds, std::string& error) {
  kinds = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string name =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const int32_t id = ModuleIDFromName(Utf8ToUtf16(name));
    if (id == 0) {
      error = name.find_first_not_of(" \t") == std::string::npos
                  ? "--modules needs module names separated by commas"
                  : "unknown module '" + name + "' (modules: " + KnownModuleNames() + ")";
      return false;
    }
    kinds |= static_cast<uint32_t>(id);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

std::string MissingModules(const TMediaValidationSession& session, uint32_t kinds) {
  if (kinds == ALL_MODULE_KINDS) return {};
  uint32_t loaded = 0;
  for (size_t i = 0; i < session.ModuleCount(); ++i)
    loaded |= static_cast<uint32_t>(ModuleIDFromName(session.Module(i).ValidationModuleName()));
  std::string missing;
  for (int n = 0; n <= 30; ++n) {
    const uint32_t bit = 1u << n;
    if ((kinds & bit) == 0 || (loaded & bit) != 0) continue;
    if (!missing.empty()) missing += ", ";
    missing += Utf16ToUtf8(ModuleDisplayName(static_cast<int32_t>(bit)));
  }
  return missing;
}

}  // namespace riffo::cli
