#include "gps/heading_rule.h"

#include <cmath>

#include "gps/decimal_position.h"

namespace quarbe {

void HeadingRule::TakeCourse(std::optional<std::int32_t> courseDeg, std::optional<double> speedKn,
                             Clock::time_point now) {
  if (SensorFresh(now)) return;
  if (speedKn && *speedKn < kCourseMinSpeedKn) {
    heading_.source = HeadingSource::kHeld;
    return;
  }
  // No speed at all (an empty RMC speed field): the course is all there is.
  if (courseDeg) heading_ = Heading{*courseDeg, HeadingSource::kCourse};
}

void HeadingRule::TakeSensorHeading(std::int32_t headingDeg, Clock::time_point now) {
  heading_ = Heading{headingDeg, HeadingSource::kSensor};
  sensorAt_ = now;
}

std::optional<std::int32_t> WholeHeadingDeg(double headingDeg) {
  if (!std::isfinite(headingDeg)) return std::nullopt;
  if (headingDeg >= 0.0 && headingDeg <= 360.0) return CourseFromDecimalDegrees(headingDeg);
  double reduced = std::fmod(headingDeg, 360.0);
  if (reduced < 0.0) reduced += 360.0;
  return CourseFromDecimalDegrees(reduced);
}

}  // namespace quarbe
