#include "geodesy/locator.h"

#include <cstdint>

namespace quarbe {

namespace {

// Half a sub-square plus half a second, so that truncating to whole seconds
// lands safely on the centre's second rather than one below it.
constexpr double kLongitudeCentreOffset = 0.041805555555555554;  // 1/24 + 1/7200
constexpr double kLatitudeCentreOffset = 0.020972222222222222;   // 1/48 + 1/7200
constexpr double kLongitudeSubSquare = 1.0 / 12.0;
constexpr double kLatitudeSubSquare = 1.0 / 24.0;

bool InRange(char c, char first, char last) { return c >= first && c <= last; }

AngleDms FromDecimal(double value, std::int32_t hemisphere) {
  AngleDms angle;
  angle.degrees = static_cast<std::int32_t>(value);
  angle.minutes = static_cast<std::int32_t>(60.0 * value) % 60;
  angle.seconds = static_cast<std::int32_t>(3600.0 * value) % 60;
  angle.hemisphere = hemisphere;
  return angle;
}

}  // namespace

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (unsigned char byte : text) {
    if ((byte & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::string EncodeLocator(const Position& position) {
  double latitude = DecimalDegreesFractionFirst(position.latitude);
  latitude = position.latitude.hemisphere == kSouth ? 90.0 - latitude : latitude + 90.0;

  double longitude = DecimalDegreesFractionFirst(position.longitude);
  if (position.longitude.hemisphere == kWest) {
    longitude = 180.0 - longitude;
    if (longitude < 0.0) longitude += 360.0;
  } else {
    longitude += 180.0;
    if (longitude >= 360.0) longitude -= 360.0;
  }

  const int lonWhole = static_cast<int>(longitude);
  const int latWhole = static_cast<int>(latitude);
  std::string locator(kLocatorLength, ' ');
  locator[0] = static_cast<char>('A' + lonWhole / 20);
  locator[1] = static_cast<char>('A' + latWhole / 10);
  locator[2] = static_cast<char>('0' + (lonWhole / 2) % 10);
  locator[3] = static_cast<char>('0' + latWhole % 10);
  locator[4] = static_cast<char>('A' + 12 * (lonWhole % 2) + static_cast<int>(12.0 * longitude) % 12);
  locator[5] = static_cast<char>('A' + static_cast<int>(24.0 * latitude) % 24);
  return locator;
}

DecodedLocator DecodeLocator(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (CharacterCount(text) != kLocatorLength) return LocatorError::kWrongLength;
  // Six characters, one of them multi-byte, cannot be of the accepted form.
  if (text.size() != kLocatorLength || !InRange(text[0], 'A', 'R') || !InRange(text[1], 'A', 'R') ||
      !InRange(text[2], '0', '9') || !InRange(text[3], '0', '9') || !InRange(text[4], 'A', 'X') ||
      !InRange(text[5], 'A', 'X')) {
    return LocatorError::kWrongForm;
  }

  Position position;
  double longitude = 20 * (text[0] - 'A') + 2 * (text[2] - '0') + (text[4] - 'A') * kLongitudeSubSquare +
                     kLongitudeCentreOffset;
  std::int32_t lonHemisphere = kEast;
  if (longitude < 180.0) {
    lonHemisphere = kWest;
    longitude = 180.0 - longitude;
  } else {
    longitude -= 180.0;
  }
  double latitude =
      10 * (text[1] - 'A') + (text[3] - '0') + (text[5] - 'A') * kLatitudeSubSquare + kLatitudeCentreOffset;
  std::int32_t latHemisphere = kNorth;
  if (latitude < 90.0) {
    latHemisphere = kSouth;
    latitude = 90.0 - latitude;
  } else {
    latitude -= 90.0;
  }
  position.longitude = FromDecimal(longitude, lonHemisphere);
  position.latitude = FromDecimal(latitude, latHemisphere);
  return position;
}

}  // namespace quarbe
