#include "host/qt/ValidationIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace riffo {
namespace {

constexpr int ICON_SIZE = 16;

template <typename Draw>
QIcon Drawn(Draw&& draw) {
  QPixmap pixmap(ICON_SIZE, ICON_SIZE);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
  }
  return QIcon(pixmap);
}

// A filled disc with a letter in it (the row types).
QIcon Badge(QColor fill, QColor text, const QString& letter) {
  return Drawn([&](QPainter& p) {
    p.setPen(fill.darker(140));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(text);
    p.drawText(QRect(0, 0, ICON_SIZE, ICON_SIZE), Qt::AlignCenter, letter);
  });
}

QIcon Warning() {
  return Drawn([](QPainter& p) {
    const QPolygonF triangle({QPointF(8, 1), QPointF(15, 14.5), QPointF(1, 14.5)});
    p.setPen(QColor(150, 110, 0));
    p.setBrush(QColor(255, 200, 0));
    p.drawPolygon(triangle);
    p.setPen(QPen(Qt::black, 1.6));
    p.drawLine(QPointF(8, 5.5), QPointF(8, 10));
    p.drawPoint(QPointF(8, 12.5));
  });
}

QIcon Start() {
  return Drawn([](QPainter& p) {
    p.setPen(QColor(0, 100, 0));
    p.setBrush(QColor(40, 170, 40));
    p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
  });
}

QIcon Stop() {
  return Drawn([](QPainter& p) {
    p.setPen(QColor(120, 0, 0));
    p.setBrush(QColor(210, 40, 40));
    p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
  });
}

QIcon Save() {
  return Drawn([](QPainter& p) {
    p.setPen(QColor(20, 40, 110));
    p.setBrush(QColor(60, 90, 180));
    p.drawRect(QRectF(2, 2, 12, 12));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 2, 7, 5));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(5, 10, 6, 4));
  });
}

QIcon Settings() {
  return Drawn([](QPainter& p) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(QColor(150, 150, 150));
    QPainterPath gear;
    gear.setFillRule(Qt::WindingFill);
    gear.addEllipse(QPointF(8, 8), 5, 5);
    for (int tooth = 0; tooth < 4; ++tooth) {
      p.save();
      p.translate(8, 8);
      p.rotate(45.0 * tooth);
      p.drawRect(QRectF(-1.5, -7, 3, 14));
      p.restore();
    }
    p.drawPath(gear);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 8), 2, 2);
  });
}

QIcon Close() {
  return Drawn([](QPainter& p) {
    p.setPen(QPen(QColor(90, 90, 90), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
  });
}

}  // namespace

QIcon ValidationImage(int index) {
  switch (index) {
    case IMAGE_SETTINGS: return Settings();
    case IMAGE_SAVE: return Save();
    case IMAGE_START: return Start();
    case IMAGE_STOP: return Stop();
    case IMAGE_CLOSE: return Close();
    case IMAGE_INFO: return Badge(QColor(60, 110, 220), Qt::white, QStringLiteral("i"));
    case IMAGE_WARNING: return Warning();
    case IMAGE_ERROR: return Badge(QColor(210, 30, 30), Qt::white, QStringLiteral("x"));
    default: return QIcon();
  }
}

}  // namespace riffo
