#include "ui/screen_fit.h"

#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace quarbe {

QSize RoomOnScreen(const QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  QSize frame = kFrameAllowance;
  if (const QWindow* handle = window->windowHandle(); handle != nullptr && handle->isVisible()) {
    const QMargins margins = handle->frameMargins();
    const QSize known(margins.left() + margins.right(), margins.top() + margins.bottom());
    if (!known.isNull()) frame = known;
  }
  return (screen->availableGeometry().size() - frame).expandedTo(QSize(1, 1));
}

QSize ScrolledSize(QSize content, QSize room, int scrollBarPx) {
  // A direction that does not fit takes the whole room; the other one makes
  // room for the scroll bar that the first needs, as far as it can.
  const bool across = content.width() > room.width();
  const bool down = content.height() > room.height();
  return QSize(across ? room.width() : std::min(content.width() + (down ? scrollBarPx : 0), room.width()),
               down ? room.height() : std::min(content.height() + (across ? scrollBarPx : 0), room.height()));
}

}  // namespace quarbe
