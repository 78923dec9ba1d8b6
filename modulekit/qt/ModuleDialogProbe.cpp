// Part of every module dialog library: tells the module whether the process
// has a widget application to show a dialog in.
#include <QApplication>
#include <cstdint>

#include "contract/QuorvexControlInterface.h"

QVX_EXPORT int32_t QvxUiHasApplication() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr ? 1 : 0;
}
