#pragma once
// The program's devices, owned beside the main window: the GPS source that
// the configured COM entry names (the serial reader or the gpsd client) and
// the rotator output. The context computes; the window hands the rotator
// targets of its updates to this object and serves the GPS source's events.
// Free of Qt. Every call is made on the UI thread; the notifiers are called
// on the devices' own threads.
//
// Nothing here waits on a device without a limit. A GPS source that does not
// end as soon as it is asked (libgps connecting to a host that drops packets,
// a driver stuck in an open) is let go and replaced by a fresh one; it ends
// by itself later, and nothing it posts reaches the window: its hand-off is
// cancelled, its notifier cut off, and only the current source is served.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "common/configuration.h"
#include "gps/fix_handoff.h"
#include "rotator/rotator_output.h"
#include "status/status_model.h"

namespace quarbe {

// The longest the window's going away waits, once the settings are written,
// for the GPS source and the rotator to end. Woken, a reader ends at once and
// a rotator closes in a moment; what is still busy then is left to the end of
// the process.
inline constexpr std::chrono::milliseconds kDeviceStopLimit{500};

class GpsReader;
class GpsdReader;
class GpsSource;
class NotifierGate;
class ThreadEnd;

class Devices {
 public:
  Devices();
  // Shutdown() without waiting, if it has not run.
  ~Devices();
  Devices(const Devices&) = delete;
  Devices& operator=(const Devices&) = delete;

  // Tells the UI thread that ServeGps() has an event. Set before StartGps().
  void SetGpsNotifier(FixHandoff::Notifier notifier);
  // Tells the UI thread that TakeRotatorReport() has a failure to show.
  void SetRotatorNotifier(std::function<void()> notifier);

  // Starts the source the COM entry for configuration.gpsPort names, with
  // GPS use and the heading to hand with positions until a course arrives,
  // after stopping the running one. An entry that cannot be read starts
  // nothing and is returned.
  std::optional<GpsOpenError> StartGps(const Configuration& configuration, const PortMap& ports, bool gpsUse,
                                       std::int32_t headingDeg);
  // Stops the running source without waiting for it: a source that has not
  // ended at once is let go and replaced (see above).
  void StopGps();
  // Whether the running source hands positions on.
  void SetGpsUse(bool on);
  // Handles the running source's pending event, if any.
  bool ServeGps(const FixHandoff::Handler& handler);
  // What the COM entry names and what its source has received, for the
  // status line (the GPS use as the source has it).
  GpsStatusInput gpsStatus() const;

  // The serial reader now in place; it stays idle while the GPS comes from
  // gpsd. A new one may take its place at each StopGps().
  GpsReader* gpsReader() const { return serial_.get(); }

  // The rotator the configuration names, from the next write on.
  void ConfigureRotator(const Configuration& configuration, const PortMap& ports);
  // Drives the rotator to the relative azimuth; the failure to show, if any.
  std::optional<RotatorFailure> WriteRotator(std::int32_t relativeAzimuthDeg);
  // A Hamlib rotator's failure waiting to be shown.
  std::optional<RotatorFailure> TakeRotatorReport();
  // What the rotator is doing, for a status line and the antenna's needle
  // (rotator/rotator_status.h); reading it re-arms the notifier.
  RotatorStatus rotatorStatus() const;
  // Tells the UI thread that rotatorStatus() changed (called on the
  // rotator's thread: it must only post).
  void SetRotatorStatusNotifier(std::function<void()> notifier);

  // The window is going away (its settings already written): the GPS source
  // is asked to stop and the rotator is closed on a thread of its own, and
  // both are waited for at most `limit` in all. What is still busy then is
  // left to end by itself; neither notifier is called any more.
  void Shutdown(std::chrono::milliseconds limit);

  // Whether device threads let go (a GPS source, a rotator being closed)
  // are still running anywhere in the process. The program then ends
  // without running its exit handlers, which they could still be using.
  static bool ThreadsLeftRunning();

 private:
  void CloseGpsGate();

  std::unique_ptr<GpsReader> serial_;
  std::unique_ptr<GpsdReader> gpsd_;
  GpsSource* gps_ = nullptr;  // the one last started
  // The serial reader last let go while it ran: it may still hold the device.
  std::shared_ptr<const ThreadEnd> serialPredecessor_;
  GpsStatusInput::Source gpsSource_ = GpsStatusInput::Source::kNone;
  std::string gpsWhere_;
  FixHandoff::Notifier gpsNotifier_;
  std::shared_ptr<NotifierGate> gpsGate_;  // the running source's
  std::shared_ptr<NotifierGate> rotatorGate_;
  std::shared_ptr<NotifierGate> rotatorStatusGate_;
  std::unique_ptr<RotatorOutput> rotator_;  // null once shut down
  std::optional<RotatorFailure> rotatorFailure_;
};

}  // namespace quarbe
