#include "ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QWidget>

namespace quarbe {
namespace {

// a * b / c rounded to the nearest integer, halves away from zero, computed
// in 64 bits so no intermediate overflows.
int MulDivRound(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  const long long q = product >= 0 ? (product + half) / c : (product - half) / c;
  return static_cast<int>(q);
}

}  // namespace

QFont DialogFont(int pointSize) {
  const QStringList installed = QFontDatabase::families();
  for (const char* family : {"Liberation Sans", "DejaVu Sans"}) {
    if (installed.contains(QString::fromLatin1(family))) {
      QFont font(QString::fromLatin1(family), pointSize);
      font.setStyleHint(QFont::SansSerif);
      return font;
    }
  }
  QFont font(QStringLiteral("sans-serif"), pointSize);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QFont FontToFit(const QFont& font, const QString& text, const QSize& box, int flags) {
  constexpr int kNarrowestStretch = 85;
  QFont fitted = font;
  for (int stretch = 100; stretch >= kNarrowestStretch; --stretch) {
    if (stretch < 100) fitted.setStretch(stretch);
    const QRect needed = QFontMetrics(fitted).boundingRect(QRect(QPoint(0, 0), box), flags, text);
    if (needed.width() <= box.width() && needed.height() <= box.height()) break;
  }
  return fitted;
}

DialogUnits DialogUnits::ForFont(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int width = (letters / 26 + 1) / 2;
  return DialogUnits(width > 0 ? width : 1, metrics.height() > 0 ? metrics.height() : 1);
}

int DialogUnits::X(int dluX) const { return MulDivRound(dluX, m_baseX, 4); }

int DialogUnits::Y(int dluY) const { return MulDivRound(dluY, m_baseY, 8); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  // Position and size are converted each on its own, as the template loader
  // of the classic dialogs does.
  return QRect(X(x), Y(y), X(width), Y(height));
}

void DialogUnits::Place(QWidget* widget, int x, int y, int width, int height) const {
  widget->setGeometry(Rect(x, y, width, height));
}

}  // namespace quarbe
