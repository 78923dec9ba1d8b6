#include "viewer/qt/QtUserDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMessageBox>

#include "platform/qt/MessageBoxes.h"
#include "platform/qt/WidgetHelpers.h"
#include "viewer/qt/SplashAbout.h"

namespace riffo {

namespace {

int Box(QWidget* owner, QMessageBox::Icon icon, const std::u16string& text,
        QMessageBox::StandardButtons buttons) {
  return ExecMessageBox(owner, icon, Q(PROGRAM_NAME), Q(text), buttons);
}

}  // namespace

void TQtUserDialogs::ShowMessage(const std::u16string& text) {
  Box(FOwner, QMessageBox::NoIcon, text, QMessageBox::Ok);
}

void TQtUserDialogs::ShowError(const std::u16string& text) {
  Box(FOwner, QMessageBox::Critical, text, QMessageBox::Ok);
}

bool TQtUserDialogs::ConfirmYesNo(const std::u16string& text) {
  return Box(FOwner, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool TQtUserDialogs::ConfirmOkCancel(const std::u16string& text) {
  return Box(FOwner, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

bool TQtUserDialogs::OpenFileDialog(const std::u16string& filter, std::u16string& fileName) {
  const QString name =
      QFileDialog::getOpenFileName(FOwner, QString(), QString(), Q(ToNameFilters(filter)));
  if (name.isEmpty()) return false;
  fileName = NameFromToolkit(name);
  return true;
}

bool TQtUserDialogs::SaveFileDialog(const std::u16string& filter, std::u16string& fileName) {
  // The command asks about replacing an existing file itself, and the name is
  // used exactly as chosen: no default extension.
  const QString name =
      QFileDialog::getSaveFileName(FOwner, QString(), QString(), Q(ToNameFilters(filter)), nullptr,
                                   QFileDialog::DontConfirmOverwrite);
  if (name.isEmpty()) return false;
  fileName = NameFromToolkit(name);
  return true;
}

void TQtUserDialogs::SetClipboardText(const std::u16string& text) {
  QGuiApplication::clipboard()->setText(Q(text));
}

void TQtUserDialogs::BeginBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void TQtUserDialogs::EndBusyCursor() { QApplication::restoreOverrideCursor(); }

void TQtUserDialogs::ShowAbout(const std::vector<std::u16string>& lines) {
  TAboutBox box(lines, FOwner);
  box.exec();
}

}  // namespace riffo
