#pragma once
// What the benchmarks need beyond the shared test fixtures (tests/support):
// the program's settings file, the rotator's FIFO, the program started on
// Qt's offscreen platform in a scratch home, what the kernel counts of a
// running process, and percentiles.
//
//   ScratchDir home;
//   PseudoTerminal gps;
//   RotatorFifo rotator(home.File("lpt1"));
//   home.Write(kSettingsFile, SettingsFor(gps.DevicePath(), rotator.Path()));
//   ChildProcess quarbe({QUARBE_PROGRAM, "dest=JN08WV"}, OffscreenIn(home));
//   rotator.WaitForBytes(1, 5s);            // the start-up bearing
//   ...gps.Send(sentence); rotator.ReadByte(1s)...

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/pseudo_terminal.h"
#include "support/scratch_dir.h"

namespace quarbe::bench {

using testing_support::ChildOptions;
using testing_support::ChildProcess;
using testing_support::PseudoTerminal;
using testing_support::ScratchDir;

// The program's settings file, in the home OffscreenIn() gives it.
inline constexpr std::string_view kSettingsFile = "quarbe.ini";

// A settings file with the GPS on COM1 and the rotator on LPT1, mapped to the
// given devices (or daemon entries), the default locators and end stop. An
// empty device leaves that port off.
std::string SettingsFor(std::string_view gpsDevice, std::string_view rotatorDevice);

// How a program runs in `home`: HOME, XDG_CONFIG_HOME (so its settings file
// is home/quarbe.ini), XDG_RUNTIME_DIR and working directory, Qt's offscreen
// platform, LANG and LC_ALL C.UTF-8, its output in home/program.log.
ChildOptions OffscreenIn(const ScratchDir& home);

// The rotator: a FIFO held open for reading and writing, so the program's
// non-blocking open for writing finds a reader and the FIFO never reads as
// ended when the program closes it.
class RotatorFifo {
 public:
  explicit RotatorFifo(std::string path);
  ~RotatorFifo();
  RotatorFifo(const RotatorFifo&) = delete;
  RotatorFifo& operator=(const RotatorFifo&) = delete;

  const std::string& Path() const { return path_; }
  int Fd() const { return fd_; }
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

// What the kernel has counted for threads of a process (a thread that has
// ended no longer counts): processor time and context switches. A voluntary
// switch is a thread going to sleep, so it counts its wake-ups.
struct ProcessCost {
  double cpuSeconds = 0.0;
  std::uint64_t voluntarySwitches = 0;
  std::uint64_t involuntarySwitches = 0;

  std::uint64_t Switches() const { return voluntarySwitches + involuntarySwitches; }
  ProcessCost operator-(const ProcessCost& earlier) const {
    return {cpuSeconds - earlier.cpuSeconds, voluntarySwitches - earlier.voluntarySwitches,
            involuntarySwitches - earlier.involuntarySwitches};
  }
};
// Summed over the threads of `pid` named `threadName` ("quarbe-gpsd", ...),
// over all of them when it is empty; nothing when the process is gone.
std::optional<ProcessCost> ReadProcessCost(pid_t pid, std::string_view threadName = {});

// The sample at `fraction` (0.5: the median) of the sorted samples; 0 when
// there are none.
double Percentile(std::vector<double> samples, double fraction);

}  // namespace quarbe::bench
