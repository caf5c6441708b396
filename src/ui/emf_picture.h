#pragma once
// The compass picture: an enhanced metafile read from a file and checked,
// then rendered to pixels in a child process (the helper of
// picture/picture_converter.h) at each size it is shown at. This process
// never converts the metafile nor parses an SVG: it takes back plain pixels,
// exactly as many as it asked for, and draws them.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;

namespace quarbe {

class FilterRun;

class EmfPicture {
 public:
  // Reads the file at `path` (bytes, as the file system names it). Nothing
  // when it is not a regular file that can be read, is larger than
  // kMaxEmfBytes or is not a complete enhanced metafile. Never waits on the
  // file (a FIFO is refused).
  static std::optional<EmfPicture> Load(const std::string& path);

  // The same for metafile bytes already in memory.
  static std::optional<EmfPicture> FromBytes(std::string_view bytes);

  // The metafile, cut to its own byte count.
  const std::string& Bytes() const { return bytes_; }

 private:
  explicit EmfPicture(std::string bytes) : bytes_(std::move(bytes)) {}

  std::string bytes_;
};

// One render of a picture in a child process, driven by the event loop of
// the thread that made it: nothing here blocks, except Finish. The child is
// the helper run with RenderCommand, or any command for a test.
class PictureRender : public QObject {
 public:
  // Starts `command` with `input` on its standard input for an image of
  // `pixels`. Once the render is over, Result() holds the image and `ready`
  // is called on `context` through its event loop: queued, so never from
  // inside this object, and not at all once this object has gone. An empty
  // command, or one that cannot be started, fails the same way.
  PictureRender(const std::vector<std::string>& command, std::string_view input, QSize pixels, QObject* context,
                std::function<void()> ready);
  // A render still under way is ended: its child is killed.
  ~PictureRender() override;

  QSize Pixels() const { return pixels_; }
  bool Running() const { return !finished_; }
  // Once over: the image (ARGB32, `pixels` in size), or a null image when
  // the child failed, was killed, ran over its limits or did not write
  // exactly the bytes of an image that size.
  const QImage& Result() const { return result_; }

  // Blocks until the render is over, at most until its time limit. For
  // diagnostics (pictures of the window) and tests.
  void Finish();

 private:
  void Step();
  void Complete(bool succeeded);

  QSize pixels_;
  QObject* context_;
  std::function<void()> ready_;
  std::unique_ptr<FilterRun> run_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer timer_;
  QImage result_;
  bool finished_ = false;
};

}  // namespace quarbe
