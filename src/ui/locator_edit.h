#pragma once
// A locator field. Typing stops at the locator's six characters, as in a
// length-limited edit, while a longer text the program puts there (a stored
// or command-line locator, refused when it is committed) is shown whole and
// can be shortened; QLineEdit's own maximum length would cut it instead.
//
// Pasting, whichever way (Ctrl+V or Shift+Insert, the context menu, the
// middle button's selection, a drop), drops the white space around the
// pasted text and inserts as many of its first characters as there is room
// for: "IO91WM " pasted into an empty field gives "IO91WM", and a longer
// text is cut rather than refused whole.

#include <QLineEdit>

class QValidator;

namespace quarbe {

class LocatorEdit : public QLineEdit {
  Q_OBJECT

 public:
  LocatorEdit(int maxLength, QWidget* parent = nullptr);

  // Shows a text set by the program, whatever its length.
  void SetProgramText(const QString& text);

  // Inserts `text` at the cursor (over the selection) by the rule above.
  void Paste(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class LengthLimit;

  int m_maxLength;
  LengthLimit* m_limit;
};

}  // namespace quarbe
