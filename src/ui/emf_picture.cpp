#include "ui/emf_picture.h"

#include <QPainter>
#include <QSvgRenderer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "picture/emf_records.h"
#include "picture/picture_converter.h"

namespace quarbe {

namespace {

// The file's bytes, at most kMaxEmfBytes + 1 of them; nothing when it is not
// a regular file or cannot be read.
std::optional<std::string> ReadPictureFile(const std::string& path) {
  // Not blocking: a FIFO put where the picture was is refused at once.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= static_cast<off_t>(kMaxEmfBytes)) {
    bytes.emplace();
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) bytes.reset();
      if (n <= 0) break;
      bytes->append(buffer, static_cast<std::size_t>(n));
      if (bytes->size() > kMaxEmfBytes) break;  // grew while being read
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace

std::unique_ptr<EmfPicture> EmfPicture::Load(const std::string& path) {
  const std::optional<std::string> bytes = ReadPictureFile(path);
  if (!bytes) return nullptr;
  return FromBytes(*bytes);
}

std::unique_ptr<EmfPicture> EmfPicture::FromBytes(std::string_view emfBytes) {
  // The structure is checked here as well as in the helper: a file that
  // cannot be a picture costs no process.
  const std::optional<std::size_t> length = CompleteEmfLength(emfBytes);
  if (!length) return nullptr;
  const std::optional<std::string> svg = ConvertEmfToSvg(emfBytes.substr(0, *length));
  if (!svg || svg->empty()) return nullptr;

  std::unique_ptr<EmfPicture> picture(new EmfPicture(QByteArray(svg->data(), static_cast<qsizetype>(svg->size()))));
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
