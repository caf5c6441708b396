#include "ui/compass_view.h"

#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <cstring>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/helper_program.h"
#include "geodesy/station.h"
#include "picture/picture_converter.h"
#include "rotator/hamlib_rotator.h"

#ifndef QUARBE_DATA_DIR
#define QUARBE_DATA_DIR "/usr/local/share/quarbe"
#endif

namespace quarbe {

namespace {

// Needle length as a fraction of the control's half-size.
constexpr double kNeedleFraction = 0.75;

}  // namespace

CompassView::CompassView(QWidget* parent) : QWidget(parent) {
  // The control paints every pixel itself, the bare frame in the window's
  // own background colour: nothing behind it is repainted for a needle, and
  // its image goes to the screen as a plain copy.
  setAutoFillBackground(false);
  setAttribute(Qt::WA_OpaquePaintEvent, true);
}

CompassView::~CompassView() = default;

std::string CompassView::ResolvePicturePath(const std::string& path) {
  if (path.empty()) return {};
  const auto isFile = [](const std::string& candidate) {
    struct stat info {};
    return ::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  };
  const bool relative = path.front() != '/';
  if (isFile(path)) {
    if (!relative) return path;
    char directory[PATH_MAX];
    return ::getcwd(directory, sizeof directory) != nullptr ? std::string(directory) + "/" + path : path;
  }
  if (!relative) return {};
  const std::string installed = std::string(QUARBE_DATA_DIR) + "/" + path;
  if (isFile(installed)) return installed;
  // Beside the program: share/quarbe next to its bin directory, which is
  // where a relocated installation and the build tree keep the picture.
  if (const std::string directory = ProgramDirectory(); !directory.empty()) {
    const std::string beside = directory + "../share/quarbe/" + path;
    if (isFile(beside)) return beside;
  }
  return {};
}

QString CompassView::ResolvePicturePath(const QString& path) {
  return QFile::decodeName(QByteArray::fromStdString(ResolvePicturePath(QFile::encodeName(path).toStdString())));
}

bool CompassView::LoadPicture(const std::string& path) {
  const std::string resolved = ResolvePicturePath(path);
  std::optional<EmfPicture> loaded = resolved.empty() ? std::nullopt : EmfPicture::Load(resolved);
  // The configuration accepted with the same picture: the image stays.
  if (loaded && picture_ && loaded->Bytes() == picture_->Bytes()) return true;
  render_.reset();
  rendered_ = QImage();
  pictureImage_ = QImage();
  picture_ = std::move(loaded);
  RequestPicture(PixelSize());
  return picture_.has_value();
}

QSize CompassView::PixelSize() const { return size() * devicePixelRatioF(); }

void CompassView::RequestPicture(QSize pixels) {
  if (!picture_ || pixels.isEmpty() || rendered_.size() == pixels) return;
  if (render_ != nullptr && render_->Pixels() == pixels) return;
  // A render for another size is of no use any more: it is ended.
  render_ = std::make_unique<PictureRender>(RenderCommand(pixels.width(), pixels.height()), picture_->Bytes(),
                                            pixels, this, [this] { ApplyRender(); });
  ++pictureRenderCount_;
}

void CompassView::ApplyRender() {
  if (render_ == nullptr || render_->Running()) return;
  const QImage image = render_->Result();
  render_.reset();
  pictureImage_ = QImage();
  if (image.isNull()) {
    // A picture the helper could not render in its limits is no picture:
    // the needle stays on the bare frame, as drawn meanwhile.
    picture_.reset();
    rendered_ = QImage();
    return;
  }
  rendered_ = image;
  if (lastAngleRad_ != kNoAngleDrawn) Render(lastAngleRad_);
}

void CompassView::WaitForPicture() {
  if (render_ == nullptr) return;
  render_->Finish();
  ApplyRender();
}

bool CompassView::LoadPicture(const QString& path) { return LoadPicture(QFile::encodeName(path).toStdString()); }

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
  lastAzimuthDeg_ = relativeAzimuthDeg;
  Render(angle);
  lastAngleRad_ = angle;
}

bool CompassView::OnTarget() const { return antennaDeg_ && !BeyondDeadBand(*antennaDeg_, lastAzimuthDeg_); }

void CompassView::SetAntenna(std::optional<int> antennaDeg) {
  antennaDeg_ = antennaDeg;
  // Nothing to draw over before the first needle; then only a change of
  // what the picture shows is drawn.
  if (lastAngleRad_ == kNoAngleDrawn) return;
  const bool onTarget = OnTarget();
  // The antenna's needle is drawn only off target.
  const bool needle = !onTarget && antennaDeg_.has_value();
  const bool sameNeedle = needle ? drawnAntennaDeg_.has_value() && *drawnAntennaDeg_ == *antennaDeg_
                                 : !drawnAntennaDeg_.has_value();
  if (onTarget == drawnOnTarget_ && sameNeedle) return;
  Render(lastAngleRad_);
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
    backing_ = QImage(area * dpr, QImage::Format_RGB32);
    backing_.setDevicePixelRatio(dpr);
  }
  const QColor frame = palette().color(QPalette::Window);
  // Rendering the picture is the costly part: once per picture and size, in
  // the helper, not at every needle. Its pixels go over the frame colour
  // once, here.
  RequestPicture(backing_.size());
  const bool showPicture = picture_ && rendered_.size() == backing_.size();
  if (showPicture && (pictureImage_.size() != backing_.size() || pictureBackground_ != frame)) {
    pictureImage_ = QImage(backing_.size(), QImage::Format_RGB32);
    pictureImage_.fill(frame);
    QPainter picturePainter(&pictureImage_);
    picturePainter.drawImage(QPoint(0, 0), rendered_);
    picturePainter.end();
    pictureBackground_ = frame;
  }
  // Each drawing starts from the bare frame or the picture, so an earlier
  // needle never stays visible next to the new one.
  if (showPicture) {
    std::memcpy(backing_.bits(), pictureImage_.constBits(), static_cast<std::size_t>(backing_.sizeInBytes()));
  } else {
    backing_.fill(frame);
  }

  QPainter painter(&backing_);
  painter.setRenderHint(QPainter::Antialiasing, true);
  drawnOnTarget_ = OnTarget();
  drawnAntennaDeg_ = drawnOnTarget_ ? std::nullopt : antennaDeg_;
  QPen pen(QColor::fromRgba(drawnOnTarget_ ? kOnTargetColour : kNeedleColour), kNeedleWidthPx, Qt::SolidLine,
           Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.drawLine(NeedleStart(area), NeedleEnd(area, angleRad));
  if (drawnAntennaDeg_) {
    // Over the target needle, so that it shows where the two cross.
    pen.setColor(QColor::fromRgba(kAntennaColour));
    pen.setWidth(kAntennaNeedleWidthPx);
    painter.setPen(pen);
    painter.drawLine(NeedleStart(area), NeedleEnd(area, AngleFromDegrees(*drawnAntennaDeg_)));
  }
  painter.end();
  update();
}

void CompassView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (backing_.isNull()) {
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    return;
  }
  painter.drawImage(QPoint(0, 0), backing_);
}

void CompassView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The old image no longer fits; redraw at the new size once something has
  // been drawn, and have the picture rendered at that size meanwhile.
  if (lastAngleRad_ != kNoAngleDrawn) {
    Render(lastAngleRad_);
  } else {
    RequestPicture(PixelSize());
  }
}

}  // namespace quarbe
