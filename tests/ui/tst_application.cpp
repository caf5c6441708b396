// The application run: command line, unknown words reported before the
// window, termination signals closing whatever is open, the profile written
// after the window has closed.
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <functional>
#include <vector>

#include "context/profile_store.h"
#include "ui/application.h"
#include "ui/help.h"
#include "ui/main_window.h"
#include "ui/message_box.h"

#include <unistd.h>

using quarbe::CBearingApp;
using quarbe::CBearingDlg;

namespace {

struct Message {
  bool owned;
  bool windowVisible;
  QString text;
  QString caption;
};

bool MainWindowVisible() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<CBearingDlg*>(widget) != nullptr && widget->isVisible()) return true;
  }
  return false;
}

// Raises `signalNumber` once the active modal window is one `wanted`
// accepts; gives up after a few seconds.
void RaiseWhenOpen(int signalNumber, const std::function<bool(QWidget*)>& wanted, bool* seen) {
  auto* poll = new QTimer;
  int* tries = new int(0);
  QObject::connect(poll, &QTimer::timeout, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool open = modal != nullptr && wanted(modal);
    if (open || ++*tries > 200) {
      if (open) *seen = true;
      poll->stop();
      poll->deleteLater();
      delete tries;
      ::raise(signalNumber);
    }
  });
  poll->start(20);
}

// Calls `action` once `ready` returns a widget, polling until then; gives
// up after a few seconds. A loaded machine (a sanitizer build) may take far
// longer than usual to put the window on screen.
void WhenReady(const std::function<QWidget*()>& ready, const std::function<void(QWidget*)>& action) {
  auto* poll = new QTimer;
  int* tries = new int(0);
  QObject::connect(poll, &QTimer::timeout, [=] {
    QWidget* widget = ready();
    if (widget != nullptr || ++*tries > 500) {
      poll->stop();
      poll->deleteLater();
      delete tries;
      if (widget != nullptr) action(widget);
    }
  });
  poll->start(20);
}

QWidget* VisibleMainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<CBearingDlg*>(widget) != nullptr && widget->isVisible()) return widget;
  }
  return nullptr;
}

// The main window once it is the active window (keyboard shortcuts answer
// there).
QWidget* ActiveMainWindow() {
  QWidget* window = VisibleMainWindow();
  return window != nullptr && window->isActiveWindow() ? window : nullptr;
}

void RejectModals() {
  while (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->reject();
}

void RaiseWhenOpen(int signalNumber, const QString& title, bool* seen) {
  RaiseWhenOpen(signalNumber, [title](QWidget* modal) { return modal->windowTitle() == title; }, seen);
}

class Run {
 public:
  explicit Run(const QString& ini) : m_path(m_dir.filePath(QStringLiteral("quarbe.ini"))) {
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly)) file.write(ini.toUtf8());
  }

  // Runs the program with a real message box for each message.
  int Start(const std::string& commandLine) {
    quarbe::ProfileStore store(m_path.toStdString());
    CBearingDlg::Hooks hooks;
    hooks.message = [this](QWidget* owner, const QString& text, const QString& caption) {
      messages.push_back({owner != nullptr, MainWindowVisible(), text, caption});
      if (!boxes) return;
      quarbe::ShowWarning(owner, text, caption);
    };
    return CBearingApp::RunWindow(store, commandLine, hooks);
  }

  QVariant Stored(const QString& key) const { return QSettings(m_path, QSettings::IniFormat).value(key); }

  const QString& path() const { return m_path; }

  std::vector<Message> messages;
  bool boxes = true;  // false: messages are only recorded

 private:
  QTemporaryDir m_dir;
  QString m_path;
};

const QString kQuiet = QStringLiteral("[GPS]\nPort=0\n[Moteur]\nPort=0\n");

}  // namespace

class TestApplication : public QObject {
  Q_OBJECT

 private slots:
  // Qt's own dialogs and menus speak French whatever the system's language
  // (the tests run in the C locale).
  void qtTextsAreInFrench() {
    QCOMPARE(QCoreApplication::translate("QLineEdit", "&Paste"), QStringLiteral("Co&ller"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Voir dans :"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuler"));
  }

  void nameAndVersion() {
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("quarbe"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.1.0.1"));
  }

  void terminationWhileIdleSavesTheProfile_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void terminationWhileIdleSavesTheProfile() {
    QFETCH(int, signalNumber);
    Run run(kQuiet);
    bool seen = false;
    RaiseWhenOpen(signalNumber, QStringLiteral("Quarbe v1.1"), &seen);
    QCOMPARE(run.Start("local=io91wm dest=JN18AP"), 0);
    QVERIFY(seen);
    QVERIFY(!MainWindowVisible());
    QCOMPARE(run.Stored("Contexte/Local").toString(), QStringLiteral("IO91WM"));
    QCOMPARE(run.Stored("Contexte/Corres").toString(), QStringLiteral("JN18AP"));
    QCOMPARE(run.Stored("Compas/Image").toString(), QStringLiteral("mobile.emf"));
    QVERIFY(run.messages.empty());
  }

  void escapeEndsTheProgramAfterSaving() {
    Run run(kQuiet);
    bool centred = false;
    WhenReady(VisibleMainWindow, [&centred](QWidget* widget) {
      const QPoint offset = widget->frameGeometry().center() - widget->screen()->availableGeometry().center();
      // Qt allows for a guessed window-manager frame before the real one is
      // known, which can leave the window a few pixels off.
      centred = offset.manhattanLength() <= 50;
      QTest::keyClick(widget, Qt::Key_Escape);
    });
    QCOMPARE(run.Start("dest=io91wm"), 0);
    QVERIFY(centred);
    QVERIFY(!MainWindowVisible());
    QCOMPARE(run.Stored("Contexte/Corres").toString(), QStringLiteral("IO91WM"));
    QCOMPARE(run.Stored("Moteur/Rotation").toInt(), 1);
  }

  void unknownWordsAreReportedBeforeTheWindow() {
    Run run(kQuiet);
    bool seen = false;
    // The first message is closed by hand; the signal arrives during the
    // second one, before the window has been shown: the third is never shown.
    QTimer::singleShot(300, [] {
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->accept();
    });
    QTimer::singleShot(350, [&seen] { RaiseWhenOpen(SIGTERM, QStringLiteral("Paramètre inconnu"), &seen); });
    // Should a box open after the signal, it is closed so that the checks
    // below report it.
    QTimer::singleShot(4000, [] { RejectModals(); });
    QCOMPARE(run.Start("foo  dest=JN08WV bar baz"), 0);
    QVERIFY(seen);
    QCOMPARE(run.messages.size(), std::size_t(2));
    for (const Message& message : run.messages) {
      QVERIFY(!message.owned);
      QVERIFY(!message.windowVisible);
      QCOMPARE(message.caption, QStringLiteral("Paramètre inconnu"));
    }
    // The word, then what the command line accepts.
    QCOMPARE(run.messages[0].text.section(QStringLiteral("\n\n"), 0, 0), QStringLiteral("foo"));
    QCOMPARE(run.messages[1].text.section(QStringLiteral("\n\n"), 0, 0), QStringLiteral("bar"));
    QVERIFY(run.messages[0].text.contains(QStringLiteral("dest=AANNAA")));
    // Closed by the signal before it opened, the window still saved.
    QVERIFY(!MainWindowVisible());
    QCOMPARE(run.Stored("Contexte/Corres").toString(), QStringLiteral("JN08WV"));
  }

  void unwritableSettingsAreReportedAtExit_data() {
    QTest::addColumn<bool>("bySignal");
    QTest::newRow("window closed") << false;
    QTest::newRow("SIGTERM") << true;
  }
  void unwritableSettingsAreReportedAtExit() {
    QFETCH(bool, bySignal);
    Run run(kQuiet);
    run.boxes = false;
    // A folder where the settings file should be: not read, not replaced.
    QVERIFY(QFile::remove(run.path()) && QDir().mkdir(run.path()));
    bool seen = false;
    if (bySignal) {
      RaiseWhenOpen(SIGTERM, QStringLiteral("Quarbe v1.1"), &seen);
    } else {
      WhenReady(VisibleMainWindow, [&seen](QWidget* widget) {
        seen = true;
        QTest::keyClick(widget, Qt::Key_Escape);
      });
    }
    // What the program writes to its standard error, into a file.
    QTemporaryFile errors;
    QVERIFY(errors.open());
    std::fflush(stderr);
    const int savedStderr = ::dup(2);
    ::dup2(errors.handle(), 2);
    const int status = run.Start("dest=IO91WM");
    std::fflush(stderr);
    ::dup2(savedStderr, 2);
    ::close(savedStderr);
    QVERIFY(seen);
    QCOMPARE(status, 1);
    QVERIFY(QFileInfo(run.path()).isDir());

    const QString notSaved =
        QStringLiteral("Les réglages n'ont pas été enregistrés dans %1 : c'est un dossier.").arg(run.path());
    // The defaults the program went on with name devices this machine may
    // not have: only the settings file's messages count here.
    std::vector<Message> about;
    for (const Message& message : run.messages)
      if (message.caption == QStringLiteral("Fichier de réglages")) about.push_back(message);
    QCOMPARE(about.size(), std::size_t(bySignal ? 1 : 2));
    QVERIFY(about[0].text.startsWith(QStringLiteral("Le fichier de réglages %1 n'a pas été lu").arg(run.path())));
    QVERIFY(!about[0].windowVisible);
    errors.seek(0);
    const QByteArray written = errors.readAll();
    if (bySignal) {
      QVERIFY2(written.contains(("quarbe: " + notSaved).toUtf8()), written.constData());
    } else {
      QCOMPARE(about[1].text, notSaved);
      QVERIFY(!about[1].owned && !about[1].windowVisible);
      QVERIFY(!written.contains("quarbe: "));
    }
  }

  void terminationClosesAnOpenMessage() {
    // A stored locator of the wrong form is reported during initialisation,
    // once the window is up, in a box centred over it; the signal closes
    // that message and the program.
    Run run(kQuiet + QStringLiteral("[Contexte]\nCorres=ZZ99ZZ\n"));
    bool seen = false;
    bool centred = false;
    RaiseWhenOpen(
        SIGTERM,
        [&centred](QWidget* modal) {
          if (modal->windowTitle() != QStringLiteral("Attention")) return false;
          const QWidget* owner = modal->parentWidget();
          centred = owner != nullptr &&
                    (modal->geometry().center() - owner->geometry().center()).manhattanLength() <= 2;
          return true;
        },
        &seen);
    QCOMPARE(run.Start(""), 0);
    QVERIFY(seen);
    QVERIFY(centred);
    QCOMPARE(run.messages.size(), std::size_t(1));
    QVERIFY(run.messages[0].owned);
    QVERIFY(run.messages[0].windowVisible);
    QCOMPARE(run.Stored("Contexte/Corres").toString(), QStringLiteral("ZZ99ZZ"));
    QCOMPARE(run.Stored("Contexte/Local").toString(), QStringLiteral("JN18AP"));
  }

  void terminationClosesTheConfigurationAndItsFileDialog() {
    Run run(kQuiet);
    bool seen = false;
    WhenReady(VisibleMainWindow, [](QWidget* widget) {
      auto* window = static_cast<CBearingDlg*>(widget);
      QMetaObject::invokeMethod(window, [window] { window->OpenConfiguration(); }, Qt::QueuedConnection);
    });
    // Once the configuration is open, browse for a picture.
    WhenReady(
        [] {
          QWidget* modal = QApplication::activeModalWidget();
          return modal != nullptr && modal->objectName() == QStringLiteral("133") ? modal : nullptr;
        },
        [](QWidget* config) {
          if (auto* browse = config->findChild<QPushButton*>(QStringLiteral("1038"))) {
            QMetaObject::invokeMethod(browse, &QPushButton::click, Qt::QueuedConnection);
          }
        });
    RaiseWhenOpen(
        SIGHUP, [](QWidget* modal) { return qobject_cast<QFileDialog*>(modal) != nullptr; }, &seen);
    QCOMPARE(run.Start(""), 0);
    QVERIFY(seen);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(run.Stored("GPS/Port").toInt(), 0);
    QCOMPARE(run.Stored("Compas/Image").toString(), QStringLiteral("mobile.emf"));
    QCOMPARE(run.Stored("Contexte/Local").toString(), QStringLiteral("JN18AP"));
  }

  void f1ShowsTheHelpAndASignalClosesIt() {
    Run run(kQuiet);
    bool seen = false;
    WhenReady(ActiveMainWindow, [](QWidget* widget) { QTest::keyClick(widget, Qt::Key_F1); });
    RaiseWhenOpen(SIGTERM, quarbe::HelpCaption(), &seen);
    QCOMPARE(run.Start(""), 0);
    QVERIFY(seen);
    QVERIFY(run.messages.empty());
  }

};

int main(int argc, char** argv) {
  CBearingApp app(argc, argv);
  TestApplication test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
