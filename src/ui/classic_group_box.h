#pragma once
// A group box drawn the way the dialog templates were laid out for: the
// frame's top line runs through the middle of the title, which is drawn over
// it, and the frame is an etched line. Styles such as Fusion put the title
// above a frame that starts a whole text line lower, so that frame crossed
// the controls a template places just under the title.

#include <QGroupBox>

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

 private:
  // The title as drawn, without its mnemonic marks.
  QString ShownTitle() const;
  int TitleGap() const;
};

}  // namespace quarbe
