#include "platform/qt/MessageBoxes.h"

#include <QApplication>
#include <QGridLayout>
#include <QSpacerItem>
#include <QStyle>

namespace riffo {

int MessageBoxMinimumWidth(const QWidget* box, const QString& title) {
  // Window managers draw titles in a font of their own, often bold and a
  // little larger than the dialog's, beside an icon and three buttons about
  // a title bar's height wide each.
  QFont titleFont = box->font();
  titleFont.setBold(true);
  const int text = QFontMetrics(titleFont).horizontalAdvance(title) * 5 / 4;
  const int bar = box->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, box);
  return text + 4 * std::max(bar, 24);
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, QMessageBox::Icon icon,
                                            const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons) {
  auto box = std::make_unique<QMessageBox>(icon, title, text, buttons, owner);
  // The box fixes its own size from its layout when shown; a spacer across
  // the layout is what widens it (a minimum width alone would be overridden).
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
    grid->addItem(new QSpacerItem(MessageBoxMinimumWidth(box.get(), title), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  return box;
}

QMessageBox::StandardButton ExecMessageBox(QWidget* owner, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
  auto box = MakeMessageBox(owner, icon, title, text, buttons);
  return static_cast<QMessageBox::StandardButton>(box->exec());
}

}  // namespace riffo
