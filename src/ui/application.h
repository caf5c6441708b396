#pragma once
// The application: Qt set up with the program's name and version, the
// settings file, the command line, the main window run modally, the profile
// written once it has closed. SIGTERM, SIGINT and SIGHUP close the program
// as Escape does, so a car PC shutting down keeps the operator's locators.

#include <QApplication>
#include <QObject>
#include <QStringList>

#include <string>

#include "ui/main_window.h"

class QSocketNotifier;

namespace quarbe {

class ProfileStore;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the UI thread: the
// handler only writes the signal number to a socket pair, which a socket
// notifier reads in the event loop. One instance per process.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;  // restores the default handlers

  bool installed() const { return m_notifier != nullptr; }

 signals:
  void received(int signalNumber);

 private:
  void ReadPending();

  QSocketNotifier* m_notifier = nullptr;
};

class CBearingApp : public QApplication {
  Q_OBJECT

 public:
  inline static const QString kName = QStringLiteral("quarbe");

  CBearingApp(int& argc, char** argv);

  // The arguments after the program name, joined by single spaces.
  static std::string CommandLine(const QStringList& arguments);

  // Runs the program on the user's settings file and returns the exit code;
  // ends the process itself when a device thread is still busy then.
  int Run();

  // Runs the main window on `store`: unknown command-line words reported
  // first, the window until it closes, then the profile written. A
  // termination signal closes any open box and the window, and no further
  // box opens. Returns 0, or 1 when the settings could not be written: the
  // reason is then shown in a box, or on a termination signal written to
  // the standard error.
  static int RunWindow(ProfileStore& store, const std::string& commandLine, CBearingDlg::Hooks hooks = {});
};

}  // namespace quarbe
