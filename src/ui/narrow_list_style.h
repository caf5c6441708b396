#pragma once
// The drop-down lists of the dialog templates are narrow (a hemisphere list
// is 16 units wide, a port list 37): this style gives them a narrower arrow,
// leaving room for the item's text at the template's width. It also lets the
// wheel change a list only while that list has the keyboard focus, so a wheel
// turned over the window does not flip a hemisphere or a port on its way.

#include <QProxyStyle>

namespace quarbe {

class NarrowListStyle : public QProxyStyle {
 public:
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override;
};

}  // namespace quarbe
