// The boxes, file dialogs, clipboard and busy cursor as the viewer's logic
// (the session and the hex editor) uses them. The window shows the real ones;
// tests answer through a stand-in that records without blocking.
//
// The validation window has an interface of its own (IValidationDialogs in
// host/qt): it belongs to the host, below the viewer, and asks for other
// things (a save dialog with a default extension, opening a saved report).
#pragma once

#include <string>
#include <vector>

namespace riffo {

class IUserDialogs {
public:
  virtual ~IUserDialogs() = default;
  virtual void ShowMessage(const std::u16string& text) = 0;  // plain box, program name, OK
  virtual void ShowError(const std::u16string& text) = 0;    // error box, OK
  virtual bool ConfirmYesNo(const std::u16string& text) = 0;
  virtual bool ConfirmOkCancel(const std::u16string& text) = 0;
  // False when cancelled; otherwise fileName holds the name exactly as chosen.
  virtual bool OpenFileDialog(const std::u16string& filter, std::u16string& fileName) = 0;
  virtual bool SaveFileDialog(const std::u16string& filter, std::u16string& fileName) = 0;
  virtual void SetClipboardText(const std::u16string& text) = 0;
  virtual void BeginBusyCursor() = 0;
  virtual void EndBusyCursor() = 0;
  virtual void ShowAbout(const std::vector<std::u16string>& lines) = 0;
};

}  // namespace riffo
