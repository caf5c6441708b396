#pragma once
// The real program under measurement: the installed-style quarbe binary (or
// any other program) started on Qt's offscreen platform in a scratch home
// whose settings file the benchmark writes, a pseudo-terminal standing in
// for the GPS receiver, a FIFO standing in for the rotator's parallel port,
// and what the kernel counts of a running process. Shared by the benchmarks
// that drive the whole program, whatever feeds it.
//
//   ScratchHome home;
//   GpsLine gps;
//   RotatorFifo rotator(home.File("lpt1"));
//   home.WriteSettings(SettingsFor(gps.DevicePath(), rotator.Path()));
//   RunningProgram quarbe(QUARBE_PROGRAM, {"dest=JN08WV"}, home);
//   rotator.WaitForBytes(2, 5s);            // the two start-up computations
//   ...gps.Send(sentence); rotator.ReadByte(1s)...

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarbe::bench {

// A directory removed with everything in it when this goes away, used as the
// program's HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and working directory.
class ScratchHome {
 public:
  ScratchHome();
  ~ScratchHome();
  ScratchHome(const ScratchHome&) = delete;
  ScratchHome& operator=(const ScratchHome&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Writes the program's settings file, quarbe.ini.
  void WriteSettings(std::string_view text) const;
  std::string SettingsPath() const { return File("quarbe.ini"); }

 private:
  std::string path_;
};

// A settings file with the GPS on COM1 and the rotator on LPT1, both mapped
// to the given devices, the default locators and end stop.
std::string SettingsFor(std::string_view gpsDevice, std::string_view rotatorDevice);

// The GPS receiver: a pseudo-terminal, raw from the start; the program opens
// the slave side as its serial device.
class GpsLine {
 public:
  GpsLine();
  ~GpsLine();
  GpsLine(const GpsLine&) = delete;
  GpsLine& operator=(const GpsLine&) = delete;

  const std::string& DevicePath() const { return slavePath_; }
  // Writes all of `bytes` to the line; false if a write failed.
  bool Send(std::string_view bytes) const;

 private:
  int master_ = -1;
  int slave_ = -1;  // held open so the line never hangs up between openers
  std::string slavePath_;
};

// The rotator: a FIFO opened for reading before the program starts, so the
// program's non-blocking open for writing finds a reader.
class RotatorFifo {
 public:
  explicit RotatorFifo(std::string path);
  ~RotatorFifo();
  RotatorFifo(const RotatorFifo&) = delete;
  RotatorFifo& operator=(const RotatorFifo&) = delete;

  const std::string& Path() const { return path_; }
  // The next byte, or nothing if none arrives within `timeout`.
  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds timeout) const;
  // Reads `count` bytes within `timeout`; returns how many came.
  std::size_t WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) const;
  // Reads and drops whatever has arrived; returns how many bytes.
  std::size_t Drain() const;

 private:
  std::string path_;
  int fd_ = -1;
};

// A program started with posix_spawn on the offscreen platform, LANG
// C.UTF-8, in `home` (HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR and working
// directory), its output going to home/program.log. Stopped with SIGTERM
// (then SIGKILL after ten seconds) when this goes away.
class RunningProgram {
 public:
  RunningProgram(const std::string& program, const std::vector<std::string>& arguments, const ScratchHome& home);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Whether it is still running.
  bool Alive();
  // SIGTERM, waits up to `patience`, then SIGKILL. The wait status, or -1.
  int Stop(std::chrono::milliseconds patience = std::chrono::seconds(10));

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// What the kernel has counted for a process, summed over its threads (a
// thread that has ended no longer counts): processor time and context
// switches. A voluntary switch is a thread going to sleep, so it counts its
// wake-ups.
struct ProcessCost {
  double cpuSeconds = 0.0;
  std::uint64_t voluntarySwitches = 0;
  std::uint64_t involuntarySwitches = 0;

  ProcessCost operator-(const ProcessCost& earlier) const {
    return {cpuSeconds - earlier.cpuSeconds, voluntarySwitches - earlier.voluntarySwitches,
            involuntarySwitches - earlier.involuntarySwitches};
  }
};
std::optional<ProcessCost> ReadProcessCost(pid_t pid);

double Percentile(std::vector<double> samples, double fraction);

}  // namespace quarbe::bench
