#pragma once
// The equipment settings the operator edits in the configuration dialog and
// the device names the program maps the port indexes to.

#include <array>
#include <cstdint>
#include <string>

#include "common/line_speed.h"
#include "common/settings_keys.h"

namespace quarbe {

// End-stop choice shown in the configuration dialog; derived, not stored.
enum class EndStopChoice : int { kAtNorth = 0, kAtSouth = 1, kOther = 2 };

inline constexpr int kSenseClockwise = 0;  // "Montre"
inline constexpr int kSenseInverse = 1;    // "Inverse"

// 0 -> "Nord", 180 -> "Sud", anything else -> "Autre".
constexpr EndStopChoice EndStopChoiceFor(std::uint32_t endStopDeg) {
  if (endStopDeg == 0) return EndStopChoice::kAtNorth;
  if (endStopDeg == 180) return EndStopChoice::kAtSouth;
  return EndStopChoice::kOther;
}

// The defaults are those of the settings keys.
struct Configuration {
  int gpsPort = keys::kGpsPort.defaultValue;          // 0 none, 1..4 COM1..COM4 (an edited store may hold others)
  int rotatorPort = keys::kRotatorPort.defaultValue;  // 0 none, 1..3 LPT1..LPT3 (others name no port)
  int rotationSense = keys::kRotationSense.defaultValue;
  std::uint32_t endStopDeg = keys::kEndStop.defaultValue;  // normally 0..359
  EndStopChoice endStopChoice = EndStopChoiceFor(keys::kEndStop.defaultValue);
  std::string picturePath{keys::kPicturePath.defaultValue};

  friend bool operator==(const Configuration&, const Configuration&) = default;
};

// Device names behind the port indexes, from the settings file's "Ports"
// section (read, never written).
struct PortMap {
  std::array<std::string, 4> serial = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
  std::array<std::string, 3> parallel = {"/dev/parport0", "/dev/parport1", "/dev/parport2"};
  int gpsBaud = kDefaultGpsBaud;

  // Device for a GPS port index: "" for 0 or a negative index; 1..4 from the
  // map; above 4, /dev/ttyS(n-1).
  std::string SerialDevice(int gpsPort) const {
    if (gpsPort <= 0) return {};
    if (gpsPort <= 4) return serial[static_cast<std::size_t>(gpsPort - 1)];
    return "/dev/ttyS" + std::to_string(gpsPort - 1);
  }

  // Device for a rotator port index: "" for 0 and for any index outside 1..3.
  std::string ParallelDevice(int rotatorPort) const {
    if (rotatorPort < 1 || rotatorPort > 3) return {};
    return parallel[static_cast<std::size_t>(rotatorPort - 1)];
  }
};

}  // namespace quarbe
