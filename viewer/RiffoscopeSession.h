// The main window's file session and commands without any GUI toolkit: load
// and unload, selection following, copy text, the structure export command,
// the settings in the per-user store, start-up and shutdown. The window
// implements IRiffoscopeView (its panes) and hands over an IUserDialogs
// (message boxes, file dialogs, clipboard, busy cursor), so tests drive the
// session directly and answer the dialogs themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chunkmodel/DisplayTree.h"
#include "chunkmodel/WAVCommonChunk.h"
#include "platform/Product.h"
#include "platform/Stream.h"
#include "viewer/HexEditUtil.h"
#include "viewer/HexViewUtils_RichEdit.h"
#include "viewer/UserDialogs.h"

namespace riffo {

inline constexpr char16_t SETTINGS_KEY[] = u"SOFTWARE\\Brindlecorp\\Riffoscope";
inline constexpr char16_t OPEN_DIALOG_FILTER[] =
    u"WAV Media Files (*.wav)|*.wav|All Files (*.*)|*.*";
inline constexpr char16_t EXPORT_DIALOG_FILTER[] = u"Text File (*.txt)|*.txt|All Files (*.*)|*.*";
inline constexpr uint32_t DEFAULT_LAST_USED_MODULES = 0xFFFFFFFF;
// The tree pane keeps at least this much of the stored form height for the rest.
inline constexpr int32_t MIN_FORM_MINUS_TREE_HEIGHT = 95;
inline constexpr int32_t SPLASH_TIME_MS = 3000;

// Window geometry as stored; all 0 until read.
struct TSettings {
  int32_t FormTop = 0;
  int32_t FormLeft = 0;
  int32_t FormWidth = 0;
  int32_t FormHeight = 0;
  int32_t TreeViewHeight = 0;
  int32_t WindowState = 0;  // 0 normal, 1 minimized, 2 maximized
  // The findings pane below the tree: its height (0: not stored) and
  // whether it is shown.
  int32_t FindingsPaneHeight = 0;
  bool FindingsPaneVisible = true;
  bool operator==(const TSettings&) const = default;
};

// At most this many files are listed under File > Recent Files.
inline constexpr size_t RECENT_FILES_MAX = 10;

enum class TWindowState { Normal, Minimized, Maximized };

// What start-up applies to the window: only the stored values that pass
// their rules; absent ones leave the designed value.
struct TWindowPlacement {
  std::optional<int32_t> Top, Left, Width, Height, TreeViewHeight, FindingsPaneHeight;
  bool FindingsPaneVisible = true;
  TWindowState State = TWindowState::Normal;
};
TWindowPlacement PlacementFromSettings(const TSettings& settings);

// The key a mouse-wheel message becomes (for every window of the program).
enum class TWheelKey { Up, Down, PageUp, PageDown };
TWheelKey WheelToKey(int32_t delta, bool ctrlDown);

// The Windows-style filter "Text|*.a|All|*.*" as a list of (description, patterns).
struct TFileFilter {
  std::u16string Description;
  std::u16string Patterns;  // e.g. "*.wav", several separated by ';'
};
std::vector<TFileFilter> ParseFileFilter(const std::u16string& filter);
// The same filter as name filters separated by ";;", each "Description
// (patterns)" with the patterns blank-separated and "*.*" as "*" (which
// also matches names without a dot):
// "WAV Media Files (*.wav);;All Files (*)".
std::u16string ToNameFilters(const std::u16string& filter);

// Caption: "Riffoscope", or "Riffoscope (" + file name + ")".
std::u16string WindowCaption(const std::u16string& fileName);

// The about box's lines: the name, the version, the year and the maker.
std::vector<std::u16string> AboutLines(const std::u16string& version);

// One finding the loader raised while loading the open file.
struct TLoadFinding {
  int32_t Module = 0;
  int32_t ReportType = 0;  // 1 Info, 2 Warning, 3 Error
  std::u16string Message;
  int32_t ValidationID = 0;
  int64_t Position = -1;  // the file position the message names; -1 when it names none
  bool operator==(const TLoadFinding&) const = default;
};

// What the findings pane shows when the loader raised nothing.
inline constexpr char16_t NO_FINDINGS_TEXT[] = u"No problems found while reading the file.";

// The file position a finding's message names (its last "0x" and the hex
// digits after it); -1 when it names none.
int64_t FindingPosition(const std::u16string& message);

// The position as the pane's column shows it: "0x" and at least eight
// upper-case hex digits, as in the messages; empty for none.
std::u16string FindingPositionText(int64_t position);

// Findings about a chunk's size field rather than about one byte: the chunk
// runs past the end of the file (204) or past its container (205).
bool IsSizeFinding(int32_t validationID);

// Where a finding leads: the tree node of the chunk it is about and the
// bytes to highlight. A size finding leads to the chunk whose size is wrong
// and highlights its header; any other finding to the innermost chunk whose
// extent (as its header declares it) contains the position, and highlights
// that one byte. A position inside no chunk leads to the file node.
struct TFindingTarget {
  const TDisplayNode* Node = nullptr;  // nullptr: nothing to select
  int64_t Start = 0;
  int64_t Length = 0;  // 0: nothing to highlight
  bool operator==(const TFindingTarget&) const = default;
};
TFindingTarget FindingTarget(const TDisplayNode& root, const TLoadFinding& finding);

// Collects what the loader reports through its callback, in order.
class TFindingCollector {
public:
  TReportFunction Callback();
  const std::vector<TLoadFinding>& Findings() const { return FFindings; }
  void Clear() { FFindings.clear(); }

private:
  std::vector<TLoadFinding> FFindings;
};

// Recent Files: name moves to the front, once, the list kept to its cap.
void AddRecentFile(std::vector<std::u16string>& list, const std::u16string& name);

// The panes and the window as the session sees them.
class IRiffoscopeView {
public:
  virtual ~IRiffoscopeView() = default;
  // Mirrors the display tree in the tree pane (nullptr empties it). The
  // tree stays alive and unchanged until the next call.
  virtual void ShowTree(const TDisplayNode* root) = 0;
  virtual void ExpandNode(int32_t displayIndex) = 0;  // that node alone, not its subtree
  virtual void ExpandAll() = 0;
  virtual void CollapseAll() = 0;
  virtual const TDisplayNode* SelectedNode() const = 0;
  virtual IHexPane* HexPane() = 0;
  virtual IHexScrollBar* HexScrollBar() = 0;
  virtual void SetCaption(const std::u16string& caption) = 0;
  virtual void ApplyPlacement(const TWindowPlacement& placement) = 0;
  virtual TSettings CurrentPlacement() const = 0;
  virtual void ShowSplash() = 0;
  virtual void AcceptDrops(bool accept) = 0;
  virtual void SetCheckForUpdatesMark(bool checked) = 0;
  virtual void CloseWindow() = 0;
  // The findings pane: the loader's findings for the open file (empty: the
  // file is clean, or no file is open; see HasFile).
  virtual void ShowFindings(const std::vector<TLoadFinding>& findings, bool hasFile) = 0;
  // Makes node the tree pane's selection and scrolls to it (nullptr clears it).
  virtual void SelectNode(const TDisplayNode* node) = 0;
  // The list under File > Recent Files changed.
  virtual void RecentFilesChanged() = 0;
};

// The busy cursor for the lifetime of the object, restored on every way out.
class TBusyCursor {
public:
  explicit TBusyCursor(IUserDialogs& dialogs) : FDialogs(dialogs) { FDialogs.BeginBusyCursor(); }
  ~TBusyCursor() { FDialogs.EndBusyCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
  IUserDialogs& FDialogs;
};

// The validation window (modules folder, file name, module mask, last-used
// mask in and out): true when it was shown. The window layer provides it.
using TShowMediaValidation =
    std::function<bool(const std::u16string& modulesFolder, const std::u16string& fileName,
                       uint32_t modulesFlags, uint32_t& lastUsedModulesMask)>;
// Validation runs the modules of this mask: Sonolint and Loudlint.
inline constexpr uint32_t VALIDATION_MODULES_MASK = MODULE_ID_SONOLINT | MODULE_ID_LOUDLINT;

class TRiffoscopeSession {
public:
  TRiffoscopeSession(IRiffoscopeView& view, IUserDialogs& dialogs);
  ~TRiffoscopeSession();
  TRiffoscopeSession(const TRiffoscopeSession&) = delete;
  TRiffoscopeSession& operator=(const TRiffoscopeSession&) = delete;

  bool LoadFile(const std::u16string& fileName);
  bool UnLoadFile();
  void UpdateSelection(int64_t offset, int64_t length, uint32_t chunkName);
  void UpdateCaption();
  void LoadRegistry();
  void SaveRegistry();

  // Commands.
  void Open1Click();
  void Close1Click();
  void ExportStructure1Click();
  void Exit1Click();
  void FullExpand1Click();
  void FullCollapse1Click();
  void HexEditChunk1Click();
  void Validation1Click();
  // What Validation shows (the window layer installs it; without one the
  // command opens nothing).
  void SetShowMediaValidation(TShowMediaValidation show) { FShowMediaValidation = std::move(show); }
  void CheckForUpdates1Click();
  void About1Click(const std::u16string& version);
  void Copy1Click();
  // File > Recent Files: opens that file as Open does; a file that is gone
  // says so and leaves the list.
  void OpenRecentFile(const std::u16string& fileName);
  const std::vector<std::u16string>& RecentFiles() const { return FRecentFiles; }

  // The findings pane: the loader's findings for the open file, and what
  // choosing one of them does (selects its chunk, highlights its bytes).
  const std::vector<TLoadFinding>& Findings() const { return FFindings.Findings(); }
  void SelectFinding(size_t index);

  // Pane events: a key was released in the tree pane / a mouse button was
  // pressed on it (after the pane moved its selection).
  void TreeView1KeyUp();
  void TreeView1MouseDown();
  void Splitter1Moved();
  void DropFiles(const std::vector<std::u16string>& fileNames);  // WMDROPFILES

  // Window events.
  void FormShow(const std::u16string& firstArgument);
  void FormClose();

  // Session state, for the window and for tests.
  const std::u16string& FileName() const { return FFileName; }
  const TWAVCommonChunk* ChunkTree() const { return FWAVCommonChunk.get(); }
  const TStream* FileStream() const { return FWAVFileStream.get(); }
  const TDisplayNode* DisplayTree() const { return FDisplayTree.get(); }
  THexView* HexView() { return FHexView.get(); }
  const TSettings& Settings() const { return FSettings; }
  uint32_t LastUsedModules() const { return FLastUsedModules; }
  void SetLastUsedModules(uint32_t mask) { FLastUsedModules = mask; }
  bool CheckForUpdates() const { return FCheckForUpdates; }

  // What Hex Edit Chunk shows the editor with (the window passes its modal
  // hex editor; tests their own). Without one the command opens nothing.
  void SetHexEditor(TEditFileFunction editFile) { FEditFile = std::move(editFile); }

private:
  void FollowSelection(const char16_t* traceLine);
  void ReloadFrom(const std::u16string& fileName);
  void RememberRecentFile(const std::u16string& fileName);
  void SaveRecentFiles();

  IRiffoscopeView& FView;
  IUserDialogs& FDialogs;
  std::u16string FFileName;
  std::unique_ptr<TStream> FWAVFileStream;
  std::unique_ptr<TWAVCommonChunk> FWAVCommonChunk;
  std::unique_ptr<THexView> FHexView;
  std::unique_ptr<TDisplayNode> FDisplayTree;
  TShowMediaValidation FShowMediaValidation;
  TSettings FSettings;
  uint32_t FLastUsedModules = DEFAULT_LAST_USED_MODULES;
  bool FCheckForUpdates = true;
  TEditFileFunction FEditFile;
  TFindingCollector FFindings;
  std::vector<std::u16string> FRecentFiles;
};

}  // namespace riffo
