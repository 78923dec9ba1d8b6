// Loudlint's module settings: the time limits of the module object's waits
// for its worker, the loudness profile and the limits of the signal checks.
// Every value is a 32-bit integer in the per-user store (levels and
// tolerances in hundredths), read when the module object is created and
// written back when it goes.
#pragma once

#include <cstdint>
#include <string>

#include "contract/QuorvexControlInterface.h"

namespace riffo {

inline constexpr const char16_t* LOUDLINT_REGISTRY_KEY =
    u"SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Loudlint\\";

enum TLoudnessProfileKind : int32_t {
  PROFILE_EBU_R128 = 0,
  PROFILE_ATSC_A85 = 1,
  PROFILE_USER = 2,
};

// A loudness target: integrated loudness Target +/- Tolerance, true peak at
// most PeakLimit.
struct TLoudnessProfile {
  std::u16string Name;
  double Target = 0;     // LUFS
  double Tolerance = 0;  // LU
  double PeakLimit = 0;  // dBTP
};

struct TLoudlintSettings {
  int32_t LOAD_FILE_TIMEOUT_MS = 15000;
  int32_t UNLOAD_FILE_TIMEOUT_MS = 15000;
  int32_t PLAY_TIMEOUT_MS = 5000;
  int32_t STOP_TIMEOUT_MS = 5000;
  // A TLoudnessProfileKind; any other value counts as EBU R128.
  int32_t Profile = PROFILE_EBU_R128;
  // The user profile, hundredths of LUFS, LU and dBTP.
  int32_t UserTargetCentiLUFS = -2300;
  int32_t UserToleranceCentiLU = 100;
  int32_t UserPeakLimitCentidBTP = -100;
  // Largest difference between a bext loudness field and the measurement
  // that still agrees, hundredths of LU (or dB for the true peak).
  int32_t BextToleranceCentiLU = 10;
  // Shortest run of consecutive full-scale samples on a channel reported as
  // clipping (values below 1 count as 1).
  int32_t ClipRunSamples = 3;
  // A channel's mean above this level (dBFS) is a DC offset.
  int32_t DcOffsetLeveldBFS = -40;
  // A stereo file whose long-term correlation is below this (hundredths,
  // -100..100) has a phase-reversed channel.
  int32_t CorrelationLimitCenti = -20;

  TLoudnessProfile SelectedProfile() const;

  // Both S_OK; failures to write the store are traced.
  HRESULT LoadFromRegistry(const std::u16string& key = LOUDLINT_REGISTRY_KEY);
  HRESULT SaveToRegistry(const std::u16string& key = LOUDLINT_REGISTRY_KEY) const;
};

}  // namespace riffo
