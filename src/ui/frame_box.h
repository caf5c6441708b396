#pragma once
// A group box that only repaints when a change reaches its frame or title.
// Its inside is the window's own background: a field inside it repainting
// (its caret blinking twice a second) has nothing of the box to redraw, yet
// a plain QGroupBox lays out and draws its title and frame again each time.

#include <QGroupBox>
#include <QRect>
#include <QSize>

namespace quarbe {

class FrameBox : public QGroupBox {
  Q_OBJECT

 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Where the frame's inside and the title lie, worked out again only when
  // the size, font or style changes: measuring the title is what costs.
  QSize measuredFor_;
  QRect inside_;
  QRect label_;
};

}  // namespace quarbe
