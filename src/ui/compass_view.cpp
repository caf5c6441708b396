#include "ui/compass_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPen>

#include <cmath>

#include "geodesy/station.h"
#include "ui/emf_picture.h"

#ifndef QUARBE_DATA_DIR
#define QUARBE_DATA_DIR "/usr/local/share/quarbe"
#endif

namespace quarbe {

namespace {

// Needle length as a fraction of the control's half-size.
constexpr double kNeedleFraction = 0.75;

}  // namespace

CompassView::CompassView(QWidget* parent) : QWidget(parent) {
  // The bare frame is the window's own background.
  setAutoFillBackground(true);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

CompassView::~CompassView() = default;

QString CompassView::DataDirectory() { return QStringLiteral(QUARBE_DATA_DIR); }

QString CompassView::ResolvePicturePath(const QString& path) {
  if (path.isEmpty()) return {};
  const QFileInfo direct(path);
  if (direct.isFile()) return direct.absoluteFilePath();
  if (direct.isRelative()) {
    const QFileInfo installed(QDir(DataDirectory()), path);
    if (installed.isFile()) return installed.absoluteFilePath();
    // Beside the program: share/quarbe next to its bin directory, which is
    // where a relocated installation and the build tree keep the picture.
    if (QCoreApplication::instance() != nullptr) {
      const QFileInfo beside(QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quarbe")), path);
      if (beside.isFile()) return beside.absoluteFilePath();
    }
  }
  return {};
}

bool CompassView::LoadPicture(const QString& path) {
  picture_.reset();
  const QString resolved = ResolvePicturePath(path);
  if (!resolved.isEmpty()) picture_ = EmfPicture::Load(resolved);
  return picture_ != nullptr;
}

double CompassView::AngleFromDegrees(int azimuthDeg) { return azimuthDeg * HALF_PI * (1.0 / 90.0); }

QPoint CompassView::NeedleStart(QSize size) { return {size.width() / 2, size.height() / 2}; }

QPoint CompassView::NeedleEnd(QSize size, double angleRad) {
  const double x = size.width() * (1.0 + kNeedleFraction * std::sin(angleRad)) * 0.5;
  const double y = size.height() * (1.0 - kNeedleFraction * std::cos(angleRad)) * 0.5;
  return {static_cast<int>(std::trunc(x)), static_cast<int>(std::trunc(y))};
}

void CompassView::DrawNeedle(int relativeAzimuthDeg, bool force) {
  const double angle = AngleFromDegrees(relativeAzimuthDeg);
  if (!force && angle == lastAngleRad_) return;
  Render(angle);
  lastAngleRad_ = angle;
}

void CompassView::Render(double angleRad) {
  const QSize area = size();
  ++renderCount_;
  if (area.isEmpty()) {
    backing_ = QImage();
    return;
  }
  const qreal dpr = devicePixelRatioF();
  if (backing_.size() != area * dpr) {
    backing_ = QImage(area * dpr, QImage::Format_ARGB32_Premultiplied);
    backing_.setDevicePixelRatio(dpr);
  }
  // Each drawing starts from the bare frame, so an earlier needle never
  // stays visible next to the new one, with or without a picture.
  backing_.fill(Qt::transparent);

  QPainter painter(&backing_);
  painter.setRenderHint(QPainter::Antialiasing, true);
  if (picture_ != nullptr) picture_->Render(painter, QRectF(QPointF(0, 0), QSizeF(area)));

  QPen pen(Qt::black, kNeedleWidthPx, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.drawLine(NeedleStart(area), NeedleEnd(area, angleRad));
  painter.end();
  update();
}

void CompassView::paintEvent(QPaintEvent* /*event*/) {
  if (backing_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), backing_);
}

void CompassView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The old image no longer fits; redraw at the new size once something has
  // been drawn.
  if (lastAngleRad_ != kNoAngleDrawn) Render(lastAngleRad_);
}

}  // namespace quarbe
