// Conversion of dialog units to pixels, and the size of a window on a
// screen too small for it.
#include <QWidget>
#include <QtTest>

#include "ui/dialog_units.h"
#include "ui/screen_fit.h"

class TestDialogUnits : public QObject {
  Q_OBJECT

 private slots:
  void convertsWithRounding_data() {
    QTest::addColumn<int>("baseX");
    QTest::addColumn<int>("baseY");
    QTest::addColumn<int>("dlu");
    QTest::addColumn<int>("expectedX");
    QTest::addColumn<int>("expectedY");
    // Classic 8 pt base units 6 x 13: 4 units are 6 px wide, 8 units 13 px high.
    QTest::newRow("zero") << 6 << 13 << 0 << 0 << 0;
    QTest::newRow("one base") << 6 << 13 << 4 << 6 << 7;
    QTest::newRow("half pixel rounds up") << 6 << 13 << 1 << 2 << 2;   // 1.5 -> 2, 1.625 -> 2
    QTest::newRow("below half rounds down") << 7 << 13 << 3 << 5 << 5;  // 5.25 -> 5, 4.875 -> 5
    QTest::newRow("main window width") << 7 << 16 << 330 << 578 << 660;  // 577.5 -> 578
    QTest::newRow("negative rounds away") << 6 << 13 << -1 << -2 << -2;
  }
  void convertsWithRounding() {
    QFETCH(int, baseX);
    QFETCH(int, baseY);
    QFETCH(int, dlu);
    QFETCH(int, expectedX);
    QFETCH(int, expectedY);
    const quarbe::DialogUnits units(baseX, baseY);
    QCOMPARE(units.X(dlu), expectedX);
    QCOMPARE(units.Y(dlu), expectedY);
  }

  void rectConvertsSizeOnItsOwn() {
    // Converting the size separately (not right edge minus left edge) is
    // what keeps equal-sized controls equal wherever they sit.
    const quarbe::DialogUnits units(7, 16);
    QCOMPARE(units.Rect(1, 1, 1, 1), QRect(2, 2, 2, 2));
    QCOMPARE(units.Rect(3, 3, 1, 1), QRect(5, 6, 2, 2));
    QWidget widget;
    units.Place(&widget, 65, 18, 32, 12);
    QCOMPARE(widget.geometry(), QRect(114, 36, 56, 24));
  }

  void largerFontsGiveLargerUnits() {
    const quarbe::DialogUnits small = quarbe::DialogUnits::ForFont(quarbe::DialogFont(8));
    const quarbe::DialogUnits large = quarbe::DialogUnits::ForFont(quarbe::DialogFont(20));
    QVERIFY(small.baseX() > 0 && small.baseY() > 0);
    QVERIFY(large.baseX() > small.baseX());
    QVERIFY(large.baseY() > small.baseY());
  }

  // The main window's 660 x 221 content with 15-pixel scroll bars.
  void scrolledSizeStaysOnTheScreen_data() {
    QTest::addColumn<QSize>("content");
    QTest::addColumn<QSize>("room");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("fits: the content's size") << QSize(660, 221) << QSize(792, 448) << QSize(660, 221);
    QTest::newRow("exactly fits") << QSize(660, 221) << QSize(660, 221) << QSize(660, 221);
    QTest::newRow("too wide: a bar below") << QSize(660, 221) << QSize(632, 480) << QSize(632, 236);
    QTest::newRow("too wide and high: both bars") << QSize(660, 221) << QSize(392, 208) << QSize(392, 208);
    QTest::newRow("too high: a bar beside") << QSize(300, 500) << QSize(800, 400) << QSize(315, 400);
    QTest::newRow("the bar below makes it too high") << QSize(660, 200) << QSize(650, 210) << QSize(650, 210);
  }
  void scrolledSizeStaysOnTheScreen() {
    QFETCH(QSize, content);
    QFETCH(QSize, room);
    QFETCH(QSize, expected);
    QCOMPARE(quarbe::ScrolledSize(content, room, 15), expected);
  }
};

QTEST_MAIN(TestDialogUnits)
#include "tst_dialog_units.moc"
