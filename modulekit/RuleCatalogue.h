// A module's rule catalogue: every rule the module knows, with its name, its
// current severity and its on/off switch. Every report line of the module
// passes through TRuleCatalogue::Report on its way to the host's sink, which
// drops the lines of disabled rules, replaces the producer's severity by the
// rule's current one and puts "[NNN] " (the rule identifier) in front.
//
// The user's choices persist per rule in the per-user store, two dword values
// per rule under the module's own key: "<id>_Enabled" (0 or 1, non-zero reads
// as enabled) and "<id>_Type" (the severity, stored as it is).
//
// Each module keeps its table of rules itself and fills a catalogue from it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "contract/QxRef.h"
#include "platform/UserStore.h"

namespace riffo {

// Predefined root of the per-user store; the only root the store has.
using HKEY = uint32_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

// Opens (or creates) a module's settings key in the per-user store. Null when
// the root is not the current user's or the key cannot be opened. A trailing
// separator in key is ignored, as the store takes paths without one.
std::unique_ptr<TUserStoreKey> OpenSettingsKey(HKEY rKey, const std::u16string& key);

// Longest Name or Description a record keeps (longer texts are cut).
inline constexpr size_t VALIDATION_SETTING_TEXT_MAX = 255;

// One rule. Plain record; a list owns its own copy of every record it holds.
struct TValidationSetting {
  int32_t ID = 0;                // rule identifier, unique in the catalogue
  std::string Name;              // 8-bit text, at most 255 characters
  int32_t _Type = 0;             // current severity: 1 Info, 2 Warning, 3 Error
  bool Enabled = false;          // whether lines of this rule reach the host
  std::string Description;       // 8-bit text, at most 255 characters
  int32_t Code = 0;              // carried along, used by no rule
  bool CanChangeType = false;    // the user may change _Type (and it is loaded)
  bool CanChangeEnable = false;  // the user may change Enabled (and it is loaded)
};
using PValidationSetting = TValidationSetting*;

// A row of a module's built-in rule table. Description equals Name, Code is
// 0 and the enabled state may always change.
struct TRuleRow {
  int32_t ID;
  const char* Name;
  int32_t Type;
  bool Enabled;
  bool CanChangeType;
};

// The records of a rule table, in table order.
std::vector<TValidationSetting> RuleRecords(const TRuleRow* rows, size_t count);

class TRuleCatalogue {
public:
  TRuleCatalogue();
  virtual ~TRuleCatalogue();
  TRuleCatalogue(const TRuleCatalogue&) = delete;
  TRuleCatalogue& operator=(const TRuleCatalogue&) = delete;

  // Keeps a reference to the host's sink, replacing a previous one.
  // Null: E_INVALIDARG and the previous sink stays.
  HRESULT SetQuorvexReport(IQuorvexReport* quorvexReport);

  // Appends a copy of the record (texts cut to 255 characters).
  int32_t AddItem(const TValidationSetting& validationSetting);
  // Appends a copy of every record, in order; the number added.
  int32_t AddItems(const std::vector<TValidationSetting>& validationSettings);
  void ClearValidationSettingList();
  // Makes this list an independent copy of the other one (same order).
  int32_t AssignValidationSettingList(const TRuleCatalogue& validationSettingList);

  // The record at a position, or null outside 0..count-1. The record stays
  // owned by the list and may be changed in place.
  PValidationSetting GetValidationSetting(int32_t index) const;
  // The first record in list order with this identifier, or null.
  PValidationSetting GetValidationSettingFromID(int32_t id) const;
  int32_t ValidationSettingsCount() const;

  // Reads the user's choices: for each record, "<id>_Enabled" when
  // CanChangeEnable and "<id>_Type" when CanChangeType; a missing or
  // non-dword value is replaced by the record's current value. A key that
  // cannot be opened leaves everything as it is. False only on an
  // unexpected failure.
  int32_t LoadFromRegistry(HKEY rKey, const std::u16string& key);
  // Writes both values of every record, whatever its flags.
  int32_t SaveToRegistry(HKEY rKey, const std::u16string& key) const;

  // The filter between producers and the host. E_FAIL without a sink; S_OK
  // for a line of a disabled rule (nothing is sent); otherwise the sink's
  // result. A line whose identifier is not in the catalogue passes with the
  // producer's severity. Safe to call from several threads at once as long
  // as the records are not changed meanwhile.
  HRESULT Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                 int32_t validationID, int32_t streamID) const;
  HRESULT Report(int32_t module, int32_t reportType, const std::u16string& reportMessage,
                 int32_t validationID, int32_t streamID) const;

private:
  TQxRef<IQuorvexReport> CurrentSink() const;

  std::vector<std::unique_ptr<TValidationSetting>> FSettingsList;
  mutable std::mutex FSinkLock;  // guards FQuorvexReport only
  TQxRef<IQuorvexReport> FQuorvexReport;
};

}  // namespace riffo
