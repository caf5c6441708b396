#pragma once
// A rotator driven through Hamlib's rotator library: a controller on a serial
// line (GS-232, SPID, EasyComm, ...) or the rotctld daemon (model 2, device
// HOST:PORT). Hamlib calls block for tens to hundreds of milliseconds on a
// real controller, so they all run on a thread of its own; the caller only
// hands over targets and never waits.
//
// The target is the relative azimuth, as for the parallel byte: degrees
// clockwise from the vehicle's nose, where the antenna is mounted. It is sent
// inside the rotator's own azimuth range (the end-stop and sense settings are
// for the parallel byte only), see CommandedAzimuth. Only the latest target
// is kept: one given while a command is under way replaces any waiting one.
// A target within kRotatorDeadBandDeg of the last one sent is not sent, so
// the motor is not started for every degree; the first target after an open
// (at start, after a reconfiguration, after the rotator came back) always is.
//
// A rotator that cannot be opened, or that stops answering, is closed and
// opened again every kRotatorRetryInterval while there is a target. Its first
// failure in a configuration is reported (TakeReport); later ones are not. An
// unknown model is reported and not retried.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/port_entry.h"

namespace quarbe {

// Targets closer than this to the last one sent are not sent.
inline constexpr std::int32_t kRotatorDeadBandDeg = 2;
inline constexpr std::chrono::seconds kRotatorRetryInterval{3};

// The azimuth to command on a rotator whose range is [minAzDeg, maxAzDeg]
// for a relative azimuth (any whole number of degrees; -89 and 360 occur).
// Among the equivalent angles (relative + k * 360) within the range, the one
// nearest `lastCommandedDeg` (the rotator's position when nothing has been
// commanded yet), or, when that is unknown, the one nearest the relative
// azimuth taken in 0..359: on a 0..450 or -180..450 rotator the antenna never
// swings the long way round. When no equivalent is within a range narrower
// than a turn, the nearer end of the range. A range that is empty or not a
// number counts as 0..360.
double CommandedAzimuth(std::int32_t relativeAzimuthDeg, double minAzDeg, double maxAzDeg,
                        std::optional<double> lastCommandedDeg);

// Whether `targetDeg` is at least kRotatorDeadBandDeg from `lastSentDeg`
// around the circle (359 and 1 are 2 degrees apart).
bool BeyondDeadBand(std::int32_t targetDeg, std::int32_t lastSentDeg);

// Why a Hamlib rotator could not be driven: at which stage, on which address
// (and whether that is a network daemon), Hamlib's code as a problem (with
// the code itself for one Hamlib does not name), and the system's error
// number a failed open left behind (0 when none).
struct HamlibFailure {
  enum class Stage { kUnknownModel, kOpen, kCommand };
  enum class Problem {
    kTimeout,         // the controller does not answer
    kProtocol,        // an answer that cannot be understood
    kRejected,        // the controller refused the command
    kPortSettings,    // the device or speed could not be set
    kPowerOff,        // the controller is switched off
    kNotImplemented,  // not something this model does
    kInputOutput,     // an input-output error (errorNumber may say which)
    kOther,
  };
  Stage stage;
  HamlibAddress address;
  bool network = false;
  Problem problem = Problem::kOther;
  int hamlibCode = 0;
  int errorNumber = 0;
  // A daemon's address refused at open: getaddrinfo's code when its host
  // name does not resolve (Hamlib calls that a port setting), else 0.
  int lookupError = 0;

  friend bool operator==(const HamlibFailure&, const HamlibFailure&) = default;
};

struct HamlibRotatorStats {
  std::uint64_t opens = 0;             // successful opens
  std::uint64_t openFailures = 0;
  std::uint64_t commandsSent = 0;      // positions the rotator accepted
  std::uint64_t commandFailures = 0;   // positions it refused or did not answer
  std::uint64_t wakeups = 0;           // returns of the thread from waiting
  std::optional<double> lastCommandedDeg;
};

class HamlibRotator {
 public:
  using Notifier = std::function<void()>;

  HamlibRotator();
  ~HamlibRotator();  // Close()
  HamlibRotator(const HamlibRotator&) = delete;
  HamlibRotator& operator=(const HamlibRotator&) = delete;

  // Called on the rotator thread when a report is waiting for TakeReport().
  // It must not block; set it before the first Configure().
  void SetNotifier(Notifier notifier);

  // The rotator to drive, or none. The thread closes the current rotator and
  // opens the new one when it has a target; the target held so far is sent
  // to it. Starts the thread the first time.
  void Configure(std::optional<HamlibAddress> address);

  // A new target (relative azimuth). Never blocks on the rotator.
  void Command(std::int32_t relativeAzimuthDeg);

  // Ends the thread, closing the rotator; waits for a Hamlib call under way.
  // A later Configure() starts afresh.
  void Close();

  // The failure waiting to be shown, once.
  std::optional<HamlibFailure> TakeReport();

  HamlibRotatorStats Stats() const;
  bool WaitFor(const std::function<bool(const HamlibRotatorStats& stats)>& condition,
               std::chrono::milliseconds timeout) const;

 private:
  void Run();

  mutable std::mutex mutex_;
  std::condition_variable wake_;              // work for the thread
  mutable std::condition_variable changed_;   // the counters moved
  std::thread thread_;
  Notifier notifier_;
  std::optional<HamlibAddress> address_;
  std::uint64_t generation_ = 0;  // bumped by each Configure()
  std::optional<std::int32_t> target_;
  std::optional<HamlibFailure> report_;
  bool stop_ = false;
  HamlibRotatorStats stats_;
};

}  // namespace quarbe
