#include "modulekit/RuleCatalogue.h"

#include <utility>

#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Text.h"
#include "platform/UserStore.h"

namespace riffo {

namespace {

std::string CutText(const std::string& text) {
  return text.size() > VALIDATION_SETTING_TEXT_MAX ? text.substr(0, VALIDATION_SETTING_TEXT_MAX)
                                                   : text;
}

// The store takes key paths without a trailing separator.
std::u16string ValueName(int32_t id, const char* suffix) { return Format16("%d%s", id, suffix); }

}  // namespace

std::unique_ptr<TUserStoreKey> OpenSettingsKey(HKEY rKey, const std::u16string& key) {
  if (rKey != HKEY_CURRENT_USER) return nullptr;
  std::u16string path = key;
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return TUserStoreKey::OpenOrCreate(path);
}

std::vector<TValidationSetting> RuleRecords(const TRuleRow* rows, size_t count) {
  std::vector<TValidationSetting> result;
  result.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const TRuleRow& row = rows[i];
    TValidationSetting setting;
    setting.ID = row.ID;
    setting.Name = row.Name;
    setting._Type = row.Type;
    setting.Enabled = row.Enabled;
    setting.Description = row.Name;
    setting.Code = 0;
    setting.CanChangeType = row.CanChangeType;
    setting.CanChangeEnable = true;
    result.push_back(std::move(setting));
  }
  return result;
}

// --- the list -------------------------------------------------------------

TRuleCatalogue::TRuleCatalogue() = default;

TRuleCatalogue::~TRuleCatalogue() {
  GuardedVoid(u"dgn: Error in TValidationSettingList.Destroy call...", [&] {
    FSettingsList.clear();
    std::lock_guard<std::mutex> lock(FSinkLock);
    FQuorvexReport.Clear();
  });
}

HRESULT TRuleCatalogue::SetQuorvexReport(IQuorvexReport* quorvexReport) {
  if (!quorvexReport) {
    DebugTrace(u"dgn: Error in TValidationSettingList.SetQuorvexReport call...");
    return E_INVALIDARG;
  }
  return Guarded(u"dgn: Error in TValidationSettingList.SetQuorvexReport call...", E_FAIL, [&] {
    auto sink = TQxRef<IQuorvexReport>::Share(quorvexReport);
    std::lock_guard<std::mutex> lock(FSinkLock);
    FQuorvexReport = sink;
    return S_OK;
  });
}

TQxRef<IQuorvexReport> TRuleCatalogue::CurrentSink() const {
  std::lock_guard<std::mutex> lock(FSinkLock);
  return FQuorvexReport;
}

int32_t TRuleCatalogue::AddItem(const TValidationSetting& validationSetting) {
  return Guarded(u"dgn: Error in TValidationSettingList.AddItem call...", int32_t{0}, [&] {
    auto copy = std::make_unique<TValidationSetting>(validationSetting);
    copy->Name = CutText(copy->Name);
    copy->Description = CutText(copy->Description);
    FSettingsList.push_back(std::move(copy));
    return int32_t{1};
  });
}

int32_t TRuleCatalogue::AddItems(const std::vector<TValidationSetting>& validationSettings) {
  int32_t added = 0;
  for (const TValidationSetting& row : validationSettings) added += AddItem(row) ? 1 : 0;
  return added;
}

void TRuleCatalogue::ClearValidationSettingList() {
  GuardedVoid(u"dgn: Error in TValidationSettingList.ClearValidationSettingList call...",
              [&] { FSettingsList.clear(); });
}

int32_t TRuleCatalogue::AssignValidationSettingList(const TRuleCatalogue& validationSettingList) {
  return Guarded(u"dgn: Error in TValidationSettingList.AssignValidationSettingList call...",
                 int32_t{0}, [&] {
                   if (&validationSettingList == this) return int32_t{1};
                   ClearValidationSettingList();
                   for (const auto& setting : validationSettingList.FSettingsList)
                     AddItem(*setting);
                   return int32_t{1};
                 });
}

PValidationSetting TRuleCatalogue::GetValidationSetting(int32_t index) const {
  return Guarded(u"dgn: Error in TValidationSettingList.GetValidationSetting call...",
                 PValidationSetting{nullptr}, [&]() -> PValidationSetting {
                   if (index < 0 || static_cast<size_t>(index) >= FSettingsList.size())
                     return nullptr;
                   return FSettingsList[static_cast<size_t>(index)].get();
                 });
}

PValidationSetting TRuleCatalogue::GetValidationSettingFromID(int32_t id) const {
  return Guarded(u"dgn: Error in TValidationSettingList.GetValidationSettingFromID call...",
                 PValidationSetting{nullptr}, [&]() -> PValidationSetting {
                   for (const auto& setting : FSettingsList)
                     if (setting->ID == id) return setting.get();
                   return nullptr;
                 });
}

int32_t TRuleCatalogue::ValidationSettingsCount() const {
  return static_cast<int32_t>(FSettingsList.size());
}

int32_t TRuleCatalogue::LoadFromRegistry(HKEY rKey, const std::u16string& key) {
  return Guarded(u"dgn: Error in TValidationSettingList.LoadFromRegistry call...", int32_t{0}, [&] {
    std::unique_ptr<TUserStoreKey> store = OpenSettingsKey(rKey, key);
    if (!store) return int32_t{1};
    for (const auto& setting : FSettingsList) {
      if (setting->CanChangeEnable) {
        const std::u16string name = ValueName(setting->ID, "_Enabled");
        int32_t value = 0;
        if (store->ReadInteger(name, value))
          setting->Enabled = value != 0;
        else
          store->WriteInteger(name, setting->Enabled ? 1 : 0);
      }
      if (setting->CanChangeType) {
        const std::u16string name = ValueName(setting->ID, "_Type");
        int32_t value = 0;
        if (store->ReadInteger(name, value))
          setting->_Type = value;
        else
          store->WriteInteger(name, setting->_Type);
      }
    }
    if (!store->Commit())
      DebugTrace(
          u"dgn: Error in TValidationSettingList.LoadFromRegistry - "
          u"cannot write the defaults.");
    return int32_t{1};
  });
}

int32_t TRuleCatalogue::SaveToRegistry(HKEY rKey, const std::u16string& key) const {
  return Guarded(u"dgn: Error in TValidationSettingList.SaveToRegistry call...", int32_t{0}, [&] {
    std::unique_ptr<TUserStoreKey> store = OpenSettingsKey(rKey, key);
    if (!store) return int32_t{1};
    for (const auto& setting : FSettingsList) {
      store->WriteInteger(ValueName(setting->ID, "_Enabled"), setting->Enabled ? 1 : 0);
      store->WriteInteger(ValueName(setting->ID, "_Type"), setting->_Type);
    }
    if (!store->Commit())
      DebugTrace(u"dgn: Error in TValidationSettingList.SaveToRegistry - cannot write the store.");
    return int32_t{1};
  });
}

HRESULT TRuleCatalogue::Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                               int32_t validationID, int32_t streamID) const {
  return Guarded(u"dgn: Error in TValidationSettingList.Report call...", E_FAIL, [&] {
    const TQxRef<IQuorvexReport> sink = CurrentSink();
    if (!sink.Get()) return E_FAIL;
    std::u16string line = Format16("[%.*d] ", 3, validationID);
    if (reportMessage) line += reportMessage;
    int32_t type = reportType;
    if (const TValidationSetting* setting = GetValidationSettingFromID(validationID)) {
      if (!setting->Enabled) return S_OK;
      type = setting->_Type;
    }
    return sink.Get()->Report(module, type, line.c_str(), streamID);
  });
}

HRESULT TRuleCatalogue::Report(int32_t module, int32_t reportType,
                               const std::u16string& reportMessage, int32_t validationID,
                               int32_t streamID) const {
  return Report(module, reportType, reportMessage.c_str(), validationID, streamID);
}

}  // namespace riffo
