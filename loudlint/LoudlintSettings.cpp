#include "loudlint/LoudlintSettings.h"

#include "modulekit/ModuleSettings.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"

namespace riffo {
namespace {

constexpr TIntegerSettingField<TLoudlintSettings> SETTING_FIELDS[] = {
    {u"LOAD_FILE_TIMEOUT_MS", &TLoudlintSettings::LOAD_FILE_TIMEOUT_MS},
    {u"UNLOAD_FILE_TIMEOUT_MS", &TLoudlintSettings::UNLOAD_FILE_TIMEOUT_MS},
    {u"PLAY_TIMEOUT_MS", &TLoudlintSettings::PLAY_TIMEOUT_MS},
    {u"STOP_TIMEOUT_MS", &TLoudlintSettings::STOP_TIMEOUT_MS},
    {u"Profile", &TLoudlintSettings::Profile},
    {u"UserTargetCentiLUFS", &TLoudlintSettings::UserTargetCentiLUFS},
    {u"UserToleranceCentiLU", &TLoudlintSettings::UserToleranceCentiLU},
    {u"UserPeakLimitCentidBTP", &TLoudlintSettings::UserPeakLimitCentidBTP},
    {u"BextToleranceCentiLU", &TLoudlintSettings::BextToleranceCentiLU},
    {u"ClipRunSamples", &TLoudlintSettings::ClipRunSamples},
    {u"DcOffsetLeveldBFS", &TLoudlintSettings::DcOffsetLeveldBFS},
    {u"CorrelationLimitCenti", &TLoudlintSettings::CorrelationLimitCenti},
};

}  // namespace

TLoudnessProfile TLoudlintSettings::SelectedProfile() const {
  switch (Profile) {
    case PROFILE_ATSC_A85: return {u"ATSC A/85", -24.0, 2.0, -2.0};
    case PROFILE_USER:
      return {u"User", UserTargetCentiLUFS / 100.0, UserToleranceCentiLU / 100.0,
              UserPeakLimitCentidBTP / 100.0};
    default: return {u"EBU R128", -23.0, 0.5, -1.0};
  }
}

HRESULT TLoudlintSettings::LoadFromRegistry(const std::u16string& key) {
  return Guarded(u"dgn: Error in TLoudlint.LoadRegistry call...", E_FAIL, [&] {
    if (!LoadIntegerSettings(key, SETTING_FIELDS, *this))
      DebugTrace(u"dgn: Error in TLoudlint.LoadRegistry - cannot write the defaults.");
    return S_OK;
  });
}

HRESULT TLoudlintSettings::SaveToRegistry(const std::u16string& key) const {
  return Guarded(u"dgn: Error in TLoudlint.SaveRegistry call...", E_FAIL, [&] {
    if (!SaveIntegerSettings(key, SETTING_FIELDS, *this))
      DebugTrace(u"dgn: Error in TLoudlint.SaveRegistry - cannot write the store.");
    return S_OK;
  });
}

}  // namespace riffo
