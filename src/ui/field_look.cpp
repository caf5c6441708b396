#include "ui/field_look.h"

#include <QLineEdit>
#include <QPalette>
#include <QWidget>

namespace quarbe {

void KeepTextContrastWhenDisabled(QWidget* field) {
  QPalette palette = field->palette();
  for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
  }
  // A selection left in the field when it was disabled is not drawn: pale
  // text on a grey highlight is what this avoids.
  palette.setColor(QPalette::Disabled, QPalette::Highlight, palette.color(QPalette::Disabled, QPalette::Base));
  palette.setColor(QPalette::Disabled, QPalette::HighlightedText, palette.color(QPalette::Active, QPalette::Text));
  field->setPalette(palette);
}

void ShowAsReadOnly(QLineEdit* field) {
  QPalette palette = field->palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
  }
  field->setPalette(palette);
}

}  // namespace quarbe
