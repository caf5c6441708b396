#pragma once
// A rotator driven through Hamlib's rotator library: a controller on a serial
// line (GS-232, SPID, EasyComm, ...) or the rotctld daemon (model 2, device
// HOST:PORT). Hamlib calls block for tens to hundreds of milliseconds on a
// real controller, so they all run on a thread of its own, through a link
// whose every call is bounded (rotator_link.h: a controller's backend runs
// in a helper process); the caller only hands over targets and never waits.
//
// Each configuration has a thread of its own. Configure() and Close() never
// wait for it: the thread of the configuration before is released, ends on
// its own once its call under way returns (closing its link), and nothing it
// finds afterwards is reported or counted. A thread still inside a call when
// the process ends is left to that end.
//
// The target is the relative azimuth, as for the parallel byte: degrees
// clockwise from the vehicle's nose, where the antenna is mounted. It is sent
// inside the rotator's own azimuth range (the end-stop and sense settings are
// for the parallel byte only), see CommandedAzimuth. Only the latest target
// is kept: one given while a command is under way replaces any waiting one.
// A target within kRotatorDeadBandDeg of the last one sent is not sent, so
// the motor is not started for every degree, and commands go at most one
// every kCommandSpacing, each the latest target (a 10 Hz receiver in a
// roundabout would otherwise saturate a controller); the first target after
// an open (at start, after a reconfiguration, after the rotator came back)
// goes at once.
//
// The rotator's position is read back on the same thread, one call at a time,
// each read counted from the end of the one before: right after an open (to
// fold the first command around), then every kReadIntervalMoving while the
// antenna turns towards the target, every kReadIntervalAtRest once it rests.
// What is read, and the link's state, make the RotatorStatus (Status());
// the status notifier is called only when it changed, so a resting antenna
// costs the caller nothing.
//
// A rotator that cannot be opened, that fails a command, or that gives no
// valid position kReadbackFailureLimit reads running (a mute or garbled
// controller: GS-232 and EasyComm moves need no answer) is closed and opened
// again, an attempt every kRotatorRetryInterval while there is a target. Its
// first failure in a configuration is reported (TakeReport); later ones are
// not. An unknown model, a setting Hamlib refuses and a missing helper are
// reported and not retried.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "common/port_entry.h"
#include "rotator/hamlib_failure.h"
#include "rotator/rotator_status.h"

namespace quarbe {

// Targets closer than this to the last one sent are not sent.
inline constexpr std::int32_t kRotatorDeadBandDeg = 2;
// Between the starts of two attempts to open a rotator.
inline constexpr std::chrono::seconds kRotatorRetryInterval{3};
// At most two commands a second.
inline constexpr std::chrono::milliseconds kCommandSpacing{500};
inline constexpr std::chrono::seconds kReadIntervalMoving{1};
inline constexpr std::chrono::seconds kReadIntervalAtRest{5};
inline constexpr int kReadbackFailureLimit = 3;

// The azimuth to command on a rotator whose range is [minAzDeg, maxAzDeg]
// for a relative azimuth (any whole number of degrees; -89 and 360 occur).
// Where the range holds a whole turn from 0 (maxAzDeg >= 360), only
// [max(minAzDeg, 0), maxAzDeg] is used and no negative angle is sent:
// Hamlib reports -180..450 for the GS-232 family but sends -2 as 358.
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

struct HamlibRotatorStats {
  std::uint64_t openAttempts = 0;      // opens begun
  std::uint64_t opens = 0;             // successful opens
  std::uint64_t openFailures = 0;
  std::uint64_t commandsSent = 0;      // positions the rotator accepted
  std::uint64_t commandFailures = 0;   // positions it refused or did not answer
  std::uint64_t wakeups = 0;           // returns of the thread from waiting
  std::uint64_t helperStarts = 0;      // helper processes started
  std::uint64_t helpersEnded = 0;      // helpers ended for answering nothing, spinning or a broken line
  std::uint64_t helpersDied = 0;       // helpers that ended by themselves (a crash inside Hamlib)
  std::uint64_t positionReads = 0;     // valid positions read back
  std::uint64_t positionFailures = 0;  // reads that gave none
  std::uint64_t statusNotices = 0;     // calls of the status notifier
  std::optional<double> lastCommandedDeg;
};

class HamlibRotator {
 public:
  using Notifier = std::function<void()>;

  HamlibRotator();
  ~HamlibRotator();  // Close()
  HamlibRotator(const HamlibRotator&) = delete;
  HamlibRotator& operator=(const HamlibRotator&) = delete;

  // Called on the rotator thread when a report is waiting for TakeReport(),
  // with an internal lock held: it must only post (a queued call to the UI
  // thread). Once Close() or Configure() has returned, no thread released by
  // it calls it. Set it before the first Configure().
  void SetNotifier(Notifier notifier);

  // Called like the notifier when Status() has changed since the caller
  // last read it (once until it reads it again).
  void SetStatusNotifier(Notifier notifier);

  // The rotator to drive, or none. The thread of the configuration before
  // is released, and a new one opens the rotator when there is a target;
  // the target held so far is sent to it.
  void Configure(std::optional<HamlibAddress> address);

  // A new target (relative azimuth). Never blocks on the rotator.
  void Command(std::int32_t relativeAzimuthDeg);

  // Releases the thread, which closes the rotator on its own; never waits.
  // A later Configure() starts afresh.
  void Close();

  // The failure waiting to be shown, once.
  std::optional<HamlibFailure> TakeReport();

  // What the rotator is doing (kind kHamlib while configured, kNone
  // otherwise); reading it re-arms the status notifier.
  RotatorStatus Status() const;

  HamlibRotatorStats Stats() const;
  bool WaitFor(const std::function<bool(const HamlibRotatorStats& stats)>& condition,
               std::chrono::milliseconds timeout) const;

 private:
  struct Hub;
  struct Session;
  static void Run(std::shared_ptr<Hub> hub, std::shared_ptr<Session> session);
  void Release();  // with the hub's lock held

  std::shared_ptr<Hub> hub_;
  std::thread thread_;  // the current configuration's
};

}  // namespace quarbe
