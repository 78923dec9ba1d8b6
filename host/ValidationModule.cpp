#include "host/ValidationModule.h"

#include <cstdlib>
#include <string_view>

#include "platform/DebugTrace.h"
#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/Text.h"

namespace riffo {

namespace {

std::u16string WithSlash(std::u16string folder) {
  if (!folder.empty() && folder.back() != u'/') folder += u'/';
  return folder;
}

// "/usr/bin/" gives "/usr/lib/riffoscope/modules/". A folder whose last part
// cannot simply be dropped ("./", "../", "/") gets "../" added instead.
std::u16string ModulesFolderBeside(const std::u16string& programFolder) {
  const std::u16string folder = programFolder.substr(0, programFolder.size() - 1);
  const size_t slash = folder.rfind(u'/');
  const std::u16string last = slash == std::u16string::npos ? folder : folder.substr(slash + 1);
  if (last.empty() || last == u"." || last == u"..")
    return programFolder + u"../" + MODULES_FOLDER_IN_PREFIX;
  return folder.substr(0, slash == std::u16string::npos ? 0 : slash + 1) + MODULES_FOLDER_IN_PREFIX;
}

}  // namespace

std::vector<std::u16string> ValidationModuleFolders(const std::u16string& programFolder) {
  std::vector<std::u16string> folders{WithSlash(programFolder)};
  if (!programFolder.empty()) folders.push_back(ModulesFolderBeside(folders.front()));
  const char* variable = std::getenv(MODULE_PATH_VARIABLE);
  std::string_view rest = variable != nullptr ? variable : "";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    if (!entry.empty()) folders.push_back(WithSlash(Utf8ToUtf16(std::string(entry))));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  }
  return folders;
}

std::u16string FindValidationModuleFile(const std::vector<std::u16string>& folders,
                                        const std::u16string& fileName) {
  for (const std::u16string& folder : folders)
    if (FileExists(folder + fileName)) return folder + fileName;
  return u"";
}

TValidationModule::TValidationModule(IQuorvexReport* quorvexReport)
    : FQuorvexReport(TQxRef<IQuorvexReport>::Share(quorvexReport)) {}

TValidationModule::~TValidationModule() {
  GuardedVoid(u"Error in TValidationModule.Destroy call...", [&] {
    if (!UnloadValidationModule())
      DebugTrace(u"Error in TValidationModule.Destroy - error calling UnloadValidationModule().");
  });
}

bool TValidationModule::LoadValidationModule(const std::u16string& validationModuleFileName) {
  if (FValidationModuleHandle.Loaded()) {
    // Binding over a bound module would orphan its library and references.
    DebugTrace(
        u"Error in TValidationModule.LoadValidationModule - validation module already loaded.");
    return false;
  }
  const bool bound = Guarded(u"Error in TValidationModule.LoadValidationModule call...", false,
                             [&] { return Bind(validationModuleFileName); });
  if (!bound)
    GuardedVoid(u"Error in TValidationModule.LoadValidationModule call...", [&] { ReleaseAll(); });
  return bound;
}

bool TValidationModule::Bind(const std::u16string& validationModuleFileName) {
  if (!FileExists(validationModuleFileName)) return false;
  FValidationModuleFileName = validationModuleFileName;

  // The platform shows no error box for a library that does not load, so
  // there is no error mode to switch here.
  if (!FValidationModuleHandle.Load(validationModuleFileName)) {
    DebugTrace(
        u"Error in TValidationModule.LoadValidationModule - error loading validation module "
        u"library.");
    if (!FValidationModuleHandle.LastError().empty())
      DebugTrace("TValidationModule.LoadValidationModule - " + FValidationModuleHandle.LastError());
    return false;
  }

  auto* entry = reinterpret_cast<TGetQuorvexControl>(
      FValidationModuleHandle.Symbol(GET_QUORVEX_CONTROL_NAME));
  if (entry == nullptr) {
    DebugTrace(
        u"Error in TValidationModule.LoadValidationModule - error retrieving GetQuorvexControl "
        u"function.");
    return false;
  }

  IQuorvexControl* control = nullptr;
  const int32_t entryResult = entry(&control);
  if (entryResult != 0 || control == nullptr) {
    // A failed entry point owns nothing the host could release: whatever it
    // left in the variable is not trusted.
    DebugTrace(
        u"Error in TValidationModule.LoadValidationModule - error retrieving QuorvexControl "
        u"interface.");
    return false;
  }
  FQuorvexControl = TQxRef<IQuorvexControl>::Adopt(control);

  const char16_t* moduleName = nullptr;
  if (FQuorvexControl->GetModuleName(&moduleName) != S_OK) {
    DebugTrace(
        u"Error in TValidationModule.LoadValidationModule - error retrieving Quorvex module name.");
    return false;
  }
  // The text belongs to the module object: copy it at once.
  FValidationModuleName = moduleName != nullptr ? std::u16string(moduleName) : std::u16string();

  TQxRef<IQuorvexReportSet> reportSet =
      FQuorvexControl.Query<IQuorvexReportSet>(IID_IQuorvexReportSet);
  if (!reportSet) {
    DebugTrace(
        u"Error in TValidationModule.LoadValidationModule - error retrieving QuorvexReportSet "
        u"interface.");
    return false;
  }
  FQuorvexReset = FQuorvexControl.Query<IQuorvexReset>(IID_IQuorvexReset);

  if (reportSet->SetQuorvexReport(FQuorvexReport.Get()) != S_OK) {
    DebugTrace(
        u"Error in TValidationModule.LoadValidationModule - error calling "
        u"QuorvexReportSet.SetQuorvexReport.");
    return false;  // reportSet is released here, before ReleaseAll frees the library
  }
  return true;
}

// Undoes a failed binding: the references the module handed out, then the
// library. The host's own sink reference stays, as it was given at creation.
void TValidationModule::ReleaseAll() {
  FQuorvexReset.Clear();
  FQuorvexControl.Clear();
  FValidationModuleHandle.Free();
  FValidationModuleFileName.clear();
  FValidationModuleName.clear();
}

bool TValidationModule::UnloadValidationModule() {
  return Guarded(u"Error in TValidationModule.UnloadValidationModule call...", false, [&] {
    FValidationModuleFileName.clear();
    FValidationModuleName.clear();
    // Every reference goes before the library: the objects live in its code.
    FQuorvexReset.Clear();
    FQuorvexReport.Clear();
    FQuorvexControl.Clear();
    FValidationModuleHandle.Free();  // a no-op once freed, so the library is freed exactly once
    return true;
  });
}

}  // namespace riffo
