#include "status/status_model.h"

#include <cerrno>

namespace quarbe {
namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;
using Time = StatusClock::time_point;

void Earliest(std::optional<Time>* changesAt, Time at) {
  if (changesAt != nullptr && (!*changesAt || at < **changesAt)) *changesAt = at;
}

// An age as shown: whole seconds below a minute, then whole minutes, then
// whole hours (a receiver unplugged for the afternoon is not counted down
// second by second), with when it is next shown otherwise.
seconds ShownAge(StatusClock::duration age, Time since, std::optional<Time>* changesAt) {
  const auto whole = std::chrono::floor<seconds>(age);
  if (whole < minutes(1)) {
    Earliest(changesAt, since + whole + seconds(1));
    return whole;
  }
  if (whole < hours(1)) {
    const auto shown = std::chrono::floor<minutes>(whole);
    Earliest(changesAt, since + shown + minutes(1));
    return shown;
  }
  const auto shown = std::chrono::floor<hours>(whole);
  Earliest(changesAt, since + shown + hours(1));
  return shown;
}

// Errors that say the device or the daemon is not there at all.
bool Absent(const HamlibFailure& failure) {
  if (failure.stage != HamlibFailure::Stage::kOpen) return false;
  switch (failure.errorNumber) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ECONNREFUSED:
      return true;
    default:
      return false;
  }
}

}  // namespace

GpsLine GpsLineAt(const GpsStatusInput& gps, Time now, std::optional<Time>* changesAt) {
  GpsLine line;
  line.source = gps.source;
  line.where = gps.where;
  switch (gps.source) {
    case GpsStatusInput::Source::kNone:
      line.state = GpsLine::State::kNone;
      return line;
    case GpsStatusInput::Source::kUnreadableEntry:
      line.state = GpsLine::State::kClosed;
      return line;
    case GpsStatusInput::Source::kSerial:
    case GpsStatusInput::Source::kGpsd:
      break;
  }
  if (!gps.use) {
    line.state = GpsLine::State::kUnused;
    return line;
  }
  const GpsActivity& activity = gps.activity;
  const bool dataFresh = activity.lastDataAt && now - *activity.lastDataAt < kGpsSilence;
  const bool positionFresh = activity.lastPositionAt && now - *activity.lastPositionAt < kGpsSilence;
  if (dataFresh) Earliest(changesAt, *activity.lastDataAt + kGpsSilence);
  if (positionFresh) {
    Earliest(changesAt, *activity.lastPositionAt + kGpsSilence);
  } else if (activity.lastPositionAt) {
    line.positionAge = ShownAge(now - *activity.lastPositionAt, *activity.lastPositionAt, changesAt);
  }
  if (!activity.linkOpen && !positionFresh) {
    // The device went away or gpsd with it; what was received before is
    // still worth an age.
    line.state = GpsLine::State::kClosed;
  } else if (positionFresh) {
    line.state = GpsLine::State::kPosition;
  } else if (dataFresh) {
    line.state = GpsLine::State::kNoPosition;
  } else {
    line.state = GpsLine::State::kSilent;
  }
  return line;
}

RotatorLine RotatorLineAt(const RotatorStatus& rotator, Time now, std::optional<Time>* changesAt) {
  RotatorLine line;
  line.device = rotator.device;
  switch (rotator.kind) {
    case RotatorStatus::Kind::kNone:
      line.device.clear();
      return line;
    case RotatorStatus::Kind::kParallelByte:
      line.state = RotatorLine::State::kParallelByte;
      line.lastByte = rotator.lastByte;
      return line;
    case RotatorStatus::Kind::kHamlib:
      break;
  }
  line.model = rotator.model;
  line.modelName = rotator.modelName;
  switch (rotator.link) {
    case RotatorStatus::Link::kOpening:
      line.state = RotatorLine::State::kOpening;
      return line;
    case RotatorStatus::Link::kConnected:
      line.state = RotatorLine::State::kConnected;
      line.antennaDeg = rotator.antennaDeg;
      return line;
    case RotatorStatus::Link::kNotAnswering:
      break;
  }
  if (!rotator.nextTryAt) {
    line.state = RotatorLine::State::kOutOfService;
    return line;
  }
  line.state = rotator.problem && Absent(*rotator.problem) ? RotatorLine::State::kAbsent
                                                           : RotatorLine::State::kNotAnswering;
  line.behindDaemon = rotator.problem && rotator.problem->daemonAnswered;
  const Time tryAt = *rotator.nextTryAt;
  if (now >= tryAt) {
    line.nextTryIn = seconds(0);
    return line;
  }
  // Rounded up: "in 3 s" until 2 s are left, and never "in 0 s" before it is due.
  const auto left = std::chrono::ceil<seconds>(tryAt - now);
  line.nextTryIn = left;
  Earliest(changesAt, tryAt - (left - seconds(1)));
  return line;
}

void HeadingOriginTracker::FixApplied(HeadingSource source) {
  last_ = source;
  if (source != HeadingSource::kInitial) gpsHeadingSeen_ = true;
}

HeadingOrigin HeadingOriginTracker::Origin(bool gpsGivesHeading) const {
  if (!gpsGivesHeading || !last_) return HeadingOrigin::kTyped;
  switch (*last_) {
    case HeadingSource::kInitial:
      return gpsHeadingSeen_ ? HeadingOrigin::kHeld : HeadingOrigin::kTyped;
    case HeadingSource::kCourse:
      return HeadingOrigin::kCourse;
    case HeadingSource::kHeld:
      return HeadingOrigin::kHeld;
    case HeadingSource::kSensor:
      return HeadingOrigin::kSensor;
  }
  return HeadingOrigin::kTyped;
}

StatusReading StatusModel::Read(const GpsStatusInput& gps, const RotatorStatus& rotator, Time now) const {
  StatusReading reading;
  reading.line.gps = GpsLineAt(gps, now, &reading.changesAt);
  const bool gpsGivesHeading =
      (gps.source == GpsStatusInput::Source::kSerial || gps.source == GpsStatusInput::Source::kGpsd) && gps.use;
  reading.line.heading = heading_.Origin(gpsGivesHeading);
  reading.line.rotator = RotatorLineAt(rotator, now, &reading.changesAt);
  return reading;
}

}  // namespace quarbe
