#include "ui/screenshots.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <cstdio>

#include "context/control_ids.h"
#include "gps/gps_reader.h"
#include "ui/compass_view.h"
#include "ui/help.h"
#include "ui/main_window.h"

namespace quarbe {
namespace {

constexpr int kTickMs = 100;
// A window is grabbed once it has been up this many ticks (drawn by then;
// the file dialog has listed its folder).
constexpr int kTicksBeforeGrab = 4;
constexpr qint64 kGpsWaitMs = 20000;
// Gives up on a window that does not open.
constexpr int kTicksBeforeGivingUp = 100;

class Photographer : public QObject {
 public:
  Photographer(CBearingDlg* window, const QString& directory)
      : QObject(window), m_window(window), m_directory(directory) {
    QDir().mkpath(directory);
    m_clock.start();
    // The timer runs inside the nested loops of the windows it opens: each
    // window is opened by a queued call, never from inside a tick.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer] {
      if (Tick()) timer->stop();
    });
    timer->start(kTickMs);
  }

 private:
  // What is on screen, in the order the pictures are taken.
  enum class Step { kMain, kConfiguration, kFileDialog, kHelp, kBackToConfiguration, kAbout, kDone };

  QString Path(const QString& name) const { return QDir(m_directory).filePath(name); }

  // Whether `widget` has been the active modal window long enough to grab.
  bool Settled(QWidget* widget) {
    if (widget != m_seen) {
      m_seen = widget;
      m_ticks = 0;
    }
    return ++m_ticks >= kTicksBeforeGrab;
  }

  // Saves a picture of `widget` and says on the standard error when the
  // window does not fit in the screen's available area.
  void Save(QWidget* widget, const QString& name) {
    widget->grab().save(Path(name));
    const QRect screen = widget->screen()->availableGeometry();
    const QRect frame = widget->frameGeometry();
    if (!screen.contains(frame)) {
      std::fprintf(stderr, "screenshot: %s: the window (%dx%d at %d,%d) is not inside the screen (%dx%d)\n",
                   qPrintable(name), frame.width(), frame.height(), frame.x(), frame.y(), screen.width(),
                   screen.height());
    }
  }

  template <typename Action>
  void Later(Action action) {
    QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
  }

  // Returns true once everything has been taken.
  bool Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (!Settled(box)) return false;
      const QRect area = m_window->frameGeometry().united(box->frameGeometry()).adjusted(-8, -8, 8, 8);
      m_window->screen()
          ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
          .save(Path(QStringLiteral("message-%1.png").arg(++m_messages)));
      box->accept();
      return false;
    }
    // The main window may wait for the GPS; each later window opens at once.
    if (m_step != Step::kMain && ++m_waiting > kTicksBeforeGivingUp) {
      std::fprintf(stderr, "screenshot: a window did not open; the pictures stop here\n");
      m_window->CloseAll();
      return true;
    }
    if (modal == nullptr || !modal->isVisible()) return false;
    switch (m_step) {
      case Step::kMain: {
        if (modal != m_window) return false;
        const auto* gps = qobject_cast<const QCheckBox*>(m_window->control(ctl::kGpsCheck));
        const bool locked = gps != nullptr && gps->isChecked();
        const bool reading = m_window->gpsReader()->Running();
        if (reading && !locked && m_clock.elapsed() < kGpsWaitMs) return false;
        if (!Settled(modal)) return false;
        m_window->compass()->WaitForPicture();
        Save(m_window, locked ? QStringLiteral("main-window-gps.png") : QStringLiteral("main-window.png"));
        Next(Step::kConfiguration);
        Later([this] { m_window->OpenConfiguration(); });
        return false;
      }
      case Step::kConfiguration:
      case Step::kBackToConfiguration:
        if (modal == m_window || qobject_cast<QFileDialog*>(modal) != nullptr || !Settled(modal)) return false;
        if (m_step == Step::kConfiguration) {
          Save(modal, QStringLiteral("configuration.png"));
          Next(Step::kFileDialog);
          if (auto* browse = modal->findChild<QPushButton*>(QString::number(ctl::kCfgBrowse))) {
            Later([browse] { browse->click(); });
          }
        } else {
          Next(Step::kAbout);
          Later([modal] { static_cast<QDialog*>(modal)->reject(); });
          Later([this] { m_window->OpenAbout(); });
        }
        return false;
      case Step::kFileDialog:
        if (qobject_cast<QFileDialog*>(modal) == nullptr || !Settled(modal)) return false;
        Save(modal, QStringLiteral("file-dialog.png"));
        Next(Step::kHelp);
        static_cast<QDialog*>(modal)->reject();
        // F1 in the configuration dialog.
        Later([this] {
          if (QWidget* config = QApplication::activeModalWidget()) {
            if (auto* f1 = config->findChild<QShortcut*>()) emit f1->activated();
          }
        });
        return false;
      case Step::kHelp:
        if (modal->windowTitle() != HelpCaption() || !Settled(modal)) return false;
        Save(modal, QStringLiteral("help.png"));
        Next(Step::kBackToConfiguration);
        static_cast<QDialog*>(modal)->reject();
        return false;
      case Step::kAbout:
        if (modal == m_window || !Settled(modal)) return false;
        Save(modal, QStringLiteral("about.png"));
        Next(Step::kDone);
        static_cast<QDialog*>(modal)->reject();
        Later([this] { m_window->CloseAll(); });
        return true;
      case Step::kDone:
        return true;
    }
    return false;
  }

  void Next(Step step) {
    m_step = step;
    m_waiting = 0;
  }

  CBearingDlg* m_window;
  QString m_directory;
  QElapsedTimer m_clock;
  Step m_step = Step::kMain;
  QPointer<QWidget> m_seen;
  int m_ticks = 0;
  int m_waiting = 0;
  int m_messages = 0;
};

}  // namespace

void TakeScreenshots(CBearingDlg* window, const QString& directory) { new Photographer(window, directory); }

}  // namespace quarbe
