// Stand-ins for the window layer: a hex pane of a chosen height, a scroll
// bar, a tree pane and dialogs that answer from a script and record what
// they were asked.
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"
#include "viewer/RiffoscopeSession.h"

namespace riffo::test {

class TFakeHexPane : public IHexPane {
public:
  explicit TFakeHexPane(int32_t height = 100) : Height(height) {}
  void SetPaneFont(const std::u16string& family, int32_t points) override {
    Font = family;
    Points = points;
  }
  int32_t ClientHeight() const override { return Height; }
  void ShowPage(const THexPage& page) override {
    Shown = page;
    ++Pages;
  }
  void Clear() override {
    Shown = {};
    ++Clears;
  }
  void FocusPane() override { ++Focused; }

  int32_t Height;
  std::u16string Font;
  int32_t Points = 0;
  THexPage Shown;
  int Pages = 0, Clears = 0, Focused = 0;
};

class TFakeScrollBar : public IHexScrollBar {
public:
  void Setup(int32_t minimum, int32_t maximum, int32_t pageSize, int32_t largeChange) override {
    Min = minimum;
    Max = maximum;
    PageSize = pageSize;
    LargeChange = largeChange;
  }
  void SetPosition(int32_t position) override {
    Position = position;
    ++Moves;
  }
  int32_t Min = -1, Max = -1, PageSize = -1, LargeChange = -1, Position = -1;
  int Moves = 0;
};

class TFakeView : public IRiffoscopeView {
public:
  void ShowTree(const TDisplayNode* root) override {
    Root = root;
    Expanded.clear();
    Selected = nullptr;
  }
  void ExpandNode(int32_t displayIndex) override { Expanded.push_back(displayIndex); }
  void ExpandAll() override { ++ExpandAlls; }
  void CollapseAll() override { ++CollapseAlls; }
  const TDisplayNode* SelectedNode() const override { return Selected; }
  IHexPane* HexPane() override { return &Pane; }
  IHexScrollBar* HexScrollBar() override { return &Bar; }
  void SetCaption(const std::u16string& caption) override { Caption = caption; }
  void ApplyPlacement(const TWindowPlacement& placement) override {
    Placement = placement;
    ++Placements;
  }
  TSettings CurrentPlacement() const override { return Current; }
  void ShowSplash() override { Events.push_back("splash"); }
  void AcceptDrops(bool accept) override { Events.push_back(accept ? "drops on" : "drops off"); }
  void SetCheckForUpdatesMark(bool checked) override { CheckMark = checked; }
  void CloseWindow() override { ++CloseRequests; }

  const TDisplayNode* Root = nullptr;
  const TDisplayNode* Selected = nullptr;
  std::vector<int32_t> Expanded;
  int ExpandAlls = 0, CollapseAlls = 0, Placements = 0, CloseRequests = 0;
  TFakeHexPane Pane{320};
  TFakeScrollBar Bar;
  std::u16string Caption;
  TWindowPlacement Placement;
  TSettings Current;
  std::vector<std::string> Events;
  bool CheckMark = false;
};

// One recorded box: its kind ("plain", "error", "yesno", "okcancel") and text.
struct TBox {
  std::string Kind;
  std::u16string Text;
  bool operator==(const TBox&) const = default;
};

class TFakeDialogs : public IUserDialogs {
public:
  void ShowMessage(const std::u16string& text) override { Boxes.push_back({"plain", text}); }
  void ShowError(const std::u16string& text) override { Boxes.push_back({"error", text}); }
  bool ConfirmYesNo(const std::u16string& text) override {
    Boxes.push_back({"yesno", text});
    return Answer();
  }
  bool ConfirmOkCancel(const std::u16string& text) override {
    Boxes.push_back({"okcancel", text});
    return Answer();
  }
  bool OpenFileDialog(const std::u16string& filter, std::u16string& fileName) override {
    return Pick(filter, fileName);
  }
  bool SaveFileDialog(const std::u16string& filter, std::u16string& fileName) override {
    return Pick(filter, fileName);
  }
  void SetClipboardText(const std::u16string& text) override {
    Clipboard = text;
    ++ClipboardSets;
  }
  void BeginBusyCursor() override {
    ++BusyDepth;
    ++BusyCount;
  }
  void EndBusyCursor() override { --BusyDepth; }
  void ShowAbout(const std::vector<std::u16string>& lines) override { About = lines; }

  // Answers for confirmations (true = Yes/OK); none left means No/Cancel.
  std::deque<bool> Answers;
  // Names the file dialogs return; an empty name means the dialog was cancelled.
  std::deque<std::u16string> Picks;
  std::vector<TBox> Boxes;
  std::vector<std::u16string> Filters;
  std::u16string Clipboard;
  int ClipboardSets = 0;
  int BusyDepth = 0, BusyCount = 0;
  std::vector<std::u16string> About;

private:
  bool Answer() {
    if (Answers.empty()) return false;
    const bool a = Answers.front();
    Answers.pop_front();
    return a;
  }
  bool Pick(const std::u16string& filter, std::u16string& fileName) {
    Filters.push_back(filter);
    if (Picks.empty()) return false;
    fileName = Picks.front();
    Picks.pop_front();
    return !fileName.empty();
  }
};

}  // namespace riffo::test
