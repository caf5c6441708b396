#include "ui/locator_edit.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QValidator>

#include <algorithm>

namespace quarbe {

// Refuses an edit that would make the text longer than the limit, unless it
// does not lengthen a text that is already too long.
class LocatorEdit::LengthLimit : public QValidator {
 public:
  LengthLimit(LocatorEdit* edit, int maxLength) : QValidator(edit), m_maxLength(maxLength) {
    // The line edit has already changed its text when it asks the
    // validator, so the length to compare with is tracked here.
    m_acceptedLength = edit->text().size();
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { m_acceptedLength = text.size(); });
  }

  // Called before the program sets a text of this length, which must pass
  // whatever its length.
  void AcceptLength(qsizetype length) { m_acceptedLength = std::max(m_acceptedLength, length); }

  State validate(QString& input, int& /*pos*/) const override {
    if (input.size() <= m_maxLength) return Acceptable;
    return input.size() <= m_acceptedLength ? Acceptable : Invalid;
  }

 private:
  int m_maxLength;
  qsizetype m_acceptedLength = 0;
};

LocatorEdit::LocatorEdit(int maxLength, QWidget* parent)
    : QLineEdit(parent), m_maxLength(maxLength), m_limit(new LengthLimit(this, maxLength)) {
  setValidator(m_limit);
}

void LocatorEdit::SetProgramText(const QString& text) {
  m_limit->AcceptLength(text.size());
  setText(text);
}

void LocatorEdit::Paste(const QString& text) {
  if (isReadOnly()) return;
  const qsizetype room = m_maxLength - (this->text().size() - selectedText().size());
  const QString pasted = text.trimmed().left(std::max<qsizetype>(room, 0));
  if (!pasted.isEmpty()) insert(pasted);
}

void LocatorEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    Paste(QGuiApplication::clipboard()->text());
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void LocatorEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  if (menu == nullptr) return;
  // The standard menu's "Paste" would insert the clipboard as it is: the
  // action connected to QLineEdit::paste() is connected to Paste() instead.
  // Qt connects it by name or by pointer depending on its version.
  for (QAction* action : menu->actions()) {
    if (disconnect(action, SIGNAL(triggered()), this, SLOT(paste())) ||
        disconnect(action, &QAction::triggered, this, &QLineEdit::paste)) {
      connect(action, &QAction::triggered, this, [this] { Paste(QGuiApplication::clipboard()->text()); });
    }
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void LocatorEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection() && !isReadOnly()) {
    deselect();
    Paste(QGuiApplication::clipboard()->text(QClipboard::Selection));
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void LocatorEdit::dropEvent(QDropEvent* event) {
  // Text dragged within the field moves as usual; text from elsewhere is a
  // paste at the drop point.
  if (event->source() == this || !event->mimeData()->hasText() || isReadOnly()) {
    QLineEdit::dropEvent(event);
    return;
  }
  deselect();
  setCursorPosition(cursorPositionAt(event->position().toPoint()));
  Paste(event->mimeData()->text());
  event->acceptProposedAction();
}

}  // namespace quarbe
