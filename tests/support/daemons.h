#pragma once
// Real gpsd and rotctld daemons for the tests: each started on a free
// loopback port in a process group of its own, its output in a log file, and
// stopped by that group's id (never by name: other programs on the machine
// may run their own).

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quarbe::testing_support {

// A TCP port nothing listens on right now, on 127.0.0.1.
int FreeLoopbackPort();

// Whether something accepts connections on 127.0.0.1:port within `timeout`.
bool WaitForListener(int port, std::chrono::milliseconds timeout);

// A fresh temporary directory, removed with its contents when destroyed.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

class DaemonProcess {
 public:
  // Starts argv[0] (looked up in PATH) with stdout and stderr to `logPath`.
  DaemonProcess(const std::vector<std::string>& argv, const std::string& logPath);
  ~DaemonProcess();  // Stop()
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // SIGTERM to the group, SIGKILL if it lingers; waits for the leader.
  void Stop();
  // SIGKILL to the group at once: a daemon that dies.
  void Kill();

 private:
  void Signal(int signal);
  pid_t pid_ = -1;
};

// gpsfake replaying `nmeaLog` into a gpsd of its own on 127.0.0.1:port, one
// sentence every `cycleSeconds`; returns once gpsd accepts connections
// (null if it does not within a few seconds).
std::unique_ptr<DaemonProcess> StartGpsfake(const std::string& nmeaLog, int port, double cycleSeconds,
                                            const std::string& logPath);

// rotctld serving Hamlib's dummy rotator on 127.0.0.1:port with its verbose
// log in `logPath`; `setConf` is passed as -C when not empty (for instance
// "min_az=0,max_az=450"). Returns once it accepts connections.
std::unique_ptr<DaemonProcess> StartRotctld(int port, const std::string& logPath, const std::string& setConf = {});

// The azimuths the dummy rotator was commanded, in order, from the log.
std::vector<double> CommandedAzimuths(const std::string& rotctldLog);

}  // namespace quarbe::testing_support
