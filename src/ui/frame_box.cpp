#include "ui/frame_box.h"

#include <QEvent>
#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace quarbe {

void FrameBox::paintEvent(QPaintEvent* event) {
  if (measuredFor_ != size()) {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect frame = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, this);
    // A few pixels inside the frame line, whatever its width and rounding.
    constexpr int kFrameMarginPx = 4;
    inside_ = frame.adjusted(kFrameMarginPx, kFrameMarginPx, -kFrameMarginPx, -kFrameMarginPx);
    label_ = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    measuredFor_ = size();
  }
  const QRect changed = event->region().boundingRect();
  if (inside_.contains(changed) && !label_.intersects(changed)) return;
  QGroupBox::paintEvent(event);
}

void FrameBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) measuredFor_ = QSize();
  QGroupBox::changeEvent(event);
}

}  // namespace quarbe
