#pragma once
// The rotator the configured parallel port index names in the port map:
// the position byte on a parallel port device (RotatorPort), or a rotator
// driven through Hamlib (HamlibRotator) when the LPT entry reads
// hamlib:MODEL:DEVICE[:SPEED]. An entry that cannot be read is reported at
// the first write after the configuration that named it, and nothing is
// driven.
//
// Write(), Reconfigure(), ServeReports() and Close() belong to one thread
// (the UI thread); none of them waits for a Hamlib rotator.

#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

#include "common/configuration.h"
#include "common/device_failure.h"
#include "rotator/hamlib_rotator.h"
#include "rotator/rotator_port.h"
#include "rotator/rotator_status.h"

namespace quarbe {

// Why the rotator could not be driven: its device, its [Ports] entry or its
// Hamlib rotator. The window tells the operator.
using RotatorFailure = std::variant<DeviceOpenFailure, PortEntryFailure, HamlibFailure>;

class RotatorOutput {
 public:
  using FailureCallback = std::function<void(const RotatorFailure& failure)>;

  RotatorOutput() = default;
  RotatorOutput(const RotatorOutput&) = delete;
  RotatorOutput& operator=(const RotatorOutput&) = delete;

  // Receives every failure to show, on the thread that called Write() or
  // ServeReports().
  void SetFailureCallback(FailureCallback callback);
  // Called on the Hamlib rotator's thread when a failure waits to be shown;
  // it arranges for ServeReports() to be called on the UI thread.
  void SetReportNotifier(HamlibRotator::Notifier notifier);
  // Called when Status() has changed since it was last read: on the Hamlib
  // rotator's thread (it must only post), or within Write() for the parallel
  // byte.
  void SetStatusNotifier(HamlibRotator::Notifier notifier);

  // What the configured rotator is doing (rotator_status.h).
  RotatorStatus Status() const;

  // New settings: the device or Hamlib rotator is closed and the one now
  // named is used from the next write on (a Hamlib rotator is sent the
  // target it held at once).
  void Reconfigure(const Configuration& configuration, const PortMap& ports);

  // Drives the rotator towards the relative azimuth. True when a byte
  // reached the device or the target went to the Hamlib rotator.
  bool Write(std::int32_t relativeAzimuthDeg);

  // Shows the Hamlib rotator's waiting failure, if any.
  void ServeReports();

  // Releases the Hamlib rotator's thread, which closes it on its own
  // (shutdown); later writes to it do nothing.
  void Close();

 private:
  RotatorPort port_;
  HamlibRotator hamlib_;
  FailureCallback onFailure_;
  HamlibRotator::Notifier statusNotifier_;
  Configuration configuration_;
  RotatorStatus parallel_;  // the parallel byte's status, kNone when not in use
  bool usingHamlib_ = false;
  bool closed_ = false;
  // An unreadable entry, shown at the next write.
  std::optional<PortEntryFailure> entryError_;
};

}  // namespace quarbe
