// The compass control: needle geometry, when it draws, and the picture.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <optional>

#include <sys/stat.h>

#include "ui/compass_view.h"
#include "picture/emf_records.h"

using quarbe::CompassView;

namespace {

QString TestDataFile(const char* name) {
  return QDir(qEnvironmentVariable("QUARBE_TEST_DATA")).filePath(QString::fromLatin1(name));
}

bool IsDark(QRgb c) { return qRed(c) < 70 && qGreen(c) < 70 && qBlue(c) < 70; }

// Distance from p to the segment a-b.
double DistanceToSegment(QPointF p, QPointF a, QPointF b) {
  const QPointF ab = b - a;
  const double len2 = QPointF::dotProduct(ab, ab);
  double t = len2 > 0 ? QPointF::dotProduct(p - a, ab) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const QPointF d = p - (a + t * ab);
  return std::hypot(d.x(), d.y());
}

QImage Grab(CompassView& view) { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

}  // namespace

class TestCompassView : public QObject {
  Q_OBJECT

 private slots:
  void needleEndFollowsTheFormula_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("azimuthDeg");
    QTest::addColumn<QPoint>("end");
    // Values worked out by hand from W (1 + 0.75 sin a) / 2, H (1 - 0.75 cos a) / 2, truncated.
    QTest::newRow("ahead, 200 square") << QSize(200, 200) << 0 << QPoint(100, 25);
    QTest::newRow("right, 200 square") << QSize(200, 200) << 90 << QPoint(175, 100);
    QTest::newRow("behind, 200 square") << QSize(200, 200) << 180 << QPoint(100, 175);
    QTest::newRow("left, 200 square") << QSize(200, 200) << 270 << QPoint(25, 100);
    QTest::newRow("45, 200 square") << QSize(200, 200) << 45 << QPoint(153, 46);
    QTest::newRow("ahead, odd size truncates") << QSize(111, 111) << 0 << QPoint(55, 13);
    QTest::newRow("negative azimuth") << QSize(111, 111) << -90 << QPoint(13, 55);
    // sin(2 pi) in doubles is a hair below zero, and truncation shows it.
    QTest::newRow("full turn truncates left of centre") << QSize(200, 200) << 360 << QPoint(99, 25);
    QTest::newRow("wide control") << QSize(160, 120) << 90 << QPoint(140, 60);
  }
  void needleEndFollowsTheFormula() {
    QFETCH(QSize, size);
    QFETCH(int, azimuthDeg);
    QFETCH(QPoint, end);
    QCOMPARE(CompassView::NeedleEnd(size, CompassView::AngleFromDegrees(azimuthDeg)), end);
  }

  void needleStartsAtIntegerCentre() {
    QCOMPARE(CompassView::NeedleStart(QSize(200, 200)), QPoint(100, 100));
    QCOMPARE(CompassView::NeedleStart(QSize(111, 75)), QPoint(55, 37));
  }

  void grabbedNeedleEndsWhereExpected_data() {
    QTest::addColumn<int>("azimuthDeg");
    QTest::addColumn<QPoint>("end");
    QTest::addColumn<QPoint>("beyondEnd");
    QTest::addColumn<QPoint>("offNeedle");
    QTest::newRow("0: straight up") << 0 << QPoint(100, 25) << QPoint(100, 14) << QPoint(130, 60);
    QTest::newRow("90: to the right") << 90 << QPoint(175, 100) << QPoint(186, 100) << QPoint(140, 70);
  }
  void grabbedNeedleEndsWhereExpected() {
    QFETCH(int, azimuthDeg);
    QFETCH(QPoint, end);
    QFETCH(QPoint, beyondEnd);
    QFETCH(QPoint, offNeedle);
    CompassView view;
    view.resize(200, 200);
    view.DrawNeedle(azimuthDeg, true);
    const QImage image = Grab(view);
    const QRgb background = view.palette().color(QPalette::Window).rgb();
    QVERIFY(IsDark(image.pixel(end)));
    QVERIFY(IsDark(image.pixel(100, 100)));
    QCOMPARE(image.pixel(beyondEnd), background);
    QCOMPARE(image.pixel(offNeedle), background);
  }

  void needleIsTenPixelsWide() {
    CompassView view;
    view.resize(200, 200);
    view.DrawNeedle(0, true);
    const QImage image = Grab(view);
    // Across the vertical needle at mid-length: about 10 dark pixels.
    int dark = 0;
    for (int x = 80; x < 120; ++x) dark += IsDark(image.pixel(x, 60)) ? 1 : 0;
    QVERIFY2(dark >= 9 && dark <= 11, qPrintable(QString::number(dark)));
  }

  // The antenna's needle: drawn thin and orange while off target, not at
  // all once within the dead band, where the target needle turns green;
  // drawn again only when that picture changes.
  void antennaNeedleAndOnTarget() {
    CompassView view;
    view.resize(200, 200);
    const auto colourAt = [&view](QPoint point) { return Grab(view).pixel(point); };
    view.SetAntenna(10);  // nothing drawn yet: nothing to draw over
    QCOMPARE(view.RenderCount(), 0);
    struct Step {
      std::optional<int> target;  // DrawNeedle(target, false) when set
      std::optional<int> antenna;
      int renders;
      bool onTarget;
      std::optional<int> drawnAntenna;
    };
    const Step steps[] = {
        {90, 10, 1, false, 10},             // target right, antenna just off ahead
        {{}, 10, 1, false, 10},             // the same again: nothing drawn
        {{}, 20, 2, false, 20},             // it turns
        {{}, 89, 3, true, {}},              // on target: one needle, green
        {{}, 91, 3, true, {}},              // still on target: the same picture
        {100, 91, 4, false, 91},            // the target moves away
        {{}, std::nullopt, 5, false, {}},   // no more readback: the target needle alone, black
    };
    for (const Step& step : steps) {
      if (step.target) view.DrawNeedle(*step.target, false);
      view.SetAntenna(step.antenna);
      QCOMPARE(view.RenderCount(), step.renders);
      QCOMPARE(view.DrawnOnTarget(), step.onTarget);
      QCOMPARE(view.DrawnAntennaDeg(), step.drawnAntenna);
    }
    // The black target needle at 100 degrees, at mid-length.
    const QPoint targetMiddle(150, 109);
    QVERIFY(IsDark(colourAt(targetMiddle)));
    view.SetAntenna(30);
    // The antenna's needle, orange, four pixels wide, over the picture.
    const QPoint antennaMiddle = (CompassView::NeedleStart(view.size()) +
                                  CompassView::NeedleEnd(view.size(), CompassView::AngleFromDegrees(30))) / 2;
    QCOMPARE(QColor(colourAt(antennaMiddle)).rgb(), CompassView::kAntennaColour);
    QVERIFY(!IsDark(colourAt(antennaMiddle + QPoint(4, -2))));
    view.SetAntenna(100);
    const QColor onTarget(colourAt(targetMiddle));
    QCOMPARE(onTarget.rgb(), CompassView::kOnTargetColour);
  }

  void drawsOnlyWhenForcedOrChanged() {
    CompassView view;
    view.resize(120, 120);
    QCOMPARE(view.LastDrawnAngle(), CompassView::kNoAngleDrawn);
    view.DrawNeedle(10, false);  // first drawing always happens
    QCOMPARE(view.RenderCount(), 1);
    view.DrawNeedle(10, false);
    QCOMPARE(view.RenderCount(), 1);
    view.DrawNeedle(10, true);
    QCOMPARE(view.RenderCount(), 2);
    view.DrawNeedle(11, false);
    QCOMPARE(view.RenderCount(), 3);
    QCOMPARE(view.LastDrawnAngle(), CompassView::AngleFromDegrees(11));
    view.DrawNeedle(11, false);
    QCOMPARE(view.RenderCount(), 3);
  }

  void missingPictureLeavesBareFrame() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CompassView view;
    view.resize(200, 200);
    QVERIFY(!view.LoadPicture(dir.filePath(QStringLiteral("absent.emf"))));
    QVERIFY(!view.HasPicture());
    view.DrawNeedle(45, true);
    const QImage image = Grab(view);
    const QRgb background = view.palette().color(QPalette::Window).rgb();
    const QPointF start = CompassView::NeedleStart(view.size());
    const QPointF end = CompassView::NeedleEnd(view.size(), CompassView::AngleFromDegrees(45));
    int stray = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (DistanceToSegment(QPointF(x, y), start, end) > 7.0 && image.pixel(x, y) != background) ++stray;
    QCOMPARE(stray, 0);
  }

  void newNeedleReplacesTheOldOne() {
    CompassView view;
    view.resize(200, 200);
    view.DrawNeedle(0, true);
    view.DrawNeedle(90, false);
    const QImage image = Grab(view);
    QCOMPARE(image.pixel(100, 30), view.palette().color(QPalette::Window).rgb());
    QVERIFY(IsDark(image.pixel(170, 100)));
  }

  void defaultPictureDrawsTheDialNorthUp_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("square") << QSize(200, 200);
    QTest::newRow("wide, stretched") << QSize(300, 150);
    QTest::newRow("tall, stretched") << QSize(150, 300);
  }
  void defaultPictureDrawsTheDialNorthUp() {
    QFETCH(QSize, size);
    CompassView view;
    view.resize(size);
    QVERIFY(view.LoadPicture(TestDataFile("mobile.emf")));
    view.WaitForPicture();
    QVERIFY(view.HasPicture());
    view.DrawNeedle(90, true);  // keep the needle off the north pointer
    const QImage image = Grab(view);
    const QRgb background = view.palette().color(QPalette::Window).rgb();

    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) painted += image.pixel(x, y) != background ? 1 : 0;
    // The dial fills most of the control.
    QVERIFY2(painted > image.width() * image.height() / 2, qPrintable(QString::number(painted)));

    // The red pointer ahead sits at the top centre whatever the proportions
    // (the picture is stretched to the whole control).
    const QRgb pointer = image.pixel(size.width() / 2, static_cast<int>(size.height() * 0.13));
    QVERIFY2(qRed(pointer) > 150 && qGreen(pointer) < 100 && qBlue(pointer) < 100,
             qPrintable(QColor(pointer).name()));
    // The needle is drawn over the picture.
    QVERIFY(IsDark(image.pixel(CompassView::NeedleEnd(size, CompassView::AngleFromDegrees(90)))));
  }

  void defaultPictureFoundBesideTheProgram() {
    // The working directory has no mobile.emf: the copy under share/quarbe
    // next to the program's bin directory (or an installed one) is used.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    CompassView view;
    const bool loaded = view.LoadPicture(QStringLiteral("mobile.emf"));
    const QString resolved = CompassView::ResolvePicturePath(QStringLiteral("mobile.emf"));
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY(loaded);
    QVERIFY(!resolved.startsWith(QDir(dir.path()).absolutePath()));
  }

  void unreadableFilesGiveNoPicture_data() {
    QTest::addColumn<QByteArray>("bytes");
    QFile real(TestDataFile("mobile.emf"));
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray emf = real.readAll();
    QVERIFY(quarbe::CompleteEmfLength(emf.toStdString()));
    QByteArray badSignature = emf;
    badSignature[41] = 'X';
    QByteArray wrongType = emf;
    wrongType[0] = 2;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("not a picture at all\n");
    QTest::newRow("zeros") << QByteArray(512, '\0');
    QTest::newRow("bad signature") << badSignature;
    QTest::newRow("first record not a header") << wrongType;
    QTest::newRow("cut short") << emf.left(emf.size() / 2);
    // The converter read past the end of such a file.
    QByteArray noEnd = emf.left(emf.size() - 20);
    qToLittleEndian<quint32>(static_cast<quint32>(noEnd.size()), noEnd.data() + 48);
    QTest::newRow("no end-of-file record") << noEnd;
  }
  void unreadableFilesGiveNoPicture() {
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("broken.emf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    CompassView view;
    view.resize(100, 100);
    QVERIFY(view.LoadPicture(TestDataFile("mobile.emf")));
    QVERIFY(!view.LoadPicture(path));  // replaces the earlier picture with none
    QVERIFY(!view.HasPicture());
  }

  void hostilePicturesLeaveTheProgramRunning() {
    // The converter's EMF+ code frees memory twice on this file, and its
    // state carried over from one picture to the next: three in a row.
    const QString crafted =
        QDir(qEnvironmentVariable("QUARBE_TEST_PICTURES")).filePath(QStringLiteral("emfplus-empty-objects.emf"));
    QVERIFY(QFile::exists(crafted));
    CompassView view;
    view.resize(100, 100);
    for (int i = 0; i < 3; ++i) {
      view.LoadPicture(crafted);
      view.DrawNeedle(i, true);
      view.WaitForPicture();
    }
    // A FIFO put where the picture should be is refused without waiting.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("compas.emf")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(!view.LoadPicture(QFile::decodeName(fifo)));
    QVERIFY(view.LoadPicture(TestDataFile("mobile.emf")));
  }

  void pictureIsRenderedOncePerSize() {
    CompassView view;
    view.resize(120, 120);
    QVERIFY(view.LoadPicture(TestDataFile("mobile.emf")));
    view.WaitForPicture();
    for (int azimuth = 0; azimuth < 360; azimuth += 30) view.DrawNeedle(azimuth, true);
    view.repaint();
    QCOMPARE(view.PictureRenderCount(), 1);
    QCOMPARE(view.RenderCount(), 12);
    // The same picture again, as when the configuration is accepted
    // unchanged, keeps its image.
    QVERIFY(view.LoadPicture(TestDataFile("mobile.emf")));
    view.DrawNeedle(0, true);
    QCOMPARE(view.PictureRenderCount(), 1);
    view.resize(150, 150);
    view.DrawNeedle(0, true);
    QCOMPARE(view.PictureRenderCount(), 2);
  }

  // The window takes back from the child the pixels of an image of the size
  // it asked for, exactly, or nothing.
  void renderTakesExactlyThePixelsAskedFor_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("taken");
    // 4 x 3 pixels: 48 bytes, white where every byte is 0xFF.
    QTest::newRow("exactly the image") << QStringLiteral("head -c 48 /dev/zero | tr '\\0' '\\377'") << true;
    QTest::newRow("short") << QStringLiteral("head -c 47 /dev/zero") << false;
    QTest::newRow("long") << QStringLiteral("head -c 49 /dev/zero") << false;
    QTest::newRow("an image and more") << QStringLiteral("head -c 4800000 /dev/zero") << false;
    QTest::newRow("the image, then a failure") << QStringLiteral("head -c 48 /dev/zero; exit 1") << false;
  }
  void renderTakesExactlyThePixelsAskedFor() {
    QFETCH(QString, script);
    QFETCH(bool, taken);
    QObject context;
    bool ready = false;
    quarbe::PictureRender render({"/bin/sh", "-c", script.toStdString()}, "", QSize(4, 3), &context,
                                 [&ready] { ready = true; });
    QTRY_VERIFY(ready);
    QVERIFY(!render.Running());
    QCOMPARE(render.Result().isNull(), !taken);
    if (taken) {
      QCOMPARE(render.Result().size(), QSize(4, 3));
      QCOMPARE(render.Result().pixel(3, 2), qRgba(255, 255, 255, 255));
    }
  }

  void relativePathLooksInWorkingDirectoryFirst() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::copy(TestDataFile("mobile.emf"), dir.filePath(QStringLiteral("ici.emf"))));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    CompassView view;
    const bool loaded = view.LoadPicture(QStringLiteral("ici.emf"));
    const QString resolved = CompassView::ResolvePicturePath(QStringLiteral("ici.emf"));
    const bool absent = view.LoadPicture(QStringLiteral("nulle-part.emf"));
    QVERIFY(QDir::setCurrent(previous));
    QVERIFY(loaded);
    QCOMPARE(resolved, QDir(dir.path()).absoluteFilePath(QStringLiteral("ici.emf")));
    QVERIFY(!absent);
  }

};

QTEST_MAIN(TestCompassView)
#include "tst_compass_view.moc"
