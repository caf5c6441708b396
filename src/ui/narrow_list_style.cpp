#include "ui/narrow_list_style.h"

#include <QStyleOptionComplex>
#include <QWidget>

#include <algorithm>

namespace quarbe {

QRect NarrowListStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                      const QWidget* widget) const {
  QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
  if (control != CC_ComboBox) return rect;
  const QRect frame = option->rect;
  const int arrowWidth = std::max(9, frame.height() / 2);
  if (sub == SC_ComboBoxArrow) {
    rect = QRect(frame.right() - arrowWidth, frame.top(), arrowWidth + 1, frame.height());
  } else if (sub == SC_ComboBoxEditField) {
    rect = QRect(frame.left() + 3, frame.top() + 2, frame.width() - arrowWidth - 4, frame.height() - 4);
  }
  return visualRect(option->direction, frame, rect);
}

int NarrowListStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                               QStyleHintReturn* returnData) const {
  if (hint == SH_ComboBox_AllowWheelScrolling) return widget != nullptr && widget->hasFocus() ? 1 : 0;
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace quarbe
