#include "ui/application.h"

#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "context/bearing_context.h"
#include "context/command_line.h"
#include "context/profile_store.h"
#include "ui/message_box.h"
#include "ui/operator_texts.h"
#include "ui/screenshots.h"
#include "ui/translations.h"
#include "ui/version.h"

namespace quarbe {
namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the signal handler, read by the notifier: [0] read end, [1]
// write end. Plain ints: the handler may use nothing else.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  // Nothing useful can be done if the pipe is full: a close is already
  // pending then.
  [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
  errno = savedErrno;
}

// Closes every dialog and message box on screen; their modal loops return.
void RejectOpenDialogs() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog != nullptr && dialog->isVisible()) dialog->reject();
  }
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (g_signalPipe[0] >= 0) return;  // another instance owns the handlers
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0) {
    g_signalPipe[0] = g_signalPipe[1] = -1;
    return;
  }
  m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadPending(); });

  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signalNumber : kTerminationSignals) ::sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  if (m_notifier == nullptr) return;
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int signalNumber : kTerminationSignals) ::sigaction(signalNumber, &action, nullptr);
  delete m_notifier;
  m_notifier = nullptr;
  ::close(g_signalPipe[0]);
  ::close(g_signalPipe[1]);
  g_signalPipe[0] = g_signalPipe[1] = -1;
}

void TerminationSignals::ReadPending() {
  unsigned char byte = 0;
  while (::read(g_signalPipe[0], &byte, 1) == 1) emit received(byte);
}

CBearingApp::CBearingApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(kName);
  setApplicationVersion(ProgramVersion());
  setOrganizationName(QString());
  setDesktopFileName(kName);
  InstallFrenchTranslations(*this);
}

std::string CBearingApp::CommandLine(const QStringList& arguments) {
  std::vector<std::string> words;
  for (qsizetype i = 1; i < arguments.size(); ++i) words.push_back(arguments[i].toStdString());
  return JoinArguments(std::span<const std::string>(words));
}

int CBearingApp::Run() {
  ProfileStore store;
  const int status = RunWindow(store, CommandLine(arguments()));
  if (Devices::ThreadsLeftRunning()) {
    // A device thread is still inside a call that nothing wakes (a
    // connection to a host that does not answer): the settings are written,
    // and the exit handlers and Qt's teardown, which that thread could still
    // be using, are skipped.
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}

int CBearingApp::RunWindow(ProfileStore& store, const std::string& commandLine, CBearingDlg::Hooks hooks) {
  TerminationSignals terminations;
  QPointer<CBearingDlg> window;
  bool closeRequested = false;
  // Once the program is asked to end, no further box opens: the boxes
  // start-up still had queued would otherwise keep it waiting for an
  // operator who is not there, and the settings would never be written.
  const CBearingDlg::MessageSink show = hooks.message ? hooks.message : &ShowWarning;
  hooks.message = [&closeRequested, show](QWidget* owner, const QString& text, const QString& caption) {
    if (!closeRequested) show(owner, text, caption);
  };
  QObject::connect(&terminations, &TerminationSignals::received, &terminations, [&](int) {
    closeRequested = true;
    if (window) {
      window->CloseAll();
    } else {
      // Still constructing: close the message open now; the window is
      // closed as soon as it exists.
      RejectOpenDialogs();
    }
  });

  auto owned = std::make_unique<CBearingDlg>(store, commandLine, std::move(hooks));
  window = owned.get();
  if (closeRequested) window->CloseAll();
  if (const QString shots = qEnvironmentVariable("QUARBE_SCREENSHOT_DIR"); !shots.isEmpty()) {
    TakeScreenshots(window, shots);
  }
  if (!window->ShutDown()) window->exec();
  // exec() has returned: the window-destruction steps have run, the locators
  // and the configuration written first, then the devices stopped or let go.
  if (owned->context().SaveProfile()) return 0;

  // The operator's settings are lost: say so where it will be seen. A box
  // when the operator closed the window; the standard error (the journal of
  // a session that is shutting down) on a termination signal.
  const Wording notSaved = WordSettingsNotSaved(*store.FlushProblem());
  if (closeRequested) {
    std::fprintf(stderr, "quarbe: %s\n", notSaved.text.c_str());
  } else {
    show(nullptr, QString::fromStdString(notSaved.text), QString::fromStdString(notSaved.caption));
  }
  return 1;
}

}  // namespace quarbe
