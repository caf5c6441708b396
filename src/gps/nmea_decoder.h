#pragma once
// Turning one received NMEA 0183 line into what the program uses of it: the
// course over ground (RMC), the vehicle's position (GGA) or a heading
// sensor's heading (HDT, THS, HDG).

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "geodesy/station.h"

namespace quarbe {

// The time of day of a fix as RMC and GGA give it (hhmmss, optionally with
// decimals), in milliseconds from midnight: the sentences of one fix carry
// the same time.
struct NmeaTime {
  std::int32_t msOfDay = 0;

  friend bool operator==(const NmeaTime&, const NmeaTime&) = default;
};

// RMC: the course over ground and what goes with it. A void fix (status V)
// gives its time alone.
struct NmeaCourse {
  std::optional<NmeaTime> time;
  // Whole degrees, 0..360: the received course + 0.5, truncated, so 359.6
  // gives 360. Absent when the field is empty.
  std::optional<std::int32_t> degrees;
  std::optional<double> speedKn;       // speed over ground, knots
  std::optional<double> variationDeg;  // magnetic variation, east positive

  friend bool operator==(const NmeaCourse&, const NmeaCourse&) = default;
};

// GGA: the vehicle's position and the time of its fix.
struct NmeaPosition {
  Position position;
  std::optional<NmeaTime> time;

  friend bool operator==(const NmeaPosition&, const NmeaPosition&) = default;
};

// HDT, THS or HDG: a heading sensor's heading. The true heading is
// headingDeg + variationDeg; an HDG sentence without a variation leaves it to
// the caller (the latest RMC's), or unusable.
struct NmeaHeading {
  double headingDeg = 0.0;             // true, or for HDG magnetic with the deviation added
  std::optional<double> variationDeg;  // east positive; 0 for a true heading

  friend bool operator==(const NmeaHeading&, const NmeaHeading&) = default;
};

// Nothing usable, a course, a position, or a sensor's heading.
using NmeaResult = std::variant<std::monostate, NmeaCourse, NmeaPosition, NmeaHeading>;

// Decodes one line as cut by LineFramer: it starts with '$' and holds no line
// feed; carriage returns and blanks at its end are ignored (some receivers
// end their sentences with "\r\r\n"). A line that carries a checksum ('*'
// after the last field) gives nothing unless it is two hex digits equal to
// the exclusive-or of the bytes between '$' and '*'; a line without one is
// decoded as it stands. Fields are taken by commas, so decimal times
// (hhmmss.ss) and other field widths decode the same as the classic layout.
//
// Sentences from any talker of two capital letters (GP, GN, IN, HE, HC, ...);
// a proprietary sentence ("$P...", such as $PGRMC) is never read as one.
//  - RMC: with status 'A', the course (a number from 0 to 360) and the speed
//    and variation when their fields hold one (a variation needs its 'E' or
//    'W'); with any other status only the time.
//  - GGA gives a position only when gpsUse is true and the fix quality is a
//    number other than 0. Latitude ddmm.mmm, longitude dddmm.mmm: seconds are
//    the fraction of a minute times 60, truncated (4807.038 gives 48 7' 2").
//    Hemisphere 'S' is south, any other letter north; 'E' is east, any other
//    letter west. Empty coordinates or hemispheres, minutes of 60 or more, a
//    latitude above 89 degrees or a longitude above 179 degrees give nothing.
//  - HDT: the true heading (0..360). THS: the true heading when its mode is
//    'A' (autonomous) or 'E' (estimated). HDG: the magnetic heading (0..360)
//    plus the deviation when given, with the variation when given; each with
//    its 'E' (positive) or 'W' (negative), or the sentence gives nothing.
// A time field that is not hhmmss[.s...] leaves the time absent. A line cut
// short anywhere before the field that follows the last one required gives
// nothing; nothing past the view is read.
NmeaResult NmeaDecoder(std::string_view line, bool gpsUse);

}  // namespace quarbe
