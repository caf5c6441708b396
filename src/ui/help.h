#pragma once
// The help shown for F1: how to use the main window, in French.

#include <QString>

class QWidget;

namespace quarbe {

// Caption and text of the help box.
QString HelpCaption();
QString HelpText();

// Shows the help modally over parent.
void ShowHelp(QWidget* parent);

}  // namespace quarbe
