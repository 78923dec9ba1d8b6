// Stand-ins for the validation window's tests: dialogs that answer from a
// queue and record what was asked, and a scratch folder that also holds the
// per-user store of the test.
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/qt/MediaValidationFrm.h"
#include "support/ScratchFolder.h"

namespace riffo::test {

struct TAsked {
  std::string Kind;  // "plain", "yesno", "save", "open"
  std::u16string Text;
  bool operator==(const TAsked&) const = default;
};

class TFakeValidationDialogs final : public IValidationDialogs {
public:
  void ShowMessage(const std::u16string& text) override { Asked.push_back({"plain", text}); }
  bool ConfirmYesNo(const std::u16string& text) override {
    Asked.push_back({"yesno", text});
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  bool SaveFileDialog(const std::u16string& filter, const std::u16string& defaultExtension,
                      std::u16string& fileName) override {
    Asked.push_back({"save", fileName});
    Filter = filter;
    DefaultExtension = defaultExtension;
    if (Picks.empty()) return false;
    fileName = Picks.front();
    Picks.pop_front();
    return !fileName.empty();
  }
  void OpenDocument(const std::u16string& fileName) override {
    Asked.push_back({"open", fileName});
  }

  std::deque<bool> Answers;          // Yes/No answers; none left means No
  std::deque<std::u16string> Picks;  // names the save dialog returns; empty means cancelled
  std::vector<TAsked> Asked;
  std::u16string Filter, DefaultExtension;
};

}  // namespace riffo::test
