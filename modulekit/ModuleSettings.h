// A module's own settings as a table of 32-bit integer fields, each stored as
// one dword value named like the field under the module's key in the per-user
// store. Loading replaces a missing or non-dword value by the field's current
// value in the store, so the first use writes the defaults; a key that cannot
// be opened keeps the current values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/UserStore.h"

namespace riffo {

template <typename T>
struct TIntegerSettingField {
  const char16_t* Name;
  int32_t T::*Field;
};

// The store key for a module key path (a trailing separator is dropped);
// null when it cannot be opened.
std::unique_ptr<TUserStoreKey> OpenModuleSettingsKey(const std::u16string& key);

// True unless the store could not be written back.
template <typename T, size_t N>
bool LoadIntegerSettings(const std::u16string& key, const TIntegerSettingField<T> (&fields)[N],
                         T& settings) {
  std::unique_ptr<TUserStoreKey> store = OpenModuleSettingsKey(key);
  if (!store) return true;
  for (const TIntegerSettingField<T>& field : fields) {
    int32_t value = 0;
    if (store->ReadInteger(field.Name, value))
      settings.*field.Field = value;
    else
      store->WriteInteger(field.Name, settings.*field.Field);
  }
  return store->Commit();
}

template <typename T, size_t N>
bool SaveIntegerSettings(const std::u16string& key, const TIntegerSettingField<T> (&fields)[N],
                         const T& settings) {
  std::unique_ptr<TUserStoreKey> store = OpenModuleSettingsKey(key);
  if (!store) return true;
  for (const TIntegerSettingField<T>& field : fields)
    store->WriteInteger(field.Name, settings.*field.Field);
  return store->Commit();
}

}  // namespace riffo
