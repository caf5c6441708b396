#include "ui/emf_picture.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstdlib>
#include <limits>

#include <emf2svg.h>

namespace quarbe {

namespace {

// Header record layout: type (u32) at 0, size (u32) at 4, the " EMF"
// signature (u32) at 40, the whole metafile's size (u32) at 48; the smallest
// valid header record is 88 bytes.
constexpr qsizetype kMinHeaderBytes = 88;
constexpr quint32 kHeaderRecordType = 1;
constexpr quint32 kEmfSignature = 0x464D4520;  // " EMF", little-endian
// Larger files are refused rather than handed to the converter.
constexpr qsizetype kMaxFileBytes = 64 * 1024 * 1024;

quint32 ReadU32(const QByteArray& bytes, qsizetype offset) {
  return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

}  // namespace

bool LooksLikeEmf(const QByteArray& bytes) {
  if (bytes.size() < kMinHeaderBytes) return false;
  if (ReadU32(bytes, 0) != kHeaderRecordType) return false;
  const quint32 headerSize = ReadU32(bytes, 4);
  if (headerSize < kMinHeaderBytes || headerSize > static_cast<quint32>(bytes.size()) || headerSize % 4 != 0)
    return false;
  if (ReadU32(bytes, 40) != kEmfSignature) return false;
  // The header's byte count (offset 48) says how long the metafile is; a
  // file cut short would have the converter read past its records.
  const quint32 totalSize = ReadU32(bytes, 48);
  return totalSize >= headerSize && totalSize <= static_cast<quint32>(bytes.size());
}

std::unique_ptr<EmfPicture> EmfPicture::Load(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  if (file.size() > kMaxFileBytes) return nullptr;
  return FromBytes(file.readAll());
}

std::unique_ptr<EmfPicture> EmfPicture::FromBytes(const QByteArray& emfBytes) {
  // The converter trusts its input more than a file picked by the operator
  // deserves: check the header first.
  if (!LooksLikeEmf(emfBytes)) return nullptr;

  QByteArray input = emfBytes;  // the converter takes a mutable buffer
  generatorOptions options{};
  // No element prefix: plain SVG elements. (The converter also leaks the
  // copy it makes of a prefix, once per conversion.)
  options.nameSpace = nullptr;
  options.verbose = false;
  options.emfplus = true;
  options.svgDelimiter = true;
  options.imgHeight = 0;
  options.imgWidth = 0;

  char* out = nullptr;
  size_t outLength = 0;
  const int ok = emf2svg(input.data(), static_cast<size_t>(input.size()), &out, &outLength, &options);
  QByteArray svg;
  if (out != nullptr) {
    if (outLength <= static_cast<size_t>(std::numeric_limits<qsizetype>::max()))
      svg = QByteArray(out, static_cast<qsizetype>(outLength));
    std::free(out);
  }
  if (ok == 0 || svg.isEmpty()) return nullptr;

  std::unique_ptr<EmfPicture> picture(new EmfPicture(std::move(svg)));
  if (!picture->renderer_->isValid()) return nullptr;
  return picture;
}

EmfPicture::EmfPicture(QByteArray svg) : svg_(std::move(svg)), renderer_(std::make_unique<QSvgRenderer>(svg_)) {}

EmfPicture::~EmfPicture() = default;

void EmfPicture::Render(QPainter& painter, const QRectF& target) const {
  // QSvgRenderer stretches the view box onto the target without keeping the
  // aspect ratio, which is how the picture fills the whole control.
  renderer_->render(&painter, target);
}

}  // namespace quarbe
