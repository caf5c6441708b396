#pragma once
// A program started by a test or a benchmark: the program under measurement,
// gpsd, gpsfake, rotctld. Each starts in a process group of its own and is
// stopped through that group's id, never by name: other programs on the
// machine may run their own copies.
//
//   ChildProcess gpsd({"gpsd", "-N", ...}, {.outputPath = scratch.File("gpsd.log")});
//   ...
//   gpsd.Stop();  // or when it goes away

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quarbe::testing_support {

struct ChildOptions {
  // Where its standard output and error go: this file (created or
  // truncated), else this descriptor, else /dev/null. Its input is /dev/null.
  std::string outputPath;
  int outputFd = -1;
  // Variables added to, or replacing, those of this process.
  std::map<std::string, std::string> environment;
  // Its working directory; empty: this process's.
  std::string directory;
};

class ChildProcess {
 public:
  // Starts argv[0] (looked up in PATH when it has no slash) with every
  // signal at its default disposition and none blocked. Started() says
  // whether it could be started.
  explicit ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {});
  ~ChildProcess();  // Stop()
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0 || status_.has_value(); }
  // Its process id, also its group's; -1 once it has been waited for.
  pid_t Pid() const { return pid_; }

  // Sends `signal` to the process alone.
  void Signal(int signal) const;
  // Waits up to `timeout` for the process to end; its wait status, or
  // nothing if it is still running. Returns at once once it has ended.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  bool Alive() { return !WaitForExit(std::chrono::milliseconds(0)); }

  // SIGTERM to the group, SIGKILL to it after `patience`; then SIGKILL to
  // whatever of the group outlived the process (gpsfake's gpsd). Returns the
  // wait status, or nothing if it never started.
  std::optional<int> Stop(std::chrono::milliseconds patience = std::chrono::seconds(5));
  // SIGKILL to the group at once: a daemon that dies.
  void Kill();

 private:
  void SignalGroup(int signal) const;

  pid_t pid_ = -1;
  int pidFd_ = -1;  // readable once the process has ended
  std::optional<int> status_;
};

// Children of this process that have ended and not been waited for.
int ZombieChildren();

// Whether the process has a SIGTERM handler of its own (the program
// installs it before building its window).
bool CatchesSigterm(pid_t pid);

// The processor time used so far by this process's threads named `name`
// (as pthread_setname_np sets it), those still running.
std::chrono::milliseconds ThreadsProcessorTime(const std::string& name);

}  // namespace quarbe::testing_support
