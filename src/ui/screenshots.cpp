#include "ui/screenshots.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include "context/control_ids.h"
#include "gps/gps_reader.h"
#include "ui/compass_view.h"
#include "ui/main_window.h"

namespace quarbe {
namespace {

constexpr int kTickMs = 100;
// A box is grabbed once it has been up this many ticks (drawn by then).
constexpr int kTicksBeforeGrab = 3;
constexpr qint64 kGpsWaitMs = 20000;

class Photographer : public QObject {
 public:
  Photographer(CBearingDlg* window, const QString& directory)
      : QObject(window), m_window(window), m_directory(directory) {
    QDir().mkpath(directory);
    m_clock.start();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer] {
      if (Tick()) timer->stop();
    });
    timer->start(kTickMs);
  }

 private:
  QString Path(const QString& name) const { return QDir(m_directory).filePath(name); }

  // Returns true once everything has been taken.
  bool Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (box != m_box) {
        m_box = box;
        m_boxTicks = 0;
      }
      if (++m_boxTicks < kTicksBeforeGrab) return false;
      const QRect area = m_window->frameGeometry().united(box->frameGeometry()).adjusted(-8, -8, 8, 8);
      m_window->screen()
          ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
          .save(Path(QStringLiteral("message-%1.png").arg(++m_messages)));
      box->accept();
      return false;
    }
    if (modal != m_window || !m_window->isVisible()) return false;
    const auto* gps = qobject_cast<const QCheckBox*>(m_window->control(ctl::kGpsCheck));
    const bool locked = gps != nullptr && gps->isChecked();
    const bool reading = m_window->gpsReader()->Running();
    if (reading && !locked && m_clock.elapsed() < kGpsWaitMs) return false;

    m_window->compass()->WaitForPicture();
    m_window->grab().save(Path(locked ? QStringLiteral("main-window-gps.png") : QStringLiteral("main-window.png")));
    GrabNextModal(QStringLiteral("configuration.png"));
    m_window->OpenConfiguration();
    GrabNextModal(QStringLiteral("about.png"));
    m_window->OpenAbout();
    m_window->CloseAll();
    return true;
  }

  // Grabs the dialog the next call opens, then closes it.
  void GrabNextModal(const QString& name) {
    QTimer::singleShot(400, this, [this, name] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->grab().save(Path(name));
        dialog->reject();
      }
    });
  }

  CBearingDlg* m_window;
  QString m_directory;
  QElapsedTimer m_clock;
  QPointer<QMessageBox> m_box;
  int m_boxTicks = 0;
  int m_messages = 0;
};

}  // namespace

void TakeScreenshots(CBearingDlg* window, const QString& directory) { new Photographer(window, directory); }

}  // namespace quarbe
