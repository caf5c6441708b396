#pragma once
// What an entry of the settings file's [Ports] section names: a device path
// (the classic serial and parallel ports), the gpsd daemon for a COM entry,
// or a rotator driven through Hamlib for an LPT entry.
//
//   COMn=gpsd                      gpsd on localhost, port 2947
//   COMn=gpsd:HOST:PORT            gpsd elsewhere ("[::1]" for an IPv6 literal)
//   LPTn=hamlib:MODEL:DEVICE       a Hamlib rotator model (as `rotctl -l` lists it)
//   LPTn=hamlib:MODEL:DEVICE:SPEED on a serial DEVICE at SPEED baud
//   LPTn=hamlib:MODEL:DEVICE[:SPEED]:NAME=VALUE[,NAME=VALUE...]
//                                  with Hamlib settings, as rotctld's -C takes
//                                  them (min_az=0,max_az=450)
//
// Model 2 with DEVICE HOST:PORT is a rotctld daemon. The keywords are matched
// without regard to case; anything that does not start with one is a device
// path, taken as it stands.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quarbe {

struct DevicePath {
  std::string path;

  friend bool operator==(const DevicePath&, const DevicePath&) = default;
};

inline constexpr std::string_view kDefaultGpsdHost = "localhost";
inline constexpr std::string_view kDefaultGpsdPort = "2947";

struct GpsdAddress {
  std::string host{kDefaultGpsdHost};
  std::string port{kDefaultGpsdPort};  // decimal, 1..65535

  friend bool operator==(const GpsdAddress&, const GpsdAddress&) = default;
};

// Hamlib's rotctld daemon client model.
inline constexpr int kHamlibNetworkModel = 2;

// One of Hamlib's configuration settings for a rotator ("max_az", "450"),
// given to it before the rotator is opened.
struct HamlibSetting {
  std::string name;
  std::string value;

  friend bool operator==(const HamlibSetting&, const HamlibSetting&) = default;
};

struct HamlibAddress {
  int model = 0;           // Hamlib rotator model number, 1 or more
  std::string device;      // a device path, or HOST:PORT
  std::int32_t speedBaud = 0;  // 0: the model's default speed
  std::vector<HamlibSetting> settings{};  // in the order written

  friend bool operator==(const HamlibAddress&, const HamlibAddress&) = default;
};

// An entry that names neither a device nor one of the forms above: what is
// wrong with it, and the part at fault where there is one.
struct PortEntryError {
  enum class Problem {
    kMissingGpsdPort,        // gpsd:HOST
    kMissingGpsdHost,        // gpsd::PORT
    kBadGpsdPort,            // part: not a TCP port number
    kMissingModelAndDevice,  // hamlib
    kBadModel,               // part: not a Hamlib model number
    kMissingDevice,          // hamlib:MODEL
    kBadSpeed,               // part: not a line speed
    kBadHamlibSetting,       // part: not NAME=VALUE
    kHamlibForGps,           // a COM entry naming a Hamlib rotator
    kGpsdForRotator,         // an LPT entry naming gpsd
  };
  Problem problem;
  std::string part{};

  friend bool operator==(const PortEntryError&, const PortEntryError&) = default;
};

// The highest TCP port number an entry may give.
inline constexpr std::int64_t kMaxTcpPort = 65535;

using GpsPortEntry = std::variant<DevicePath, GpsdAddress, PortEntryError>;
using RotatorPortEntry = std::variant<DevicePath, HamlibAddress, PortEntryError>;

// A COM entry. An empty entry is a device path "" (no device).
GpsPortEntry ParseGpsPortEntry(std::string_view entry);

// An LPT entry.
RotatorPortEntry ParseRotatorPortEntry(std::string_view entry);

// "HOST:PORT" as shown to the operator ("[::1]:2947" for an IPv6 literal).
std::string GpsdAddressText(const GpsdAddress& address);

}  // namespace quarbe
