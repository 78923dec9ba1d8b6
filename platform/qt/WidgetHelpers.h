// Small pieces every window library uses the same way: the program's UTF-16
// text as a QString, and the read-only lists of the report and rule tables.
#pragma once

#include <QString>

#include <string>

class QTableWidgetItem;
class QWidget;

namespace riffo {

inline QString Q(const std::u16string& text) { return QString::fromStdU16String(text); }
inline QString Q(const char16_t* text) { return QString::fromUtf16(text); }

// A table cell the user can select but not edit.
QTableWidgetItem* ReadOnlyCell(const QString& text);

// A read-only list whose selection stays visible when it loses the focus.
void KeepSelectionVisible(QWidget* widget);

}  // namespace riffo
