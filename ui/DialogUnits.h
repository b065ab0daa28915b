// Dialog units to pixels, from the average character width and the height of
// a dialog's base font (a horizontal unit is a quarter of the average width,
// a vertical unit an eighth of the height).
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QWidget>
#include <cmath>

namespace kestrun {

class CDialogUnits {
 public:
  explicit CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    baseX_ = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    baseY_ = metrics.height();
  }
  int X(int dlu) const { return static_cast<int>(std::lround(dlu * baseX_ / 4.0)); }
  int Y(int dlu) const { return static_cast<int>(std::lround(dlu * baseY_ / 8.0)); }
  QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(x + w) - X(x), Y(y + h) - Y(y)); }
  QSize Size(int w, int h) const { return QSize(X(w), Y(h)); }

 private:
  int baseX_ = 6;
  int baseY_ = 13;
};

// The tool's base font: 8-point MS Sans Serif where it exists, else a close sans.
inline QFont BaseFont(int points = 8) {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Liberation Sans", "Arial", "DejaVu Sans"});
  font.setPointSize(points);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}

// A fixed-size dialog: `dialog` gets the base font of `points` and the size of
// `width` x `height` dialog units in it; returns those units, to place its
// controls with.
inline CDialogUnits FixDialogSize(QWidget& dialog, int points, int width, int height) {
  const QFont font = BaseFont(points);
  dialog.setFont(font);
  const CDialogUnits du(font);
  dialog.setFixedSize(du.Size(width, height));
  return du;
}

// Regular 10-point Arial (or its metric twin) for the rich-text areas.
inline QFont ArialFont() {
  QFont font;
  font.setFamilies({"Arial", "Liberation Sans", "DejaVu Sans"});
  font.setPointSize(10);
  font.setWeight(QFont::Normal);
  return font;
}

}  // namespace kestrun
