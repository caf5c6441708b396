#pragma once
// The compass control (1019): the operator's picture stretched to the whole
// control with a thick black needle from the centre towards the relative
// azimuth; straight up means dead ahead of the vehicle.
//
// Picture and needle are drawn into an image owned by the control; paint
// events only copy that image, so a drawing happens exactly when DrawNeedle
// decides to draw. The picture itself is rendered once for each picture and
// size into an image of its own, which every needle drawing starts from.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>

namespace quarbe {

class EmfPicture;

class CompassView : public QWidget {
  Q_OBJECT

 public:
  // Angle recorded before any drawing: no whole-degree azimuth converts to
  // 5.0 rad, so the first DrawNeedle always draws.
  static constexpr double kNoAngleDrawn = 5.0;
  static constexpr int kNeedleWidthPx = 10;

  explicit CompassView(QWidget* parent = nullptr);
  ~CompassView() override;

  // Replaces the picture. The path is bytes, as the file system names it. A
  // relative path is looked up in the working directory first, then in the
  // installed data directory, then in share/quarbe beside the program's bin
  // directory. A file that cannot be found, read or converted leaves the
  // control without a picture; nothing is reported. Returns whether a
  // picture is now loaded. The control is not redrawn until the next
  // DrawNeedle.
  bool LoadPicture(const std::string& path);
  bool LoadPicture(const QString& path);
  bool HasPicture() const { return picture_ != nullptr; }

  // Draws the picture and the needle for the relative azimuth (whole degrees
  // clockwise from the vehicle's heading) when force is true or the angle
  // differs from the last one drawn; otherwise does nothing.
  void DrawNeedle(int relativeAzimuthDeg, bool force);

  // Radians of the last drawn needle, kNoAngleDrawn before the first.
  double LastDrawnAngle() const { return lastAngleRad_; }

  // How many times picture and needle have been drawn.
  int RenderCount() const { return renderCount_; }
  // How many times the picture has been rendered from its SVG.
  int PictureRenderCount() const { return pictureRenderCount_; }

  // Where a needle at angleRad ends in a control of the given size:
  // x = trunc(W (1 + 0.75 sin a) / 2), y = trunc(H (1 - 0.75 cos a) / 2).
  static QPoint NeedleEnd(QSize size, double angleRad);

  // The needle's start: the centre, by integer halves.
  static QPoint NeedleStart(QSize size);

  // Radians for a whole-degree azimuth: az * HALF_PI * (1/90).
  static double AngleFromDegrees(int azimuthDeg);

  // Resolves a picture path as LoadPicture does; empty when not found.
  static std::string ResolvePicturePath(const std::string& path);
  static QString ResolvePicturePath(const QString& path);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Render(double angleRad);

  std::unique_ptr<EmfPicture> picture_;
  QImage pictureImage_;  // the picture at the control's size, once rendered
  QColor pictureBackground_;  // the frame colour it was rendered on
  QImage backing_;       // picture and needle as last drawn
  double lastAngleRad_ = kNoAngleDrawn;
  int renderCount_ = 0;
  int pictureRenderCount_ = 0;
};

}  // namespace quarbe
