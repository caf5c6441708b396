#include "ui/emf_picture.h"

#include <QPointer>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

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

// The image the pixels stand for, when they are exactly those of an image
// of `pixels`; a null image otherwise.
QImage ImageFromPixels(const std::string& bytes, QSize pixels) {
  const std::optional<std::size_t> expected = RenderedBytes(pixels.width(), pixels.height());
  if (!expected || bytes.size() != *expected) return {};
  QImage image(pixels, QImage::Format_ARGB32);
  if (image.isNull()) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(pixels.width()) * 4;
  for (int y = 0; y < pixels.height(); ++y) {
    std::memcpy(image.scanLine(y), bytes.data() + static_cast<std::size_t>(y) * rowBytes, rowBytes);
  }
  return image;
}

}  // namespace

std::optional<EmfPicture> EmfPicture::Load(const std::string& path) {
  std::optional<std::string> bytes = ReadPictureFile(path);
  if (!bytes) return std::nullopt;
  return FromBytes(*bytes);
}

std::optional<EmfPicture> EmfPicture::FromBytes(std::string_view bytes) {
  // The structure is checked here as well as in the helper: a file that
  // cannot be a picture costs no process.
  const std::optional<std::size_t> length = CompleteEmfLength(bytes);
  if (!length) return std::nullopt;
  return EmfPicture(std::string(bytes.substr(0, *length)));
}

PictureRender::PictureRender(const std::vector<std::string>& command, std::string_view input, QSize pixels,
                             QObject* context, std::function<void()> ready)
    : pixels_(pixels), context_(context), ready_(std::move(ready)) {
  const std::optional<std::size_t> bytes = RenderedBytes(pixels.width(), pixels.height());
  if (bytes && !command.empty()) {
    run_ = FilterRun::Start(command, input, FilterLimits{kRenderTimeLimit, *bytes});
  }
  if (run_ == nullptr) {
    Complete(false);
    return;
  }
  notifier_ = new QSocketNotifier(run_->OutputFd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Step(); });
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
  Step();
}

PictureRender::~PictureRender() {
  // The notifier goes before the descriptor it watches is closed.
  delete notifier_;
  notifier_ = nullptr;
}

void PictureRender::Step() {
  if (finished_) return;
  const FilterRun::State state = run_->Step();
  if (state != FilterRun::State::kRunning) {
    Complete(state == FilterRun::State::kSucceeded);
    return;
  }
  // Its output ended, the child is about to exit: looked at again shortly.
  // Otherwise the next bytes wake the notifier, and the timer ends a child
  // that writes nothing in time.
  notifier_->setEnabled(!run_->OutputEnded());
  using std::chrono::milliseconds;
  const auto left = std::chrono::duration_cast<milliseconds>(run_->Deadline() - std::chrono::steady_clock::now());
  timer_.start(run_->OutputEnded() ? milliseconds(1) : std::max(left, milliseconds(0)) + milliseconds(1));
}

void PictureRender::Finish() {
  if (finished_) return;
  Complete(run_->Wait() == FilterRun::State::kSucceeded);
}

void PictureRender::Complete(bool succeeded) {
  timer_.stop();
  if (notifier_ != nullptr) notifier_->setEnabled(false);
  if (run_ != nullptr && succeeded) result_ = ImageFromPixels(run_->Output(), pixels_);
  // The descriptor stays open, and the notifier on it, until this object
  // goes: the child has been reaped or killed already.
  if (run_ != nullptr) run_->Cancel();
  finished_ = true;
  QMetaObject::invokeMethod(
      context_,
      [self = QPointer<PictureRender>(this)] {
        if (self != nullptr) self->ready_();
      },
      Qt::QueuedConnection);
}

}  // namespace quarbe
