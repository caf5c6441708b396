#pragma once
// What the program must do with a recorded drive, worked out independently of
// the program's window and threads: the rotator bytes written at start-up
// (both locators committed) and for every applied GPS fix, computed with the
// same geodesy, decoder and rotator byte the program uses.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/configuration.h"
#include "geodesy/bearing.h"
#include "geodesy/station.h"

namespace quarbe::e2e {

// One computation and what it sent to the rotator (nothing when the bearing
// stopped before the azimuths or the port index names no port).
struct Computation {
  Position local;
  std::string localLocator;
  std::int32_t headingDeg = 0;
  BearingResult result;
  std::optional<std::uint8_t> rotatorByte;
};

// The state a run carries from start-up into the drive.
struct DriveState {
  StationRecord local;
  StationRecord correspondent;
  std::int32_t headingDeg = 0;
  BearingResult result;
};

// Start-up: both stations start at 0 with no hemisphere and the heading at 0;
// the local locator is committed, then the correspondent's. A locator that is
// refused, or that already names the sub-square of the station's (zero)
// coordinates, computes nothing. Returns the computations in order and leaves
// the state in `state`.
std::vector<Computation> StartUp(std::string_view localLocator, std::string_view correspondentLocator,
                                 const Configuration& configuration, DriveState& state);

// The drive: the log's bytes are cut into lines as the serial reader cuts
// them, every line decoded with GPS use on; an RMC course becomes the held
// course (starting from the state's heading), a GGA position moves the local
// station, re-encodes its locator, sets the heading to the held course and
// computes. One computation per applied position.
std::vector<Computation> Drive(std::string_view logBytes, const Configuration& configuration, DriveState& state);

// The relative azimuth a rotator byte stands for, the inverse of the byte
// arithmetic: whole degrees in 0..359 (one byte step is 1.40625 degrees, so
// this is the lower edge of the byte's span).
std::int32_t AzimuthForByte(std::uint8_t byte, const Configuration& configuration);

}  // namespace quarbe::e2e
