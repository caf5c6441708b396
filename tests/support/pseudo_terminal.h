#pragma once
// A pseudo-terminal standing in for a GPS receiver on a serial line: the
// slave side is the "serial device" the program or the reader opens, the
// master side is the receiver. The slave is set raw at once, so bytes sent
// before the reader has configured it are neither echoed nor edited, and is
// held open here so the line never hangs up between two openers. It also
// stands for a line that never stops sending, and carries the simulated
// rotator controllers (controller_simulator.h).

#include <termios.h>

#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "support/scratch_dir.h"

namespace quarbe::testing_support {

class PseudoTerminal {
 public:
  // Throws std::system_error when no pseudo-terminal can be had.
  PseudoTerminal();
  ~PseudoTerminal();  // Unplug()
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The device's path: a link to the slave side, /dev/pts/N, as udev names
  // a USB adapter. Unplug() removes it, so that whoever opens the path again
  // finds nothing, rather than the pseudo-terminal the system has since
  // given the same number, another test's.
  const std::string& DevicePath() const { return devicePath_; }
  // Writes all of `bytes` to the master side; false if a write failed.
  bool Send(std::string_view bytes) const;
  // Reads and drops whatever the device side wrote (gpsd probes a receiver).
  void Drain() const;
  // What the device side writes, waiting up to `timeout` for it to begin;
  // empty when nothing came or the terminal is unplugged.
  std::string Receive(int timeoutMs) const;
  // Closes both sides: a reader sees a hang-up.
  void Unplug();
  // Sends `bytes` again and again, without a pause, on a thread of its own
  // until StopStreaming() or Unplug(), dropping whatever the device side
  // writes: a line with noise on it, or a GPS on the port a rotator was given.
  void StartStreaming(std::string bytes);
  void StopStreaming();
  // Lets every user open the device (gpsd drops its privileges).
  void OpenToEveryone() const;

  // How many descriptors of this process are open on the device.
  int OpenCountOfDevice() const;
  // The line settings of the device as its last user left them.
  termios DeviceSettings() const;

 private:
  std::thread streamer_;
  std::atomic<bool> streaming_{false};
  int master_ = -1;
  int slave_ = -1;
  std::string ttyPath_;  // /dev/pts/N
  ScratchDir linkDir_;
  std::string devicePath_;
};

}  // namespace quarbe::testing_support
