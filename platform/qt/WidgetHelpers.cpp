#include "platform/qt/WidgetHelpers.h"

#include <QPalette>
#include <QTableWidgetItem>
#include <QWidget>

namespace riffo {

QTableWidgetItem* ReadOnlyCell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

void KeepSelectionVisible(QWidget* widget) {
  QPalette palette = widget->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  widget->setPalette(palette);
}

}  // namespace riffo
