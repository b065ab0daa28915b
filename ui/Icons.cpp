#include "ui/Icons.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kestrun {

namespace {

QPixmap Badge(int size, const QColor& color, const std::function<void(QPainter&, qreal)>& mark) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
  QPen pen(Qt::white, size / 7.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  mark(p, size);
  return pixmap;
}

}  // namespace

QPixmap SuccessPixmap(int size) {
  return Badge(size, QColor(0x2e, 0xa0, 0x43), [](QPainter& p, qreal s) {
    p.drawPolyline(
        QPolygonF({QPointF(s * 0.27, s * 0.52), QPointF(s * 0.44, s * 0.69), QPointF(s * 0.74, s * 0.33)}));
  });
}

QPixmap FailurePixmap(int size) {
  return Badge(size, QColor(0xd0, 0x2b, 0x2b), [](QPainter& p, qreal s) {
    p.drawLine(QPointF(s * 0.32, s * 0.32), QPointF(s * 0.68, s * 0.68));
    p.drawLine(QPointF(s * 0.68, s * 0.32), QPointF(s * 0.32, s * 0.68));
  });
}

// A location pin with a small wing: the tool's own mark.
QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath pin;
    pin.moveTo(s * 0.5, s * 0.95);
    pin.cubicTo(s * 0.15, s * 0.55, s * 0.12, s * 0.38, s * 0.18, s * 0.28);
    pin.arcTo(QRectF(s * 0.15, s * 0.05, s * 0.7, s * 0.6), 180, -180);
    pin.cubicTo(s * 0.88, s * 0.38, s * 0.85, s * 0.55, s * 0.5, s * 0.95);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xa8));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(s * 0.5, s * 0.35), s * 0.14, s * 0.14);
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap LogoPixmap(const QSize& size) {
  QPixmap pixmap(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, QColor(0x1f, 0x5f, 0xa8));
  sky.setColorAt(1, QColor(0x0d, 0x2f, 0x5a));
  p.fillRect(pixmap.rect(), sky);
  // A kestrel in flight: two swept wings and a body.
  const qreal h = size.height();
  QPainterPath bird;
  const QPointF c(h * 0.55, h * 0.5);
  bird.moveTo(c);
  bird.quadTo(c + QPointF(-h * 0.25, -h * 0.35), c + QPointF(-h * 0.45, -h * 0.25));
  bird.quadTo(c + QPointF(-h * 0.2, -h * 0.1), c + QPointF(-h * 0.05, h * 0.05));
  bird.quadTo(c + QPointF(h * 0.2, -h * 0.3), c + QPointF(h * 0.42, -h * 0.28));
  bird.quadTo(c + QPointF(h * 0.15, -h * 0.02), c);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf2, 0xa5, 0x3a));
  p.drawPath(bird);
  QFont font;
  font.setFamilies({"Liberation Sans", "DejaVu Sans"});
  font.setBold(true);
  // As large as fits beside the bird.
  const qreal textWidth = size.width() - h * 1.15;
  int pixels = static_cast<int>(h * 0.34);
  for (font.setPixelSize(pixels); pixels > 6 && QFontMetrics(font).horizontalAdvance("KESTRUN") > textWidth;)
    font.setPixelSize(--pixels);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(h * 1.05, 0, size.width() - h * 1.1, h * 0.62), Qt::AlignLeft | Qt::AlignBottom,
             "KESTRUN");
  font.setBold(false);
  font.setPixelSize(static_cast<int>(h * 0.16));
  p.setFont(font);
  p.setPen(QColor(0xcf, 0xe0, 0xf5));
  p.drawText(QRectF(h * 1.05, h * 0.64, size.width() - h * 1.1, h * 0.3), Qt::AlignLeft | Qt::AlignTop,
             "tracker tools");
  return pixmap;
}

}  // namespace kestrun
