// The program's pictures: each is present, drawn at its design size, and
// shows the colours it is known by.

#include <QImage>
#include <QtTest>

#include "ui/resources.h"

namespace res = quarbe::res;

namespace {

enum class Hue { kRed, kGreen, kBlue, kYellow, kDark, kGrey };

bool Matches(QRgb c, Hue hue) {
  const int r = qRed(c), g = qGreen(c), b = qBlue(c);
  switch (hue) {
    case Hue::kRed:
      return r > 150 && g < 90 && b < 90;
    case Hue::kGreen:
      return g > 120 && r < 90 && b < 90;
    case Hue::kBlue:
      return b > 150 && r < 90 && g < 130;
    case Hue::kYellow:
      return r > 200 && g > 170 && b < 90;
    case Hue::kDark:
      return r < 60 && g < 60 && b < 70;
    case Hue::kGrey:
      return std::abs(r - g) < 10 && std::abs(g - b) < 10 && r > 150 && r < 220;
  }
  return false;
}

int CountHue(const QImage& image, Hue hue) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) == 255 && Matches(image.pixel(x, y), hue)) ++n;
  return n;
}

}  // namespace

Q_DECLARE_METATYPE(Hue)

class TestResources : public QObject {
  Q_OBJECT

 private slots:
  void picturesShowTheirColours_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<Hue>>("hues");
    QTest::newRow("icon 128: three orbits and a nucleus")
        << res::kIconProgram << QSize(32, 32) << QList<Hue>{Hue::kRed, Hue::kGreen, Hue::kBlue, Hue::kDark};
    QTest::newRow("bitmap 131: question mark") << res::kBitmapAbout << QSize(19, 19)
                                               << QList<Hue>{Hue::kYellow, Hue::kGrey};
    QTest::newRow("bitmap 132: tools") << res::kBitmapConfig << QSize(19, 19) << QList<Hue>{Hue::kRed, Hue::kGrey};
    QTest::newRow("bitmap 139: compass rose") << res::kBitmapBrowse << QSize(19, 19)
                                              << QList<Hue>{Hue::kRed, Hue::kGreen, Hue::kGrey};
  }
  void picturesShowTheirColours() {
    QFETCH(int, id);
    QFETCH(QSize, size);
    QFETCH(QList<Hue>, hues);
    const QPixmap pixmap = res::ResourcePixmap(id);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), size);
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (Hue hue : hues) QVERIFY2(CountHue(image, hue) >= 2, qPrintable(QString::number(static_cast<int>(hue))));
  }

  void compassRoseHasNorthRedAboveSouthGreen() {
    const QImage image = res::ResourcePixmap(res::kBitmapBrowse, QSize(76, 76), 1.0).toImage();
    QVERIFY(Matches(image.pixel(38, 14), Hue::kRed));
    QVERIFY(Matches(image.pixel(38, 62), Hue::kGreen));
  }

  void unknownNumberHasNoPicture() {
    QVERIFY(res::ResourcePath(129).isEmpty());
    QVERIFY(res::ResourcePixmap(129).isNull());
  }

};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
