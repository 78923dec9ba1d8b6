// Riffoscope [file]: the viewer; a non-empty first argument is opened at start.
#include <QApplication>

#include "viewer/qt/RiffoscopeUnit1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Riffoscope"));
  const QStringList args = QApplication::arguments();
  const std::u16string first = args.size() > 1 ? args.at(1).toStdU16String() : std::u16string();
  riffo::TRiffoscopeForm form(nullptr, first);
  form.show();
  return QApplication::exec();
}
