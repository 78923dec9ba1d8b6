#include "sonolint/ValidationSettings.h"

#include <iterator>
#include <utility>

#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Text.h"
#include "platform/UserStore.h"

namespace riffo {

namespace {

struct TRuleRow {
  int32_t ID;
  const char* Name;
  int32_t Type;
  bool Enabled;
  bool CanChangeType;
};

// The built-in catalogue in ascending identifier order. Every row's
// Description equals its Name, its Code is 0 and its enabled state may change.
constexpr TRuleRow BUILT_IN_RULES[] = {
    // Run lines of the module object.
    {101, "Start validation information", 1, true, false},
    {102, "Loading file information", 1, true, false},
    {103, "Unloading file information", 1, true, false},
    {104, "Loading timeout", 3, true, true},
    {105, "Unloading timeout", 3, true, true},
    {106, "Play timeout", 3, true, true},
    {107, "Stop timeout", 3, true, true},
    {108, "Finish validation information", 1, true, false},
    // File structure, from the chunk loader and the conformance rules.
    {201, "Chunk name read on end of file check", 3, true, true},
    {202, "Chunk size read on end of file check", 3, true, true},
    {203, "Chunk type read on end of file check", 3, true, true},
    {204, "Chunk completeness check", 3, true, true},
    {205, "Chunk boundaries check", 3, true, true},
    {206, "fmt chunk read on end of file check", 3, true, true},
    {207, "Non-RIFF chunk check", 3, true, true},
    {208, "Main RIFF chunk name check", 3, true, true},
    {209, "fmt chunk absence", 3, true, true},
    {210, "data chunk absence", 3, true, true},
    {211, "bext chunk absence", 3, false, true},
    {212, "cart chunk absence", 3, false, true},
    {213, "bext chunk read on end of file check", 3, true, true},
    {214, "cart chunk read on end of file check", 3, true, true},
    {215, "bext chunk completeness check", 3, true, true},
    {216, "cart chunk completeness check", 3, true, true},
    {217, "bext chunk Origination Date check", 3, true, true},
    {218, "bext chunk Origination Time check", 3, true, true},
    {219, "cart chunk Start Date check", 3, true, true},
    {220, "cart chunk Start Time check", 3, true, true},
    {221, "cart chunk End Date check", 3, true, true},
    {222, "cart chunk End Time check", 3, true, true},
    {223, "qlty chunk read on end of file check", 3, true, true},
    {224, "fact chunk read on end of file check", 3, true, true},
    {225, "levl chunk read on end of file check", 3, true, true},
    {226, "mext chunk read on end of file check", 3, true, true},
    // Stream and format information.
    {301, "WAVE stream duration information", 1, true, false},
    {302, "fmt chunk FormatTag information", 1, true, false},
    {303, "fmt chunk Channels information", 1, true, false},
    {304, "fmt chunk SamplesPerSec information", 1, true, false},
    {305, "fmt chunk AvgBytesPerSec information", 1, true, false},
    {306, "fmt chunk BlockAlign information", 1, true, false},
    {307, "fmt chunk BitsPerSample information", 1, true, false},
    // Format checks.
    {401, "fmt chunk FormatTag check", 3, true, true},
    {402, "fmt chunk Channels check", 3, true, true},
    {403, "fmt chunk SamplesPerSec check", 3, true, true},
    {404, "fmt chunk AvgBytesPerSec check", 3, true, true},
    {405, "fmt chunk BlockAlign check", 3, true, true},
    {406, "fmt chunk BitsPerSample check", 3, true, true},
    // Broadcast extension information.
    {410, "bext chunk Description information", 1, true, true},
    {411, "bext chunk Originator information", 1, true, true},
    {412, "bext chunk Originator Reference information", 1, true, true},
    {413, "bext chunk Origination Date information", 1, true, true},
    {414, "bext chunk Origination Time information", 1, true, true},
    {415, "bext chunk Time Reference Low information", 1, true, true},
    {416, "bext chunk Time Reference High information", 1, true, true},
    {417, "bext chunk Version information", 1, true, true},
    {418, "bext chunk Loudness Value information", 1, true, true},
    {419, "bext chunk Loudness Range information", 1, true, true},
    {420, "bext chunk Max True Peak Level information", 1, true, true},
    {421, "bext chunk Max Momentary Loudness information", 1, true, true},
    {422, "bext chunk Max Short Term Loudness information", 1, true, true},
    // Cart information.
    {430, "cart chunk Version information", 1, true, true},
    {431, "cart chunk Title information", 1, true, true},
    {432, "cart chunk Artist information", 1, true, true},
    {433, "cart chunk Cut ID information", 1, true, true},
    {434, "cart chunk Client ID information", 1, true, true},
    {435, "cart chunk Category information", 1, true, true},
    {436, "cart chunk Classification information", 1, true, true},
    {437, "cart chunk Out Cue information", 1, true, true},
    {438, "cart chunk Start Date information", 1, true, true},
    {439, "cart chunk Start Time information", 1, true, true},
    {440, "cart chunk End Date information", 1, true, true},
    {441, "cart chunk End Time information", 1, true, true},
    {442, "cart chunk Producer App ID information", 1, true, true},
    {443, "cart chunk Producer App Version information", 1, true, true},
    {444, "cart chunk User Def information", 1, true, true},
    {445, "cart chunk Level Reference information", 1, true, true},
    {446, "cart chunk URL information", 1, true, true},
    // Silence and noise.
    {500, "Silence block position and duration", 2, true, true},
    {501, "Noise block position and duration", 2, true, true},
    {502, "Total file silence duration", 1, true, true},
    {503, "Total file noise duration", 1, true, true},
    {504, "Cumulative silence duration", 1, true, true},
    {505, "Cumulative noise duration", 1, true, true},
    {506, "Audio not analysed", 2, true, true},
};
static_assert(std::size(BUILT_IN_RULES) == BUILT_IN_VALIDATION_SETTINGS_COUNT);

std::string CutText(const std::string& text) {
  return text.size() > VALIDATION_SETTING_TEXT_MAX ? text.substr(0, VALIDATION_SETTING_TEXT_MAX)
                                                   : text;
}

// The store takes key paths without a trailing separator.
std::u16string StoreKeyPath(const std::u16string& key) {
  std::u16string path = key;
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
  return path;
}

// Null when the root is not the current user's or the key cannot be opened.
std::unique_ptr<TUserStoreKey> OpenKey(HKEY rKey, const std::u16string& key) {
  if (rKey != HKEY_CURRENT_USER) return nullptr;
  return TUserStoreKey::OpenOrCreate(StoreKeyPath(key));
}

std::u16string ValueName(int32_t id, const char* suffix) { return Format16("%d%s", id, suffix); }

}  // namespace

const std::vector<TValidationSetting>& BuiltInValidationSettings() {
  static const std::vector<TValidationSetting> rows = [] {
    std::vector<TValidationSetting> result;
    result.reserve(std::size(BUILT_IN_RULES));
    for (const TRuleRow& row : BUILT_IN_RULES) {
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
  }();
  return rows;
}

// --- the sink reference ---------------------------------------------------

TValidationSettingList::TReportRef::TReportRef(IQuorvexReport* report) : FReport(report) {
  if (FReport) FReport->AddRef();
}

TValidationSettingList::TReportRef::TReportRef(const TReportRef& other) : FReport(other.FReport) {
  if (FReport) FReport->AddRef();
}

TValidationSettingList::TReportRef& TValidationSettingList::TReportRef::operator=(
    const TReportRef& other) {
  if (other.FReport) other.FReport->AddRef();
  IQuorvexReport* previous = std::exchange(FReport, other.FReport);
  if (previous) previous->Release();
  return *this;
}

TValidationSettingList::TReportRef::~TReportRef() {
  if (FReport) FReport->Release();
}

// --- the list -------------------------------------------------------------

TValidationSettingList::TValidationSettingList() = default;

TValidationSettingList::~TValidationSettingList() {
  GuardedVoid(u"dgn: Error in TValidationSettingList.Destroy call...", [&] {
    FSettingsList.clear();
    std::lock_guard<std::mutex> lock(FSinkLock);
    FQuorvexReport = TReportRef();
  });
}

HRESULT TValidationSettingList::SetQuorvexReport(IQuorvexReport* quorvexReport) {
  if (!quorvexReport) {
    DebugTrace(u"dgn: Error in TValidationSettingList.SetQuorvexReport call...");
    return E_INVALIDARG;
  }
  return Guarded(u"dgn: Error in TValidationSettingList.SetQuorvexReport call...", E_FAIL, [&] {
    TReportRef sink(quorvexReport);
    std::lock_guard<std::mutex> lock(FSinkLock);
    FQuorvexReport = sink;
    return S_OK;
  });
}

TValidationSettingList::TReportRef TValidationSettingList::CurrentSink() const {
  std::lock_guard<std::mutex> lock(FSinkLock);
  return FQuorvexReport;
}

int32_t TValidationSettingList::AddItem(const TValidationSetting& validationSetting) {
  return Guarded(u"dgn: Error in TValidationSettingList.AddItem call...", int32_t{0}, [&] {
    auto copy = std::make_unique<TValidationSetting>(validationSetting);
    copy->Name = CutText(copy->Name);
    copy->Description = CutText(copy->Description);
    FSettingsList.push_back(std::move(copy));
    return int32_t{1};
  });
}

int32_t TValidationSettingList::AddBuiltInValidationSettings() {
  int32_t added = 0;
  for (const TValidationSetting& row : BuiltInValidationSettings()) added += AddItem(row) ? 1 : 0;
  return added;
}

void TValidationSettingList::ClearValidationSettingList() {
  GuardedVoid(u"dgn: Error in TValidationSettingList.ClearValidationSettingList call...",
              [&] { FSettingsList.clear(); });
}

int32_t TValidationSettingList::AssignValidationSettingList(
    const TValidationSettingList& validationSettingList) {
  return Guarded(u"dgn: Error in TValidationSettingList.AssignValidationSettingList call...",
                 int32_t{0}, [&] {
                   if (&validationSettingList == this) return int32_t{1};
                   ClearValidationSettingList();
                   for (const auto& setting : validationSettingList.FSettingsList)
                     AddItem(*setting);
                   return int32_t{1};
                 });
}

PValidationSetting TValidationSettingList::GetValidationSetting(int32_t index) const {
  return Guarded(u"dgn: Error in TValidationSettingList.GetValidationSetting call...",
                 PValidationSetting{nullptr}, [&]() -> PValidationSetting {
                   if (index < 0 || static_cast<size_t>(index) >= FSettingsList.size())
                     return nullptr;
                   return FSettingsList[static_cast<size_t>(index)].get();
                 });
}

PValidationSetting TValidationSettingList::GetValidationSettingFromID(int32_t id) const {
  return Guarded(u"dgn: Error in TValidationSettingList.GetValidationSettingFromID call...",
                 PValidationSetting{nullptr}, [&]() -> PValidationSetting {
                   for (const auto& setting : FSettingsList)
                     if (setting->ID == id) return setting.get();
                   return nullptr;
                 });
}

int32_t TValidationSettingList::ValidationSettingsCount() const {
  return static_cast<int32_t>(FSettingsList.size());
}

int32_t TValidationSettingList::LoadFromRegistry(HKEY rKey, const std::u16string& key) {
  return Guarded(u"dgn: Error in TValidationSettingList.LoadFromRegistry call...", int32_t{0},
                 [&] {
                   std::unique_ptr<TUserStoreKey> store = OpenKey(rKey, key);
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
                     DebugTrace(u"dgn: Error in TValidationSettingList.LoadFromRegistry - "
                                u"cannot write the defaults.");
                   return int32_t{1};
                 });
}

int32_t TValidationSettingList::SaveToRegistry(HKEY rKey, const std::u16string& key) const {
  return Guarded(u"dgn: Error in TValidationSettingList.SaveToRegistry call...", int32_t{0}, [&] {
    std::unique_ptr<TUserStoreKey> store = OpenKey(rKey, key);
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

HRESULT TValidationSettingList::Report(int32_t module, int32_t reportType,
                                       const char16_t* reportMessage, int32_t validationID,
                                       int32_t streamID) const {
  return Guarded(u"dgn: Error in TValidationSettingList.Report call...", E_FAIL, [&] {
    const TReportRef sink = CurrentSink();
    if (!sink.get()) return E_FAIL;
    std::u16string line = Format16("[%.*d] ", 3, validationID);
    if (reportMessage) line += reportMessage;
    int32_t type = reportType;
    if (const TValidationSetting* setting = GetValidationSettingFromID(validationID)) {
      if (!setting->Enabled) return S_OK;
      type = setting->_Type;
    }
    return sink.get()->Report(module, type, line.c_str(), streamID);
  });
}

HRESULT TValidationSettingList::Report(int32_t module, int32_t reportType,
                                       const std::u16string& reportMessage, int32_t validationID,
                                       int32_t streamID) const {
  return Report(module, reportType, reportMessage.c_str(), validationID, streamID);
}

}  // namespace riffo
