// The configuration dialog: layout, initial state, enabling, the end-stop
// buttons, the angle check, browsing, and OK / Cancel on a copy.

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include "common/configuration.h"
#include "context/control_ids.h"
#include "ui/classic_group_box.h"
#include "ui/config_dialog.h"
#include "ui/dialog_units.h"
#include "ui/help.h"

using quarbe::CConfigDlg;
using quarbe::Configuration;
using quarbe::EndStopChoice;
namespace ctl = quarbe::ctl;

Q_DECLARE_METATYPE(quarbe::Configuration)

namespace {

template <typename T>
T* Control(const QWidget& dialog, int id) {
  T* widget = dialog.findChild<T*>(QString::number(id));
  if (widget == nullptr) qFatal("control %d missing", id);
  return widget;
}

QPushButton* Button(const QWidget& dialog, const char* name) {
  QPushButton* button = dialog.findChild<QPushButton*>(QString::fromLatin1(name));
  if (button == nullptr) qFatal("button %s missing", name);
  return button;
}

Configuration WithRotator(int port, std::uint32_t endStopDeg) {
  Configuration c;
  c.rotatorPort = port;
  c.endStopDeg = endStopDeg;
  c.endStopChoice = quarbe::EndStopChoiceFor(endStopDeg);
  return c;
}

struct Message {
  QString text;
  QString caption;
};

// A dialog whose messages are recorded instead of shown.
struct Harness {
  explicit Harness(const Configuration& config) : dialog(config) {
    dialog.SetMessageSink([this](QWidget*, const QString& text, const QString& caption) {
      messages.push_back({text, caption});
    });
    dialog.show();
    dialog.activateWindow();
  }
  CConfigDlg dialog;
  QList<Message> messages;
};

}  // namespace

class TestConfigDialog : public QObject {
  Q_OBJECT

 private slots:
  void captionAndSizeFromDialogUnits() {
    CConfigDlg dialog{Configuration{}};
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Configuration"));
    const auto du = quarbe::DialogUnits::ForFont(dialog.font());
    QCOMPARE(dialog.size(), QSize(du.X(250), du.Y(114)));
  }

  void controlsSitAtTheirDialogUnits_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("dlu");
    QTest::newRow("picture path") << QString::number(ctl::kCfgPicturePath) << QRect(13, 18, 204, 15);
    QTest::newRow("browse") << QString::number(ctl::kCfgBrowse) << QRect(221, 18, 16, 15);
    QTest::newRow("Nord") << QString::number(ctl::kCfgEndStopNorth) << QRect(20, 74, 31, 10);
    QTest::newRow("angle") << QString::number(ctl::kCfgEndStopAngle) << QRect(53, 85, 29, 14);
    QTest::newRow("Inverse") << QString::number(ctl::kCfgSenseInverse) << QRect(99, 86, 37, 10);
    QTest::newRow("OK") << QStringLiteral("1") << QRect(175, 70, 50, 14);
    QTest::newRow("Annuler") << QStringLiteral("2") << QRect(175, 90, 50, 14);
  }
  void controlsSitAtTheirDialogUnits() {
    QFETCH(QString, name);
    QFETCH(QRect, dlu);
    CConfigDlg dialog{Configuration{}};
    const auto du = quarbe::DialogUnits::ForFont(dialog.font());
    QWidget* widget = dialog.findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    const QRect inDialog(widget->mapTo(&dialog, QPoint(0, 0)), widget->size());
    QCOMPARE(inDialog, du.Rect(dlu.x(), dlu.y(), dlu.width(), dlu.height()));
  }

  // Inside each group box every control clears the frame line, the title
  // and its neighbours by at least a pixel, and every label's text fits it.
  void nothingCrossesOrTouches() {
    CConfigDlg dialog{WithRotator(1, 90)};
    const QList<QGroupBox*> boxes = dialog.findChildren<QGroupBox*>();
    QCOMPARE(boxes.size(), 5);
    for (QGroupBox* plain : boxes) {
      auto* box = qobject_cast<quarbe::ClassicGroupBox*>(plain);
      QVERIFY2(box != nullptr, qPrintable(plain->title()));
      const int line = quarbe::ClassicGroupBox::kFrameWidth;
      const QRect inside = box->rect().adjusted(line + 1, box->FrameTop() + line + 1, -line - 1, -line - 1);
      QList<QRect> taken{box->TitleRect()};
      for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QString where = box->title() + QStringLiteral(" / ") + child->objectName();
        QVERIFY2(inside.contains(child->geometry()), qPrintable(where));
        for (const QRect& other : taken) {
          QVERIFY2(!child->geometry().adjusted(-1, -1, 1, 1).intersects(other), qPrintable(where));
        }
        taken << child->geometry();
        if (auto* label = qobject_cast<QLabel*>(child)) {
          QVERIFY2(label->fontMetrics().horizontalAdvance(label->text().remove(u'&')) <= label->width(),
                   qPrintable(label->text()));
        }
      }
    }
  }

  void listsHoldTheirItems() {
    CConfigDlg dialog{Configuration{}};
    auto* rotator = Control<QComboBox>(dialog, ctl::kCfgRotatorPort);
    auto* gps = Control<QComboBox>(dialog, ctl::kCfgGpsPort);
    QStringList rotatorItems, gpsItems;
    for (int i = 0; i < rotator->count(); ++i) rotatorItems << rotator->itemText(i);
    for (int i = 0; i < gps->count(); ++i) gpsItems << gps->itemText(i);
    QCOMPARE(rotatorItems, (QStringList{"Aucun", "LPT1 (378)", "LPT2 (278)", "LPT3 (3BC)"}));
    QCOMPARE(gpsItems, (QStringList{"Aucun", "COM1", "COM2", "COM3", "COM4"}));
    QVERIFY(Control<QLineEdit>(dialog, ctl::kCfgPicturePath)->isReadOnly());
    QVERIFY(Button(dialog, "1")->isDefault());
  }

  void controlsShowTheStoredConfiguration_data() {
    QTest::addColumn<std::uint32_t>("endStopDeg");
    QTest::addColumn<int>("checkedId");
    QTest::addColumn<QString>("angleText");
    QTest::addColumn<bool>("angleEnabled");
    QTest::newRow("0 is Nord") << 0u << ctl::kCfgEndStopNorth << "0" << false;
    QTest::newRow("180 is Sud") << 180u << ctl::kCfgEndStopSouth << "180" << false;
    QTest::newRow("90 is Autre") << 90u << ctl::kCfgEndStopOther << "90" << true;
    QTest::newRow("359 is Autre") << 359u << ctl::kCfgEndStopOther << "359" << true;
  }
  void controlsShowTheStoredConfiguration() {
    QFETCH(std::uint32_t, endStopDeg);
    QFETCH(int, checkedId);
    QFETCH(QString, angleText);
    QFETCH(bool, angleEnabled);
    Configuration config = WithRotator(2, endStopDeg);
    config.gpsPort = 3;
    config.rotationSense = quarbe::kSenseClockwise;
    config.picturePath = "/chemin/vers/voiture.emf";
    CConfigDlg dialog(config);
    QVERIFY(Control<QRadioButton>(dialog, checkedId)->isChecked());
    QCOMPARE(Control<QLineEdit>(dialog, ctl::kCfgEndStopAngle)->text(), angleText);
    QCOMPARE(Control<QLineEdit>(dialog, ctl::kCfgEndStopAngle)->isEnabled(), angleEnabled);
    QCOMPARE(Control<QComboBox>(dialog, ctl::kCfgGpsPort)->currentIndex(), 3);
    QCOMPARE(Control<QComboBox>(dialog, ctl::kCfgRotatorPort)->currentIndex(), 2);
    QVERIFY(Control<QRadioButton>(dialog, ctl::kCfgSenseClockwise)->isChecked());
    QVERIFY(!Control<QRadioButton>(dialog, ctl::kCfgSenseInverse)->isChecked());
    QCOMPARE(Control<QLineEdit>(dialog, ctl::kCfgPicturePath)->text(), QStringLiteral("/chemin/vers/voiture.emf"));
  }

  void enableByPort_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<std::uint32_t>("endStopDeg");
    QTest::addColumn<bool>("radiosEnabled");
    QTest::addColumn<bool>("angleEnabled");
    QTest::newRow("Aucun, Autre") << 0 << 90u << false << false;
    QTest::newRow("Aucun, Sud") << 0 << 180u << false << false;
    QTest::newRow("LPT1, Autre") << 1 << 90u << true << true;
    QTest::newRow("LPT1, Nord") << 1 << 0u << true << false;
    QTest::newRow("LPT3, Sud") << 3 << 180u << true << false;
    QTest::newRow("unknown port shows no selection, enabled") << 7 << 90u << true << true;
  }
  void enableByPort() {
    QFETCH(int, port);
    QFETCH(std::uint32_t, endStopDeg);
    QFETCH(bool, radiosEnabled);
    QFETCH(bool, angleEnabled);
    CConfigDlg dialog(WithRotator(port, endStopDeg));
    for (int id : {ctl::kCfgEndStopNorth, ctl::kCfgEndStopSouth, ctl::kCfgEndStopOther, ctl::kCfgSenseClockwise,
                   ctl::kCfgSenseInverse})
      QCOMPARE(Control<QRadioButton>(dialog, id)->isEnabled(), radiosEnabled);
    QCOMPARE(Control<QLineEdit>(dialog, ctl::kCfgEndStopAngle)->isEnabled(), angleEnabled);
  }

  void choosingAPortEnables() {
    CConfigDlg dialog(WithRotator(0, 90));
    auto* rotator = Control<QComboBox>(dialog, ctl::kCfgRotatorPort);
    auto* angle = Control<QLineEdit>(dialog, ctl::kCfgEndStopAngle);
    QVERIFY(!angle->isEnabled());
    rotator->setCurrentIndex(1);
    QVERIFY(Control<QRadioButton>(dialog, ctl::kCfgEndStopNorth)->isEnabled());
    QVERIFY(Control<QRadioButton>(dialog, ctl::kCfgSenseInverse)->isEnabled());
    QVERIFY(angle->isEnabled());
    rotator->setCurrentIndex(0);
    QVERIFY(!Control<QRadioButton>(dialog, ctl::kCfgSenseClockwise)->isEnabled());
    QVERIFY(!angle->isEnabled());
  }

  void endStopButtonsSetTheAngle() {
    Harness h(WithRotator(1, 90));
    auto* angle = Control<QLineEdit>(h.dialog, ctl::kCfgEndStopAngle);
    QTest::mouseClick(Control<QRadioButton>(h.dialog, ctl::kCfgEndStopNorth), Qt::LeftButton);
    QCOMPARE(angle->text(), QStringLiteral("0"));
    QVERIFY(!angle->isEnabled());
    QTest::mouseClick(Control<QRadioButton>(h.dialog, ctl::kCfgEndStopSouth), Qt::LeftButton);
    QCOMPARE(angle->text(), QStringLiteral("180"));
    QVERIFY(!angle->isEnabled());
    QTest::mouseClick(Control<QRadioButton>(h.dialog, ctl::kCfgEndStopOther), Qt::LeftButton);
    QVERIFY(angle->isEnabled());
    QCOMPARE(angle->text(), QStringLiteral("180"));
    QTest::mouseClick(Button(h.dialog, "1"), Qt::LeftButton);
    QCOMPARE(h.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(h.dialog.configuration().endStopDeg, 180u);
    QCOMPARE(h.dialog.configuration().endStopChoice, EndStopChoice::kOther);
  }

  void angleEditTakesDigitsOnly() {
    Harness h(WithRotator(1, 90));
    auto* angle = Control<QLineEdit>(h.dialog, ctl::kCfgEndStopAngle);
    angle->clear();
    angle->setFocus();
    QTest::keyClicks(angle, QStringLiteral("1-2a 3."));
    QCOMPARE(angle->text(), QStringLiteral("123"));
  }

  void angleCheck_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("message");
    QTest::newRow("0") << "0" << true << QString();
    QTest::newRow("359") << "359" << true << QString();
    const QString outOfRange = QStringLiteral("Veuillez entrer un nombre entier compris entre 0 et 359.");
    QTest::newRow("360") << "360" << false << outOfRange;
    QTest::newRow("400") << "400" << false << outOfRange;
    QTest::newRow("too long for any integer") << "99999999999999999999999" << false << outOfRange;
    QTest::newRow("2^64 does not wrap to 0") << "18446744073709551616" << false << outOfRange;
    QTest::newRow("empty") << "" << false << QStringLiteral("Veuillez entrer un nombre entier.");
  }
  void angleCheck() {
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, message);
    Harness h(WithRotator(1, 90));
    QVERIFY(QTest::qWaitForWindowActive(&h.dialog));
    auto* angle = Control<QLineEdit>(h.dialog, ctl::kCfgEndStopAngle);
    angle->setFocus();
    angle->selectAll();
    QTest::keyClick(angle, Qt::Key_Backspace);
    QTest::keyClicks(angle, typed);
    QTest::mouseClick(Button(h.dialog, "1"), Qt::LeftButton);
    if (accepted) {
      QVERIFY(h.messages.isEmpty());
      QCOMPARE(h.dialog.result(), int(QDialog::Accepted));
      QCOMPARE(h.dialog.configuration().endStopDeg, typed.toUInt());
      return;
    }
    QCOMPARE(h.messages.size(), 1);
    QCOMPARE(h.messages.front().text, message);
    QCOMPARE(h.messages.front().caption, QStringLiteral("Attention"));
    QVERIFY(h.dialog.isVisible());
    QCOMPARE(QApplication::focusWidget(), angle);
    QCOMPARE(angle->selectedText(), typed);
    QCOMPARE(h.dialog.configuration(), WithRotator(1, 90));
  }

  void cancelAfterRefusedOkRestoresEverything() {
    const Configuration before = WithRotator(1, 180);
    Harness h(before);
    Control<QComboBox>(h.dialog, ctl::kCfgRotatorPort)->setCurrentIndex(2);
    Control<QComboBox>(h.dialog, ctl::kCfgGpsPort)->setCurrentIndex(0);
    QTest::mouseClick(Control<QRadioButton>(h.dialog, ctl::kCfgSenseClockwise), Qt::LeftButton);
    QTest::mouseClick(Control<QRadioButton>(h.dialog, ctl::kCfgEndStopOther), Qt::LeftButton);
    auto* path = Control<QLineEdit>(h.dialog, ctl::kCfgPicturePath);
    h.dialog.SetFileChooser([](QWidget*) { return QString(); });  // file dialog closed without a choice
    QTest::mouseClick(Control<QPushButton>(h.dialog, ctl::kCfgBrowse), Qt::LeftButton);
    QCOMPARE(path->text(), QStringLiteral("mobile.emf"));
    h.dialog.SetFileChooser([](QWidget*) { return QStringLiteral("/tmp/autre.emf"); });
    QTest::mouseClick(Control<QPushButton>(h.dialog, ctl::kCfgBrowse), Qt::LeftButton);
    QCOMPARE(path->text(), QStringLiteral("/tmp/autre.emf"));
    auto* angle = Control<QLineEdit>(h.dialog, ctl::kCfgEndStopAngle);
    angle->selectAll();
    QTest::keyClicks(angle, QStringLiteral("400"));
    QTest::mouseClick(Button(h.dialog, "1"), Qt::LeftButton);
    QCOMPARE(h.messages.size(), 1);
    QVERIFY(h.dialog.isVisible());
    QTest::mouseClick(Button(h.dialog, "2"), Qt::LeftButton);
    QCOMPARE(h.dialog.result(), int(QDialog::Rejected));
    QVERIFY(!h.dialog.isVisible());
    QCOMPARE(h.dialog.configuration(), before);
  }

  void okReturnsEveryEditedField() {
    Harness h(WithRotator(1, 180));
    Control<QComboBox>(h.dialog, ctl::kCfgRotatorPort)->setCurrentIndex(2);
    Control<QComboBox>(h.dialog, ctl::kCfgGpsPort)->setCurrentIndex(4);
    QTest::mouseClick(Control<QRadioButton>(h.dialog, ctl::kCfgSenseClockwise), Qt::LeftButton);
    QTest::mouseClick(Control<QRadioButton>(h.dialog, ctl::kCfgEndStopOther), Qt::LeftButton);
    auto* angle = Control<QLineEdit>(h.dialog, ctl::kCfgEndStopAngle);
    angle->selectAll();
    QTest::keyClicks(angle, QStringLiteral("45"));
    h.dialog.SetFileChooser([](QWidget*) { return QStringLiteral("/tmp/autre.emf"); });
    QTest::mouseClick(Control<QPushButton>(h.dialog, ctl::kCfgBrowse), Qt::LeftButton);
    QTest::mouseClick(Button(h.dialog, "1"), Qt::LeftButton);
    QCOMPARE(h.dialog.result(), int(QDialog::Accepted));
    Configuration expected;
    expected.gpsPort = 4;
    expected.rotatorPort = 2;
    expected.rotationSense = quarbe::kSenseClockwise;
    expected.endStopDeg = 45;
    expected.endStopChoice = EndStopChoice::kOther;
    expected.picturePath = "/tmp/autre.emf";
    QCOMPARE(h.dialog.configuration(), expected);
  }

  void unknownStoredIndexesReadBackAsMinusOne() {
    Configuration config;
    config.gpsPort = 9;
    config.rotatorPort = 4;
    Harness h(config);
    QCOMPARE(Control<QComboBox>(h.dialog, ctl::kCfgGpsPort)->currentIndex(), -1);
    QCOMPARE(Control<QComboBox>(h.dialog, ctl::kCfgRotatorPort)->currentIndex(), -1);
    QTest::mouseClick(Button(h.dialog, "1"), Qt::LeftButton);
    QCOMPARE(h.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(h.dialog.configuration().gpsPort, -1);
    QCOMPARE(h.dialog.configuration().rotatorPort, -1);
  }

  void tabVisitsTheTabStopsInOrder() {
    Harness h(WithRotator(1, 90));  // every tab stop enabled
    QVERIFY(QTest::qWaitForWindowActive(&h.dialog));
    Control<QPushButton>(h.dialog, ctl::kCfgBrowse)->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 8; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, (QStringList{"1038", "1030", "1031", "1037", "1033", "1028", "1", "2", "1038"}));
  }

  // Enter presses the focused button (OK stays the default elsewhere);
  // Escape cancels. The GPS port changed beforehand shows whether the
  // change was kept.
  void keysOnTheButtons_data() {
    QTest::addColumn<QString>("focused");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Enter on Annuler cancels") << "2" << int(Qt::Key_Return) << false;
    QTest::newRow("keypad Enter on Annuler cancels") << "2" << int(Qt::Key_Enter) << false;
    QTest::newRow("Enter on OK accepts") << "1" << int(Qt::Key_Return) << true;
    QTest::newRow("Enter in the angle edit accepts") << QString::number(ctl::kCfgEndStopAngle) << int(Qt::Key_Return)
                                                      << true;
    QTest::newRow("Escape on OK cancels") << "1" << int(Qt::Key_Escape) << false;
  }
  void keysOnTheButtons() {
    QFETCH(QString, focused);
    QFETCH(int, key);
    QFETCH(bool, accepted);
    Harness h(WithRotator(1, 90));
    QVERIFY(QTest::qWaitForWindowActive(&h.dialog));
    Control<QComboBox>(h.dialog, ctl::kCfgGpsPort)->setCurrentIndex(3);
    QWidget* target = h.dialog.findChild<QWidget*>(focused);
    QVERIFY(target != nullptr);
    target->setFocus(Qt::TabFocusReason);
    QTest::keyClick(target, static_cast<Qt::Key>(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QVERIFY(!h.dialog.isVisible());
    QCOMPARE(h.dialog.result(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(h.dialog.configuration().gpsPort, accepted ? 3 : Configuration{}.gpsPort);
    QVERIFY(h.messages.isEmpty());
  }

  // F1 opens the help over the dialog, which stays open.
  void f1ShowsTheHelp() {
    Harness h(WithRotator(1, 90));
    QVERIFY(QTest::qWaitForWindowActive(&h.dialog));
    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* help = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (help == nullptr || help == &h.dialog) return;
      shown = help->windowTitle();
      help->reject();
    });
    poll.start(20);
    QTest::keyClick(&h.dialog, Qt::Key_F1);
    QCOMPARE(shown, quarbe::HelpCaption());
    QVERIFY(h.dialog.isVisible());
  }

  // The [Ports] entries: each list item's tooltip says what the port stands
  // for, and a rotator port driven through Hamlib has no end stop or sense.
  void portsAsTheirEntriesSay_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("radiosEnabled");
    QTest::addColumn<QString>("rotatorTip");
    QTest::newRow("parallel port device") << "/dev/parport1" << true << "LPT2 : périphérique /dev/parport1";
    QTest::newRow("Hamlib controller")
        << "hamlib:603:/dev/ttyUSB0:9600" << false
        << "LPT2 : rotateur Hamlib, modèle 603, sur /dev/ttyUSB0 à 9600 bauds ; la butée et le sens de rotation "
           "sont ceux du rotateur";
    QTest::newRow("rotctld, keyword in capitals")
        << "HAMLIB:2:localhost:4533" << false
        << "LPT2 : rotctld (Hamlib) sur localhost:4533 ; la butée et le sens de rotation sont ceux du rotateur";
    QTest::newRow("unreadable Hamlib entry")
        << "hamlib:x:/dev/ttyUSB0" << true
        << "LPT2 : entrée de la section [Ports] illisible : « x » n'est pas un numéro de modèle Hamlib (rotctl -l les "
           "donne)";
  }
  void portsAsTheirEntriesSay() {
    QFETCH(QString, entry);
    QFETCH(bool, radiosEnabled);
    QFETCH(QString, rotatorTip);
    quarbe::PortMap ports;
    ports.parallel[1] = entry.toStdString();
    ports.serial[0] = "gpsd:car-pc.local:2947";
    ports.serial[1] = "/dev/ttyUSB0";
    CConfigDlg dialog(WithRotator(0, 90), nullptr, ports);
    auto* rotator = Control<QComboBox>(dialog, ctl::kCfgRotatorPort);
    QCOMPARE(rotator->itemData(2, Qt::ToolTipRole).toString(), rotatorTip);
    QCOMPARE(rotator->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("LPT1 : périphérique /dev/parport0"));
    rotator->setCurrentIndex(2);
    QCOMPARE(rotator->toolTip(), rotatorTip);
    for (int id : {ctl::kCfgEndStopNorth, ctl::kCfgEndStopSouth, ctl::kCfgEndStopOther, ctl::kCfgSenseClockwise,
                   ctl::kCfgSenseInverse})
      QCOMPARE(Control<QRadioButton>(dialog, id)->isEnabled(), radiosEnabled);
    QCOMPARE(Control<QLineEdit>(dialog, ctl::kCfgEndStopAngle)->isEnabled(), radiosEnabled);
    // Back on a parallel port device, the choices apply again.
    rotator->setCurrentIndex(1);
    QVERIFY(Control<QRadioButton>(dialog, ctl::kCfgSenseInverse)->isEnabled());
    QVERIFY(Control<QLineEdit>(dialog, ctl::kCfgEndStopAngle)->isEnabled());
    auto* gps = Control<QComboBox>(dialog, ctl::kCfgGpsPort);
    QCOMPARE(gps->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("COM1 : gpsd sur car-pc.local:2947"));
    QCOMPARE(gps->itemData(2, Qt::ToolTipRole).toString(), QStringLiteral("COM2 : périphérique /dev/ttyUSB0"));
  }

  void mnemonicsReachTheirControls_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focused");
    QTest::newRow("&Image compas: browse") << int(Qt::Key_I) << "1038";
    QTest::newRow("Port &parallele: rotator list") << int(Qt::Key_P) << "1030";
    QTest::newRow("&Butee: the group's tab stop") << int(Qt::Key_B) << "1031";
    QTest::newRow("Sens &Rotation: the group's tab stop") << int(Qt::Key_R) << "1033";
    QTest::newRow("Port &serie: GPS list") << int(Qt::Key_S) << "1028";
  }
  void mnemonicsReachTheirControls() {
    QFETCH(int, key);
    QFETCH(QString, focused);
    Harness h(WithRotator(1, 180));
    QVERIFY(QTest::qWaitForWindowActive(&h.dialog));
    Button(h.dialog, "1")->setFocus();
    QTest::keyClick(&h.dialog, static_cast<Qt::Key>(key), Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), focused);
    QVERIFY(h.dialog.isVisible());
    // Reaching a radio button does not choose it.
    QVERIFY(Control<QRadioButton>(h.dialog, ctl::kCfgEndStopSouth)->isChecked());
    QVERIFY(Control<QRadioButton>(h.dialog, ctl::kCfgSenseInverse)->isChecked());
  }

  // The arrow keys move the focus within a group and check the button they
  // reach, also from the group's tab stop when another choice is checked.
  void arrowKeysMoveAndCheck() {
    Harness h(WithRotator(1, 180));
    QVERIFY(QTest::qWaitForWindowActive(&h.dialog));
    auto* north = Control<QRadioButton>(h.dialog, ctl::kCfgEndStopNorth);
    auto* other = Control<QRadioButton>(h.dialog, ctl::kCfgEndStopOther);
    auto* angle = Control<QLineEdit>(h.dialog, ctl::kCfgEndStopAngle);
    north->setFocus(Qt::TabFocusReason);  // "Sud" is checked
    QTest::keyClick(north, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), other);
    QVERIFY(other->isChecked());
    QVERIFY(angle->isEnabled());
    QTest::keyClick(other, Qt::Key_Up);
    QCOMPARE(QApplication::focusWidget(), north);
    QVERIFY(north->isChecked());
    QCOMPARE(angle->text(), QStringLiteral("0"));
    QVERIFY(!angle->isEnabled());
    // The sense group is a group of its own.
    QVERIFY(Control<QRadioButton>(h.dialog, ctl::kCfgSenseInverse)->isChecked());
    auto* clockwise = Control<QRadioButton>(h.dialog, ctl::kCfgSenseClockwise);
    clockwise->setFocus(Qt::TabFocusReason);
    QTest::keyClick(clockwise, Qt::Key_Down);
    QVERIFY(Control<QRadioButton>(h.dialog, ctl::kCfgSenseInverse)->isChecked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QVERIFY(clockwise->isChecked());
    QVERIFY(north->isChecked());
  }
};

QTEST_MAIN(TestConfigDialog)
#include "tst_config_dialog.moc"
