#pragma once
// Dialog units: the windows of this program are laid out in the units of the
// classic dialog templates, where a horizontal unit is a quarter of the dialog
// font's average character width and a vertical unit an eighth of its height.
// Converting through the font keeps the layout proportioned to whatever sans
// serif is installed.

#include <QFont>
#include <QRect>

class QWidget;

namespace quarbe {

// The font a dialog template asks for ("MS Sans Serif" at `pointSize`) is not
// available on Linux; this returns the nearest installed sans serif at that
// size: Liberation Sans (metrically compatible with the common desktop fonts),
// else DejaVu Sans, else whatever the system maps "sans-serif" to.
QFont DialogFont(int pointSize);

// The font to draw a template's text with inside `box`: `font` itself when
// the text fits (laid out with `flags`, such as Qt::TextWordWrap), otherwise
// the same font condensed just enough to fit, down to 85 % of its width. The
// substitute fonts run a little wider than the one the templates were drawn
// for; a text that still does not fit gets the narrowest of these.
QFont FontToFit(const QFont& font, const QString& text, const QSize& box, int flags = 0);

class DialogUnits {
 public:
  // Base units straight from pixels: average character width and height.
  DialogUnits(int baseWidthPx, int baseHeightPx) : m_baseX(baseWidthPx), m_baseY(baseHeightPx) {}

  // Base units of `font`: the average width of the 52 Latin letters, rounded
  // as the classic conversion does ((sum / 26 + 1) / 2), and the font height.
  static DialogUnits ForFont(const QFont& font);

  int baseX() const { return m_baseX; }
  int baseY() const { return m_baseY; }

  // Pixel values, each rounded to the nearest pixel (halves away from zero).
  int X(int dluX) const;
  int Y(int dluY) const;
  QRect Rect(int x, int y, int width, int height) const;

  // Moves and sizes `widget` to the dialog-unit rectangle.
  void Place(QWidget* widget, int x, int y, int width, int height) const;

 private:
  int m_baseX;
  int m_baseY;
};

}  // namespace quarbe
