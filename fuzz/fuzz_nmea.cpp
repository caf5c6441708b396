// Fuzzes the cutting of received bytes into lines and the decoding of each
// line. Two paths share the input:
//  - the raw bytes, framed in reads of varying sizes and decoded line by
//    line, as the reader does with whatever a device sends;
//  - one field of a well-formed RMC, GGA or heading sentence replaced by input bytes,
//    so that the field parsers are reached without the fuzzer first having
//    to discover the sentence layout.
// Every result is checked against the ranges the decoder promises.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "gps/line_framer.h"
#include "gps/nmea_decoder.h"

namespace {

using quarbe::AngleDms;
using quarbe::NmeaCourse;
using quarbe::NmeaHeading;
using quarbe::NmeaPosition;
using quarbe::NmeaResult;
using quarbe::NmeaTime;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckAngle(const AngleDms& angle, std::int32_t maxDegrees) {
  Check(angle.degrees >= 0 && angle.degrees <= maxDegrees);
  Check(angle.minutes >= 0 && angle.minutes < 60);
  Check(angle.seconds >= 0 && angle.seconds < 60);
  Check(angle.hemisphere == 0 || angle.hemisphere == 1);
}

void CheckTime(const std::optional<NmeaTime>& time) {
  Check(!time || (time->msOfDay >= 0 && time->msOfDay < (24 * 3600 + 1) * 1000));
}

// Decodes from a heap copy of exactly the line's size, so that any read past
// the line is an ASan report.
void Decode(std::string_view line, bool gpsUse) {
  const std::unique_ptr<char[]> copy(new char[line.size() == 0 ? 1 : line.size()]);
  for (std::size_t i = 0; i < line.size(); ++i) copy[i] = line[i];
  const NmeaResult result = quarbe::NmeaDecoder(std::string_view(copy.get(), line.size()), gpsUse);
  if (const auto* course = std::get_if<NmeaCourse>(&result)) {
    CheckTime(course->time);
    Check(!course->degrees || (*course->degrees >= 0 && *course->degrees <= 360));
    Check(!course->speedKn || (std::isfinite(*course->speedKn) && *course->speedKn >= 0.0));
    Check(!course->variationDeg || std::fabs(*course->variationDeg) <= 180.0);
  } else if (const auto* position = std::get_if<NmeaPosition>(&result)) {
    Check(gpsUse);
    CheckTime(position->time);
    CheckAngle(position->position.latitude, 89);
    CheckAngle(position->position.longitude, 179);
  } else if (const auto* heading = std::get_if<NmeaHeading>(&result)) {
    // A sensor heading of 0..360 with at most 180 of deviation.
    Check(heading->headingDeg >= -180.0 && heading->headingDeg <= 540.0);
    Check(!heading->variationDeg || std::fabs(*heading->variationDeg) <= 180.0);
  }
}

constexpr std::array<std::string_view, 8> kTemplates{
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
    "$GNRMC,135958.000,A,3505.55665,S,13852.35605,E,0.00,75.47,160524,,,A,V*2F",
    "$GNGGA,012413.00,4327.6782,N,07238.9898,W,1,05,4.66,430.1,M,,M,,*4B",
    "$HEHDT,205.0,T*28",
    "$GPTHS,77.52,E*34",
    "$HCHDG,101.1,0.5,E,7.1,W*52",
    "$IIHDG,98.3,,,,*7B",
};

// The template with field `fieldIndex` (counted from the sentence id)
// replaced by `replacement`, and its checksum made to hold again so that the
// decoder reads the fields instead of dropping the line.
std::string SpliceField(std::string_view line, std::size_t fieldIndex, std::string_view replacement) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < fieldIndex; ++i) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  std::size_t end = line.find_first_of(",*", start);
  if (end == std::string_view::npos) end = line.size();
  std::string spliced(line.substr(0, start));
  spliced.append(replacement);
  spliced.append(line.substr(end));
  const std::size_t star = spliced.rfind('*');
  if (star == std::string::npos || star + 3 != spliced.size()) return spliced;
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(spliced[i]);
  constexpr char kHex[] = "0123456789ABCDEF";
  spliced[star + 1] = kHex[sum >> 4];
  spliced[star + 2] = kHex[sum & 0xF];
  return spliced;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool gpsUse = (data[0] & 1) != 0;
  const std::size_t readSize = 1 + data[1] % 97;  // reads cut at many places
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  quarbe::LineFramer framer;
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::span<char> space = framer.FreeSpace();
    Check(space.size() > quarbe::LineFramer::kCapacity - quarbe::LineFramer::kMaxCarried);
    std::size_t chunk = std::min({readSize, space.size(), bytes.size() - offset});
    for (std::size_t i = 0; i < chunk; ++i) space[i] = bytes[offset + i];
    framer.Commit(chunk, [&](std::string_view line) {
      Check(!line.empty() && line.front() == '$' && line.find('\n') == std::string_view::npos);
      Decode(line, gpsUse);
    });
    Check(framer.Carried() < quarbe::LineFramer::kMaxCarried);
    offset += chunk;
  }

  Decode(bytes, gpsUse);

  const std::string_view line = kTemplates[(data[0] >> 1) % kTemplates.size()];
  const std::size_t fieldIndex = (data[0] >> 3) % 12;
  const std::size_t cut = bytes.find('\n');
  Decode(SpliceField(line, fieldIndex, bytes.substr(0, cut)), gpsUse);
  return 0;
}
