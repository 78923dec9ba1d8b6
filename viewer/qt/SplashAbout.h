// The splash window shown at start-up and the about box.
#pragma once

#include <QDialog>
#include <QWidget>
#include <string>
#include <vector>

namespace riffo {

// The program's name and its maker, centred over the owner; closes itself
// after SPLASH_TIME_MS or on a click, and deletes itself when closed.
class TSplashForm final : public QWidget {
  Q_OBJECT
public:
  explicit TSplashForm(QWidget* owner);
  void CentreOver(const QWidget* owner);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

class TAboutBox final : public QDialog {
  Q_OBJECT
public:
  TAboutBox(const std::vector<std::u16string>& lines, QWidget* owner);
};

}  // namespace riffo
