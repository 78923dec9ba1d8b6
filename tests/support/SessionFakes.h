// Stand-ins for the main window's panes: a hex pane of a chosen height, a
// scroll bar and a tree pane; the dialogs' stand-in is in FakeUserDialogs.h.
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/FakeUserDialogs.h"
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
  void ShowFindings(const std::vector<TLoadFinding>& findings, bool hasFile) override {
    Findings = findings;
    FindingsForFile = hasFile;
  }
  void SelectNode(const TDisplayNode* node) override { Selected = node; }
  void RecentFilesChanged() override { ++RecentChanges; }

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
  std::vector<TLoadFinding> Findings;
  bool FindingsForFile = false;
  int RecentChanges = 0;
};

}  // namespace riffo::test
