#pragma once
// The compass control (1019): the operator's picture stretched to the whole
// control with a thick black needle from the centre towards the relative
// azimuth; straight up means dead ahead of the vehicle.
//
// With a rotator that reports where its antenna points, a second, thinner
// needle in orange shows that direction (relative to the vehicle too) while
// the antenna is off target; once it is within the rotator's dead band of
// the target the orange needle is no longer drawn and the target needle
// turns green: one green needle means the antenna is there.
//
// Picture and needle are drawn into an image owned by the control; paint
// events only copy that image, so a drawing happens exactly when DrawNeedle
// decides to draw, on a resize, and when a picture's pixels arrive. The
// picture is rendered to pixels in a child process, once for each picture
// and size, while the window goes on: until its pixels come back (a
// fraction of a second), and for good when the render fails, the needle is
// drawn on the bare frame.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

#include "ui/emf_picture.h"

namespace quarbe {

class CompassView : public QWidget {
  Q_OBJECT

 public:
  // Angle recorded before any drawing: no whole-degree azimuth converts to
  // 5.0 rad, so the first DrawNeedle always draws.
  static constexpr double kNoAngleDrawn = 5.0;
  static constexpr int kNeedleWidthPx = 10;
  static constexpr int kAntennaNeedleWidthPx = 4;
  // The target needle, and the antenna's needle while off target; the target
  // needle once the antenna is on target.
  static constexpr QRgb kNeedleColour = 0xff000000;
  static constexpr QRgb kAntennaColour = 0xffff8000;
  static constexpr QRgb kOnTargetColour = 0xff00a000;

  explicit CompassView(QWidget* parent = nullptr);
  ~CompassView() override;

  // Replaces the picture. The path is bytes, as the file system names it. A
  // relative path is looked up in the working directory first, then in the
  // installed data directory, then in share/quarbe beside the program's bin
  // directory. A file that cannot be found or read, or is not a complete
  // metafile, leaves the control without a picture; nothing is reported.
  // Returns whether a picture is now loaded; its render starts at once and
  // does not block. The same picture again keeps its image. The control is
  // not redrawn until the next DrawNeedle, or until the picture's pixels
  // arrive if a needle has been drawn.
  bool LoadPicture(const std::string& path);
  bool LoadPicture(const QString& path);
  // Whether a picture is loaded: being rendered or shown. A render that
  // fails (the helper crashed or ran over its limits) unloads it.
  bool HasPicture() const { return picture_.has_value(); }

  // Blocks until a render under way is over (at most its time limit) and
  // shows its result. For pictures of the window taken for diagnostics, and
  // tests.
  void WaitForPicture();

  // Draws the picture and the needle for the relative azimuth (whole degrees
  // clockwise from the vehicle's heading) when force is true or the angle
  // differs from the last one drawn; otherwise does nothing.
  void DrawNeedle(int relativeAzimuthDeg, bool force);

  // The antenna's actual direction (relative azimuth, whole degrees), or
  // none when the rotator gives none (a parallel byte, a controller not
  // connected). Redraws when what is drawn changes: the antenna's needle
  // off target, or the on-target colour coming or going.
  void SetAntenna(std::optional<int> antennaDeg);

  // Radians of the last drawn needle, kNoAngleDrawn before the first.
  double LastDrawnAngle() const { return lastAngleRad_; }
  // Whether the last drawing showed the antenna on target, and the antenna
  // needle it drew (none when on target or without an antenna direction).
  bool DrawnOnTarget() const { return drawnOnTarget_; }
  std::optional<int> DrawnAntennaDeg() const { return drawnAntennaDeg_; }

  // How many times picture and needle have been drawn, a picture's pixels
  // arriving after a needle was drawn included.
  int RenderCount() const { return renderCount_; }
  // How many renders of the picture have been started.
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
  // Whether the antenna is within the dead band of the target needle.
  bool OnTarget() const;
  // The size in device pixels the control is drawn at.
  QSize PixelSize() const;
  // Starts rendering the picture at `pixels` unless it is there already or
  // on its way.
  void RequestPicture(QSize pixels);
  // Takes the result of a render that is over: shows it, or unloads the
  // picture when the render failed.
  void ApplyRender();

  std::optional<EmfPicture> picture_;
  std::unique_ptr<PictureRender> render_;  // under way, or over and not yet applied
  QImage rendered_;      // the picture as rendered, ARGB32, in device pixels
  QImage pictureImage_;  // the rendered picture over the frame colour
  QColor pictureBackground_;  // that frame colour
  QImage backing_;       // picture and needle as last drawn
  double lastAngleRad_ = kNoAngleDrawn;
  int lastAzimuthDeg_ = 0;  // of the target needle last drawn
  std::optional<int> antennaDeg_;
  bool drawnOnTarget_ = false;
  std::optional<int> drawnAntennaDeg_;
  int renderCount_ = 0;
  int pictureRenderCount_ = 0;
};

}  // namespace quarbe
