#include "viewer/RiffoscopeSession.h"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>

#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/Text.h"
#include "platform/UserStore.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/StructureExport.h"

namespace riffo {

namespace {

// "RecentFile1" (the latest) to "RecentFile10".
std::u16string RecentFileValueName(size_t number) {
  return u"RecentFile" + Utf8ToUtf16(std::to_string(number));
}

// Unused slots are written empty, so a shorter list does not keep older names.
void WriteRecentFiles(TUserStoreKey& key, const std::vector<std::u16string>& names) {
  for (size_t i = 1; i <= RECENT_FILES_MAX; ++i)
    key.WriteString(RecentFileValueName(i), i <= names.size() ? names[i - 1] : std::u16string());
}

}  // namespace

TWindowPlacement PlacementFromSettings(const TSettings& s) {
  TWindowPlacement p;
  if (s.FormTop > 0) p.Top = s.FormTop;
  if (s.FormLeft > 0) p.Left = s.FormLeft;
  if (s.FormWidth > 0) p.Width = s.FormWidth;
  if (s.FormHeight > 0) p.Height = s.FormHeight;
  // Both as stored: a tree pane that would leave the rest of the window too
  // small is not applied. 64-bit, as stored values may be anything.
  if (s.TreeViewHeight > 0 &&
      static_cast<int64_t>(s.FormHeight) - s.TreeViewHeight >= MIN_FORM_MINUS_TREE_HEIGHT)
    p.TreeViewHeight = s.TreeViewHeight;
  if (s.FindingsPaneHeight > 0) p.FindingsPaneHeight = s.FindingsPaneHeight;
  p.FindingsPaneVisible = s.FindingsPaneVisible;
  // A stored state outside 0..2 opens the window normally.
  switch (s.WindowState) {
    case 1: p.State = TWindowState::Minimized; break;
    case 2: p.State = TWindowState::Maximized; break;
    default: p.State = TWindowState::Normal; break;
  }
  return p;
}

TWheelKey WheelToKey(int32_t delta, bool ctrlDown) {
  if (delta > 0) return ctrlDown ? TWheelKey::PageUp : TWheelKey::Up;
  return ctrlDown ? TWheelKey::PageDown : TWheelKey::Down;
}

std::vector<TFileFilter> ParseFileFilter(const std::u16string& filter) {
  std::vector<TFileFilter> result;
  std::vector<std::u16string> parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = filter.find(u'|', start);
    parts.push_back(
        filter.substr(start, bar == std::u16string::npos ? std::u16string::npos : bar - start));
    if (bar == std::u16string::npos) break;
    start = bar + 1;
  }
  for (size_t i = 0; i + 1 < parts.size(); i += 2) result.push_back({parts[i], parts[i + 1]});
  return result;
}

std::u16string ToNameFilters(const std::u16string& filter) {
  std::u16string result;
  for (const auto& entry : ParseFileFilter(filter)) {
    std::u16string description = entry.Description;
    // The patterns shown in the description are replaced by the real ones.
    const size_t open = description.rfind(u" (");
    if (open != std::u16string::npos && !description.empty() && description.back() == u')')
      description.erase(open);
    std::u16string patterns;
    size_t start = 0;
    for (;;) {
      const size_t semi = entry.Patterns.find(u';', start);
      std::u16string_view pattern =
          std::u16string_view(entry.Patterns)
              .substr(start, semi == std::u16string::npos ? std::u16string::npos : semi - start);
      if (pattern == u"*.*") pattern = u"*";
      if (!pattern.empty()) {
        if (!patterns.empty()) patterns += u' ';
        patterns += pattern;
      }
      if (semi == std::u16string::npos) break;
      start = semi + 1;
    }
    if (!result.empty()) result += u";;";
    result += description + u" (" + patterns + u")";
  }
  return result;
}

std::u16string WindowCaption(const std::u16string& fileName) {
  if (fileName.empty()) return PROGRAM_NAME;
  return std::u16string(PROGRAM_NAME) + u" (" + fileName + u")";
}

std::vector<std::u16string> AboutLines(const std::u16string& version) {
  return {PROGRAM_NAME, u"Version " + version,
          u"Copyright \u00A9 " + std::u16string(MAKER_YEAR) + u" " + MAKER_NAME};
}

int64_t FindingPosition(const std::u16string& message) {
  const size_t at = message.rfind(u"0x");
  if (at == std::u16string::npos) return -1;
  int64_t value = 0;
  size_t digits = 0;
  for (size_t i = at + 2; i < message.size(); ++i, ++digits) {
    const char16_t c = message[i];
    int digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else if (c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else
      break;
    // More than 15 digits would overflow a signed 64-bit position: no file is that long.
    if (digits >= 15) return -1;
    value = value * 16 + digit;
  }
  return digits == 0 ? -1 : value;
}

std::u16string FindingPositionText(int64_t position) {
  if (position < 0) return {};
  return u"0x" + Utf8ToUtf16(HexPos(position));
}

bool IsSizeFinding(int32_t validationID) { return validationID == 204 || validationID == 205; }

namespace {

// A chunk's header: id and size, and the form type of a container.
int64_t HeaderLength(const TChunkNodeInfo& info) { return info.ChunkType != 0 ? 12 : 8; }

// End of the chunk as its header declares it, pad byte included: where the
// loader reads the next header.
int64_t DeclaredEnd(const TChunkNodeInfo& info) {
  return info.Offset + 8 + info.Size + (info.Size % 2);
}

// The chunk nodes below node, in display order (field and text lines carry
// no record and are left out).
template <typename Visit>
bool VisitChunks(const TDisplayNode& node, Visit&& visit) {
  for (const auto& child : node.Children) {
    if (!child->Info) continue;
    if (visit(*child)) return true;
    if (VisitChunks(*child, visit)) return true;
  }
  return false;
}

}  // namespace

TFindingTarget FindingTarget(const TDisplayNode& root, const TLoadFinding& finding) {
  const int64_t pos = finding.Position;
  if (pos < 0 || !root.Info) return {};
  const int64_t fileSize = root.Info->Size;

  if (IsSizeFinding(finding.ValidationID)) {
    const TDisplayNode* found = nullptr;
    VisitChunks(root, [&](const TDisplayNode& node) {
      const TChunkNodeInfo& info = *node.Info;
      if (finding.ValidationID == 204) {
        // Raised right after the header was read.
        if (info.Offset + HeaderLength(info) == pos) found = &node;
      } else {
        // Raised by the container where its last chunk ended, past the
        // container's own end: that chunk's size is the wrong one.
        const TChunkNodeInfo* parent = node.Parent ? node.Parent->Info.get() : nullptr;
        const int64_t parentEnd = (parent == nullptr || node.Parent == &root)
                                      ? fileSize
                                      : parent->Offset + 8 + parent->Size;
        if (DeclaredEnd(info) == pos && pos > parentEnd) found = &node;
      }
      return found != nullptr;
    });
    if (found) return {found, found->Info->Offset, HeaderLength(*found->Info)};
  }

  // The innermost chunk whose declared extent holds the position.
  const TDisplayNode* node = &root;
  for (bool deeper = true; deeper;) {
    deeper = false;
    for (const auto& child : node->Children) {
      const TChunkNodeInfo* info = child->Info.get();
      if (info && pos >= info->Offset && pos - info->Offset < info->Size + 8) {
        node = child.get();
        deeper = true;
        break;
      }
    }
  }
  return {node, pos, pos < fileSize ? 1 : 0};
}

TReportFunction TFindingCollector::Callback() {
  return [this](int32_t module, int32_t reportType, const char16_t* message, int32_t validationID,
                int32_t) -> HRESULT {
    TLoadFinding finding;
    finding.Module = module;
    finding.ReportType = reportType;
    finding.Message = message ? std::u16string(message) : std::u16string();
    finding.ValidationID = validationID;
    finding.Position = FindingPosition(finding.Message);
    FFindings.push_back(std::move(finding));
    return S_OK;
  };
}

void AddRecentFile(std::vector<std::u16string>& list, const std::u16string& name) {
  if (name.empty()) return;
  std::erase(list, name);
  list.insert(list.begin(), name);
  if (list.size() > RECENT_FILES_MAX) list.resize(RECENT_FILES_MAX);
}

TRiffoscopeSession::TRiffoscopeSession(IRiffoscopeView& view, IUserDialogs& dialogs)
    : FView(view), FDialogs(dialogs) {}

TRiffoscopeSession::~TRiffoscopeSession() {
  // The hex view drives the window's panes; let it go before they do.
  GuardedVoid(u"Error in TForm1.UnLoadFile call...", [&] { FHexView.reset(); });
}

bool TRiffoscopeSession::LoadFile(const std::u16string& fileName) {
  return Guarded(u"Error in TForm1.LoadFile call...", false, [&] {
    if (!FileExists(fileName)) {
      FDialogs.ShowMessage(u"File not found.");
      return false;
    }
    if (!IsWAVEFile(fileName)) {
      FDialogs.ShowMessage(u"Invalid WAV file.");
      return false;
    }
    TBusyCursor busy(FDialogs);

    FWAVCommonChunk.reset();
    FWAVFileStream.reset();
    FWAVFileStream = TFileStream::Open(fileName, FileMode::OpenRead);
    if (!FWAVFileStream) {
      FDialogs.ShowMessage(u"Cannot load WAV file.");
      return false;
    }
    try {
      FWAVCommonChunk = std::make_unique<TWAVCommonChunk>(nullptr);
    } catch (const std::bad_alloc&) {
      FDialogs.ShowMessage(u"Out of memory.");
      return false;
    }
    // What the loader finds wrong with the file goes to the findings pane.
    FFindings.Clear();
    FWAVCommonChunk->SetReportFunction(FFindings.Callback());
    // The stream and what was loaded stay held on failure, so that the
    // export and the validation can still look at it.
    const HRESULT loaded = FWAVCommonChunk->LoadChunk(FWAVFileStream.get());
    FView.ShowFindings(FFindings.Findings(), true);
    if (loaded != S_OK) {
      FDialogs.ShowMessage(u"Cannot load WAV structure.");
      return false;
    }

    FView.ShowTree(nullptr);
    FDisplayTree.reset();
    auto root = MakeFileNode(fileName, FWAVFileStream->Size());
    UpdateTreeView(root.get(), root.get(), 0, nullptr, FWAVCommonChunk.get());
    FDisplayTree = std::move(root);
    FView.ShowTree(FDisplayTree.get());

    FHexView = std::make_unique<THexView>();
    FHexView->Init(FView.HexPane(), FView.HexScrollBar());
    FHexView->OpenFile(fileName);

    FFileName = fileName;
    UpdateCaption();
    for (int32_t index = 0; index < 3; ++index) FView.ExpandNode(index);
    RememberRecentFile(fileName);
    return true;
  });
}

bool TRiffoscopeSession::UnLoadFile() {
  return Guarded(u"Error in TForm1.UnLoadFile call...", false, [&] {
    TBusyCursor busy(FDialogs);
    FView.ShowTree(nullptr);
    FDisplayTree.reset();
    FWAVCommonChunk.reset();
    FWAVFileStream.reset();
    if (IHexPane* pane = FView.HexPane()) pane->Clear();
    FHexView.reset();
    FFindings.Clear();
    FView.ShowFindings(FFindings.Findings(), false);
    FFileName.clear();
    UpdateCaption();
    return true;
  });
}

void TRiffoscopeSession::UpdateSelection(int64_t offset, int64_t length, uint32_t chunkName) {
  if (!FHexView) return;
  // The file node stands for the whole file; a chunk node for its header and
  // payload, without the pad byte.
  const TChunkNodeInfo* root = FDisplayTree ? FDisplayTree->Info.get() : nullptr;
  const bool fileNode =
      root && root->Offset == offset && root->Size == length && root->ChunkName == chunkName;
  if (fileNode)
    FHexView->SetSelection(0, length);
  else
    FHexView->SetSelection(offset, length + 8);
}

void TRiffoscopeSession::UpdateCaption() { FView.SetCaption(WindowCaption(FFileName)); }

void TRiffoscopeSession::LoadRegistry() {
  GuardedVoid(u"Error in TForm1.LoadRegistry call...", [&] {
    auto key = TUserStoreKey::OpenOrCreate(SETTINGS_KEY);
    if (!key) return;
    auto readInt = [&](const char16_t* name, int32_t& field) {
      int32_t value = 0;
      if (key->ReadInteger(name, value)) field = value;
    };
    readInt(u"FormTop", FSettings.FormTop);
    readInt(u"FormLeft", FSettings.FormLeft);
    readInt(u"FormWidth", FSettings.FormWidth);
    readInt(u"FormHeight", FSettings.FormHeight);
    readInt(u"TreeViewHeight", FSettings.TreeViewHeight);
    readInt(u"WindowState", FSettings.WindowState);
    int32_t modules = 0;
    if (key->ReadInteger(u"LastUsedModules", modules))
      FLastUsedModules = static_cast<uint32_t>(modules);
    bool check = true;
    if (key->ReadBool(u"CheckForUpdates", check)) FCheckForUpdates = check;
    readInt(u"FindingsPaneHeight", FSettings.FindingsPaneHeight);
    bool findings = true;
    if (key->ReadBool(u"FindingsPaneVisible", findings)) FSettings.FindingsPaneVisible = findings;
    FRecentFiles.clear();
    for (size_t i = 1; i <= RECENT_FILES_MAX; ++i) {
      std::u16string name;
      if (key->ReadString(RecentFileValueName(i), name) && !name.empty() &&
          std::find(FRecentFiles.begin(), FRecentFiles.end(), name) == FRecentFiles.end())
        FRecentFiles.push_back(name);
    }
    FView.RecentFilesChanged();
  });
}

void TRiffoscopeSession::SaveRegistry() {
  GuardedVoid(u"Error in TForm1.SaveRegistry call...", [&] {
    auto key = TUserStoreKey::OpenOrCreate(SETTINGS_KEY);
    if (!key) return;
    key->WriteInteger(u"FormTop", FSettings.FormTop);
    key->WriteInteger(u"FormLeft", FSettings.FormLeft);
    key->WriteInteger(u"FormWidth", FSettings.FormWidth);
    key->WriteInteger(u"FormHeight", FSettings.FormHeight);
    key->WriteInteger(u"TreeViewHeight", FSettings.TreeViewHeight);
    key->WriteInteger(u"WindowState", FSettings.WindowState);
    key->WriteInteger(u"LastUsedModules", static_cast<int32_t>(FLastUsedModules));
    key->WriteBool(u"CheckForUpdates", FCheckForUpdates);
    key->WriteInteger(u"FindingsPaneHeight", FSettings.FindingsPaneHeight);
    key->WriteBool(u"FindingsPaneVisible", FSettings.FindingsPaneVisible);
    WriteRecentFiles(*key, FRecentFiles);
    if (!key->Commit()) DebugTrace(u"Error in TForm1.SaveRegistry - the store cannot be written.");
  });
}

void TRiffoscopeSession::RememberRecentFile(const std::u16string& fileName) {
  AddRecentFile(FRecentFiles, fileName);
  SaveRecentFiles();
  FView.RecentFilesChanged();
}

// Stored at once, not only when the window closes: the list survives a
// program that does not end normally.
void TRiffoscopeSession::SaveRecentFiles() {
  GuardedVoid(u"Error in TForm1.SaveRegistry call...", [&] {
    auto key = TUserStoreKey::OpenOrCreate(SETTINGS_KEY);
    if (!key) return;
    WriteRecentFiles(*key, FRecentFiles);
    if (!key->Commit()) DebugTrace(u"Error in TForm1.SaveRegistry - the store cannot be written.");
  });
}

void TRiffoscopeSession::OpenRecentFile(const std::u16string& fileName) {
  GuardedVoid(u"Error in TForm1.OpenRecentFile call...", [&] {
    if (!FileExists(fileName)) {
      FDialogs.ShowMessage(u"File not found.");
      std::erase(FRecentFiles, fileName);
      SaveRecentFiles();
      FView.RecentFilesChanged();
      return;
    }
    TBusyCursor busy(FDialogs);
    const std::u16string name = fileName;  // the list entry moves while loading
    ReloadFrom(name);
    if (FHexView) {
      FHexView->RefreshFileData(0);
      FHexView->SetSelection(0, 0);
    }
  });
}

void TRiffoscopeSession::SelectFinding(size_t index) {
  GuardedVoid(u"Error in TForm1.SelectFinding call...", [&] {
    const std::vector<TLoadFinding>& findings = FFindings.Findings();
    if (!FDisplayTree || index >= findings.size()) return;
    const TFindingTarget target = FindingTarget(*FDisplayTree, findings[index]);
    if (!target.Node) return;
    FView.SelectNode(target.Node);
    if (!FHexView) return;
    FHexView->RefreshFileData(target.Start);  // a position at the end of the file moves nothing
    FHexView->SetSelection(target.Start, target.Length);
  });
}

void TRiffoscopeSession::ReloadFrom(const std::u16string& fileName) {
  UnLoadFile();
  LoadFile(fileName);
}

void TRiffoscopeSession::Open1Click() {
  GuardedVoid(u"Error in TForm1.Open1Click call...", [&] {
    std::u16string name;
    if (!FDialogs.OpenFileDialog(OPEN_DIALOG_FILTER, name) || !FileExists(name)) return;
    TBusyCursor busy(FDialogs);
    ReloadFrom(name);
    if (FHexView) {
      FHexView->RefreshFileData(0);
      FHexView->SetSelection(0, 0);
    }
  });
}

void TRiffoscopeSession::Close1Click() {
  GuardedVoid(u"Error in TForm1.Close1Click call...", [&] { UnLoadFile(); });
}

void TRiffoscopeSession::ExportStructure1Click() {
  GuardedVoid(u"Error in TForm1.ExportStructure1Click call...", [&] {
    if (!FWAVCommonChunk) {
      FDialogs.ShowError(u"There is no file loaded.");
      return;
    }
    std::u16string name;
    if (!FDialogs.SaveFileDialog(EXPORT_DIALOG_FILTER, name)) return;
    const std::string name8 = Utf16ToUtf8(name);
    if (FileExists(name)) {
      if (!FDialogs.ConfirmOkCancel(
              Format16("The file %s already exists. Do you want to replace it?", name8.c_str())))
        return;
      if (!RemoveFile(name)) {
        FDialogs.ShowError(Format16("Cannot delete %s file.", name8.c_str()));
        return;
      }
    }
    TBusyCursor busy(FDialogs);
    const int64_t size = FWAVFileStream ? FWAVFileStream->Size() : 0;
    const TExportResult result =
        ExportStructureToFile(name, FFileName, size, FWAVCommonChunk.get());
    if (!result.Ok) {
      // Nothing is left under the name: an incomplete export is never
      // taken for a whole one.
      DebugTrace(u"Error in TForm1.ExportStructure1Click call...");
      FDialogs.ShowError(result.Message);
    }
  });
}

void TRiffoscopeSession::Exit1Click() {
  GuardedVoid(u"Error in TForm1.Exit1Click call...", [&] { FView.CloseWindow(); });
}

void TRiffoscopeSession::FullExpand1Click() {
  GuardedVoid(u"Error in TForm1.FullExpand1Click call...", [&] {
    TBusyCursor busy(FDialogs);
    FView.ExpandAll();
  });
}

void TRiffoscopeSession::FullCollapse1Click() {
  GuardedVoid(u"Error in TForm1.FullCollapse1Click call...", [&] {
    TBusyCursor busy(FDialogs);
    FView.CollapseAll();
  });
}

void TRiffoscopeSession::HexEditChunk1Click() {
  GuardedVoid(u"Error in TForm1.HexEditChunk1Click call...", [&] {
    const TDisplayNode* node = FView.SelectedNode();
    THexEditChunkContext context{FWAVCommonChunk != nullptr, FFileName, node,
                                 node != nullptr && node == FDisplayTree.get()};
    // The editor's stream is closed by now; the reload works on a copy of
    // the name, since unloading clears it.
    if (HexEditChunk(context, FDialogs, FEditFile)) ReloadFrom(context.FileName);
  });
}

void TRiffoscopeSession::Validation1Click() {
  GuardedVoid(u"Error in TForm1.Validation1Click call...", [&] {
    if (!FWAVCommonChunk) {
      FDialogs.ShowError(u"There is no file loaded.");
      return;
    }
    if (!FShowMediaValidation) return;
    std::u16string folder = ProgramFolder();
    if (folder.empty() || folder.back() != u'/') folder += u'/';
    // The window writes the ticked modules back; they are stored on close.
    FShowMediaValidation(folder, FFileName, VALIDATION_MODULES_MASK, FLastUsedModules);
  });
}

void TRiffoscopeSession::CheckForUpdates1Click() {
  FCheckForUpdates = !FCheckForUpdates;
  FView.SetCheckForUpdatesMark(FCheckForUpdates);
}

void TRiffoscopeSession::About1Click(const std::u16string& version) {
  FDialogs.ShowAbout(AboutLines(version));
}

void TRiffoscopeSession::Copy1Click() {
  FDialogs.SetClipboardText(FDisplayTree ? TreeCopyText(*FDisplayTree) : std::u16string());
}

void TRiffoscopeSession::FollowSelection(const char16_t* traceLine) {
  GuardedVoid(std::u16string_view(traceLine), [&] {
    const TDisplayNode* node = FView.SelectedNode();
    if (!node || !node->Info || !FHexView) return;
    FHexView->RefreshFileData(node->Info->Offset);
    UpdateSelection(node->Info->Offset, node->Info->Size, node->Info->ChunkName);
  });
}

void TRiffoscopeSession::TreeView1KeyUp() {
  FollowSelection(u"Error in TForm1.TreeView1KeyUp call...");
}

void TRiffoscopeSession::TreeView1MouseDown() {
  FollowSelection(u"Error in TForm1.TreeView1MouseDown call...");
}

void TRiffoscopeSession::Splitter1Moved() {
  GuardedVoid(u"Error in TForm1.Splitter1Moved call...", [&] {
    if (FHexView) FHexView->RefreshFileData(-1);
  });
}

void TRiffoscopeSession::DropFiles(const std::vector<std::u16string>& fileNames) {
  GuardedVoid(u"Error in TForm1.WMDROPFILES call...", [&] {
    TBusyCursor busy(FDialogs);
    for (const auto& name : fileNames)
      if (FileExists(name)) ReloadFrom(name);
  });
}

void TRiffoscopeSession::FormShow(const std::u16string& firstArgument) {
  GuardedVoid(u"Error in TForm1.FormShow call...", [&] {
    FLastUsedModules = DEFAULT_LAST_USED_MODULES;
    FCheckForUpdates = true;
    LoadRegistry();
    FView.ApplyPlacement(PlacementFromSettings(FSettings));
    FView.ShowSplash();
    FView.AcceptDrops(true);
    UpdateCaption();
    FView.SetCheckForUpdatesMark(FCheckForUpdates);
    if (!firstArgument.empty()) LoadFile(firstArgument);
  });
}

void TRiffoscopeSession::FormClose() {
  GuardedVoid(u"Error in TForm1.FormClose call...", [&] {
    FView.AcceptDrops(false);
    FSettings = FView.CurrentPlacement();
    SaveRegistry();
    UnLoadFile();
  });
}

}  // namespace riffo
