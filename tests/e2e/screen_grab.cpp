// Saves a picture of the X screen as PNG: quarbe_screen_grab OUT.png
// Used by the demo under Xvfb, where no screenshot tool may be installed.
// Xvfb has no window manager and a black root window: the picture is cut to
// the part of the screen that is not black, that is, the program's windows.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: quarbe_screen_grab OUT.png\n", stderr);
    return 2;
  }
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    std::fputs("quarbe_screen_grab: no screen\n", stderr);
    return 1;
  }
  const QImage screenImage = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
  QRect used;
  for (int y = 0; y < screenImage.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(screenImage.constScanLine(y));
    for (int x = 0; x < screenImage.width(); ++x) {
      if ((line[x] & 0x00ffffffu) != 0) used |= QRect(x, y, 1, 1);
    }
  }
  const QImage picture = used.isEmpty() ? screenImage : screenImage.copy(used);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "quarbe_screen_grab: cannot save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
