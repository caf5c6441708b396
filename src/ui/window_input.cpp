// What the operator's input does in the main window: a field left (focus
// out), Enter, a hemisphere chosen and the GPS box clicked run the commit the
// field table gives that control, on what the controls hold; the update the
// context returns is shown here.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPushButton>

#include "context/bearing_context.h"
#include "context/field_table.h"
#include "ui/compass_view.h"
#include "ui/locator_edit.h"
#include "ui/window_parts.h"

namespace quarbe {

bool CBearingDlg::RouteCommit(int controlId, Trigger trigger) {
  const Field* field = FindField(controlId);
  // Lists commit when an item is chosen; their lost focus (and so Enter on
  // them) commits nothing, nor does that of a result field or a button.
  if (field == nullptr || field->commit == Commit::kNone || TriggerOf(field->kind) != trigger) return false;
  BusyScope busy(*this);
  Apply(m_context->RunCommit(field->commit, ReadForm()));
  if (field->commit == Commit::kGpsUse) {
    m_devices.SetGpsUse(m_context->gpsUse());
    RefreshStatus();
  }
  return true;
}

bool CBearingDlg::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Paint:
      // The content's background is drawn by now; it paints nothing else.
      if (watched == m_content) RepaintNeedle(static_cast<QPaintEvent*>(event)->rect());
      break;
    case QEvent::FocusOut: {
      const auto* focus = static_cast<QFocusEvent*>(event);
      const int id = ControlIdOf(watched);
      // A popup (a list's drop-down, a context menu) does not leave the
      // field. Notifications while the window is busy (a message box taking
      // the focus and giving it back, an update locking the field) commit
      // nothing.
      if (qobject_cast<QLineEdit*>(watched) != nullptr && id != 0 && focus->reason() != Qt::PopupFocusReason &&
          m_initialised && !Busy()) {
        // Commit once the focus change is complete, outside the focus
        // machinery: the commit may open a message box and move the focus.
        m_pendingCommits.push_back(id);
        QMetaObject::invokeMethod(this, [this] { FlushPendingCommits(); }, Qt::QueuedConnection);
      }
      break;
    }
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
      // The first input reaching the control that took the focus commits
      // the field that was left, before this input changes anything. When
      // that field is refused the input is dropped: the operator is back in
      // the field with the message read.
      if (!m_pendingCommits.empty() && !FlushPendingCommits()) return true;
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

bool CBearingDlg::FlushPendingCommits() {
  const int messagesBefore = m_messageCount;
  while (!m_pendingCommits.empty() && !Busy()) {
    const int id = m_pendingCommits.front();
    m_pendingCommits.erase(m_pendingCommits.begin());
    RouteCommit(id, Trigger::kLostFocus);
  }
  // Closing or stopping: what was left is dropped.
  if (m_shutDown) m_pendingCommits.clear();
  return m_messageCount == messagesBefore;
}

void CBearingDlg::keyPressEvent(QKeyEvent* event) {
  // Return, or Enter on the keypad (which carries the keypad modifier).
  const bool enter = (event->key() == Qt::Key_Return && event->modifiers() == Qt::NoModifier) ||
                     (event->key() == Qt::Key_Enter &&
                      (event->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) == Qt::NoModifier);
  if (enter) {
    // Enter commits the focused field as if it had been left and keeps the
    // window open; on a focused push button it presses the button; on a
    // list, the check box or a result field it does nothing.
    if (FlushPendingCommits() && !Busy()) {
      if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget())) {
        button->click();
      } else {
        RouteCommit(ControlIdOf(QApplication::focusWidget()), Trigger::kLostFocus);
      }
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

Form CBearingDlg::ReadForm() const {
  Form form;
  for (const Field& field : kFields) {
    QWidget* widget = control(field.id);
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
      form.SetText(field.id, edit->text().toStdString());
    } else if (const auto* list = qobject_cast<const QComboBox*>(widget)) {
      form.SetSelection(field.id, list->currentIndex());
    } else if (const auto* box = qobject_cast<const QCheckBox*>(widget)) {
      form.SetChecked(field.id, box->isChecked());
    }
  }
  return form;
}

void CBearingDlg::Apply(const Update& update) {
  // Busy throughout: a field losing the focus because it is locked or
  // because a message box opens commits nothing.
  BusyScope busy(*this);
  if (update.rotatorTarget) DriveRotator(*update.rotatorTarget);
  for (const FieldWrite& write : update.writes) Write(write);
  if (update.needleDeg) m_compass->DrawNeedle(*update.needleDeg, false);
  QWidget* gpsBox = control(ctl::kGpsCheck);
  if (update.revealGpsBox) gpsBox->setEnabled(true);
  if (update.gpsLock) LockGpsFields(*update.gpsLock);
  if (update.revealGpsBox) gpsBox->update();
  if (update.message) ShowMessage(Word(*update.message));
  if (update.focus) {
    if (QWidget* widget = control(update.focus->id)) {
      widget->setFocus(Qt::OtherFocusReason);
      if (auto* edit = qobject_cast<QLineEdit*>(widget); edit != nullptr && update.focus->selectAll) edit->selectAll();
    }
  }
}

void CBearingDlg::Write(const FieldWrite& write) {
  QWidget* widget = control(write.id);
  if (auto* list = qobject_cast<QComboBox*>(widget)) {
    list->setCurrentIndex(write.selection >= 0 && write.selection < list->count() ? write.selection : -1);
    return;
  }
  auto* edit = qobject_cast<QLineEdit*>(widget);
  if (edit == nullptr) return;
  const QString value = QString::fromStdString(write.text);
  if (edit->text() == value) return;
  if (auto* locator = qobject_cast<LocatorEdit*>(edit)) {
    locator->SetProgramText(value);
  } else {
    edit->setText(value);
  }
  edit->setCursorPosition(0);
}

void CBearingDlg::LockGpsFields(bool on) {
  qobject_cast<QCheckBox*>(control(ctl::kGpsCheck))->setChecked(on);
  for (const Field& field : kFields) {
    if (!field.gpsLocked) continue;
    QWidget* widget = control(field.id);
    widget->setEnabled(!on);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setReadOnly(on);
    widget->update();
  }
}

}  // namespace quarbe
