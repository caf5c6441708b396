#pragma once
// Which heading the vehicle has, from what the GPS sources report: the course
// over ground only while the vehicle moves fast enough for it to mean
// something, and a heading sensor's heading, at any speed, while the sensor
// keeps talking. Both GPS sources (the serial NMEA reader and the gpsd
// client) hand their reports to one HeadingRule, so that a drive gives the
// same headings through either.
//
// The clock is passed in: the rule never reads it, so it is tested without
// waiting.

#include <chrono>
#include <cstdint>
#include <optional>

namespace quarbe {

// A course over ground is taken only at this speed over ground or more.
// Consumer receivers' velocity noise is about 0.05-0.1 m/s, so the course's
// error, atan(noise / speed), falls under 5 degrees only from about 1 m/s on;
// standing, the course swings at random over the whole circle.
inline constexpr double kCourseMinSpeedKn = 2.0;
inline constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;
// gpsd's speeds are in metres per second: 2.0 kn is 1.03 m/s.
inline constexpr double kCourseMinSpeedMps = kCourseMinSpeedKn / kKnotsPerMetrePerSecond;

// A heading sensor counts while its last usable heading is younger than
// this; after it, the course over ground rules again.
inline constexpr std::chrono::seconds kSensorFreshness{3};

// Where the heading handed with a fix comes from.
enum class HeadingSource : std::uint8_t {
  kInitial,  // the heading that stood when the source started (typed, or kept from before)
  kCourse,   // the course over ground, taken while moving
  kHeld,     // the vehicle is stopped: the heading it had is kept
  kSensor,   // a heading sensor
};

struct Heading {
  std::int32_t degrees = 0;  // whole degrees, 0..360, rounded as a course is
  HeadingSource source = HeadingSource::kInitial;

  friend bool operator==(const Heading&, const Heading&) = default;
};

class HeadingRule {
 public:
  using Clock = std::chrono::steady_clock;

  explicit HeadingRule(std::int32_t initialDeg) : heading_{initialDeg, HeadingSource::kInitial} {}

  // A report of the course over ground (whole degrees) and of the speed over
  // ground, each when the source gave it. Ignored while a heading sensor is
  // fresh. Otherwise a course with a speed of kCourseMinSpeedKn or more, or
  // with no speed at all, becomes the heading; a lower speed keeps the
  // heading as it is and marks it held, with or without a course.
  void TakeCourse(std::optional<std::int32_t> courseDeg, std::optional<double> speedKn, Clock::time_point now);

  // A heading sensor's true heading (whole degrees): the heading from now on,
  // and the course over ground is ignored until kSensorFreshness has passed
  // without another one.
  void TakeSensorHeading(std::int32_t headingDeg, Clock::time_point now);

  const Heading& Current() const { return heading_; }

 private:
  bool SensorFresh(Clock::time_point now) const { return sensorAt_ && now - *sensorAt_ < kSensorFreshness; }

  Heading heading_;
  std::optional<Clock::time_point> sensorAt_;
};

// A heading in degrees (any real value, e.g. a magnetic heading plus a
// variation) to whole degrees as a course is rounded: a value outside 0..360
// is brought into it first, then + 0.5 and truncated, so 359.6 and 360.0 give
// 360, -0.2 gives 360 too. Nothing for a value that is not finite.
std::optional<std::int32_t> WholeHeadingDeg(double headingDeg);

}  // namespace quarbe
