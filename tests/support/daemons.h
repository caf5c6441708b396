#pragma once
// Real gpsd and rotctld daemons for the tests and benchmarks: each started on
// a free loopback port as a ChildProcess, its output in a log file.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"

namespace quarbe::testing_support {

// A TCP port nothing listens on right now, on 127.0.0.1.
int FreeLoopbackPort();

// A TCP socket listening on 127.0.0.1 at a port the system picks, with
// `backlog`, and that port; {-1, 0} when none could be set up.
struct Listener {
  int fd = -1;
  int port = 0;
};
Listener ListenOnLoopback(int backlog);

// A socket connected to 127.0.0.1:port, or -1.
int ConnectToLoopback(int port);

// Whether something listens on the TCP port (on any address) within
// `timeout`; it is not connected to.
bool WaitForListener(int port, std::chrono::milliseconds timeout);

// A listener on 127.0.0.1 whose accept queue is full and never emptied: the
// kernel drops every further connection attempt, so a connect() to it keeps
// retrying for about two minutes, as one to a host that drops packets does.
// Close() makes the next retry of each such connect() fail (refused).
class BlackholeListener {
 public:
  BlackholeListener();  // Port() is 0 when none could be set up
  ~BlackholeListener();  // Close()
  BlackholeListener(const BlackholeListener&) = delete;
  BlackholeListener& operator=(const BlackholeListener&) = delete;

  int Port() const { return port_; }
  // Safe to call from any thread, and more than once.
  void Close();

 private:
  std::mutex mutex_;
  int listener_ = -1;
  std::vector<int> queued_;  // the connections filling the queue
  int port_ = 0;
};

// gpsfake replaying `nmeaLog` into a gpsd of its own on 127.0.0.1:port, one
// sentence every `cycleSeconds`; returns once gpsd accepts connections
// (null if it does not within a few seconds).
std::unique_ptr<ChildProcess> StartGpsfake(const std::string& nmeaLog, int port, double cycleSeconds,
                                           const std::string& logPath);

// rotctld serving Hamlib's dummy rotator on 127.0.0.1:port with its verbose
// log in `logPath`; `setConf` is passed as -C when not empty (for instance
// "min_az=0,max_az=450"). Returns once it accepts connections.
std::unique_ptr<ChildProcess> StartRotctld(int port, const std::string& logPath, const std::string& setConf = {});
// The same with the log going where `output` says (a pipe, for instance).
std::unique_ptr<ChildProcess> StartRotctld(int port, const ChildOptions& output, const std::string& setConf = {});
// rotctld serving Hamlib's model `model` on a serial `device` at 9600 baud.
std::unique_ptr<ChildProcess> StartRotctldFor(int model, const std::string& device, int port,
                                              const std::string& logPath, const std::string& setConf = {});

// What rotctld's verbose log says for each position read of the dummy rotator.
inline constexpr std::string_view kRotctldReadMarker = "dummy_rot_get_position called";
// How many lines of the log hold `marker`.
int LogLinesWith(const std::string& logPath, std::string_view marker);

// What rotctld's verbose log says, followed by ": AZ EL", for each command
// the dummy rotator carries out.
inline constexpr std::string_view kRotctldCommandMarker = "dummy_rot_set_position called";

// The azimuths the dummy rotator was commanded, in order, from the log.
std::vector<double> CommandedAzimuths(const std::string& rotctldLog);

}  // namespace quarbe::testing_support
