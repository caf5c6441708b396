#include "gps/nmea_decoder.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>

#include "gps/decimal_position.h"

namespace quarbe {
namespace {

// Enough for every field the sentences use (RMC reads up to field 11).
constexpr std::size_t kMaxFields = 16;

struct Fields {
  std::array<std::string_view, kMaxFields> field{};
  std::size_t count = 0;
};

// Splits the sentence body (after '$', before '*') at commas. Fields past
// kMaxFields are not kept; no sentence we decode looks at them.
Fields SplitFields(std::string_view body) {
  Fields fields;
  std::size_t start = 0;
  while (fields.count < kMaxFields) {
    const std::size_t comma = body.find(',', start);
    if (comma == std::string_view::npos) {
      fields.field[fields.count++] = body.substr(start);
      break;
    }
    fields.field[fields.count++] = body.substr(start, comma - start);
    start = comma + 1;
  }
  return fields;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// A plain decimal number: digits, optionally a point and more digits, at
// least one digit in all. No sign, no exponent, no spaces.
std::optional<double> ParseDecimal(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if (!AllDigits(whole) || !AllDigits(fraction)) return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// An unsigned integer of at most 9 digits (so it fits without overflow).
std::optional<std::int32_t> ParseSmallUnsigned(std::string_view text) {
  if (text.empty() || text.size() > 9 || !AllDigits(text)) return std::nullopt;
  std::int32_t value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

// ddmm.mmm or dddmm.mmm: whole degrees, two digits of whole minutes, and an
// optional fraction of a minute that becomes seconds, truncated (0.038' is
// 2.28", so 2"). The fraction is converted as the text ".mmm" read as a
// double and multiplied by 60, the exact computation the classic decoder made.
std::optional<AngleDms> ParseCoordinate(std::string_view text, std::int32_t maxDegrees) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  // At least one digit of degrees and two of minutes; more than three of
  // degrees (plus a leading zero) is not a coordinate.
  if (whole.size() < 3 || whole.size() > 5 || !AllDigits(whole)) return std::nullopt;
  AngleDms angle;
  angle.degrees = *ParseSmallUnsigned(whole.substr(0, whole.size() - 2));
  angle.minutes = *ParseSmallUnsigned(whole.substr(whole.size() - 2));
  if (angle.degrees > maxDegrees || angle.minutes >= 60) return std::nullopt;
  angle.seconds = 0;
  if (point != std::string_view::npos) {
    const std::string_view digits = text.substr(point + 1);
    if (!AllDigits(digits)) return std::nullopt;
    if (!digits.empty()) {
      std::string fraction = "0.";
      fraction.append(digits);
      const std::optional<double> minuteFraction = ParseDecimal(fraction);
      if (!minuteFraction) return std::nullopt;
      // A fraction written with more digits than a double holds can round
      // up to a whole minute; the truncated seconds are then still 59.
      const double seconds = *minuteFraction * 60.0;
      angle.seconds = seconds >= 59.0 ? 59 : static_cast<std::int32_t>(seconds);
    }
  }
  return angle;
}

// hhmmss with optional decimals of a second: the time of day of the fix.
std::optional<NmeaTime> ParseTime(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.size() != 6 || !AllDigits(whole) || !AllDigits(fraction)) return std::nullopt;
  const std::int32_t hours = *ParseSmallUnsigned(whole.substr(0, 2));
  const std::int32_t minutes = *ParseSmallUnsigned(whole.substr(2, 2));
  const std::int32_t seconds = *ParseSmallUnsigned(whole.substr(4, 2));
  if (hours > 23 || minutes > 59 || seconds > 60) return std::nullopt;  // 60: a leap second
  std::int32_t ms = 0;
  for (std::size_t i = 0; i < 3; ++i) ms = ms * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  return NmeaTime{((hours * 60 + minutes) * 60 + seconds) * 1000 + ms};
}

// A signed angle as two fields, a value and 'E' or 'W' (west negative).
// Both empty: absent, which is not a failure. The outer optional is empty
// when the pair is malformed (a value without its letter, a value above 180).
std::optional<std::optional<double>> ParseEastWest(std::string_view value, std::string_view direction) {
  if (value.empty() && direction.empty()) return std::optional<double>{};
  const std::optional<double> magnitude = ParseDecimal(value);
  if (!magnitude || *magnitude > 180.0) return std::nullopt;
  if (direction == "E") return std::optional<double>{*magnitude};
  if (direction == "W") return std::optional<double>{-*magnitude};
  return std::nullopt;
}

// A heading from 0 to 360 degrees.
std::optional<double> ParseHeading(std::string_view text) {
  const std::optional<double> heading = ParseDecimal(text);
  if (!heading || *heading > 360.0) return std::nullopt;
  return heading;
}

NmeaResult DecodeRmc(const Fields& fields, bool /*gpsUse*/) {
  // 1 time, 2 status, 3-6 position, 7 speed, 8 course, 9 date, 10-11
  // variation (optional: older receivers stop at the date).
  NmeaCourse course;
  course.time = ParseTime(fields.field[1]);
  if (fields.field[2] != "A") return course;
  std::optional<double> speed;
  if (!fields.field[7].empty()) {
    speed = ParseDecimal(fields.field[7]);
    // A speed that cannot be read cannot tell a parked vehicle from a
    // moving one: the course goes with it.
    if (!speed) return course;
  }
  const std::optional<double> track = ParseDecimal(fields.field[8]);
  course.degrees = track ? CourseFromDecimalDegrees(*track) : std::nullopt;
  course.speedKn = speed;
  if (fields.count > 11) {
    if (const auto variation = ParseEastWest(fields.field[10], fields.field[11])) course.variationDeg = *variation;
  }
  return course;
}

NmeaResult DecodeGga(const Fields& fields, bool gpsUse) {
  if (!gpsUse) return {};
  // 1 time, 2 latitude, 3 N/S, 4 longitude, 5 E/W, 6 fix quality.
  const std::optional<std::int32_t> quality = ParseSmallUnsigned(fields.field[6]);
  if (!quality || *quality == 0) return {};
  const std::string_view latHemisphere = fields.field[3];
  const std::string_view lonHemisphere = fields.field[5];
  if (latHemisphere.size() != 1 || lonHemisphere.size() != 1) return {};
  std::optional<AngleDms> latitude = ParseCoordinate(fields.field[2], 89);
  std::optional<AngleDms> longitude = ParseCoordinate(fields.field[4], 179);
  if (!latitude || !longitude) return {};
  latitude->hemisphere = latHemisphere[0] == 'S' ? kSouth : kNorth;
  longitude->hemisphere = lonHemisphere[0] == 'E' ? kEast : kWest;
  return NmeaPosition{Position{*latitude, *longitude}, ParseTime(fields.field[1])};
}

NmeaResult DecodeHdt(const Fields& fields, bool /*gpsUse*/) {
  // 1 heading, 2 'T'.
  const std::optional<double> heading = ParseHeading(fields.field[1]);
  if (!heading || (fields.field[2] != "T" && !fields.field[2].empty())) return {};
  return NmeaHeading{*heading, 0.0};
}

NmeaResult DecodeThs(const Fields& fields, bool /*gpsUse*/) {
  // 1 heading, 2 mode: A autonomous, E estimated (dead reckoning); M manual
  // input, S simulator and V not valid are no heading of the vehicle.
  const std::optional<double> heading = ParseHeading(fields.field[1]);
  if (!heading || (fields.field[2] != "A" && fields.field[2] != "E")) return {};
  return NmeaHeading{*heading, 0.0};
}

NmeaResult DecodeHdg(const Fields& fields, bool /*gpsUse*/) {
  // 1 magnetic sensor heading, 2-3 deviation, 4-5 variation.
  const std::optional<double> heading = ParseHeading(fields.field[1]);
  const auto deviation = ParseEastWest(fields.field[2], fields.field[3]);
  const auto variation = ParseEastWest(fields.field[4], fields.field[5]);
  if (!heading || !deviation || !variation) return {};
  return NmeaHeading{*heading + deviation->value_or(0.0), *variation};
}

struct SentenceDecoder {
  std::string_view id;    // sentence id after the talker
  // Fields the line must have, the id field included: one more than the last
  // field that must be read whole, so that it is known to be complete. A
  // line cut inside the course "084.4" would otherwise give a course of 8.
  std::size_t minFields;
  NmeaResult (*decode)(const Fields& fields, bool gpsUse);
};

constexpr std::array<SentenceDecoder, 5> kDecoders{{
    {"RMC", 10, &DecodeRmc},
    {"GGA", 8, &DecodeGga},
    {"HDT", 3, &DecodeHdt},
    {"THS", 3, &DecodeThs},
    {"HDG", 6, &DecodeHdg},
}};

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The sentence body between '$' and the checksum, or nothing when the line
// carries a checksum that does not hold: a '*' must be followed by exactly
// two hex digits, the exclusive-or of every byte of the body. Noise on the
// serial line that changes a digit of the position is caught here.
std::optional<std::string_view> CheckedBody(std::string_view body) {
  const std::size_t star = body.find('*');
  if (star == std::string_view::npos) return body;
  const std::string_view sum = body.substr(star + 1);
  if (sum.size() != 2) return std::nullopt;
  const int high = HexValue(sum[0]);
  const int low = HexValue(sum[1]);
  if (high < 0 || low < 0) return std::nullopt;
  unsigned computed = 0;
  for (const char c : body.substr(0, star)) computed ^= static_cast<unsigned char>(c);
  if (computed != static_cast<unsigned>(high * 16 + low)) return std::nullopt;
  return body.substr(0, star);
}

}  // namespace

NmeaResult NmeaDecoder(std::string_view line, bool gpsUse) {
  if (line.empty() || line.front() != '$') return {};
  std::string_view body = line.substr(1);
  // Some receivers end a sentence with "\r\r\n"; blanks after the checksum
  // are no part of it either.
  while (!body.empty() && (body.back() == '\r' || body.back() == ' ' || body.back() == '\t')) body.remove_suffix(1);
  const std::optional<std::string_view> checked = CheckedBody(body);
  if (!checked) return {};

  const Fields fields = SplitFields(*checked);
  const std::string_view address = fields.field[0];
  // Any talker (GP, GN, IN, HE, ...): the sentence type alone decides. 'P'
  // opens a proprietary sentence ($PGRMC, $PUBX), whose layout is the
  // maker's own, never a talker.
  if (address.size() != 5 || !IsUpper(address[0]) || !IsUpper(address[1]) || address[0] == 'P') return {};

  for (const SentenceDecoder& decoder : kDecoders) {
    if (address.substr(2) != decoder.id) continue;
    if (fields.count < decoder.minFields) return {};
    return decoder.decode(fields, gpsUse);
  }
  return {};
}

}  // namespace quarbe
