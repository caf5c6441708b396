#include "ui/classic_group_box.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

#include <algorithm>

namespace quarbe {

QString ClassicGroupBox::ShownTitle() const {
  QString shown = title();
  shown.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(u'&').replace(u'\x01', u'&');
  return shown;
}

int ClassicGroupBox::TitleGap() const { return std::max(2, fontMetrics().averageCharWidth() / 3); }

int ClassicGroupBox::FrameTop() const { return title().isEmpty() ? 0 : fontMetrics().height() / 2; }

QRect ClassicGroupBox::TitleRect() const {
  if (title().isEmpty()) return {};
  // One character in from the frame's left edge, with a gap on each side.
  const QFontMetrics metrics = fontMetrics();
  return QRect(metrics.averageCharWidth(), 0, metrics.horizontalAdvance(ShownTitle()) + 2 * TitleGap(),
               metrics.height());
}

void ClassicGroupBox::paintEvent(QPaintEvent* event) {
  if (measuredFor_ != size()) {
    // A few pixels inside the frame line.
    constexpr int kMarginPx = kFrameWidth + 2;
    inside_ = rect().adjusted(kMarginPx, FrameTop() + kMarginPx, -kMarginPx, -kMarginPx);
    title_ = TitleRect();
    measuredFor_ = size();
  }
  const QRect changed = event->region().boundingRect();
  if (inside_.contains(changed) && !title_.intersects(changed)) return;

  QPainter painter(this);
  static_assert(kFrameWidth == 2, "qDrawShadeRect draws a sunken line of width 1 as two pixels");
  qDrawShadeRect(&painter, rect().adjusted(0, FrameTop(), 0, 0), palette(), /*sunken=*/true, 1, 0);
  if (title().isEmpty()) return;
  const QRect back = title_;
  painter.fillRect(back, palette().window());
  const int gap = TitleGap();
  const int mnemonic = style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this) != 0
                           ? Qt::TextShowMnemonic
                           : Qt::TextHideMnemonic;
  style()->drawItemText(&painter, back.adjusted(gap, 0, -gap, 0), Qt::AlignLeft | Qt::AlignVCenter | mnemonic,
                        palette(), isEnabled(), title(), QPalette::WindowText);
}


void ClassicGroupBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) measuredFor_ = QSize();
  QGroupBox::changeEvent(event);
}

}  // namespace quarbe
