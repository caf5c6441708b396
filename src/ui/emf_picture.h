#pragma once
// An enhanced-metafile picture, converted once to SVG when it is loaded (in
// a child process, see picture/picture_converter.h) and drawn from then on
// by an SVG renderer, stretched to any rectangle.

#include <QByteArray>
#include <QRectF>

#include <memory>
#include <string>
#include <string_view>

class QPainter;
class QSvgRenderer;

namespace quarbe {

class EmfPicture {
 public:
  // Reads and converts the file at `path` (bytes, as the file system names
  // it). Returns nullptr when the file is not a regular file that can be
  // read, is larger than kMaxEmfBytes, is not a complete enhanced metafile,
  // or the conversion fails, crashes or runs over its limits. Never waits on
  // the file (a FIFO is refused), and on the converter at most
  // kConversionTimeLimit.
  static std::unique_ptr<EmfPicture> Load(const std::string& path);

  // Converts metafile bytes already in memory; nullptr on failure as above.
  static std::unique_ptr<EmfPicture> FromBytes(std::string_view emfBytes);

  ~EmfPicture();
  EmfPicture(const EmfPicture&) = delete;
  EmfPicture& operator=(const EmfPicture&) = delete;

  // Draws the whole picture into target, ignoring its aspect ratio.
  void Render(QPainter& painter, const QRectF& target) const;

  // The SVG text the metafile was converted to.
  const QByteArray& Svg() const { return svg_; }

 private:
  explicit EmfPicture(QByteArray svg);

  QByteArray svg_;
  std::unique_ptr<QSvgRenderer> renderer_;
};

}  // namespace quarbe
