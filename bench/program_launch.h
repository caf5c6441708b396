#pragma once
// Starting the real program, and the daemons beside it, for whole-program
// benchmarks: each child in a process group of its own, stopped by its id;
// a pseudo-terminal to play the GPS receiver; a settings file in a temporary
// home; the program on Qt's offscreen platform.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace quarbe::bench {

// A child process. `outputFd` (or /dev/null when -1) becomes its stdout and
// stderr; `environment` entries replace or add variables.
class Child {
 public:
  Child(const std::vector<std::string>& argv, int outputFd = -1,
        const std::map<std::string, std::string>& environment = {});
  ~Child();  // Stop()
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  // SIGTERM to its group, SIGKILL after 5 s; waits for it.
  void Stop();

 private:
  pid_t pid_ = -1;
};

// The master side of a pseudo-terminal whose slave is the "serial device",
// set raw and readable by any user (gpsd drops its privileges).
class Pty {
 public:
  Pty();
  ~Pty();
  const std::string& SlavePath() const { return slavePath_; }
  // Writes all of `bytes`; returns false on failure.
  bool Write(const std::string& bytes);
  // Reads and drops whatever the device side wrote.
  void Drain();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// A temporary home with its settings file; removed when destroyed.
class ProgramHome {
 public:
  explicit ProgramHome(const std::string& settings);
  ~ProgramHome();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // The environment the program needs to use this home, offscreen.
  std::map<std::string, std::string> Environment() const;

 private:
  std::string path_;
};

// The program built beside this benchmark (build-bench/bin/quarbe).
std::string ProgramPath();

// Number of times each thread of `pid` was switched out (voluntary and not),
// by thread name ("quarbe-gpsd", ...); the whole process under "*".
std::map<std::string, long> ContextSwitches(pid_t pid);

}  // namespace quarbe::bench
