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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "context/bearing_context.h"
#include "context/control_ids.h"
#include "gps/gps_reader.h"
#include "status/status_model.h"
#include "ui/compass_view.h"
#include "ui/help.h"
#include "ui/main_window.h"

namespace quarbe {
namespace {

constexpr int kTickMs = 100;
// A state of the main window is grabbed once it has held this many ticks
// (the status line and the compass redrawn by then).
constexpr int kTicksInState = 3;
// Gives up on a state that does not come.
constexpr qint64 kStateWaitMs = 45000;

int CircularDistance(int a, int b) {
  const int d = ((a - b) % 360 + 360) % 360;
  return std::min(d, 360 - d);
}

// The states of the main window QUARBE_SCREENSHOT_STATES may name, each
// taken as main-window-NAME.png once it holds.
struct StateShot {
  const char* name;
  bool (*reached)(const CBearingDlg& window);
};

const StateShot kStateShots[] = {
    {"parked",
     [](const CBearingDlg& w) {
       return w.statusLine().gps.state == GpsLine::State::kPosition && w.statusLine().heading == HeadingOrigin::kHeld;
     }},
    {"heading-sensor",
     [](const CBearingDlg& w) {
       return w.statusLine().gps.state == GpsLine::State::kPosition &&
              w.statusLine().heading == HeadingOrigin::kSensor;
     }},
    // Silent for a few seconds after positions, so that the age shows.
    {"gps-silent",
     [](const CBearingDlg& w) {
       const GpsLine& gps = w.statusLine().gps;
       return gps.state == GpsLine::State::kSilent && gps.positionAge && *gps.positionAge >= std::chrono::seconds(5);
     }},
    // Half-way: both needles apart.
    {"rotator-moving",
     [](const CBearingDlg& w) {
       const std::optional<int> antenna = w.compass()->DrawnAntennaDeg();
       const int target = w.context().result().relativeAzimuthDeg;
       return w.statusLine().rotator.state == RotatorLine::State::kConnected && antenna &&
              CircularDistance(*antenna, 0) >= 20 && CircularDistance(*antenna, target) >= 30;
     }},
    {"rotator-on-target", [](const CBearingDlg& w) { return w.compass()->DrawnOnTarget(); }},
    {"rotator-absent",
     [](const CBearingDlg& w) { return w.statusLine().rotator.state == RotatorLine::State::kAbsent; }},
};

const StateShot* FindStateShot(const QString& name) {
  for (const StateShot& shot : kStateShots) {
    if (name == QLatin1String(shot.name)) return &shot;
  }
  return nullptr;
}
// A window is grabbed once it has been up this many ticks (drawn by then;
// the file dialog has listed its folder).
constexpr int kTicksBeforeGrab = 4;
constexpr qint64 kGpsWaitMs = 20000;
// Gives up on a window that does not open.
constexpr int kTicksBeforeGivingUp = 100;

class Photographer : public QObject {
 public:
  Photographer(CBearingDlg* window, const QString& directory, std::vector<const StateShot*> states)
      : QObject(window), m_window(window), m_directory(directory), m_states(std::move(states)) {
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
    if (!m_states.empty()) return TickStates(modal);
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

  // The states asked for, in order, instead of the dialogs; true once all
  // are taken or one did not come.
  bool TickStates(QWidget* modal) {
    if (modal != m_window || !modal->isVisible()) return false;
    if (m_stateClock.isValid() && m_stateClock.elapsed() > kStateWaitMs) {
      std::fprintf(stderr, "screenshot: the main window never showed the state %s; the pictures stop here\n",
                   m_states.front()->name);
      m_window->CloseAll();
      return true;
    }
    if (!m_stateClock.isValid()) m_stateClock.start();
    const StateShot& state = *m_states.front();
    m_stateTicks = state.reached(*m_window) ? m_stateTicks + 1 : 0;
    if (m_stateTicks < kTicksInState) return false;
    m_window->compass()->WaitForPicture();
    Save(m_window, QStringLiteral("main-window-%1.png").arg(QLatin1String(state.name)));
    m_states.erase(m_states.begin());
    m_stateTicks = 0;
    m_stateClock.restart();
    if (!m_states.empty()) return false;
    Later([this] { m_window->CloseAll(); });
    return true;
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
  std::vector<const StateShot*> m_states;
  QElapsedTimer m_stateClock;  // since the state now waited for was first looked at
  int m_stateTicks = 0;
};

}  // namespace

void TakeScreenshots(CBearingDlg* window, const QString& directory) {
  std::vector<const StateShot*> states;
  for (const QString& name :
       qEnvironmentVariable("QUARBE_SCREENSHOT_STATES").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    if (const StateShot* shot = FindStateShot(name.trimmed())) {
      states.push_back(shot);
    } else {
      std::fprintf(stderr, "screenshot: no state %s to take\n", qPrintable(name));
    }
  }
  new Photographer(window, directory, std::move(states));
}

}  // namespace quarbe
