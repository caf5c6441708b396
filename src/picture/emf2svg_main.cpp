// quarbe-emf2svg WIDTH HEIGHT: reads one enhanced metafile on the standard
// input, converts it to SVG and renders that SVG, stretched, to WIDTH ×
// HEIGHT pixels, written on the standard output as RenderedBytes() says.
// Quarbe runs it in a child process for each picture and each size it shows
// the picture at, so that whatever the converter or the SVG renderer does
// with a hostile file (crash, loop, blow up) stays in this process. It exits
// with status 1 when the size is out of range, the input is not a complete
// metafile within the size limit, or the conversion or render fails; it
// limits its own memory, processor time and file writes, and dies with the
// program that started it.

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <emf2svg.h>

#include "common/helper_program.h"
#include "picture/emf_records.h"
#include "picture/picture_converter.h"

namespace {

constexpr rlim_t kProcessorSeconds = 2;
// The largest SVG text rendered: the default picture converts to 15 KiB; a
// 2 MiB metafile with an embedded photograph stays well under this.
constexpr std::size_t kMaxSvgBytes = 8 * 1024 * 1024;

void LimitSelf() {
  // The libraries take about 100 MiB of address space, the converter and a
  // picture of the compass's size a few more; 512 MiB leaves room for an
  // embedded photograph and is far less than a blow-up would take from the
  // machine (a metafile can ask for images of gigabytes).
  constexpr rlim_t kAddressSpaceBytes = 512u * 1024 * 1024;
  quarbe::LimitHelperProcess(kAddressSpaceBytes);
  // Nothing of the program's but the input and the output: a descriptor it
  // left open by mistake (a device, a socket) is not held here.
  close_range(3, ~0U, 0);
  // Past 2 s of processor time the kernel ends the process (SIGXCPU, then
  // SIGKILL a second later): a picture that slow is no picture.
  quarbe::SetResourceLimit(RLIMIT_CPU, kProcessorSeconds, kProcessorSeconds + 1);
  // A library that tries to write a file anyway (a font cache) is refused
  // the write rather than killed for it.
  signal(SIGXFSZ, SIG_IGN);
}

std::optional<int> ReadSide(const char* text) {
  int value = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

bool ReadInput(std::string& input) {
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    input.append(buffer, static_cast<std::size_t>(n));
    if (input.size() > quarbe::kMaxEmfBytes) return false;
  }
}

bool WriteOutput(const uchar* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<QByteArray> ConvertToSvg(std::string& emf) {
  generatorOptions options{};
  options.nameSpace = nullptr;  // plain SVG element names
  options.verbose = false;
  // EMF+ records are left alone: the converter's EMF+ code frees memory
  // twice on some files and keeps state from one picture to the next. A
  // picture with EMF+ records also carries the plain records every player
  // draws, and those are converted.
  options.emfplus = false;
  options.svgDelimiter = true;
  options.imgHeight = 0;
  options.imgWidth = 0;
  char* out = nullptr;
  std::size_t outLength = 0;
  const int converted = emf2svg(emf.data(), emf.size(), &out, &outLength, &options);
  if (converted == 0 || out == nullptr || outLength == 0 || outLength > kMaxSvgBytes) return std::nullopt;
  return QByteArray(out, static_cast<qsizetype>(outLength));
}

}  // namespace

int main(int argc, char** argv) {
  LimitSelf();
  if (argc != 3) _exit(1);
  const std::optional<int> width = ReadSide(argv[1]);
  const std::optional<int> height = ReadSide(argv[2]);
  if (!width || !height) _exit(1);
  const std::optional<std::size_t> pixelBytes = quarbe::RenderedBytes(*width, *height);
  if (!pixelBytes) _exit(1);

  std::string input;
  if (!ReadInput(input)) _exit(1);
  const auto length = quarbe::CompleteEmfLength(input);
  if (!length) _exit(1);
  input.resize(*length);
  const std::optional<QByteArray> svg = ConvertToSvg(input);
  if (!svg) _exit(1);

  // Text in a picture needs the font database, which needs an application;
  // it draws into an image only, on no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qunsetenv("QT_QPA_PLATFORMTHEME");
  int qtArgc = 1;
  QGuiApplication application(qtArgc, argv);
  QSvgRenderer renderer(*svg);
  if (!renderer.isValid()) _exit(1);
  QImage image(*width, *height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) _exit(1);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  // The view box is stretched onto the whole image, its aspect ratio
  // ignored: that is how the picture fills the compass.
  renderer.render(&painter, QRectF(0, 0, *width, *height));
  painter.end();
  image.convertTo(QImage::Format_ARGB32);
  if (image.isNull() || static_cast<std::size_t>(image.sizeInBytes()) != *pixelBytes) _exit(1);
  // _exit: nothing of the libraries' state needs tidying, and a leak
  // checker in a sanitizer build has nothing to say about a finished child.
  _exit(WriteOutput(image.constBits(), *pixelBytes) ? 0 : 1);
}
