// Small pieces every window library uses the same way: the program's UTF-16
// text as a QString for the screen, and the read-only lists of the report and rule tables.
#pragma once

#include <QString>

#include <string_view>

#include "platform/qt/NativeNames.h"

class QTableWidgetItem;
class QWidget;

namespace riffo {

// Text for the screen; a name's byte that is not UTF-8 shows as U+FFFD.
inline QString Q(std::u16string_view text) { return ShownText(text); }

// A table cell the user can select but not edit.
QTableWidgetItem* ReadOnlyCell(const QString& text);

// A read-only list whose selection stays visible when it loses the focus.
void KeepSelectionVisible(QWidget* widget);

}  // namespace riffo
