#pragma once
// The program's own pictures, compiled in from resources.qrc: icon 128 (the
// program icon) and the button bitmaps 131 (About), 132 (configuration) and
// 139 (browse for the compass picture).

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace quarbe::res {

inline constexpr int kIconProgram = 128;
inline constexpr int kBitmapAbout = 131;
inline constexpr int kBitmapConfig = 132;
inline constexpr int kBitmapBrowse = 139;

// The button bitmaps are drawn for 19 x 19 pixels, the icon for 32 x 32.
inline constexpr QSize kBitmapSize{19, 19};
inline constexpr QSize kIconSize{32, 32};

// Resource path of a picture by its number; empty for an unknown number.
QString ResourcePath(int id);

// The program icon, scalable (window icon, About box).
QIcon ProgramIcon();

// A picture rendered at its design size (or at `size`), for the given
// device pixel ratio; a null pixmap for an unknown number.
QPixmap ResourcePixmap(int id, qreal devicePixelRatio = 1.0);
QPixmap ResourcePixmap(int id, QSize size, qreal devicePixelRatio);

}  // namespace quarbe::res
