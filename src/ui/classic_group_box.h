#pragma once
// A group box drawn the way the dialog templates were laid out for: the
// frame's top line runs through the middle of the title, which is drawn over
// it, and the frame is an etched line. Styles such as Fusion put the title
// above a frame that starts a whole text line lower, so that frame crossed
// the controls a template places just under the title.
//
// The inside of the box is the window's own background: a field inside it
// repainting (its caret blinking twice a second) has nothing of the box to
// redraw, so such a paint returns at once; the title is measured only when
// the size, font or style changes.

#include <QGroupBox>
#include <QRect>
#include <QSize>

namespace quarbe {

class ClassicGroupBox : public QGroupBox {
  Q_OBJECT

 public:
  using QGroupBox::QGroupBox;

  // Width of the etched frame line, in pixels.
  static constexpr int kFrameWidth = 2;

  // Where the frame's top line runs: half the title's height (0 untitled).
  int FrameTop() const;
  // The area the title covers, frame line hidden behind it; empty untitled.
  QRect TitleRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The title as drawn, without its mnemonic marks.
  QString ShownTitle() const;
  int TitleGap() const;

  QSize measuredFor_;
  QRect inside_;
  QRect title_;
};

}  // namespace quarbe
