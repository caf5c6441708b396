#pragma once
// What the window's status line says, worked out from the devices' states
// and the clock: whether the GPS is live (silent, sending without a position,
// giving positions, and how old the last one is), where the heading comes
// from, and what the rotator is doing (the byte written, the controller
// connected and where its antenna points, or when it is tried again).
//
// The model words nothing (ui/operator_texts.cpp does) and reads no clock:
// the time is passed in, and each reading says when it changes by time
// alone (a silence reached, an age or a countdown ticking over), so the
// window wakes up for that and for nothing else: no timer while nothing is
// shown that time changes.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "gps/gps_source.h"
#include "gps/heading_rule.h"
#include "rotator/rotator_status.h"

namespace quarbe {

using StatusClock = std::chrono::steady_clock;

// The GPS as the window knows it: what its COM entry names, whether its
// positions are used, and what the source has received.
struct GpsStatusInput {
  enum class Source {
    kNone,             // no GPS port configured
    kSerial,           // a serial device, `where`
    kGpsd,             // gpsd at `where` (HOST:PORT)
    kUnreadableEntry,  // a [Ports] entry that names neither; `where` is the entry
  };
  Source source = Source::kNone;
  std::string where;
  bool use = true;  // GPS use (the GPS box)
  GpsActivity activity;
};

struct GpsLine {
  enum class State {
    kNone,        // no GPS configured
    kUnused,      // GPS use off: the operator types the position
    kClosed,      // the device is not open, or gpsd not connected (or the entry unreadable)
    kSilent,      // open, nothing received for kGpsSilence (or nothing yet)
    kNoPosition,  // sentences or reports, but no position for kGpsSilence (or none yet)
    kPosition,    // a position less than kGpsSilence old
  };
  State state = State::kNone;
  GpsStatusInput::Source source = GpsStatusInput::Source::kNone;
  std::string where;
  // The last position's age, once it is kGpsSilence old or more, in whole
  // seconds below a minute, whole minutes below an hour, whole hours after.
  std::optional<std::chrono::seconds> positionAge;

  friend bool operator==(const GpsLine&, const GpsLine&) = default;
};

enum class HeadingOrigin {
  kTyped,   // typed, or the one that stood: no GPS, GPS use off, no heading from it yet
  kCourse,  // the GPS course over ground
  kHeld,    // held while the vehicle stands
  kSensor,  // a heading sensor
};

struct RotatorLine {
  enum class State {
    kNone,          // no rotator
    kParallelByte,  // `lastByte` written to `device` (none written yet when absent)
    kOpening,       // a Hamlib rotator being opened
    kConnected,     // answering; `antennaDeg` where it points, once read
    kAbsent,        // the device or the daemon is not there; tried again
    kNotAnswering,  // open or reached, but it does not answer; tried again
    kOutOfService,  // not tried again until the configuration changes (unknown model, refused setting)
  };
  State state = State::kNone;
  std::string device;     // the device or the daemon's HOST:PORT
  int model = 0;          // Hamlib's model number (kHamlibNetworkModel: rotctld)
  std::string modelName;  // as Hamlib gives it, empty until the first open
  // Through rotctld: the daemon answers, its own rotator does not.
  bool behindDaemon = false;
  std::optional<std::uint8_t> lastByte;
  std::optional<std::int32_t> antennaDeg;
  // kAbsent, kNotAnswering: whole seconds to the next attempt, rounded up;
  // 0 once it is due (under way). None when no attempt is planned.
  std::optional<std::chrono::seconds> nextTryIn;

  friend bool operator==(const RotatorLine&, const RotatorLine&) = default;
};

struct StatusLine {
  GpsLine gps;
  HeadingOrigin heading = HeadingOrigin::kTyped;
  RotatorLine rotator;

  friend bool operator==(const StatusLine&, const StatusLine&) = default;
};

struct StatusReading {
  StatusLine line;
  // When the line changes by time alone, if it does.
  std::optional<StatusClock::time_point> changesAt;
};

// The GPS part and when it changes by itself.
GpsLine GpsLineAt(const GpsStatusInput& gps, StatusClock::time_point now,
                  std::optional<StatusClock::time_point>* changesAt = nullptr);

// The rotator part and when it changes by itself (a countdown).
RotatorLine RotatorLineAt(const RotatorStatus& rotator, StatusClock::time_point now,
                          std::optional<StatusClock::time_point>* changesAt = nullptr);

// Where the heading comes from, which takes the fixes applied into account.
class HeadingOriginTracker {
 public:
  // A fix was applied with a heading from `source`.
  void FixApplied(HeadingSource source);
  // The GPS is configured again (another source started): the heading
  // handed with its first fixes is the one that stood.
  void SourceRestarted() { last_.reset(); }

  // With the GPS giving positions (configured, its use on): the source of
  // the last fix; the heading that stood at a restart counts as held once
  // a GPS heading had been seen, as typed before.
  HeadingOrigin Origin(bool gpsGivesHeading) const;

 private:
  std::optional<HeadingSource> last_;
  bool gpsHeadingSeen_ = false;
};

class StatusModel {
 public:
  void FixApplied(HeadingSource source) { heading_.FixApplied(source); }
  void GpsRestarted() { heading_.SourceRestarted(); }

  StatusReading Read(const GpsStatusInput& gps, const RotatorStatus& rotator, StatusClock::time_point now) const;

 private:
  HeadingOriginTracker heading_;
};

}  // namespace quarbe
