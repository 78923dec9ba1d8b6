#include "sonolint/SonolintSettings.h"

#include <memory>

#include "modulekit/RuleCatalogue.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/UserStore.h"

namespace riffo {

namespace {

struct TSettingField {
  const char16_t* Name;
  int32_t TSonolintSettings::*Field;
};

// Store order is field order.
constexpr TSettingField SETTING_FIELDS[] = {
    {u"LOAD_FILE_TIMEOUT_MS", &TSonolintSettings::LOAD_FILE_TIMEOUT_MS},
    {u"UNLOAD_FILE_TIMEOUT_MS", &TSonolintSettings::UNLOAD_FILE_TIMEOUT_MS},
    {u"PLAY_TIMEOUT_MS", &TSonolintSettings::PLAY_TIMEOUT_MS},
    {u"STOP_TIMEOUT_MS", &TSonolintSettings::STOP_TIMEOUT_MS},
    {u"SilenceLeveldB", &TSonolintSettings::SilenceLeveldB},
    {u"MinSilenceBlockMS", &TSonolintSettings::MinSilenceBlockMS},
    {u"NoiseLeveldB", &TSonolintSettings::NoiseLeveldB},
    {u"MinNoiseBlockMS", &TSonolintSettings::MinNoiseBlockMS},
};

}  // namespace

HRESULT TSonolintSettings::LoadFromRegistry(HKEY rKey, const std::u16string& key) {
  return Guarded(u"dgn: Error in TSonolint.LoadRegistry call...", E_FAIL, [&] {
    std::unique_ptr<TUserStoreKey> store = OpenSettingsKey(rKey, key);
    if (!store) return S_OK;
    for (const TSettingField& field : SETTING_FIELDS) {
      int32_t value = 0;
      if (store->ReadInteger(field.Name, value))
        this->*field.Field = value;
      else
        store->WriteInteger(field.Name, this->*field.Field);
    }
    if (!store->Commit())
      DebugTrace(u"dgn: Error in TSonolint.LoadRegistry - cannot write the defaults.");
    return S_OK;
  });
}

HRESULT TSonolintSettings::SaveToRegistry(HKEY rKey, const std::u16string& key) const {
  return Guarded(u"dgn: Error in TSonolint.SaveRegistry call...", E_FAIL, [&] {
    std::unique_ptr<TUserStoreKey> store = OpenSettingsKey(rKey, key);
    if (!store) return S_OK;
    for (const TSettingField& field : SETTING_FIELDS)
      store->WriteInteger(field.Name, this->*field.Field);
    if (!store->Commit())
      DebugTrace(u"dgn: Error in TSonolint.SaveRegistry - cannot write the store.");
    return S_OK;
  });
}

}  // namespace riffo
