#pragma once
// The program's devices, owned beside the main window: the GPS source that
// the configured COM entry names (the serial reader or the gpsd client) and
// the rotator output. The context computes; the window hands the rotator
// targets of its updates to this object and serves the GPS source's events.
// Free of Qt. Every call is made on the UI thread; the notifiers are called
// on the devices' own threads.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "common/configuration.h"
#include "gps/fix_handoff.h"
#include "rotator/rotator_output.h"

namespace quarbe {

// The longest the window's going away waits for the GPS source's thread to
// end. Woken, a reader ends at once; only a call that libgps makes and that
// cannot be woken (a name lookup, a connection to a host that does not
// answer) can take longer, and the program does not wait for it.
inline constexpr std::chrono::milliseconds kReaderStopLimit{1000};

class GpsReader;
class GpsdReader;
class GpsSource;

class Devices {
 public:
  Devices();
  // Closes the rotator and stops the GPS source.
  ~Devices();
  Devices(const Devices&) = delete;
  Devices& operator=(const Devices&) = delete;

  // Tells the UI thread that ServeGps() has an event. Set before StartGps().
  void SetGpsNotifier(FixHandoff::Notifier notifier);
  // Tells the UI thread that TakeRotatorReport() has a failure to show.
  void SetRotatorNotifier(std::function<void()> notifier);

  // Starts the source the COM entry for configuration.gpsPort names, with
  // GPS use and the heading to hand with positions until a course arrives.
  // An entry that cannot be read starts nothing and is returned.
  std::optional<GpsOpenError> StartGps(const Configuration& configuration, const PortMap& ports, bool gpsUse,
                                  std::int32_t headingDeg);
  // Stops the running source, releasing a hand-off it may have begun.
  void StopGps();
  // Whether the running source hands positions on.
  void SetGpsUse(bool on);
  // Handles the running source's pending event, if any.
  bool ServeGps(const FixHandoff::Handler& handler);

  // The serial reader; it stays idle while the GPS comes from gpsd.
  GpsReader* gpsReader() const { return serial_.get(); }

  // The rotator the configuration names, from the next write on.
  void ConfigureRotator(const Configuration& configuration, const PortMap& ports);
  // Drives the rotator to the relative azimuth; the failure to show, if any.
  std::optional<RotatorFailure> WriteRotator(std::int32_t relativeAzimuthDeg);
  // A Hamlib rotator's failure waiting to be shown.
  std::optional<RotatorFailure> TakeRotatorReport();
  // What the rotator is doing, for a status line and the antenna's needle
  // (rotator/rotator_status.h); reading it re-arms the notifier.
  RotatorStatus rotatorStatus() const { return rotator_.Status(); }
  // Tells the UI thread that rotatorStatus() changed (called on the
  // rotator's thread: it must only post).
  void SetRotatorStatusNotifier(std::function<void()> notifier);
  // The window is going away: releases the rotator (its thread closes it
  // without being waited for), then wakes the GPS source and waits for its thread to end,
  // at most `limit`; a thread still busy then is left to the end of the
  // process.
  void Shutdown(std::chrono::milliseconds limit);

 private:
  std::unique_ptr<GpsReader> serial_;
  std::unique_ptr<GpsdReader> gpsd_;
  GpsSource* gps_ = nullptr;  // the one last started
  FixHandoff::Notifier gpsNotifier_;
  RotatorOutput rotator_;
  std::optional<RotatorFailure> rotatorFailure_;
};

}  // namespace quarbe
