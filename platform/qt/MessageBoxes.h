// Message boxes wide enough for their title. A box sizes itself by its text,
// so a short text ("Invalid WAV file.") gives a box whose title bar cuts the
// program's name down to a few letters; these boxes are at least as wide as
// the title needs beside the window's own buttons.
#pragma once

#include <QMessageBox>
#include <memory>

namespace riffo {

// The narrowest a box may be so that title shows whole in its title bar.
int MessageBoxMinimumWidth(const QWidget* box, const QString& title);

// A box with the given icon, title, text and buttons, owned by owner.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, QMessageBox::Icon icon,
                                            const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons);

// Shows such a box modally; the button pressed.
QMessageBox::StandardButton ExecMessageBox(QWidget* owner, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons);

}  // namespace riffo
