#pragma once
// The serial reader's fixes put together from decoded sentences: each GGA
// position handed on with the heading its own fix gives, whatever the order
// in which the receiver sends the sentences of one second.
//
// Receivers send a fix as several sentences. Many send RMC (course) before
// GGA (position); others (SiRF and more) send GGA first, and a position
// handed on at once would go out with the previous second's course. So once
// the receiver has shown that it sends RMC, a position waits for the RMC of
// its own time: until that RMC arrives, a sentence of another time arrives,
// or kCourseWait has passed (the reader wakes up for it). A receiver that
// sends no RMC has its positions handed on at once.
//
// Courses and heading sensors' headings go through one HeadingRule; an HDG
// sentence without a variation takes the variation of the latest RMC that
// gave one, and is not used without.
//
// Used on the reader thread only; the clock is passed in.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "gps/fix_handoff.h"
#include "gps/heading_rule.h"
#include "gps/nmea_decoder.h"

namespace quarbe {

class NmeaFixAssembler {
 public:
  using Clock = std::chrono::steady_clock;

  // The longest a position waits for the RMC of its time. A receiver sends
  // the sentences of one fix within a few tens of milliseconds even at 4800
  // baud; a second's sentences never take this long to follow each other.
  static constexpr std::chrono::milliseconds kCourseWait{200};

  // The fixes a sentence completes: none, one, or two (a waiting position
  // released by a position of another time that goes out at once too).
  struct Ready {
    std::array<GpsFix, 2> fixes{};
    std::size_t count = 0;

    const GpsFix* begin() const { return fixes.data(); }
    const GpsFix* end() const { return fixes.data() + count; }
  };

  // initialHeadingDeg: the heading until a course or a sensor gives one.
  explicit NmeaFixAssembler(std::int32_t initialHeadingDeg) : rule_(initialHeadingDeg) {}

  // Takes one decoded sentence, received at `now`.
  Ready Take(const NmeaResult& sentence, Clock::time_point now);

  // How long the reader may wait for its device before a waiting position
  // is due, in whole milliseconds rounded up (for poll); -1 when none waits.
  int WaitMs(Clock::time_point now) const;

  // The waiting position, once it is due at `now`.
  std::optional<GpsFix> Expire(Clock::time_point now);

  // The waiting position at once, if any (the device went away).
  std::optional<GpsFix> Release();

  const Heading& CurrentHeading() const { return rule_.Current(); }

 private:
  struct Waiting {
    Position position;
    NmeaTime time;
    Clock::time_point due;
  };

  GpsFix FixAt(const Position& position) const {
    return GpsFix{position, rule_.Current().degrees, rule_.Current().source};
  }
  void TakeCourse(const NmeaCourse& course, Clock::time_point now);

  HeadingRule rule_;
  std::optional<Waiting> waiting_;
  bool coursesSeen_ = false;            // an RMC has come: positions wait for theirs
  std::optional<NmeaTime> courseTime_;  // the time of the latest RMC
  std::optional<double> variationDeg_;  // of the latest RMC that gave one
};

}  // namespace quarbe
