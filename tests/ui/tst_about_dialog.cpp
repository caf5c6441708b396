// The About box: its texts and layout, and that opening it changes nothing.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include "ui/about_dialog.h"
#include "ui/dialog_units.h"

using quarbe::CAboutDlg;

class TestAboutDialog : public QObject {
  Q_OBJECT

 private slots:
  void textsAreExact() {
    CAboutDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("A propos de Quarbe"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("version"))->text(), QStringLiteral("Quarbe version 1.1"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("usage"))->text(),
             QStringLiteral("Ligne de commande : local=AANNAA pour spécifier le QRA local, Dest=AANNAA pour "
                            "spécifier le QRA du correspondant."));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    QVERIFY(ok != nullptr);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    const QPixmap icon = dialog.findChild<QLabel*>(QStringLiteral("icon128"))->pixmap();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.deviceIndependentSize().toSize(), QSize(32, 32));
  }

  void laidOutFromDialogUnits_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("dlu");
    QTest::newRow("icon") << "icon128" << QRect(11, 14, 21, 20);
    QTest::newRow("version") << "version" << QRect(40, 10, 119, 8);
    QTest::newRow("OK") << "1" << QRect(178, 15, 32, 14);
    QTest::newRow("usage") << "usage" << QRect(7, 40, 203, 20);
  }
  void laidOutFromDialogUnits() {
    QFETCH(QString, name);
    QFETCH(QRect, dlu);
    CAboutDlg dialog;
    const auto du = quarbe::DialogUnits::ForFont(dialog.font());
    QCOMPARE(dialog.size(), QSize(du.X(217), du.Y(66)));
    QWidget* widget = dialog.findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->geometry(), du.Rect(dlu.x(), dlu.y(), dlu.width(), dlu.height()));
  }

  void opensTwiceAndChangesNothing() {
    QWidget owner;
    auto* field = new QLineEdit(QStringLiteral("JN18AP"), &owner);
    auto* layout = new QVBoxLayout(&owner);
    layout->addWidget(field);
    owner.show();
    QVERIFY(QTest::qWaitForWindowActive(&owner));
    field->setFocus();
    field->setCursorPosition(2);

    QStringList captions;
    for (int round = 0; round < 2; ++round) {
      // Close the modal box with its OK button once it is up.
      QTimer::singleShot(0, [&captions] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        captions << box->windowTitle();
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("1")), Qt::LeftButton);
      });
      CAboutDlg::Show(&owner);
    }
    QCOMPARE(captions, (QStringList{"A propos de Quarbe", "A propos de Quarbe"}));
    QVERIFY(owner.findChildren<CAboutDlg*>().isEmpty());  // destroyed each time
    QCOMPARE(field->text(), QStringLiteral("JN18AP"));
    QCOMPARE(field->cursorPosition(), 2);
    QVERIFY(!field->isModified());
  }
};

QTEST_MAIN(TestAboutDialog)
#include "tst_about_dialog.moc"
