// The main window on the offscreen platform: layout, tab order, routing of
// lost focus, Enter and the GPS box to the context, GPS fixes through a
// pseudo-terminal, the About and configuration buttons, closing.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "context/bearing_context.h"
#include "context/control_ids.h"
#include "context/field_table.h"
#include "context/profile_store.h"
#include "gps/gps_reader.h"
#include "support/daemons.h"
#include "support/pseudo_terminal.h"
#include "ui/compass_view.h"
#include "ui/devices.h"
#include "ui/dialog_units.h"
#include "ui/main_window.h"
#include "ui/status_strip.h"

using quarbe::CBearingDlg;
using quarbe::testing_support::PseudoTerminal;
namespace ctl = quarbe::ctl;

namespace {

struct Message {
  bool owned;
  bool ownerVisible;
  QString text;
  QString caption;
};

// Settings with the GPS on COM1, mapped to the receiver, and no rotator.
QString GpsOnly(const PseudoTerminal& receiver) {
  return QStringLiteral("[GPS]\nPort=1\n[Moteur]\nPort=0\n[Ports]\nCOM1=%1\n")
      .arg(QString::fromStdString(receiver.DevicePath()));
}

// One window on a settings file of its own, with messages captured.
class Harness {
  // Declared first: the window writes the store when it goes away.
  QTemporaryDir m_dir;
  std::unique_ptr<quarbe::ProfileStore> m_store;

 public:
  explicit Harness(const QString& ini, const std::string& commandLine = {},
                   CBearingDlg::ConfigEditor editor = {}) {
    const QString path = m_dir.filePath(QStringLiteral("quarbe.ini"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(ini.toUtf8());
    file.close();
    m_store = std::make_unique<quarbe::ProfileStore>(path.toStdString());
    CBearingDlg::Hooks hooks;
    hooks.message = [this](QWidget* owner, const QString& text, const QString& caption) {
      messages.push_back({owner != nullptr, owner != nullptr && owner->isVisible(), text, caption});
      if (onMessage) onMessage();
    };
    hooks.editConfiguration = std::move(editor);
    window = std::make_unique<CBearingDlg>(*m_store, commandLine, std::move(hooks));
  }

  QLineEdit* edit(int id) const { return qobject_cast<QLineEdit*>(window->control(id)); }
  QComboBox* list(int id) const { return qobject_cast<QComboBox*>(window->control(id)); }
  QCheckBox* gpsBox() const { return qobject_cast<QCheckBox*>(window->control(ctl::kGpsCheck)); }

  bool ShowActive() {
    window->show();
    window->activateWindow();  // no window manager does it under a bare X server
    return QTest::qWaitForWindowActive(window.get());
  }

  // Types into a field the way an operator does: focus, select all, type.
  void Type(int id, const QString& text) {
    QLineEdit* field = edit(id);
    field->setFocus(Qt::TabFocusReason);
    // Let the field that was left commit first, as it does before the
    // operator's next key arrives.
    QCoreApplication::processEvents();
    field->selectAll();
    QTest::keyClicks(field, text);
  }

  std::vector<Message> messages;
  std::function<void()> onMessage;
  std::unique_ptr<CBearingDlg> window;
};

const QString kNoGps = QStringLiteral("[GPS]\nPort=0\n[Moteur]\nPort=0\n");

// The most memory this process has had resident so far.
qint64 PeakResidentKiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  }
  return -1;
}

QString NameOf(const QWidget* widget) { return widget == nullptr ? QStringLiteral("(none)") : widget->objectName(); }

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void windowFrame() {
    Harness h(kNoGps);
    const quarbe::DialogUnits units = quarbe::DialogUnits::ForFont(h.window->font());
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Quarbe v1.1"));
    // The template's size, and one line of the window's font for the status
    // line under it, across the whole width.
    quarbe::StatusStrip* strip = h.window->statusStrip();
    QCOMPARE(strip->font(), h.window->font());
    QCOMPARE(strip->height(), quarbe::StatusStrip::HeightFor(h.window->fontMetrics()));
    QVERIFY(strip->height() < 2 * h.window->fontMetrics().height());
    QVERIFY(h.ShowActive());
    QCOMPARE(h.window->size(), QSize(units.X(330), units.Y(118) + strip->height()));
    QCOMPARE(strip->geometry(), QRect(0, units.Y(118), units.X(330), strip->height()));
    // A text longer than the window is cut, and the window does not grow.
    const QString longer = QStringLiteral("GPS : ") + QString(300, QLatin1Char('x'));
    strip->SetParts(longer, QStringLiteral("Cap : saisi"), longer);
    QCoreApplication::processEvents();
    QCOMPARE(h.window->size(), QSize(units.X(330), units.Y(118) + strip->height()));
    const QStringList shown = strip->ShownParts();
    QCOMPARE(shown[1], QStringLiteral("Cap : saisi"));
    QVERIFY(shown[0].endsWith(QStringLiteral("…")) && shown[2].endsWith(QStringLiteral("…")));
    QCOMPARE(h.window->minimumSize(), h.window->maximumSize());
    QVERIFY(h.window->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(h.window->windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  // Every control of the field table where the table places it (a closed
  // list keeps its template's position and width), inside the window and
  // clear of every other control.
  void controlsSitWhereTheTableSays() {
    Harness h(kNoGps);
    const quarbe::DialogUnits units = quarbe::DialogUnits::ForFont(h.window->font());
    std::vector<QRect> placed;
    for (const quarbe::Field& field : quarbe::kFields) {
      QWidget* widget = h.window->control(field.id);
      QVERIFY2(widget != nullptr, qPrintable(QString::number(field.id)));
      QCOMPARE(widget->objectName(), QString::number(field.id));
      const QRect expected = units.Rect(field.place.x, field.place.y, field.place.width, field.place.height);
      if (field.kind == quarbe::FieldKind::kHemisphere) {
        QCOMPARE(widget->geometry().topLeft(), expected.topLeft());
        QCOMPARE(widget->width(), expected.width());
        QVERIFY(widget->height() < expected.height());
      } else {
        QCOMPARE(widget->geometry(), expected);
      }
      QVERIFY(h.window->rect().contains(widget->geometry()));
      for (const QRect& other : placed) QVERIFY2(!other.intersects(widget->geometry()), qPrintable(widget->objectName()));
      placed.push_back(widget->geometry());
    }
  }

  void listsAndInitialStates() {
    Harness h(kNoGps);
    for (const int id : {ctl::kLocalLatHemisphere, ctl::kCorrLatHemisphere}) {
      QCOMPARE(h.list(id)->count(), 2);
      QCOMPARE(h.list(id)->itemText(0), QStringLiteral("N"));
      QCOMPARE(h.list(id)->itemText(1), QStringLiteral("S"));
    }
    for (const int id : {ctl::kLocalLonHemisphere, ctl::kCorrLonHemisphere}) {
      QCOMPARE(h.list(id)->itemText(0), QStringLiteral("E"));
      QCOMPARE(h.list(id)->itemText(1), QStringLiteral("O"));
    }
    QVERIFY(!h.gpsBox()->isEnabled());
    QVERIFY(!h.gpsBox()->isChecked());
    for (const int id : {ctl::kRelativeAzimuth, ctl::kDistance, ctl::kReverseAzimuth, ctl::kTrueAzimuth}) {
      QVERIFY(h.edit(id)->isReadOnly());
      QVERIFY(h.edit(id)->alignment() & Qt::AlignRight);
      // Not drawn as a white input field.
      QCOMPARE(h.edit(id)->palette().color(QPalette::Base), h.window->palette().color(QPalette::Window));
    }
    // Initialisation committed both stored locators: JN18AP to JN08WV.
    QCOMPARE(h.edit(ctl::kDistance)->text(), QStringLiteral("30.3"));
    QCOMPARE(h.list(ctl::kLocalLatHemisphere)->currentText(), QStringLiteral("N"));
    QVERIFY(h.messages.empty());
  }

  void repaintRedrawsTheNeedleUnlessStopping() {
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    quarbe::CompassView* compass = h.window->compass();
    // The picture arriving redraws the compass once: let that be over.
    compass->WaitForPicture();
    QVERIFY(compass->HasPicture());
    const int before = compass->RenderCount();
    const int pictureRenders = compass->PictureRenderCount();
    h.window->repaint();
    QCOMPARE(compass->RenderCount(), before + 1);
    // The compass repainting itself does not start a loop of redraws, and
    // a field repainting (its caret blinking) costs no drawing at all.
    compass->repaint();
    h.edit(ctl::kLocalLocator)->repaint();
    QTest::qWait(50);
    QCOMPARE(compass->RenderCount(), before + 1);
    // The picture itself was rendered once, not for each needle.
    QCOMPARE(compass->PictureRenderCount(), pictureRenders);
    h.window->context().SetStopFlag(true);
    h.window->repaint();
    QCOMPARE(compass->RenderCount(), before + 1);
    h.window->context().SetStopFlag(false);
  }

  // Pictures that take Qt's renderer half a minute of processor time, or
  // gigabytes: the window shows at its usual time, the program stays small,
  // and the render, ended at its limits, costs at most the picture.
  void hostilePictureNeitherHoldsUpNorSwellsTheWindow_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("slow to render") << QStringLiteral("slow-to-render.emf") << true;
    // Whether its render ends in time with some of the images, or is
    // killed, depends on the machine's load.
    QTest::newRow("huge images") << QStringLiteral("huge-images.emf") << false;
  }
  void hostilePictureNeitherHoldsUpNorSwellsTheWindow() {
    QFETCH(QString, file);
    QFETCH(bool, dropped);
    const QString path = QDir(qEnvironmentVariable("QUARBE_HOSTILE_PICTURES")).filePath(file);
    QVERIFY(QFile::exists(path));
    const qint64 peakBeforeKiB = PeakResidentKiB();
    QVERIFY(peakBeforeKiB > 0);
    QElapsedTimer clock;
    clock.start();
    Harness h(kNoGps + QStringLiteral("[Compas]\nImage=%1\n").arg(path));
    QVERIFY(h.ShowActive());
    // Well under a second on an idle machine; the bound leaves room for a
    // loaded one.
    QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
    quarbe::CompassView* compass = h.window->compass();
    compass->WaitForPicture();
    if (dropped) QVERIFY(!compass->HasPicture());
    // The window goes on: a commit recomputes and the needle is drawn.
    const int renders = compass->RenderCount();
    h.Type(ctl::kHeading, QStringLiteral("90"));
    QTest::keyClick(h.edit(ctl::kHeading), Qt::Key_Return);
    QCOMPARE(h.edit(ctl::kRelativeAzimuth)->text(), QStringLiteral("246"));
    QCOMPARE(compass->RenderCount(), renders + 1);
    QVERIFY(h.messages.empty());
    const qint64 grownKiB = PeakResidentKiB() - peakBeforeKiB;
    QVERIFY2(grownKiB < 100 * 1024, qPrintable(QString::number(grownKiB)));
  }

  void tabOrderFollowsTheTemplate() {
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    QCOMPARE(NameOf(QApplication::focusWidget()), QStringLiteral("1000"));
    // The disabled GPS box, the result fields and the compass are skipped.
    const QStringList expected{"1002", "1003", "1004", "1020", "1017", "1005", "1006", "1007", "1021", "1008",
                               "1010", "1011", "1012", "1022", "1013", "1014", "1015", "1023", "1025", "1026",
                               "1000"};
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << NameOf(QApplication::focusWidget());
    }
    QCOMPARE(visited, expected);
    QVERIFY(h.messages.empty());
  }

  void focusOutCommitsTheField() {
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    h.Type(ctl::kCorrLocator, QStringLiteral("io91wm"));
    QTest::keyClick(h.edit(ctl::kCorrLocator), Qt::Key_Tab);
    // The correspondent moved to IO91WM's centre: 51 31' 15" N, 0 07' 29" W.
    QTRY_COMPARE(h.edit(ctl::kCorrLocator)->text(), QStringLiteral("IO91WM"));
    QCOMPARE(h.edit(ctl::kCorrLatDeg)->text(), QStringLiteral("51"));
    QCOMPARE(h.edit(ctl::kCorrLatMin)->text(), QStringLiteral("31"));
    QCOMPARE(h.edit(ctl::kCorrLonMin)->text(), QStringLiteral("7"));
    QCOMPARE(h.list(ctl::kCorrLonHemisphere)->currentText(), QStringLiteral("O"));
    QCOMPARE(h.window->context().correspondent().locator, std::string("IO91WM"));
    QCOMPARE(NameOf(QApplication::focusWidget()), QStringLiteral("1010"));
    QVERIFY(h.messages.empty());
  }

  // Clicking a button that opens a box commits the field being left first;
  // a refused field keeps the operator there and the box stays shut.
  void leavingAFieldForTheAboutButton_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("aboutOpens");
    QTest::newRow("accepted") << QStringLiteral("IO91WM") << true;
    QTest::newRow("refused") << QStringLiteral("IO91W") << false;
  }
  void leavingAFieldForTheAboutButton() {
    QFETCH(QString, typed);
    QFETCH(bool, aboutOpens);
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    h.Type(ctl::kCorrLocator, typed);
    bool opened = false;
    std::string seenInAbout;
    QTimer::singleShot(50, [&] {
      if (auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        opened = true;
        seenInAbout = h.window->context().correspondent().locator;
        about->accept();
      }
    });
    // Press and release arrive together, before the event loop runs.
    QTest::mouseClick(h.window->control(ctl::kAboutButton), Qt::LeftButton);
    QTest::qWait(80);
    QCOMPARE(opened, aboutOpens);
    if (aboutOpens) {
      QCOMPARE(seenInAbout, typed.toStdString());
      QCOMPARE(h.edit(ctl::kCorrLatDeg)->text(), QStringLiteral("51"));
      QVERIFY(h.messages.empty());
    } else {
      QCOMPARE(h.messages.size(), std::size_t(1));
      QCOMPARE(h.edit(ctl::kDistance)->text(), QStringLiteral("30.3"));
    }
  }

  void enterCommitsAndKeepsTheWindowOpen() {
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    QCOMPARE(h.window->context().result().trueAzimuthDeg, 336);
    h.Type(ctl::kHeading, QStringLiteral("90"));
    QTest::keyClick(h.edit(ctl::kHeading), Qt::Key_Return);
    QCOMPARE(h.window->context().heading(), 90);
    QCOMPARE(h.edit(ctl::kRelativeAzimuth)->text(), QStringLiteral("246"));
    QVERIFY(h.window->isVisible());
    QVERIFY(!h.window->ShutDown());
    QCOMPARE(NameOf(QApplication::focusWidget()), QStringLiteral("1017"));
    QVERIFY(h.messages.empty());
  }

  // A minute field holding 60 makes any commit refuse it with a message, so
  // whether Enter committed shows in the message log.
  void enterCommitsOnlyFields_data() {
    QTest::addColumn<int>("focused");
    QTest::addColumn<bool>("keypad");
    QTest::addColumn<bool>("commits");
    QTest::newRow("edit") << int(ctl::kLocalLonDeg) << false << true;
    QTest::newRow("edit, keypad Enter") << int(ctl::kLocalLonDeg) << true << true;
    QTest::newRow("locator edit") << int(ctl::kCorrLocator) << false << true;
    QTest::newRow("hemisphere list") << int(ctl::kLocalLatHemisphere) << false << false;
    QTest::newRow("list, keypad Enter") << int(ctl::kLocalLatHemisphere) << true << false;
    QTest::newRow("result field") << int(ctl::kDistance) << false << false;
    QTest::newRow("gps box") << int(ctl::kGpsCheck) << false << false;
  }
  void enterCommitsOnlyFields() {
    QFETCH(int, focused);
    QFETCH(bool, keypad);
    QFETCH(bool, commits);
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    h.gpsBox()->setEnabled(true);
    QWidget* widget = h.window->control(focused);
    widget->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();  // the field left commits first
    QVERIFY(h.messages.empty());
    h.edit(ctl::kCorrLatMin)->setText(QStringLiteral("60"));
    if (keypad) {
      QTest::keyClick(widget, Qt::Key_Enter, Qt::KeypadModifier);
    } else {
      QTest::keyClick(widget, Qt::Key_Return);
    }
    QCOMPARE(h.messages.size(), std::size_t(commits ? 1 : 0));
    QVERIFY(h.window->isVisible());
    QVERIFY(!h.gpsBox()->isChecked());
  }

  void rangeMessageFocusesAndSelectsTheField() {
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    h.Type(ctl::kLocalLatMin, QStringLiteral("60"));
    QTest::keyClick(h.edit(ctl::kLocalLatMin), Qt::Key_Tab);
    QTRY_COMPARE(h.messages.size(), std::size_t(1));
    QVERIFY(h.messages[0].owned);
    QVERIFY(!h.messages[0].text.isEmpty());
    QCOMPARE(NameOf(QApplication::focusWidget()), QStringLiteral("1003"));
    QCOMPARE(h.edit(ctl::kLocalLatMin)->selectedText(), QStringLiteral("60"));
    // The focus coming back to the field commits nothing more.
    QTest::qWait(50);
    QCOMPARE(h.messages.size(), std::size_t(1));
    // Nothing was recomputed: the locator still shows the old sub-square.
    QCOMPARE(h.edit(ctl::kLocalLocator)->text(), QStringLiteral("JN18AP"));
  }

  void hemisphereChoiceCommitsAtOnce() {
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    // A wheel turned over a list that has no focus changes nothing.
    QComboBox* corrLatitude = h.list(ctl::kCorrLatHemisphere);
    const QPointF centre(corrLatitude->width() / 2.0, corrLatitude->height() / 2.0);
    QWheelEvent wheel(centre, corrLatitude->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(corrLatitude, &wheel);
    QCOMPARE(corrLatitude->currentText(), QStringLiteral("N"));

    QComboBox* latitude = h.list(ctl::kLocalLatHemisphere);
    latitude->setFocus(Qt::TabFocusReason);
    QTest::keyClick(latitude, Qt::Key_Down);  // "N" -> "S", as the operator chooses it
    QCOMPARE(latitude->currentText(), QStringLiteral("S"));
    QCOMPARE(h.window->context().local().position.latitude.hemisphere, quarbe::kSouth);
    // JN18AP mirrored into the south lies in field JE.
    QCOMPARE(h.edit(ctl::kLocalLocator)->text().left(4), QStringLiteral("JE11"));
  }

  void locatorFieldLimitsTypingNotStoredText() {
    Harness h(kNoGps + QStringLiteral("[Contexte]\nLocal=JN18APXY\n"));
    QVERIFY(h.ShowActive());
    // A longer stored locator is shown whole (and reported at start-up).
    QLineEdit* field = h.edit(ctl::kLocalLocator);
    QCOMPARE(field->text(), QStringLiteral("JN18APXY"));
    QCOMPARE(h.messages.size(), std::size_t(1));
    field->end(false);
    QTest::keyClick(field, Qt::Key_Z);
    QCOMPARE(field->text(), QStringLiteral("JN18APXY"));
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QStringLiteral("JN18AP"));
    // Typing stops at six characters.
    h.Type(ctl::kCorrLocator, QStringLiteral("IO91WMX"));
    QCOMPARE(h.edit(ctl::kCorrLocator)->text(), QStringLiteral("IO91WM"));
  }

  // A paste drops the white space around it and keeps what fits, by the
  // keyboard and by the context menu alike.
  void pasteTrimsAndKeepsWhatFits_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("fromMenu");
    QTest::addColumn<QString>("after");
    QTest::newRow("trailing space") << "" << false << "IO91WM " << false << "IO91WM";
    QTest::newRow("spaces and line feed, menu") << "" << false << "  io91wm\n" << true << "io91wm";
    QTest::newRow("too long") << "" << false << "IO91WMXY" << false << "IO91WM";
    QTest::newRow("room for four") << "JN" << false << "IO91WM" << false << "JNIO91";
    QTest::newRow("over the selection, menu") << "JN18AP" << true << " IO91WM" << true << "IO91WM";
    QTest::newRow("full field") << "JN18AP" << false << "IO" << false << "JN18AP";
  }
  void pasteTrimsAndKeepsWhatFits() {
    QFETCH(QString, before);
    QFETCH(bool, selectAll);
    QFETCH(QString, clipboard);
    QFETCH(bool, fromMenu);
    QFETCH(QString, after);
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    QLineEdit* field = h.edit(ctl::kCorrLocator);
    field->setFocus(Qt::TabFocusReason);
    field->setText(before);
    field->end(false);
    if (selectAll) field->selectAll();
    QGuiApplication::clipboard()->setText(clipboard);
    if (fromMenu) {
      QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
      QApplication::sendEvent(field, &event);
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      QVERIFY(menu != nullptr);
      const QList<QAction*> actions = menu->actions();
      const auto paste = std::find_if(actions.begin(), actions.end(), [](const QAction* action) {
        return action->text().startsWith(QCoreApplication::translate("QLineEdit", "&Paste"));
      });
      QVERIFY(paste != actions.end());
      (*paste)->trigger();
      menu->close();
    } else {
      QTest::keySequence(field, QKeySequence::Paste);
    }
    QCOMPARE(field->text(), after);
    QVERIFY(h.messages.empty());
  }

  void gpsFixLocksAndUncheckingUnlocks() {
    PseudoTerminal receiver;
    Harness h(GpsOnly(receiver));
    QVERIFY(h.ShowActive());
    QTRY_VERIFY(h.window->gpsReader()->PortOpen());
    QVERIFY(receiver.Send("$GPRMC,123519,A,4751.698,N,12209.774,W,022.4,360.0,191100,019.5,E*61\r\n"
                          "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"));
    QTRY_VERIFY(h.gpsBox()->isChecked());
    QVERIFY(h.gpsBox()->isEnabled());
    QCOMPARE(h.edit(ctl::kLocalLatDeg)->text(), QStringLiteral("48"));
    QCOMPARE(h.edit(ctl::kLocalLatMin)->text(), QStringLiteral("7"));
    QCOMPARE(h.edit(ctl::kLocalLonDeg)->text(), QStringLiteral("11"));
    QCOMPARE(h.edit(ctl::kLocalLonMin)->text(), QStringLiteral("31"));
    QCOMPARE(h.edit(ctl::kHeading)->text(), QStringLiteral("360"));
    QCOMPARE(h.edit(ctl::kLocalLocator)->text(), QString::fromStdString(h.window->context().local().locator));
    const int locked[] = {ctl::kLocalLocator, ctl::kLocalLatDeg, ctl::kLocalLatMin, ctl::kLocalLatSec,
                          ctl::kLocalLonDeg, ctl::kLocalLonMin, ctl::kLocalLonSec, ctl::kHeading};
    for (const int id : locked) {
      QVERIFY2(!h.edit(id)->isEnabled() && h.edit(id)->isReadOnly(), qPrintable(QString::number(id)));
      // Drawn at full contrast all the same.
      const QPalette palette = h.edit(id)->palette();
      QCOMPARE(palette.color(QPalette::Disabled, QPalette::Text), palette.color(QPalette::Active, QPalette::Text));
    }
    QVERIFY(!h.list(ctl::kLocalLatHemisphere)->isEnabled());
    QVERIFY(!h.list(ctl::kLocalLonHemisphere)->isEnabled());
    QCOMPARE(NameOf(QApplication::focusWidget()), QStringLiteral("1008"));
    // The lost focus of the first field did not undo the fix.
    QTest::qWait(50);
    QCOMPARE(h.edit(ctl::kLocalLatDeg)->text(), QStringLiteral("48"));

    QTest::mouseClick(h.gpsBox(), Qt::LeftButton, {}, QPoint(4, h.gpsBox()->height() / 2));
    QVERIFY(!h.gpsBox()->isChecked());
    QVERIFY(!h.window->context().gpsUse());
    QVERIFY(!h.window->gpsReader()->GpsUse());
    for (const int id : locked) {
      QVERIFY2(h.edit(id)->isEnabled() && !h.edit(id)->isReadOnly(), qPrintable(QString::number(id)));
    }
    QVERIFY(h.list(ctl::kLocalLatHemisphere)->isEnabled());
    QVERIFY(h.messages.empty());
  }

  // A box waiting for OK does not stop the tracking: the fix is applied
  // while it is up, the focus stays in the box, and the box's own field
  // gets the focus back once it is closed. Start-up boxes alike.
  void fixIsAppliedWhileAMessageIsOpen_data() {
    QTest::addColumn<bool>("atStartUp");
    QTest::newRow("refused field") << false;
    QTest::newRow("start-up box") << true;
  }
  void fixIsAppliedWhileAMessageIsOpen() {
    QFETCH(bool, atStartUp);
    PseudoTerminal receiver;
    // At start-up: a stored locator that is too long is reported.
    Harness h(GpsOnly(receiver) + (atStartUp ? QStringLiteral("[Contexte]\nCorres=JN08WVXY\n") : QString()));
    bool appliedDuringBox = false;
    bool focusStayedInBox = false;
    h.onMessage = [&] {
      QMessageBox box(QMessageBox::Warning, QStringLiteral("Attention"), h.messages.back().text, QMessageBox::Ok,
                      h.window.get());
      QTimer::singleShot(0, &box, [&] {
        QTRY_VERIFY(box.isActiveWindow());
        QVERIFY(receiver.Send("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"));
        appliedDuringBox = QTest::qWaitFor([&] { return h.gpsBox()->isChecked(); }, 5000);
        QTest::qWait(50);
        focusStayedInBox = QApplication::focusWidget() != nullptr && QApplication::focusWidget()->window() == &box;
        box.accept();
      });
      box.exec();
    };
    if (atStartUp) {
      // The box opens once the window is on screen.
      QTRY_VERIFY(h.window->gpsReader()->PortOpen());
      QVERIFY(h.messages.empty());
      h.window->show();
      h.window->activateWindow();
      QTRY_COMPARE(h.messages.size(), std::size_t(1));
    } else {
      QVERIFY(h.ShowActive());
      QTRY_VERIFY(h.window->gpsReader()->PortOpen());
      h.Type(ctl::kCorrLatMin, QStringLiteral("60"));
      QTest::keyClick(h.edit(ctl::kCorrLatMin), Qt::Key_Return);
      QCOMPARE(h.messages.size(), std::size_t(1));
    }
    QVERIFY(appliedDuringBox);
    QVERIFY(focusStayedInBox);
    QCOMPARE(h.edit(ctl::kLocalLatDeg)->text(), QStringLiteral("48"));
    if (!atStartUp) {
      // The refused field, selected, as after any refusal (the window's
      // focus: no window manager gives it the activation back here).
      QTRY_COMPARE(NameOf(h.window->focusWidget()), QStringLiteral("1011"));
      QCOMPARE(h.edit(ctl::kCorrLatMin)->selectedText(), QStringLiteral("60"));
    }
    QCOMPARE(h.messages.size(), std::size_t(1));
  }

  // The status line through a drive's states: silent, sentences without a
  // position, positions with the heading from the course, held while
  // standing, from a heading sensor, then silent again with the last
  // position's age ticking, and GPS use off.
  void statusLineFollowsTheGps() {
    PseudoTerminal receiver;
    Harness h(GpsOnly(receiver));
    QVERIFY(h.ShowActive());
    quarbe::StatusStrip* strip = h.window->statusStrip();
    const auto part = [strip](int i) { return strip->Parts().value(i); };
    const QString device = QString::fromStdString(receiver.DevicePath());
    QTRY_COMPARE(part(0), QStringLiteral("GPS : muet (%1)").arg(device));
    QCOMPARE(part(1), QStringLiteral("Cap : saisi"));
    QCOMPARE(part(2), QStringLiteral("Rotateur : aucun"));

    QVERIFY(receiver.Send("$GPRMC,,V,,,,,,,,,,N*53\r\n"));
    QTRY_COMPARE(part(0), QStringLiteral("GPS : données sans position"));
    // Sentences without checksums, as some receivers send them.
    const auto fix = [&](const char* time, const char* speedKn, const char* extra) {
      return receiver.Send(std::string(extra) + "$GPRMC," + time + ",A,4807.038,N,01131.000,E," + speedKn +
                           ",084.4,230394,,\r\n$GPGGA," + time +
                           ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r\n");
    };
    QVERIFY(fix("120000", "022.4", ""));
    QTRY_COMPARE(part(0), QStringLiteral("GPS : position reçue"));
    QTRY_COMPARE(part(1), QStringLiteral("Cap : route GPS"));
    QVERIFY(fix("120001", "000.3", ""));
    QTRY_COMPARE(part(1), QStringLiteral("Cap : maintenu à l'arrêt"));
    QVERIFY(fix("120002", "000.3", "$HEHDT,123.4,T\r\n"));
    QTRY_COMPARE(part(1), QStringLiteral("Cap : capteur"));
    QCOMPARE(h.edit(ctl::kHeading)->text(), QStringLiteral("123"));

    // Nothing more: silent after 3 s, the age ticking once a second.
    QTRY_COMPARE_WITH_TIMEOUT(part(0), QStringLiteral("GPS : muet (%1), position il y a 3 s").arg(device),
                              10000);
    const int changes = strip->ChangeCount();
    QTRY_COMPARE_WITH_TIMEOUT(part(0), QStringLiteral("GPS : muet (%1), position il y a 4 s").arg(device),
                              5000);
    QCOMPARE(strip->ChangeCount(), changes + 1);
    QCOMPARE(part(1), QStringLiteral("Cap : capteur"));

    QTest::mouseClick(h.gpsBox(), Qt::LeftButton, {}, QPoint(4, h.gpsBox()->height() / 2));
    QCOMPARE(part(0), QStringLiteral("GPS : non utilisé"));
    QCOMPARE(part(1), QStringLiteral("Cap : saisi"));
    // Nothing shown changes with time any more: the line is left alone.
    const int quiet = strip->ChangeCount();
    QTest::qWait(1500);
    QCOMPARE(strip->ChangeCount(), quiet);
    QVERIFY(h.messages.empty());
  }

  // What the status line says of each kind of device from the start.
  void statusLineNamesTheDevices_data() {
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QString>("gps");
    QTest::addColumn<QString>("rotatorStart");
    QTest::addColumn<QString>("rotatorEnd");
    const int closed = quarbe::testing_support::FreeLoopbackPort();
    QTest::newRow("none") << QString() << QStringLiteral("GPS : aucun") << QStringLiteral("Rotateur : aucun")
                          << QString();
    QTest::newRow("missing devices")
        << QStringLiteral("COM1=/nonexistent/gps\nLPT1=hamlib:2:127.0.0.1:%1\n").arg(closed)
        << QStringLiteral("GPS : non ouvert (/nonexistent/gps)") << QStringLiteral("Rotateur : absent, nouvel essai ")
        << QStringLiteral(" (rotctld sur 127.0.0.1:%1)").arg(closed);
    QTest::newRow("gpsd not running, parallel byte")
        << QStringLiteral("COM1=gpsd:127.0.0.1:%1\nLPT1=@FILE@\n").arg(closed)
        << QStringLiteral("GPS : injoignable (gpsd 127.0.0.1:%1)").arg(closed) << QStringLiteral("Rotateur : octet ")
        << QStringLiteral(" écrit sur @FILE@");
    QTest::newRow("unreadable entry") << QStringLiteral("COM1=gpsd:localhost\n")
                                      << QStringLiteral("GPS : entrée illisible (gpsd:localhost)")
                                      << QStringLiteral("Rotateur : aucun") << QString();
  }
  void statusLineNamesTheDevices() {
    QFETCH(QString, ports);
    QFETCH(QString, gps);
    QFETCH(QString, rotatorStart);
    QFETCH(QString, rotatorEnd);
    QTemporaryDir scratch;
    const QString file = scratch.filePath(QStringLiteral("lpt1"));
    QFile(file).open(QIODevice::WriteOnly);  // a plain file takes each byte
    ports.replace(QStringLiteral("@FILE@"), file);
    rotatorEnd.replace(QStringLiteral("@FILE@"), file);
    Harness h(QStringLiteral("[GPS]\nPort=%1\n[Moteur]\nPort=%2\n[Ports]\n%3")
                  .arg(ports.contains(QStringLiteral("COM1")) ? 1 : 0)
                  .arg(ports.contains(QStringLiteral("LPT1")) ? 1 : 0)
                  .arg(ports));
    QVERIFY(h.ShowActive());
    quarbe::StatusStrip* strip = h.window->statusStrip();
    QTRY_COMPARE(strip->Parts().value(0), gps);
    const auto rotator = [strip] { return strip->Parts().value(2); };
    QTRY_VERIFY2(rotator().startsWith(rotatorStart) && rotator().endsWith(rotatorEnd), qPrintable(rotator()));
    QCOMPARE(strip->Parts().value(1), QStringLiteral("Cap : saisi"));
  }

  // A real rotctld with Hamlib's dummy rotator, which turns a few degrees a
  // second from 0: the antenna's needle follows the position read back until
  // the antenna is on target, when the target needle alone is drawn, green.
  void antennaNeedleFollowsTheReadback() {
    const int port = quarbe::testing_support::FreeLoopbackPort();
    QTemporaryDir scratch;
    auto rotctld =
        quarbe::testing_support::StartRotctld(port, scratch.filePath(QStringLiteral("rotctld.log")).toStdString());
    QVERIFY(rotctld != nullptr);
    // JN19SP is 44 degrees from JN18AP: the antenna has that far to turn.
    Harness h(QStringLiteral("[GPS]\nPort=0\n[Moteur]\nPort=1\n[Ports]\nLPT1=hamlib:2:127.0.0.1:%1\n").arg(port),
              "dest=JN19SP");
    QVERIFY(h.ShowActive());
    const int target = h.window->context().result().relativeAzimuthDeg;
    QCOMPARE(target, 44);
    quarbe::CompassView* compass = h.window->compass();
    std::set<int> needles;
    QElapsedTimer clock;
    clock.start();
    while (!compass->DrawnOnTarget() && clock.elapsed() < 60000) {
      if (const std::optional<int> antenna = compass->DrawnAntennaDeg()) needles.insert(*antenna);
      QTest::qWait(20);
    }
    QVERIFY(compass->DrawnOnTarget());
    QVERIFY(!compass->DrawnAntennaDeg());
    // Seen on its way, a second apart.
    QVERIFY2(needles.size() >= 2, qPrintable(QString::number(needles.size())));
    QVERIFY(*needles.begin() < target - 2 && *needles.rbegin() < target);
    const std::optional<std::int32_t> antenna = h.window->statusLine().rotator.antennaDeg;
    QVERIFY(antenna && std::abs(*antenna - target) < 2);
    QCOMPARE(h.window->statusStrip()->Parts().value(2),
             QStringLiteral("Rotateur : antenne à %1°, rotctld sur 127.0.0.1:%2 connecté").arg(*antenna).arg(port));
    QVERIFY(h.messages.empty());
  }

  // A port that cannot be opened at start-up is reported on the window once
  // it is on screen, naming the device and the reason.
  void portOpenFailureNamesTheDevice_data() {
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("GPS") << QStringLiteral("[GPS]\nPort=1\n[Moteur]\nPort=0\n[Ports]\nCOM1=/nonexistent/gps\n")
                         << QStringLiteral("Impossible d'ouvrir /nonexistent/gps : périphérique absent")
                         << QStringLiteral("Ouverture port GPS");
    QTest::newRow("rotator")
        << QStringLiteral("[GPS]\nPort=0\n[Moteur]\nPort=1\n[Ports]\nLPT1=/nonexistent/lpt\n")
        << QStringLiteral("Impossible d'ouvrir /nonexistent/lpt : périphérique absent")
        << QStringLiteral("Ouverture port moteur");
  }
  void portOpenFailureNamesTheDevice() {
    QFETCH(QString, ini);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    Harness h(ini);
    // The GPS reader has failed and waits for its message to be shown.
    QVERIFY(h.window->gpsReader()->WaitFor(
        [](const quarbe::GpsReaderStats& stats, bool running) { return stats.openAttempts > 0 || !running; },
        std::chrono::seconds(5)));
    QTest::qWait(50);
    QVERIFY(h.messages.empty());
    QVERIFY(h.ShowActive());
    QTRY_COMPARE(h.messages.size(), std::size_t(1));
    // The reason, then what to do about it.
    QCOMPARE(h.messages[0].text.section(QStringLiteral("\n\n"), 0, 0), text);
    QVERIFY(h.messages[0].text.contains(QStringLiteral("choisissez « Aucun »")));
    QCOMPARE(h.messages[0].caption, caption);
    QVERIFY(h.messages[0].ownerVisible);
    QTRY_VERIFY(!h.window->gpsReader()->Running());
  }

  void unreadablePortEntriesAreReported() {
    Harness h(QStringLiteral("[GPS]\nPort=1\n[Moteur]\nPort=1\n[Ports]\nCOM1=gpsd:localhost\n"
                             "LPT1=hamlib:GS232:/dev/ttyUSB0\n"));
    QVERIFY(h.ShowActive());
    QTRY_COMPARE(h.messages.size(), std::size_t(2));
    // The rotator's at the first computation, the GPS's once the loop runs.
    QCOMPARE(h.messages[0].caption, QStringLiteral("Ouverture port moteur"));
    QVERIFY(h.messages[0].text.startsWith(
        QStringLiteral("Entrée LPT1=hamlib:GS232:/dev/ttyUSB0 de la section [Ports] incorrecte : « GS232 »")));
    QCOMPARE(h.messages[1].caption, QStringLiteral("Ouverture port GPS"));
    QVERIFY(h.messages[1].text.startsWith(
        QStringLiteral("Entrée COM1=gpsd:localhost de la section [Ports] incorrecte : il manque le port")));
    QVERIFY(!h.window->gpsReader()->Running());
    QTest::qWait(100);
    QCOMPARE(h.messages.size(), std::size_t(2));
  }

  void aboutBoxTwiceChangesNothing() {
    Harness h(kNoGps);
    QVERIFY(h.ShowActive());
    auto snapshot = [&h] {
      QStringList texts;
      for (int id = ctl::kLocalLocator; id <= ctl::kConfigButton; ++id) {
        if (QLineEdit* field = h.edit(id)) texts << field->text();
        if (QComboBox* list = h.list(id)) texts << QString::number(list->currentIndex());
      }
      return texts;
    };
    const QStringList before = snapshot();
    const quarbe::StationRecord local = h.window->context().local();
    const quarbe::Configuration config = h.window->context().configuration();
    auto* aboutButton = qobject_cast<QPushButton*>(h.window->control(ctl::kAboutButton));
    // Enter in a field never presses it, so it is not drawn as the default.
    QVERIFY(!aboutButton->isDefault());
    for (int round = 0; round < 2; ++round) {
      bool sawAbout = false;
      QTimer::singleShot(50, [&sawAbout] {
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (about != nullptr) {
          sawAbout = about->windowTitle() == QStringLiteral("A propos de Quarbe");
          about->accept();
        }
      });
      if (round == 0) {
        QTest::mouseClick(aboutButton, Qt::LeftButton);
      } else {
        // Enter on the focused button presses it.
        QVERIFY(h.ShowActive());
        aboutButton->setFocus(Qt::TabFocusReason);
        QTest::keyClick(aboutButton, Qt::Key_Return);
      }
      QVERIFY(sawAbout);
      QVERIFY(!aboutButton->isDefault());
    }
    QCOMPARE(snapshot(), before);
    QVERIFY(h.window->context().local() == local);
    QVERIFY(h.window->context().configuration() == config);
    QVERIFY(h.window->isVisible());
    QVERIFY(h.messages.empty());
  }

  void acceptedConfigurationRestartsTheReader() {
    PseudoTerminal receiver;
    std::optional<quarbe::Configuration> answer;
    int opened = 0;
    Harness h(GpsOnly(receiver), {},
              [&](QWidget*, const quarbe::Configuration&) {
                ++opened;
                return answer;
              });
    QVERIFY(h.ShowActive());
    quarbe::GpsReader* reader = h.window->gpsReader();
    QTRY_VERIFY(reader->PortOpen());
    const std::uint64_t first = reader->Stats().openAttempts;

    // Cancel: the same reader keeps the port.
    answer.reset();
    QTest::mouseClick(qobject_cast<QPushButton*>(h.window->control(ctl::kConfigButton)), Qt::LeftButton);
    QCOMPARE(opened, 1);
    QCOMPARE(h.window->gpsReader(), reader);
    QCOMPARE(reader->Stats().openAttempts, first);
    QVERIFY(reader->PortOpen());

    // OK without changes: the port is closed and opened again, by a fresh
    // reader when the one before had not ended at once (it then ends by
    // itself, and the fresh one opens the exclusive device once it has).
    answer = h.window->context().configuration();
    QTest::mouseClick(qobject_cast<QPushButton*>(h.window->control(ctl::kConfigButton)), Qt::LeftButton);
    QCOMPARE(opened, 2);
    QTRY_VERIFY(!quarbe::Devices::ThreadsLeftRunning());
    reader = h.window->gpsReader();
    QTRY_VERIFY(reader->PortOpen());
    QVERIFY(!h.window->context().stopRequested());
    // Fixes reach the window through the new reader.
    QVERIFY(receiver.Send("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"));
    QTRY_VERIFY(h.gpsBox()->isChecked());
    QCOMPARE(h.edit(ctl::kLocalLatDeg)->text(), QStringLiteral("48"));

    // OK with "Aucun" as GPS port: reading stops.
    quarbe::Configuration none = h.window->context().configuration();
    none.gpsPort = 0;
    none.picturePath = "/nonexistent/picture.emf";
    answer = none;
    QTest::mouseClick(qobject_cast<QPushButton*>(h.window->control(ctl::kConfigButton)), Qt::LeftButton);
    QCOMPARE(h.window->context().configuration().gpsPort, 0);
    QTRY_VERIFY(!quarbe::Devices::ThreadsLeftRunning());
    QVERIFY(!h.window->gpsReader()->Running());
    QVERIFY(!h.window->gpsReader()->PortOpen());
    QCOMPARE(receiver.OpenCountOfDevice(), 1);  // only the test's own descriptor
    QVERIFY(!h.window->compass()->HasPicture());
    QVERIFY(h.messages.empty());
  }

  // gpsd at an address whose connection hangs (a host dropping packets):
  // OK in the configuration returns at once, the reader still connecting is
  // let go, and what it would report once its connection fails is not shown.
  void configurationOkLetsAHangingGpsSourceGo() {
    quarbe::testing_support::BlackholeListener blackhole;
    QVERIFY(blackhole.Port() > 0);
    Harness h(QStringLiteral("[GPS]\nPort=1\n[Moteur]\nPort=0\n[Ports]\nCOM1=gpsd:127.0.0.1:%1\n").arg(blackhole.Port()),
              {}, [](QWidget*, const quarbe::Configuration& current) {
                quarbe::Configuration none = current;
                none.gpsPort = 0;
                return std::optional(none);
              });
    QVERIFY(h.ShowActive());
    QTest::qWait(200);  // the reader is connecting

    // Should the window wait for the reader after all, the connection is
    // refused a few seconds on and the check below fails, without hanging.
    std::promise<void> answered;
    std::thread watchdog([&blackhole, done = answered.get_future()] {
      if (done.wait_for(std::chrono::seconds(3)) != std::future_status::ready) blackhole.Close();
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(qobject_cast<QPushButton*>(h.window->control(ctl::kConfigButton)), Qt::LeftButton);
    const qint64 elapsedMs = clock.elapsed();
    answered.set_value();
    watchdog.join();
    QVERIFY2(elapsedMs < 1000, qPrintable(QStringLiteral("OK took %1 ms").arg(elapsedMs)));
    QCOMPARE(h.window->context().configuration().gpsPort, 0);

    blackhole.Close();
    QTRY_VERIFY_WITH_TIMEOUT(!quarbe::Devices::ThreadsLeftRunning(), 30000);
    QTest::qWait(100);
    QVERIFY(h.messages.empty());
  }

  void escapeEndsTheWindowAndStopsTheReader() {
    PseudoTerminal receiver;
    Harness h(GpsOnly(receiver));
    QVERIFY(h.ShowActive());
    QTRY_VERIFY(h.window->gpsReader()->PortOpen());
    QTest::keyClick(h.edit(ctl::kLocalLocator), Qt::Key_Escape);
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.window->result(), int(QDialog::Rejected));
    QVERIFY(h.window->ShutDown());
    QVERIFY(h.window->context().stopRequested());
    QVERIFY(!h.window->gpsReader()->Running());
    QVERIFY(!h.window->gpsReader()->PortOpen());
  }

};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
