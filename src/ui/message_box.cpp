#include "ui/message_box.h"

#include <QMessageBox>
#include <QShowEvent>

namespace quarbe {
namespace {

// Qt centres a dialog over its parent allowing for a guessed window-manager
// frame, which leaves it well above the centre where there is none (a bare X
// server). The box takes its final size when it is shown, so it is centred
// there, before it reaches the screen.
class CentredMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (owner == nullptr || !owner->isVisible()) return;
    move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
  }
};

}  // namespace

void ShowWarning(QWidget* owner, const QString& text, const QString& caption) {
  CentredMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace quarbe
