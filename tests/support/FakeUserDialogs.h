// The viewer's dialogs for tests: confirmations and file dialogs answer from
// a script, and every box, filter, clipboard text and busy cursor is recorded.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "viewer/UserDialogs.h"

namespace riffo::test {

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
