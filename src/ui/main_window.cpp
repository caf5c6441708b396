#include "ui/main_window.h"

#include <QApplication>
#include <QPaintEvent>
#include <QShortcut>
#include <QShowEvent>

#include <utility>

#include "context/bearing_context.h"
#include "context/field_table.h"
#include "ui/about_dialog.h"
#include "ui/compass_view.h"
#include "ui/config_dialog.h"
#include "ui/help.h"
#include "ui/message_box.h"
#include "ui/resources.h"
#include "ui/version.h"
#include "ui/window_parts.h"

namespace quarbe {
namespace {

// Dialog template of the main window, in dialog units.
constexpr int kWidthDlu = 330;
constexpr int kHeightDlu = 118;
constexpr int kFontPoints = 10;

}  // namespace

CBearingDlg::CBearingDlg(ProfileStore& store, const std::string& commandLine, Hooks hooks, QWidget* parent)
    : QDialog(parent), m_hooks(std::move(hooks)) {
  if (!m_hooks.message) m_hooks.message = ShowWarning;
  if (!m_hooks.editConfiguration) {
    m_hooks.editConfiguration = [this](QWidget* owner, const Configuration& current) {
      return CConfigDlg::Edit(owner, current, m_context->ports());
    };
  }
  if (!m_hooks.openAbout) m_hooks.openAbout = &CAboutDlg::Show;

  // Construction: configuration and locators from the store, then the
  // command line; what it has to say is reported before the window exists.
  m_context = std::make_unique<BearingContext>(store, commandLine);
  for (const Message& message : m_context->StartupMessages()) {
    const Wording wording = Word(message);
    BusyScope busy(*this);
    ModalScope modal(*this);
    m_hooks.message(nullptr, QString::fromStdString(wording.text), QString::fromStdString(wording.caption));
  }
  // The notifiers run on the devices' threads; the queued calls bring their
  // events to this window's thread. The devices' notifiers are cut off
  // before the window goes away, so `this` outlives every call.
  m_devices.SetGpsNotifier(
      [this] { QMetaObject::invokeMethod(this, [this] { ServeGps(); }, Qt::QueuedConnection); });
  m_devices.SetRotatorNotifier(
      [this] { QMetaObject::invokeMethod(this, [this] { ServeRotator(); }, Qt::QueuedConnection); });
  m_devices.SetRotatorStatusNotifier(
      [this] { QMetaObject::invokeMethod(this, [this] { RefreshStatus(); }, Qt::QueuedConnection); });
  m_devices.ConfigureRotator(m_context->configuration(), m_context->ports());
  m_snapshotDir = qEnvironmentVariable("QUARBE_SNAPSHOT_DIR");

  setWindowTitle(QStringLiteral("Quarbe v") + ShortVersion());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont(kFontPoints));
  m_units = DialogUnits::ForFont(font());
  setWindowIcon(res::ProgramIcon());

  BuildFrame();
  m_content->setFixedSize(m_units.X(kWidthDlu), m_units.Y(kHeightDlu));
  BuildControls();
  SetTabOrder();
  FitToScreen();

  m_compass->LoadPicture(m_context->configuration().picturePath);

  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [this] {
    if (!FlushPendingCommits()) return;
    BusyScope busy(*this);
    ModalScope modal(*this);
    ShowHelp(this);
  });

  // Window initialisation: fields written, both locators committed, then the
  // GPS reader started; the first tab stop has the focus.
  for (const Update& update : m_context->InitDialog()) Apply(update);
  m_initialised = true;
  StartReader();
  RefreshStatus();
  if (QWidget* first = control(ctl::kLocalLocator)) first->setFocus(Qt::OtherFocusReason);
}

CBearingDlg::~CBearingDlg() {
  // The devices must be stopped or cut off before the window and the
  // context they report to go.
  RunShutdown();
}

QWidget* CBearingDlg::control(int controlId) const {
  const auto it = m_controls.find(controlId);
  return it == m_controls.end() ? nullptr : it->second;
}

bool CBearingDlg::Busy() const { return m_busyDepth > 0 || m_shutDown; }

// ---------------------------------------------------------------------------
// Messages

void CBearingDlg::ShowMessage(const Wording& wording) {
  ++m_messageCount;
  QString text = QString::fromStdString(wording.text);
  QString caption = QString::fromStdString(wording.caption);
  if (MessagesWaiting()) {
    m_deferredMessages.emplace_back(std::move(text), std::move(caption));
    return;
  }
  BusyScope busy(*this);
  ModalScope modal(*this);
  m_hooks.message(this, text, caption);
}

void CBearingDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_shownOnce) return;
  m_shownOnce = true;
  FitToScreen();
  // Once the event loop runs, the window is on screen and placed: a GPS
  // event that came before is served, and the messages raised are shown.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (m_serveWhenShown) {
          m_serveWhenShown = false;
          ServeGps();
        }
        ShowDeferredMessages();
      },
      Qt::QueuedConnection);
}

bool CBearingDlg::MessagesWaiting() const {
  return !m_shownOnce || m_modalDepth > 0 || !m_deferredMessages.empty();
}

void CBearingDlg::ShowDeferredMessages() {
  // One box at a time, in the order they were raised; a message raised while
  // one is open joins the end of the queue. Each leaves the queue only once
  // its box is closed, so that messages are waiting for as long as one is
  // on screen. Called again from inside one of its boxes, it leaves the
  // queue to the loop already running; called while another box is open,
  // it is called again once that one closes.
  if (m_showingDeferred || m_modalDepth > 0) return;
  m_showingDeferred = true;
  while (!m_deferredMessages.empty()) {
    // A close asked for meanwhile drops what was not shown yet.
    if (m_closeRequested || m_shutDown) {
      m_deferredMessages.clear();
      break;
    }
    const auto [text, caption] = m_deferredMessages.front();
    {
      BusyScope busy(*this);
      ModalScope modal(*this);
      m_hooks.message(this, text, caption);
    }
    m_deferredMessages.erase(m_deferredMessages.begin());
  }
  m_showingDeferred = false;
}

// ---------------------------------------------------------------------------
// Painting

void CBearingDlg::RepaintNeedle(const QRect& painted) {
  // Redraw the picture and needle when the window itself is repainted over
  // the compass; a repaint of the compass alone already shows its own
  // image, and one elsewhere (a caret blinking in a field) does not touch it.
  if (m_paintingNeedle || !m_initialised || m_context->stopRequested()) return;
  if (m_compass->geometry().contains(painted) || !m_compass->geometry().intersects(painted)) return;
  m_paintingNeedle = true;
  m_compass->DrawNeedle(m_context->result().relativeAzimuthDeg, true);
  m_paintingNeedle = false;
}

// ---------------------------------------------------------------------------
// About, configuration, closing

void CBearingDlg::OpenAbout() {
  // A field refused on the way to the button keeps the operator there.
  if (!FlushPendingCommits() || m_shutDown) return;
  BusyScope busy(*this);
  ModalScope modal(*this);
  m_hooks.openAbout(this);
}

void CBearingDlg::OpenConfiguration() {
  if (!FlushPendingCommits() || m_shutDown) return;
  std::optional<Configuration> accepted;
  {
    BusyScope busy(*this);
    ModalScope modal(*this);
    accepted = m_hooks.editConfiguration(this, m_context->configuration());
  }
  // Cancelled, or closed because the program is ending: nothing changes.
  if (!accepted || m_closeRequested || m_shutDown) return;
  m_context->SetConfiguration(*accepted);
  // The rotator opens the (possibly other) device at the next computation.
  m_devices.ConfigureRotator(*accepted, m_context->ports());
  m_compass->LoadPicture(accepted->picturePath);
  StopReader();
  update();
  m_compass->DrawNeedle(m_context->result().relativeAzimuthDeg, true);
  StartReader();
  m_statusModel.GpsRestarted();
  RefreshStatus();
}

void CBearingDlg::CloseAll() {
  m_closeRequested = true;
  // Close whatever modal window is open over this one: message boxes, the
  // configuration dialog and its file dialog, the About box, the help. Each
  // nested modal loop returns as the stack unwinds.
  const QWidgetList topLevels = QApplication::topLevelWidgets();
  for (QWidget* widget : topLevels) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog != nullptr && dialog != this && dialog->isVisible()) dialog->reject();
  }
  // Inside a nested modal loop the window closes once it has unwound.
  if (m_busyDepth == 0 && !m_shutDown) reject();
}

void CBearingDlg::done(int result) {
  QDialog::done(result);
  RunShutdown();
}

void CBearingDlg::RunShutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  // The settings first: a device can keep the program waiting, and a
  // session that is ending may kill it at any moment after its signal.
  if (m_context) {
    m_context->OnDestroy();
    m_context->SaveProfile();
  }
  m_devices.Shutdown(kDeviceStopLimit);
}

}  // namespace quarbe
