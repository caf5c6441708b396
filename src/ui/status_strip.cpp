#include "ui/status_strip.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPaintEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace quarbe {
namespace {

// Pixels above and below the text, and at the ends of the strip.
constexpr int kPaddingPx = 2;
constexpr int kEndMarginPx = 4;

// A text's width as elidedText measures it: in fractions of a pixel,
// rounded up, so that a text given its own width is not cut.
int TextWidth(const QFontMetricsF& metrics, const QString& text) {
  return static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + 1;
}

}  // namespace

StatusStrip::StatusStrip(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setFixedHeight(HeightFor(fontMetrics()));
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  m_repaintTimer = new QTimer(this);
  m_repaintTimer->setSingleShot(true);
  connect(m_repaintTimer, &QTimer::timeout, this, [this] { update(); });
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
  ScheduleRepaint();
}

void StatusStrip::ScheduleRepaint() {
  // A repaint already due will show these parts too.
  if (m_repaintTimer->isActive()) return;
  const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : kRepaintIntervalMs;
  if (since >= kRepaintIntervalMs) {
    update();
  } else {
    m_repaintTimer->start(static_cast<int>(kRepaintIntervalMs - since));
  }
}

QList<int> StatusStrip::Widths() const {
  const QFontMetrics metrics = fontMetrics();
  const QFontMetricsF exact(font());
  const int gap = metrics.horizontalAdvance(QStringLiteral("M")) * 2;
  int room = std::max(0, width() - 2 * kEndMarginPx - 2 * gap);
  // Each part its whole text when all fit. Otherwise the room is shared
  // out evenly, a part that needs less than its share keeping its whole
  // text and leaving the rest to the others; each text says its state
  // first, so what is cut is a detail.
  QList<int> wanted;
  for (const QString& part : m_parts) wanted << TextWidth(exact, part);
  QList<int> order{0, 1, 2};
  std::sort(order.begin(), order.end(), [&](int a, int b) { return wanted[a] < wanted[b]; });
  QList<int> widths{0, 0, 0};
  int left = 3;
  for (const int i : order) {
    widths[i] = std::min(wanted[i], room / left);
    room -= widths[i];
    --left;
  }
  return widths;
}

QStringList StatusStrip::ShownParts() const {
  const QList<int> widths = Widths();
  QStringList shown;
  for (int i = 0; i < 3; ++i) shown << fontMetrics().elidedText(m_parts[i], Qt::ElideRight, widths[i]);
  return shown;
}

void StatusStrip::paintEvent(QPaintEvent*) {
  m_sincePaint.start();
  QPainter painter(this);
  // A rule between the controls and the line.
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.setPen(palette().color(QPalette::WindowText));
  const QFontMetrics metrics = fontMetrics();
  const int gap = metrics.horizontalAdvance(QStringLiteral("M")) * 2;
  const QList<int> widths = Widths();
  const int top = 1 + kPaddingPx;
  int x = kEndMarginPx;
  for (int i = 0; i < 3; ++i) {
    painter.drawText(QRect(x, top, widths[i], metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(m_parts[i], Qt::ElideRight, widths[i]));
    x += widths[i] + gap;
  }
}

}  // namespace quarbe
