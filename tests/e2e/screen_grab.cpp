// Saves a picture of the whole X screen as PNG: quarbe_screen_grab OUT.png
// Used by the demo under Xvfb, where no screenshot tool may be installed.
#include <QGuiApplication>
#include <QPixmap>
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
  const QPixmap picture = screen->grabWindow(0);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "quarbe_screen_grab: cannot save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
