#pragma once
// The program's message box: exclamation icon, OK only, modal, centred over
// the window that owns it (on the screen when there is none).

class QString;
class QWidget;

namespace quarbe {

void ShowWarning(QWidget* owner, const QString& text, const QString& caption);

}  // namespace quarbe
