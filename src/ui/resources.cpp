#include "ui/resources.h"

#include <QPainter>
#include <QSvgRenderer>

// The resources are compiled into a static library; nothing else references
// their object file, so they are registered explicitly before first use.
// Q_INIT_RESOURCE has to be used outside any namespace.
static void RegisterQuarbeResources() { Q_INIT_RESOURCE(resources); }

namespace quarbe::res {

QString ResourcePath(int id) {
  static const bool registered = [] {
    RegisterQuarbeResources();
    return true;
  }();
  (void)registered;
  switch (id) {
    case kIconProgram:
      return QStringLiteral(":/quarbe/icon128.svg");
    case kBitmapAbout:
      return QStringLiteral(":/quarbe/bitmap131.svg");
    case kBitmapConfig:
      return QStringLiteral(":/quarbe/bitmap132.svg");
    case kBitmapBrowse:
      return QStringLiteral(":/quarbe/bitmap139.svg");
    default:
      return {};
  }
}

QIcon ProgramIcon() {
  QIcon icon;
  // Rendered sizes for the task bar, title bar and About box; QIcon picks
  // the nearest and scales.
  for (int side : {16, 22, 24, 32, 48, 64, 128}) icon.addPixmap(ResourcePixmap(kIconProgram, QSize(side, side), 1.0));
  return icon;
}

QPixmap ResourcePixmap(int id, qreal devicePixelRatio) {
  return ResourcePixmap(id, id == kIconProgram ? kIconSize : kBitmapSize, devicePixelRatio);
}

QPixmap ResourcePixmap(int id, QSize size, qreal devicePixelRatio) {
  const QString path = ResourcePath(id);
  if (path.isEmpty() || size.isEmpty()) return {};
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}

}  // namespace quarbe::res
