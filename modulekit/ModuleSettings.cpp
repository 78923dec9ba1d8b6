#include "modulekit/ModuleSettings.h"

namespace riffo {

std::unique_ptr<TUserStoreKey> OpenModuleSettingsKey(const std::u16string& key) {
  // The store takes key paths without a trailing separator.
  std::u16string path = key;
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return TUserStoreKey::OpenOrCreate(path);
}

}  // namespace riffo
