#pragma once
// Turning one received NMEA 0183 line into what the program uses of it: the
// course over ground (RMC) or the vehicle's position (GGA).

#include <cstdint>
#include <string_view>
#include <variant>

#include "geodesy/station.h"

namespace quarbe {

// A course over ground in whole degrees, 0..360: the received course + 0.5,
// truncated, so 359.6 gives 360.
struct NmeaCourse {
  std::int32_t degrees = 0;

  friend bool operator==(const NmeaCourse&, const NmeaCourse&) = default;
};

// Nothing usable, a course, or a position.
using NmeaResult = std::variant<std::monostate, NmeaCourse, Position>;

// Decodes one line as cut by LineFramer: it starts with '$' and holds no line
// feed; a trailing carriage return is allowed. A line that carries a
// checksum ('*' after the last field) gives nothing unless it is two hex
// digits equal to the exclusive-or of the bytes between '$' and '*'; a line
// without one is decoded as it stands. Fields are taken by commas, so decimal
// times (hhmmss.ss) and other field widths decode the same as the classic
// layout.
//
// Sentences: RMC and GGA from any talker of two capital letters (GP, GN, IN,
// QZ, ...); anything else gives nothing.
//  - RMC gives a course only with status 'A' and a course field that is a
//    number from 0 to 360; a void fix or an empty course gives nothing, so the
//    caller keeps the course it holds.
//  - GGA gives a position only when gpsUse is true and the fix quality is a
//    number other than 0. Latitude ddmm.mmm, longitude dddmm.mmm: seconds are
//    the fraction of a minute times 60, truncated (4807.038 gives 48 7' 2").
//    Hemisphere 'S' is south, any other letter north; 'E' is east, any other
//    letter west. Empty coordinates or hemispheres, minutes of 60 or more, a
//    latitude above 89 degrees or a longitude above 179 degrees give nothing.
// A line cut short anywhere before the field that follows the last one read
// gives nothing; nothing past the view is read.
NmeaResult NmeaDecoder(std::string_view line, bool gpsUse);

}  // namespace quarbe
