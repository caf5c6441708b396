#pragma once
// An enhanced-metafile picture, converted once to SVG when it is loaded and
// drawn from then on by an SVG renderer, stretched to any rectangle.

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <memory>

class QPainter;
class QSvgRenderer;

namespace quarbe {

class EmfPicture {
 public:
  // Reads and converts the file. Returns nullptr when the file cannot be
  // read, is not an enhanced metafile, or the conversion fails.
  static std::unique_ptr<EmfPicture> Load(const QString& path);

  // Converts metafile bytes already in memory; nullptr on failure as above.
  static std::unique_ptr<EmfPicture> FromBytes(const QByteArray& emfBytes);

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

// True when the bytes start with an enhanced-metafile header record: record
// type 1, a record size that fits, the " EMF" signature, and a metafile size
// that the bytes actually hold.
bool LooksLikeEmf(const QByteArray& bytes);

}  // namespace quarbe
