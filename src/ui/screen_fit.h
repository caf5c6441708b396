#pragma once
// Windows on screens smaller than they are: a car PC's 800 x 480 panel, or a
// desktop scaled up (QT_SCALE_FACTOR=2 turns 1280 x 1024 into 640 x 512 of
// the units windows are laid out in). A window never reaches past the
// screen's available area; what does not fit scrolls, so every button stays
// in reach.

#include <QSize>

class QWidget;

namespace quarbe {

// The size a top-level window of `window` may take on the screen it is on
// (the primary screen before it is shown): the screen's available area less
// the window manager's frame around the window. The frame is the window's
// own once it is known; until then (and under a bare X server, which draws
// none) a frame of kFrameAllowance is assumed, so a window sized before it
// is shown still fits once it has one.
QSize RoomOnScreen(const QWidget* window);
inline constexpr QSize kFrameAllowance{8, 32};

// The size of a scrolled window around `content` in `room`: the content's
// own size when it fits; otherwise the whole room in each direction that
// does not fit, and in the other the content plus the scroll bar
// (`scrollBarPx` thick) that the first needs. Never larger than the room.
QSize ScrolledSize(QSize content, QSize room, int scrollBarPx);

}  // namespace quarbe
