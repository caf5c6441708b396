#pragma once
// How fields look beyond their style's defaults.

class QLineEdit;
class QWidget;

namespace quarbe {

// A field the program disables while it shows live values (the GPS position
// and heading) keeps its text at full contrast: the driver reads it at a
// glance. It still looks disabled by its background and takes no input.
void KeepTextContrastWhenDisabled(QWidget* field);

// A read-only field drawn on the window's background, not as a white input
// field, so that results are not taken for something to type into.
void ShowAsReadOnly(QLineEdit* field);

}  // namespace quarbe
