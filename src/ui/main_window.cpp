#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFocusEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPaintEvent>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>

#include <algorithm>
#include <utility>

#include "context/bearing_context.h"
#include "context/control_ids.h"
#include "common/port_entry.h"
#include "common/system_error.h"
#include "geodesy/locator.h"
#include "gps/gps_reader.h"
#include "gps/gpsd_reader.h"
#include "ui/about_dialog.h"
#include "ui/classic_group_box.h"
#include "ui/compass_view.h"
#include "ui/config_dialog.h"
#include "ui/field_look.h"
#include "ui/help.h"
#include "ui/locator_edit.h"
#include "ui/message_box.h"
#include "ui/narrow_list_style.h"
#include "ui/resources.h"

namespace quarbe {
namespace {

// Dialog template of the main window, in dialog units.
constexpr int kWidthDlu = 330;
constexpr int kHeightDlu = 118;
constexpr int kFontPoints = 10;
// A locator is six characters; the locator fields refuse a seventh.
constexpr int kLocatorMaxLength = static_cast<int>(kLocatorLength);

const char* const kIdProperty = "quarbeControlId";

int ControlId(const QObject* object) {
  if (object == nullptr) return 0;
  const QVariant id = object->property(kIdProperty);
  return id.isValid() ? id.toInt() : 0;
}

}  // namespace

// Counts nested context operations and modal loops the window is inside.
class CBearingDlg::BusyScope {
 public:
  explicit BusyScope(CBearingDlg& window) : m_window(window) { ++m_window.m_busyDepth; }
  ~BusyScope() {
    if (--m_window.m_busyDepth > 0) return;
    // Outermost: now do what had to wait.
    if (m_window.m_closeRequested && !m_window.m_shutDown) {
      QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->reject(); }, Qt::QueuedConnection);
    } else {
      if (m_window.m_servePending) {
        m_window.m_servePending = false;
        QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ServeGps(); }, Qt::QueuedConnection);
      }
      if (m_window.m_rotatorReportPending) {
        m_window.m_rotatorReportPending = false;
        QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ServeRotator(); }, Qt::QueuedConnection);
      }
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  CBearingDlg& m_window;
};

CBearingDlg::CBearingDlg(ProfileStore& store, const std::string& commandLine, Hooks hooks, QWidget* parent)
    : QDialog(parent), m_hooks(std::move(hooks)) {
  if (!m_hooks.message) m_hooks.message = ShowWarning;
  if (!m_hooks.editConfiguration) m_hooks.editConfiguration = &CConfigDlg::Edit;
  if (!m_hooks.openAbout) m_hooks.openAbout = &CAboutDlg::Show;

  // Construction: configuration and locators from the store, then the
  // command line; unknown words are reported before the window exists.
  m_context = std::make_unique<BearingContext>(
      store, commandLine, [this](std::string_view text, std::string_view caption) {
        BusyScope busy(*this);
        m_hooks.message(nullptr, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                        QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
      });
  if (m_hooks.sleep) m_context->SetSleeper(m_hooks.sleep);
  // A Hamlib rotator's failures come from its thread; they are shown here.
  // The context closes that rotator when the window goes away, before `this`.
  m_context->SetRotatorNotifier(
      [this] { QMetaObject::invokeMethod(this, [this] { ServeRotator(); }, Qt::QueuedConnection); });
  m_reader = std::make_unique<GpsReader>();
  m_snapshotDir = qEnvironmentVariable("QUARBE_SNAPSHOT_DIR");

  setWindowTitle(kCaption);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont(kFontPoints));
  m_units = DialogUnits::ForFont(font());
  setWindowIcon(res::ProgramIcon());

  BuildControls();
  SetTabOrder();
  setFixedSize(m_units.X(kWidthDlu), m_units.Y(kHeightDlu));

  m_compass->LoadPicture(m_context->configuration().picturePath);

  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [this] {
    if (!FlushPendingCommits()) return;
    BusyScope busy(*this);
    ShowHelp(this);
  });

  // Window initialisation: fields written, both locators committed, then the
  // GPS reader started; the first tab stop has the focus.
  {
    BusyScope busy(*this);
    m_context->InitDialog(*this);
  }
  m_initialised = true;
  StartReader();
  if (QWidget* first = control(ctl::kLocalLocator)) first->setFocus(Qt::OtherFocusReason);
}

CBearingDlg::~CBearingDlg() {
  // The reader must be gone before the context it reports to.
  RunShutdown();
}

QWidget* CBearingDlg::control(int controlId) const {
  const auto it = m_controls.find(controlId);
  return it == m_controls.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------
// Layout

QLineEdit* CBearingDlg::AddEdit(int controlId, int x, int y, int w, int h, bool rightAligned, bool readOnly,
                                QLineEdit* edit) {
  if (edit == nullptr) edit = new QLineEdit(this);
  edit->setObjectName(QString::number(controlId));
  edit->setProperty(kIdProperty, controlId);
  edit->setAlignment((rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  edit->setReadOnly(readOnly);
  // Result fields can be clicked into (to copy a value) but are no tab stops.
  edit->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::StrongFocus);
  // Narrow fields need every pixel: keep only a one-pixel gap inside the frame.
  edit->setTextMargins(-1, 0, -1, 0);
  if (readOnly) {
    ShowAsReadOnly(edit);
  } else {
    KeepTextContrastWhenDisabled(edit);
  }
  edit->installEventFilter(this);
  m_units.Place(edit, x, y, w, h);
  m_controls[controlId] = edit;
  return edit;
}

QComboBox* CBearingDlg::AddList(int controlId, int x, int y, int w, int h, const QStringList& items) {
  auto* list = new QComboBox(this);
  list->setObjectName(QString::number(controlId));
  list->setProperty(kIdProperty, controlId);
  list->addItems(items);
  list->setCurrentIndex(-1);
  list->setFocusPolicy(Qt::StrongFocus);
  list->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  if (m_listStyle == nullptr) {
    m_listStyle = new NarrowListStyle;
    m_listStyle->setParent(this);
  }
  list->setStyle(m_listStyle);
  KeepTextContrastWhenDisabled(list);
  list->installEventFilter(this);
  // The template's height includes the dropped-down list; the closed list is
  // as high as an edit.
  (void)h;
  m_units.Place(list, x, y, w, 12);
  connect(list, &QComboBox::activated, this, [this, controlId](int) {
    if (!FlushPendingCommits() || Busy() || m_context->InExchange()) return;
    CommitFor(controlId, Trigger::kSelectionChanged);
  });
  m_controls[controlId] = list;
  return list;
}

void CBearingDlg::AddLabel(const QString& text, int x, int y, int w, int h, bool rightAligned) {
  auto* label = new QLabel(text, this);
  label->setAlignment((rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
  label->setFocusPolicy(Qt::NoFocus);
  m_units.Place(label, x, y, w, h);
}

void CBearingDlg::AddUnitLabels(int x1, int x2, int x3, int y) {
  AddLabel(QStringLiteral("°"), x1, y, 8, 8, false);
  AddLabel(QStringLiteral("'"), x2, y, 8, 8, false);
  AddLabel(QStringLiteral("\""), x3, y, 8, 8, false);
}

void CBearingDlg::BuildControls() {
  const QStringList latitudes{QStringLiteral("N"), QStringLiteral("S")};
  const QStringList longitudes{QStringLiteral("E"), QStringLiteral("O")};

  // In template order.
  AddLabel(QStringLiteral("QRA Locator :"), 12, 19, 49, 11, true);
  AddLabel(QStringLiteral("Latitude :"), 101, 19, 35, 11, true);
  AddUnitLabels(156, 172, 189, 19);
  AddLabel(QStringLiteral("Azim mobile :"), 30, 35, 49, 11, true);
  AddLabel(QStringLiteral("Longitude :"), 101, 34, 35, 11, true);
  AddUnitLabels(156, 172, 189, 34);
  auto* localGroup = new ClassicGroupBox(QStringLiteral("Local :"), this);
  m_units.Place(localGroup, 2, 3, 210, 46);
  AddLabel(QStringLiteral("QRA Locator :"), 11, 66, 49, 11, true);
  AddLabel(QStringLiteral("Latitude :"), 100, 66, 35, 11, true);
  AddUnitLabels(155, 171, 188, 66);
  AddLabel(QStringLiteral("Longitude :"), 100, 81, 35, 11, true);
  AddUnitLabels(155, 171, 188, 81);
  auto* corrGroup = new ClassicGroupBox(QStringLiteral("Correspondant :"), this);
  m_units.Place(corrGroup, 2, 54, 210, 43);
  AddLabel(QStringLiteral("Azimut relatif :"), 87, 104, 41, 11, true);
  AddEdit(ctl::kRelativeAzimuth, 131, 103, 15, 12, true, true);
  AddLabel(QStringLiteral("Distance :"), 150, 104, 31, 10, true);
  AddEdit(ctl::kDistance, 184, 103, 28, 12, true, true);
  AddLabel(QStringLiteral("Son azimut :"), 14, 81, 65, 11, true);
  AddEdit(ctl::kReverseAzimuth, 82, 80, 15, 12, true, true);

  m_compass = new CompassView(this);
  m_compass->setObjectName(QString::number(ctl::kCompass));
  m_compass->setProperty(kIdProperty, ctl::kCompass);
  m_compass->setFocusPolicy(Qt::NoFocus);
  m_units.Place(m_compass, 215, 3, 112, 112);
  m_controls[ctl::kCompass] = m_compass;

  AddLabel(QStringLiteral("Azimut réel :"), 29, 104, 37, 11, true);
  AddEdit(ctl::kTrueAzimuth, 68, 103, 15, 12, true, true);

  AddEdit(ctl::kLocalLocator, 65, 18, 32, 12, false, false, new LocatorEdit(kLocatorMaxLength, this));
  AddEdit(ctl::kLocalLatDeg, 139, 18, 16, 12, true, false);
  AddEdit(ctl::kLocalLatMin, 160, 18, 11, 12, true, false);
  AddEdit(ctl::kLocalLatSec, 176, 18, 11, 12, true, false);
  AddList(ctl::kLocalLatHemisphere, 193, 18, 16, 29, latitudes);

  auto* gps = new QCheckBox(QStringLiteral("GPS"), this);
  gps->setObjectName(QString::number(ctl::kGpsCheck));
  gps->setProperty(kIdProperty, ctl::kGpsCheck);
  gps->setEnabled(false);
  gps->setFocusPolicy(Qt::StrongFocus);
  gps->installEventFilter(this);
  m_units.Place(gps, 8, 34, 25, 10);
  connect(gps, &QCheckBox::clicked, this, [this] {
    FlushPendingCommits();
    if (Busy() || m_context->InExchange()) return;
    ToggleGps();
  });
  m_controls[ctl::kGpsCheck] = gps;

  AddEdit(ctl::kHeading, 82, 34, 15, 12, true, false);
  AddEdit(ctl::kLocalLonDeg, 139, 33, 16, 12, true, false);
  AddEdit(ctl::kLocalLonMin, 160, 33, 11, 12, true, false);
  AddEdit(ctl::kLocalLonSec, 176, 33, 11, 12, true, false);
  AddList(ctl::kLocalLonHemisphere, 193, 33, 16, 29, longitudes);

  AddEdit(ctl::kCorrLocator, 64, 65, 33, 12, false, false, new LocatorEdit(kLocatorMaxLength, this));
  AddEdit(ctl::kCorrLatDeg, 138, 65, 16, 12, true, false);
  AddEdit(ctl::kCorrLatMin, 159, 65, 11, 12, true, false);
  AddEdit(ctl::kCorrLatSec, 175, 65, 11, 12, true, false);
  AddList(ctl::kCorrLatHemisphere, 193, 65, 16, 29, latitudes);
  AddEdit(ctl::kCorrLonDeg, 138, 80, 16, 12, true, false);
  AddEdit(ctl::kCorrLonMin, 159, 80, 11, 12, true, false);
  AddEdit(ctl::kCorrLonSec, 175, 80, 11, 12, true, false);
  AddList(ctl::kCorrLonHemisphere, 193, 80, 16, 29, longitudes);

  const struct {
    int id;
    int bitmap;
    const char* tip;
  } buttons[] = {
      {ctl::kAboutButton, res::kBitmapAbout, "A propos de Quarbe"},
      {ctl::kConfigButton, res::kBitmapConfig, "Configuration"},
  };
  int x = 2;
  for (const auto& def : buttons) {
    auto* button = new QPushButton(this);
    button->setObjectName(QString::number(def.id));
    button->setProperty(kIdProperty, def.id);
    button->setIcon(QIcon(res::ResourcePixmap(def.bitmap, devicePixelRatioF())));
    button->setToolTip(QString::fromUtf8(def.tip));
    // Not a default button: Enter in a field commits the field, so the
    // button is not drawn as the one Enter would press. Enter on the focused
    // button presses it (keyPressEvent).
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    button->installEventFilter(this);
    m_units.Place(button, x, 103, 12, 12);
    // The bitmap fills the button face, as far as the button is large enough.
    const int side = std::min({res::kBitmapSize.width(), button->width() - 2, button->height() - 2});
    button->setIconSize(QSize(side, side));
    m_controls[def.id] = button;
    x += 13;
  }
  connect(static_cast<QPushButton*>(control(ctl::kAboutButton)), &QPushButton::clicked, this,
          [this] { OpenAbout(); });
  connect(static_cast<QPushButton*>(control(ctl::kConfigButton)), &QPushButton::clicked, this,
          [this] { OpenConfiguration(); });

  // Frames stay behind the controls they surround.
  localGroup->lower();
  corrGroup->lower();
}

void CBearingDlg::SetTabOrder() {
  // The tab stops in template order; the disabled GPS box is skipped by Qt
  // until it is enabled.
  static constexpr int kTabStops[] = {
      ctl::kLocalLocator, ctl::kLocalLatDeg,       ctl::kLocalLatMin,   ctl::kLocalLatSec,
      ctl::kLocalLatHemisphere, ctl::kGpsCheck,    ctl::kHeading,       ctl::kLocalLonDeg,
      ctl::kLocalLonMin,  ctl::kLocalLonSec,       ctl::kLocalLonHemisphere, ctl::kCorrLocator,
      ctl::kCorrLatDeg,   ctl::kCorrLatMin,        ctl::kCorrLatSec,    ctl::kCorrLatHemisphere,
      ctl::kCorrLonDeg,   ctl::kCorrLonMin,        ctl::kCorrLonSec,    ctl::kCorrLonHemisphere,
      ctl::kAboutButton,  ctl::kConfigButton,
  };
  QWidget* previous = nullptr;
  for (const int id : kTabStops) {
    QWidget* current = control(id);
    if (previous != nullptr) QWidget::setTabOrder(previous, current);
    previous = current;
  }
  // Close the chain so Tab on the last stop returns to the first.
  QWidget::setTabOrder(previous, control(kTabStops[0]));
}

// ---------------------------------------------------------------------------
// Routing

bool CBearingDlg::Busy() const { return m_busyDepth > 0 || m_shutDown; }

bool CBearingDlg::CommitFor(int controlId, Trigger trigger) {
  const bool isList = controlId == ctl::kLocalLatHemisphere || controlId == ctl::kLocalLonHemisphere ||
                      controlId == ctl::kCorrLatHemisphere || controlId == ctl::kCorrLonHemisphere;
  // Lists commit when an item is chosen; their lost focus (and so Enter on
  // them) commits nothing.
  if (isList != (trigger == Trigger::kSelectionChanged)) return false;
  void (BearingContext::*commit)() = nullptr;
  switch (controlId) {
    case ctl::kLocalLocator:
      commit = &BearingContext::CommitLocalLocator;
      break;
    case ctl::kLocalLatDeg:
    case ctl::kLocalLatMin:
    case ctl::kLocalLatSec:
    case ctl::kLocalLonDeg:
    case ctl::kLocalLonMin:
    case ctl::kLocalLonSec:
    case ctl::kLocalLatHemisphere:
    case ctl::kLocalLonHemisphere:
      commit = &BearingContext::CommitLocalCoordinates;
      break;
    case ctl::kCorrLocator:
      commit = &BearingContext::CommitCorrespondentLocator;
      break;
    case ctl::kCorrLatDeg:
    case ctl::kCorrLatMin:
    case ctl::kCorrLatSec:
    case ctl::kCorrLonDeg:
    case ctl::kCorrLonMin:
    case ctl::kCorrLonSec:
    case ctl::kCorrLatHemisphere:
    case ctl::kCorrLonHemisphere:
      commit = &BearingContext::CommitCorrespondentCoordinates;
      break;
    case ctl::kHeading:
      commit = &BearingContext::CommitHeading;
      break;
    default:
      return false;
  }
  BusyScope busy(*this);
  (m_context.get()->*commit)();
  return true;
}

void CBearingDlg::ToggleGps() {
  BusyScope busy(*this);
  m_context->ToggleGps();
  if (m_gps != nullptr) m_gps->SetGpsUse(m_context->gpsUse());
}

bool CBearingDlg::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusOut: {
      const auto* focus = static_cast<QFocusEvent*>(event);
      const int id = ControlId(watched);
      // A popup (a list's drop-down, a context menu) does not leave the
      // field. Notifications while the context is exchanging or committing
      // (a message box taking the focus and giving it back) commit nothing.
      if (qobject_cast<QLineEdit*>(watched) != nullptr && id != 0 && focus->reason() != Qt::PopupFocusReason &&
          m_initialised && !Busy() && !m_context->InExchange()) {
        // Commit once the focus change is complete, outside the focus
        // machinery: the commit may open a message box and move the focus.
        m_pendingCommits.push_back(id);
        QMetaObject::invokeMethod(this, [this] { FlushPendingCommits(); }, Qt::QueuedConnection);
      }
      break;
    }
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
      // The first input reaching the control that took the focus commits
      // the field that was left, before this input changes anything. When
      // that field is refused the input is dropped: the operator is back in
      // the field with the message read.
      if (!m_pendingCommits.empty() && !FlushPendingCommits()) return true;
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

bool CBearingDlg::FlushPendingCommits() {
  const int messagesBefore = m_messageCount;
  while (!m_pendingCommits.empty() && !Busy() && !m_context->InExchange()) {
    const int id = m_pendingCommits.front();
    m_pendingCommits.erase(m_pendingCommits.begin());
    CommitFor(id, Trigger::kLostFocus);
  }
  // Closing or stopping: what was left is dropped.
  if (m_shutDown) m_pendingCommits.clear();
  return m_messageCount == messagesBefore;
}

void CBearingDlg::keyPressEvent(QKeyEvent* event) {
  // Return, or Enter on the keypad (which carries the keypad modifier).
  const bool enter = (event->key() == Qt::Key_Return && event->modifiers() == Qt::NoModifier) ||
                     (event->key() == Qt::Key_Enter &&
                      (event->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) == Qt::NoModifier);
  if (enter) {
    // Enter commits the focused field as if it had been left and keeps the
    // window open; on a focused push button it presses the button; on a
    // list, the check box or a result field it does nothing.
    if (FlushPendingCommits() && !Busy() && !m_context->InExchange()) {
      if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget())) {
        button->click();
      } else {
        CommitFor(ControlId(QApplication::focusWidget()), Trigger::kLostFocus);
      }
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CBearingDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  // Redraw the picture and needle when the window itself is repainted over
  // the compass; a repaint of the compass alone already shows its own
  // image, and one elsewhere (a caret blinking in a field) does not touch it.
  if (m_paintingNeedle || !m_initialised || m_context->stopRequested()) return;
  if (m_compass->geometry().contains(event->rect()) || !m_compass->geometry().intersects(event->rect())) return;
  m_paintingNeedle = true;
  m_compass->DrawNeedle(m_context->result().relativeAzimuthDeg, true);
  m_paintingNeedle = false;
}

void CBearingDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_shownOnce) return;
  m_shownOnce = true;
  // Once the event loop runs, the window is on screen and placed.
  QMetaObject::invokeMethod(this, [this] { ShowDeferredMessages(); }, Qt::QueuedConnection);
}

bool CBearingDlg::MessagesWaiting() const {
  return !m_shownOnce || m_showingDeferred || !m_deferredMessages.empty();
}

void CBearingDlg::ShowDeferredMessages() {
  // One box at a time, in the order they were raised; a message raised while
  // one is open joins the end of the queue.
  m_showingDeferred = true;
  while (!m_deferredMessages.empty()) {
    // A close asked for meanwhile drops what was not shown yet.
    if (m_closeRequested || m_shutDown) {
      m_deferredMessages.clear();
      break;
    }
    const auto [text, caption] = m_deferredMessages.front();
    m_deferredMessages.erase(m_deferredMessages.begin());
    BusyScope busy(*this);
    m_hooks.message(this, text, caption);
  }
  m_showingDeferred = false;
  if (m_serveWhenShown) {
    m_serveWhenShown = false;
    ServeGps();
  }
}

// ---------------------------------------------------------------------------
// About, configuration, closing

void CBearingDlg::OpenAbout() {
  // A field refused on the way to the button keeps the operator there.
  if (!FlushPendingCommits() || m_shutDown) return;
  BusyScope busy(*this);
  m_hooks.openAbout(this);
}

void CBearingDlg::OpenConfiguration() {
  if (!FlushPendingCommits() || m_shutDown) return;
  std::optional<Configuration> accepted;
  {
    BusyScope busy(*this);
    accepted = m_hooks.editConfiguration(this, m_context->configuration());
  }
  // Cancelled, or closed because the program is ending: nothing changes.
  if (!accepted || m_closeRequested || m_shutDown) return;
  m_context->SetConfiguration(*accepted);
  m_compass->LoadPicture(accepted->picturePath);
  StopReader();
  update();
  m_compass->DrawNeedle(m_context->result().relativeAzimuthDeg, true);
  StartReader();
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
  if (m_context) m_context->OnDestroy();
  if (m_reader) m_reader->Stop();
  if (m_gpsd) m_gpsd->Stop();
}

// ---------------------------------------------------------------------------
// GPS reader

void CBearingDlg::StartReader() {
  if (m_shutDown) return;
  // The notifier runs on the reader thread; the queued call brings the
  // hand-off to this window's thread. The reader is stopped before the
  // window goes away, so `this` outlives every call.
  const auto notifier = [this] { QMetaObject::invokeMethod(this, [this] { ServeGps(); }, Qt::QueuedConnection); };
  const Configuration& config = m_context->configuration();
  // The COM entry names a serial device or gpsd.
  const std::string entry = m_context->ports().SerialDevice(config.gpsPort);
  const GpsPortEntry parsed = ParseGpsPortEntry(entry);
  if (const auto* error = std::get_if<PortEntryError>(&parsed)) {
    m_gps = nullptr;
    const std::string text = PortEntryErrorText("COM" + std::to_string(config.gpsPort), entry, error->reason);
    // Shown once the event loop runs, as a failed open is.
    QMetaObject::invokeMethod(
        this, [this, text] { ShowMessage(text, kGpsOpenCaption); }, Qt::QueuedConnection);
    return;
  }
  if (const auto* address = std::get_if<GpsdAddress>(&parsed)) {
    if (!m_gpsd) m_gpsd = std::make_unique<GpsdReader>();
    m_gps = m_gpsd.get();
    m_gps->SetNotifier(notifier);
    m_gps->SetGpsUse(m_context->gpsUse());
    m_gpsd->Start(*address, m_context->heading());
    return;
  }
  m_gps = m_reader.get();
  m_gps->SetNotifier(notifier);
  m_gps->SetGpsUse(m_context->gpsUse());
  m_reader->Start(config.gpsPort, m_context->ports(), m_context->heading());
}

void CBearingDlg::StopReader() {
  // Ends the reader, releasing a hand-off it may have begun; the context
  // ignores commits while its stop flag is set.
  m_context->SetStopFlag(true);
  if (m_gps != nullptr) m_gps->Stop();
  m_context->SetStopFlag(false);
}

void CBearingDlg::ServeGps() {
  if (m_shutDown) return;
  if (MessagesWaiting()) {
    // The reader waits; its fix or its message comes once the window is up
    // and the messages raised before have been shown.
    m_serveWhenShown = true;
    return;
  }
  FlushPendingCommits();
  if (Busy()) {
    // A commit or a modal box is in progress: the reader waits until it is
    // over, so a fix never lands in the middle of another operation.
    m_servePending = true;
    return;
  }
  BusyScope busy(*this);
  if (m_gps != nullptr) m_gps->Serve([this](const GpsEvent& event) { HandleGpsEvent(event); });
}

void CBearingDlg::ServeRotator() {
  if (m_shutDown) return;
  if (Busy()) {
    // Shown once the operation or box under way is over.
    m_rotatorReportPending = true;
    return;
  }
  BusyScope busy(*this);
  m_context->ServeRotatorReports();
}

void CBearingDlg::HandleGpsEvent(const GpsEvent& event) {
  if (const auto* fix = std::get_if<GpsFix>(&event)) {
    if (m_context->ApplyGpsFix(fix->position, fix->courseDeg) && !m_snapshotDir.isEmpty()) {
      // Diagnostics: the compass as drawn for this fix.
      m_compass->grab().save(QDir(m_snapshotDir).filePath(
          QStringLiteral("compass-%1.png").arg(++m_snapshotCount, 6, 10, QLatin1Char('0'))));
    }
  } else if (const auto* error = std::get_if<GpsOpenError>(&event)) {
    ShowMessage(error->message, kGpsOpenCaption);
  }
}

// ---------------------------------------------------------------------------
// View

std::string CBearingDlg::Text(int controlId) const {
  if (const auto* edit = qobject_cast<const QLineEdit*>(control(controlId))) return edit->text().toStdString();
  return {};
}

void CBearingDlg::SetText(int controlId, std::string_view text) {
  if (auto* edit = qobject_cast<QLineEdit*>(control(controlId))) {
    const QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (edit->text() == value) return;
    if (auto* locator = qobject_cast<LocatorEdit*>(edit)) {
      locator->SetProgramText(value);
    } else {
      edit->setText(value);
    }
    edit->setCursorPosition(0);
  }
}

int CBearingDlg::Selection(int controlId) const {
  if (const auto* list = qobject_cast<const QComboBox*>(control(controlId))) return list->currentIndex();
  return -1;
}

void CBearingDlg::SetSelection(int controlId, int index) {
  if (auto* list = qobject_cast<QComboBox*>(control(controlId))) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
  }
}

void CBearingDlg::SetEnabled(int controlId, bool enabled) {
  if (QWidget* widget = control(controlId)) widget->setEnabled(enabled);
}

void CBearingDlg::SetReadOnly(int controlId, bool readOnly) {
  if (auto* edit = qobject_cast<QLineEdit*>(control(controlId))) edit->setReadOnly(readOnly);
}

bool CBearingDlg::Checked(int controlId) const {
  if (const auto* box = qobject_cast<const QCheckBox*>(control(controlId))) return box->isChecked();
  return false;
}

void CBearingDlg::SetChecked(int controlId, bool checked) {
  if (auto* box = qobject_cast<QCheckBox*>(control(controlId))) box->setChecked(checked);
}

void CBearingDlg::Focus(int controlId, bool selectAll) {
  QWidget* widget = control(controlId);
  if (widget == nullptr) return;
  widget->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(widget); edit != nullptr && selectAll) edit->selectAll();
}

void CBearingDlg::Repaint(int controlId) {
  if (QWidget* widget = control(controlId)) widget->update();
}

void CBearingDlg::ShowMessage(std::string_view text, std::string_view caption) {
  ++m_messageCount;
  QString textValue = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  QString captionValue = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  if (MessagesWaiting()) {
    m_deferredMessages.emplace_back(std::move(textValue), std::move(captionValue));
    return;
  }
  BusyScope busy(*this);
  m_hooks.message(this, textValue, captionValue);
}

void CBearingDlg::DrawNeedle(int relativeAzimuthDeg, bool force) { m_compass->DrawNeedle(relativeAzimuthDeg, force); }

}  // namespace quarbe
