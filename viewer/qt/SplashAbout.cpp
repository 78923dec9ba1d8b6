#include "viewer/qt/SplashAbout.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "viewer/RiffoscopeSession.h"

namespace riffo {

TSplashForm::TSplashForm(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("SplashForm"));
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  setPalette(pal);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(40, 30, 40, 30);
  auto* name = new QLabel(QString::fromStdU16String(PROGRAM_NAME), this);
  name->setObjectName(QStringLiteral("ProductName"));
  QFont big = name->font();
  big.setPointSize(28);
  big.setBold(true);
  name->setFont(big);
  auto* maker = new QLabel(QString::fromStdU16String(MAKER_NAME), this);
  maker->setObjectName(QStringLiteral("MakerName"));
  layout->addWidget(name, 0, Qt::AlignCenter);
  layout->addWidget(maker, 0, Qt::AlignCenter);
  setFixedSize(360, 160);

  QTimer::singleShot(SPLASH_TIME_MS, this, &QWidget::close);
}

void TSplashForm::CentreOver(const QWidget* owner) {
  if (!owner) return;
  const QRect frame = owner->frameGeometry();
  move(frame.center() - QPoint(width() / 2, height() / 2));
}

void TSplashForm::mousePressEvent(QMouseEvent*) { close(); }

void TSplashForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0x20, 0x3A, 0x5C));
  painter.setPen(QColor(0x8C, 0xA8, 0xC8));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

TAboutBox::TAboutBox(const std::vector<std::u16string>& lines, QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About ") + QString::fromStdU16String(PROGRAM_NAME));
  auto* layout = new QVBoxLayout(this);
  for (size_t i = 0; i < lines.size(); ++i) {
    auto* label = new QLabel(QString::fromStdU16String(lines[i]), this);
    if (i == 0) {
      QFont f = label->font();
      f.setPointSize(f.pointSize() + 6);
      f.setBold(true);
      label->setFont(f);
    }
    layout->addWidget(label);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace riffo
