#pragma once
// The main window: the two stations, the heading, the four results and the
// compass, laid out from the field table in dialog units. It hands the
// context what the operator typed (a Form) whenever a field is left, Enter
// is pressed, a hemisphere is chosen or the GPS box is clicked, and shows the
// Update it gets back; GPS fixes handed over by the reader thread are applied
// here, on the UI thread, and the rotator targets go to the devices it owns.
//
// The controls sit on a content widget of the template's size inside a
// scroll area: on a screen too small for the window (a car PC's panel, a
// desktop scaled up) the window takes what room there is and scrolls, the
// controls keeping their places. Under the scroll area, always in view, a
// status line says whether the GPS is live, where the heading comes from and
// what the rotator is doing (status/status_model.h); the window is that
// line's height taller than its template.
//
// GPS fixes are applied as they come, also while a message box or another
// dialog waits for the operator: only a context operation or an update being
// shown defers one until it is over. A message raised while a box is up
// (a device failing meanwhile) waits for that box to close.
//
// Where each behaviour lives:
//   main_window.cpp     construction, messages, About, configuration,
//                       painting, closing and shutdown
//   window_layout.cpp   the controls, from the field table and the labels
//   window_input.cpp    lost focus, Enter, lists and the GPS box routed to
//                       the context's commits; an update shown on the controls
//   window_devices.cpp  the GPS source's fixes and failures, the rotator's
//   devices.cpp         the GPS source and the rotator output themselves
//
// Closing: Escape, the close box and CloseAll() (used for SIGTERM and the
// like) end the dialog; the context is then told the window is going away
// and the settings are written, and only then are the GPS source and the
// rotator stopped, waiting for them at most kDeviceStopLimit, before exec()
// returns. The window never waits on a device otherwise: an accepted
// configuration lets go of a GPS source that does not stop at once.

#include <QDialog>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/configuration.h"
#include "context/form.h"
#include "context/update.h"
#include "gps/fix_handoff.h"
#include "status/status_model.h"
#include "ui/devices.h"
#include "ui/dialog_units.h"
#include "ui/operator_texts.h"

class QScrollArea;
class QStyle;
class QTimer;

namespace quarbe {

class BearingContext;
class CompassView;
class ProfileStore;
class StatusStrip;
struct Field;
enum class Trigger;

class CBearingDlg : public QDialog {
  Q_OBJECT

 public:
  // Shows a modal message: warning icon, OK only. owner is null for the
  // messages raised before the window exists.
  using MessageSink = std::function<void(QWidget* owner, const QString& text, const QString& caption)>;
  // Runs the configuration dialog; the accepted configuration, or nothing.
  using ConfigEditor = std::function<std::optional<Configuration>(QWidget* owner, const Configuration& current)>;
  // Runs the About box.
  using AboutOpener = std::function<void(QWidget* owner)>;

  // What tests replace; anything left empty takes the real dialogs.
  struct Hooks {
    MessageSink message;
    ConfigEditor editConfiguration;
    AboutOpener openAbout;
  };

  // Builds the context from the store and the command line (reporting
  // unknown tokens through the message hook, with no owner), builds the
  // controls, initialises the context and starts the GPS reader. The store
  // must outlive the window.
  CBearingDlg(ProfileStore& store, const std::string& commandLine, Hooks hooks = {}, QWidget* parent = nullptr);
  ~CBearingDlg() override;

  BearingContext& context() { return *m_context; }
  const BearingContext& context() const { return *m_context; }
  CompassView* compass() const { return m_compass; }
  StatusStrip* statusStrip() const { return m_status; }
  // What the status line shows now.
  const StatusLine& statusLine() const { return m_statusLine; }
  // The serial reader; it stays idle while the GPS comes from gpsd.
  GpsReader* gpsReader() const { return m_devices.gpsReader(); }

  // The widget carrying a control identifier, or null.
  QWidget* control(int controlId) const;

  // Ends the program as Escape does, closing first any message box or
  // dialog this window has open. Safe to call at any time, also from inside
  // a nested modal loop: the window closes once that loop has unwound.
  void CloseAll();

  // Opens the About box / the configuration dialog and applies an accepted
  // configuration (picture reloaded, GPS reader restarted, window repainted).
  void OpenAbout();
  void OpenConfiguration();

  // Whether the window-destruction steps have run.
  bool ShutDown() const { return m_shutDown; }

  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Marks the window busy while a context operation, an update being shown
  // or one of its modal loops runs; control notifications arriving meanwhile
  // are not routed, and a close asked for meanwhile happens once the
  // outermost one ends.
  class BusyScope;
  friend class BusyScope;
  // Around a modal loop run for the operator (a message box, a dialog):
  // the operation that opened it is waiting, not in progress, so GPS fixes
  // are applied meanwhile; messages raised meanwhile wait for it to close.
  class ModalScope;
  friend class ModalScope;

  // window_layout.cpp
  // The scroll area and the content widget the controls are placed on.
  void BuildFrame();
  void BuildControls();
  // Sizes the window to the content, or to the room its screen has, then
  // scrolling; again when it moves to another screen.
  void FitToScreen();
  void AddField(const Field& field);
  void AddDecorations();
  void SetTabOrder();

  // window_input.cpp
  // Runs the commit the field table gives the control for this trigger;
  // false when there is none.
  bool RouteCommit(int controlId, Trigger trigger);
  // Runs the commits of fields left since the event loop last ran; false
  // when one of them showed a message (the field was refused).
  bool FlushPendingCommits();
  // What the controls hold now.
  Form ReadForm() const;
  // Shows an update, in the order its members are listed.
  void Apply(const Update& update);
  void Write(const FieldWrite& write);
  void LockGpsFields(bool on);

  // window_devices.cpp
  void StartReader();
  void StopReader();
  void ServeGps();
  void ServeRotator();
  void HandleGpsEvent(const GpsEvent& event);
  void DriveRotator(std::int32_t relativeAzimuthDeg);
  // The status line and the antenna's needle brought up to date, and the
  // timer set for the next change time alone makes (none if none).
  void RefreshStatus();

  // main_window.cpp
  // After the content has been repainted over `painted` (its coordinates):
  // redraws the picture and the needle when that reaches the compass.
  void RepaintNeedle(const QRect& painted);
  void RunShutdown();
  bool Busy() const;
  void ShowMessage(const Wording& wording);
  // Shows the messages raised before the window was first on screen, then
  // serves a GPS event that waited for it.
  void ShowDeferredMessages();
  // Whether a message must wait its turn: the window is not up yet, a box
  // is open, or messages raised before are still being shown.
  bool MessagesWaiting() const;

  Hooks m_hooks;
  std::unique_ptr<BearingContext> m_context;
  Devices m_devices;
  std::map<int, QWidget*> m_controls;
  std::vector<int> m_pendingCommits;  // fields left, not yet committed
  // Messages raised while the window was being built (text, caption): a box
  // opens centred over its window, so they wait until it is on screen.
  std::vector<std::pair<QString, QString>> m_deferredMessages;
  QScrollArea* m_scroll = nullptr;
  QWidget* m_content = nullptr;  // the controls' parent, of the template's size
  CompassView* m_compass = nullptr;
  StatusStrip* m_status = nullptr;
  QTimer* m_statusTimer = nullptr;  // runs only while time changes what the status line shows
  StatusModel m_statusModel;
  StatusLine m_statusLine;
  QStyle* m_listStyle = nullptr;
  // Dialog units of the window font, measured once the font is set.
  DialogUnits m_units{1, 1};

  // When set (QUARBE_SNAPSHOT_DIR), the compass is saved as a PNG there
  // after each GPS fix applied, named with the relative azimuth it shows,
  // for end-to-end checks of the needle.
  QString m_snapshotDir;
  int m_snapshotCount = 0;

  int m_busyDepth = 0;
  // Operations (commits, updates shown, events served) in progress since the
  // innermost modal loop began; a GPS fix waits while there is one.
  int m_operationDepth = 0;
  int m_modalDepth = 0;  // modal loops run for the operator, nested
  bool m_showingDeferred = false;
  int m_messageCount = 0;  // messages shown on the window so far
  bool m_closeRequested = false;
  bool m_servePending = false;
  bool m_shownOnce = false;
  bool m_serveWhenShown = false;  // a GPS event arrived before the window was shown
  bool m_rotatorReportPending = false;
  bool m_shutDown = false;
  bool m_initialised = false;
  bool m_paintingNeedle = false;
  bool m_fitFollowsScreen = false;  // FitToScreen follows the window's screen
};

}  // namespace quarbe
