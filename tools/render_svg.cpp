// Renders an SVG file to a PNG of the given size (square unless a height is
// given), keeping transparency.
//
//   render_svg INPUT.svg OUTPUT.png WIDTH [HEIGHT]

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: render_svg INPUT.svg OUTPUT.png WIDTH [HEIGHT]\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int width = std::atoi(argv[3]);
  const int height = argc == 5 ? std::atoi(argv[4]) : width;
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
    std::fprintf(stderr, "render_svg: size out of range\n");
    return 2;
  }
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid()) {
    std::fprintf(stderr, "render_svg: cannot read %s\n", argv[1]);
    return 1;
  }
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  renderer.render(&painter, QRectF(0, 0, width, height));
  painter.end();
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "render_svg: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
