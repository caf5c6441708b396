#include "gps/nmea_fix_assembler.h"

#include <variant>

namespace quarbe {

NmeaFixAssembler::Ready NmeaFixAssembler::Take(const NmeaResult& sentence, Clock::time_point now) {
  Ready ready;
  const auto add = [&ready](const GpsFix& fix) { ready.fixes[ready.count++] = fix; };
  // A sentence of another fix time: the waiting position will not get its
  // course any more and goes with the heading as it stands.
  const auto releaseUnless = [&](const std::optional<NmeaTime>& time) {
    if (waiting_ && (!time || *time != waiting_->time)) {
      add(FixAt(waiting_->position));
      waiting_.reset();
    }
  };

  if (const auto* position = std::get_if<NmeaPosition>(&sentence)) {
    // Another position while one waits (of another time, or the receiver
    // repeating itself): the waiting one will not get its course any more.
    if (waiting_) {
      add(FixAt(waiting_->position));
      waiting_.reset();
    }
    const bool courseIn = position->time && courseTime_ == position->time;
    if (coursesSeen_ && position->time && !courseIn) {
      waiting_ = Waiting{position->position, *position->time, now + kCourseWait};
    } else {
      add(FixAt(position->position));
    }
  } else if (const auto* course = std::get_if<NmeaCourse>(&sentence)) {
    releaseUnless(course->time);
    TakeCourse(*course, now);
    if (waiting_) {  // the RMC of the waiting position's time
      add(FixAt(waiting_->position));
      waiting_.reset();
    }
  } else if (const auto* heading = std::get_if<NmeaHeading>(&sentence)) {
    const std::optional<double> variation = heading->variationDeg ? heading->variationDeg : variationDeg_;
    if (variation) {
      if (const auto degrees = WholeHeadingDeg(heading->headingDeg + *variation)) {
        rule_.TakeSensorHeading(*degrees, now);
      }
    }
  }
  return ready;
}

void NmeaFixAssembler::TakeCourse(const NmeaCourse& course, Clock::time_point now) {
  coursesSeen_ = true;
  courseTime_ = course.time;
  if (course.variationDeg) variationDeg_ = course.variationDeg;
  rule_.TakeCourse(course.degrees, course.speedKn, now);
}

int NmeaFixAssembler::WaitMs(Clock::time_point now) const {
  if (!waiting_) return -1;
  if (waiting_->due <= now) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(waiting_->due - now).count());
}

std::optional<GpsFix> NmeaFixAssembler::Expire(Clock::time_point now) {
  if (!waiting_ || now < waiting_->due) return std::nullopt;
  return Release();
}

std::optional<GpsFix> NmeaFixAssembler::Release() {
  if (!waiting_) return std::nullopt;
  const GpsFix fix = FixAt(waiting_->position);
  waiting_.reset();
  return fix;
}

}  // namespace quarbe
