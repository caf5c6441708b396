#include "ui/status_strip.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>
#include <cmath>

namespace quarbe {
namespace {

// Pixels above and below the text, and at the ends of the strip.
constexpr int kPaddingPx = 2;
constexpr int kEndMarginPx = 4;

}  // namespace

StatusStrip::StatusStrip(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setFixedHeight(HeightFor(fontMetrics()));
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

int StatusStrip::HeightFor(const QFontMetrics& metrics) { return metrics.height() + 2 * kPaddingPx + 1; }

QSize StatusStrip::sizeHint() const { return {0, HeightFor(fontMetrics())}; }
QSize StatusStrip::minimumSizeHint() const { return sizeHint(); }

void StatusStrip::SetParts(const QString& gps, const QString& heading, const QString& rotator) {
  const QStringList parts{gps, heading, rotator};
  if (parts == m_parts) return;
  m_parts = parts;
  ++m_changes;
  setToolTip(m_parts.join(QStringLiteral("\n")));
  update();
}

namespace {

// A text's width as elidedText measures it: in fractions of a pixel,
// rounded up, so that a text given its own width is not cut.
int TextWidth(const QFontMetricsF& metrics, const QString& text) {
  return static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + 1;
}

}  // namespace

QList<int> StatusStrip::Widths() const {
  const QFontMetrics metrics = fontMetrics();
  const QFontMetricsF exact(font());
  const int gap = metrics.horizontalAdvance(QStringLiteral("M")) * 2;
  const int room = std::max(0, width() - 2 * kEndMarginPx - 2 * gap);
  // The heading is short and always whole as far as the strip allows; the
  // GPS and the rotator share what is left, each getting its whole text
  // when both fit, else the one that needs less keeps it when the other
  // can still have half.
  const int heading = std::min(TextWidth(exact, m_parts[1]), room);
  const int rest = room - heading;
  const int gps = TextWidth(exact, m_parts[0]);
  const int rotator = TextWidth(exact, m_parts[2]);
  if (gps + rotator <= rest) return {gps, heading, rotator};
  const int half = rest / 2;
  if (gps <= half) return {gps, heading, rest - gps};
  if (rotator <= half) return {rest - rotator, heading, rotator};
  return {half, heading, rest - half};
}

QStringList StatusStrip::ShownParts() const {
  const QList<int> widths = Widths();
  QStringList shown;
  for (int i = 0; i < 3; ++i) shown << fontMetrics().elidedText(m_parts[i], Qt::ElideRight, widths[i]);
  return shown;
}

void StatusStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // A rule between the controls and the line.
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics metrics = fontMetrics();
  const int gap = metrics.horizontalAdvance(QStringLiteral("M")) * 2;
  const QList<int> widths = Widths();
  const QStringList shown = ShownParts();
  const int top = 1 + kPaddingPx;
  int x = kEndMarginPx;
  for (int i = 0; i < 3; ++i) {
    painter.drawText(QRect(x, top, widths[i], metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, shown[i]);
    x += widths[i] + gap;
  }
}

}  // namespace quarbe
