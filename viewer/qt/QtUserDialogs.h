// Message boxes, file dialogs, the clipboard, the busy cursor and the about
// box as the running program shows them. Tests hand the window their own
// IUserDialogs instead, which answers and records without blocking.
#pragma once

#include <QPointer>
#include <QWidget>

#include "viewer/RiffoscopeSession.h"

namespace riffo {

class TQtUserDialogs final : public IUserDialogs {
public:
  // Boxes and dialogs are centred over owner (may be null).
  explicit TQtUserDialogs(QWidget* owner = nullptr) : FOwner(owner) {}
  void SetOwner(QWidget* owner) { FOwner = owner; }

  void ShowMessage(const std::u16string& text) override;
  void ShowError(const std::u16string& text) override;
  bool ConfirmYesNo(const std::u16string& text) override;
  bool ConfirmOkCancel(const std::u16string& text) override;
  bool OpenFileDialog(const std::u16string& filter, std::u16string& fileName) override;
  bool SaveFileDialog(const std::u16string& filter, std::u16string& fileName) override;
  void SetClipboardText(const std::u16string& text) override;
  void BeginBusyCursor() override;
  void EndBusyCursor() override;
  void ShowAbout(const std::vector<std::u16string>& lines) override;

private:
  QPointer<QWidget> FOwner;
};

}  // namespace riffo
