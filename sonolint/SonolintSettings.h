// The module settings: the time limits with which the module object waits for
// its worker and the parameters of the silence and noise detector. Eight
// 32-bit signed values, read from the per-user store when the module object is
// created and written back when it is destroyed. Nothing is range-checked:
// whatever the store holds is used.
#pragma once

#include <cstdint>
#include <string>

#include "contract/QuorvexControlInterface.h"
#include "sonolint/ValidationSettings.h"

namespace riffo {

// Where the module settings live, one dword value per field named exactly like
// the field (the rule settings are in its subkey "ValidationSettings\").
inline constexpr const char16_t* SONOLINT_REGISTRY_KEY =
    u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Sonolint\\";

struct TSonolintSettings {
  // Time limits of the module object's waits for its worker, in milliseconds.
  int32_t LOAD_FILE_TIMEOUT_MS = 15000;
  int32_t UNLOAD_FILE_TIMEOUT_MS = 15000;
  int32_t PLAY_TIMEOUT_MS = 5000;
  int32_t STOP_TIMEOUT_MS = 5000;
  // Silence level in whole decibels (the detector takes it as a double) and
  // the shortest silence block reported, in milliseconds.
  int32_t SilenceLeveldB = -80;
  int32_t MinSilenceBlockMS = 5000;
  // Noise level in whole decibels and the shortest noise block, milliseconds.
  int32_t NoiseLeveldB = -10;
  int32_t MinNoiseBlockMS = 5000;

  // Reads the eight values in field order; a missing or non-dword value is
  // replaced in the store by the field's current value, so the first use
  // writes the defaults. A key that cannot be opened keeps the current
  // values. S_OK; E_FAIL only on an unexpected failure (traced as the
  // module's LoadRegistry).
  HRESULT LoadFromRegistry(HKEY rKey = HKEY_CURRENT_USER,
                           const std::u16string& key = SONOLINT_REGISTRY_KEY);
  // Writes all eight values (nothing when the key cannot be opened). S_OK;
  // E_FAIL only on an unexpected failure (traced as the module's SaveRegistry).
  HRESULT SaveToRegistry(HKEY rKey = HKEY_CURRENT_USER,
                         const std::u16string& key = SONOLINT_REGISTRY_KEY) const;
};

}  // namespace riffo
