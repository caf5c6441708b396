#pragma once
// A rotator controller on a pseudo-terminal, for Hamlib's real serial
// backends to drive: the GS-232B protocol (Hamlib models 603, 611) or
// EasyComm II (model 202), an antenna with a physical range that turns at a
// finite speed, and the ways a controller fails: mute, garbled, unplugged.
//
//   GS-232B   "W123 000\r" move, "C2\r" -> "AZ=123  EL=000\r\n", "S\r" stop
//   EasyComm  "AZ123.0 EL0.0\n" move, "AZ EL \n" -> "AZ123.0 EL0.0\n", "SA SE \n" stop
//
// A move beyond the physical range stops the antenna at its end, as a real
// controller's limit does.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/pseudo_terminal.h"

namespace quarbe::testing_support {

class ControllerSimulator {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Protocol { kGs232b, kEasycomm };
  enum class Mode {
    kAnswering,
    kMute,     // reads everything, answers nothing, does not move
    kGarbage,  // answers every question with bytes no protocol knows
  };
  struct Options {
    Protocol protocol = Protocol::kGs232b;
    double minAzDeg = 0.0;
    double maxAzDeg = 450.0;
    double slewDegPerSecond = 30.0;
    double startDeg = 0.0;
    Mode mode = Mode::kAnswering;
  };
  // A move as the controller read it off the line.
  struct Move {
    double azimuthDeg;
    Clock::time_point at;
  };

  explicit ControllerSimulator(const Options& options);
  ~ControllerSimulator();  // Unplug()
  ControllerSimulator(const ControllerSimulator&) = delete;
  ControllerSimulator& operator=(const ControllerSimulator&) = delete;

  const std::string& DevicePath() const { return line_.DevicePath(); }
  void SetMode(Mode mode);
  // The cable is pulled: the device goes away under whoever has it open.
  void Unplug();

  std::vector<Move> Moves() const;
  std::vector<double> MovedTo() const;  // the azimuths of Moves()
  int PositionQueries() const;          // position questions answered
  double AzimuthDeg() const;            // where the antenna is now

 private:
  void Serve();
  void Handle(const std::string& line);
  double AzimuthAt(Clock::time_point when) const;  // with mutex_ held

  Options options_;
  PseudoTerminal line_;
  mutable std::mutex mutex_;
  Mode mode_;
  double fromDeg_;            // where the last move started
  double targetDeg_;          // where it goes
  Clock::time_point movedAt_;  // when it started
  std::vector<Move> moves_;
  int queries_ = 0;
  std::string pending_;
  std::atomic<bool> running_{true};
  std::thread server_;
};

}  // namespace quarbe::testing_support
