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
#include "gps/fix_handoff.h"
#include "gps/heading_rule.h"

namespace quarbe::e2e {

// One computation and what it sent to the rotator (nothing when the bearing
// stopped before the azimuths, a station's position is not known yet, or the
// port index names no port).
struct Computation {
  Position local;
  std::string localLocator;
  std::int32_t headingDeg = 0;
  HeadingSource headingSource = HeadingSource::kInitial;
  BearingResult result;
  std::optional<std::uint8_t> rotatorByte;
};

// The state a run carries from start-up into the drive.
struct DriveState {
  StationRecord local;
  StationRecord correspondent;
  bool localKnown = false;
  bool correspondentKnown = false;
  std::int32_t headingDeg = 0;
  BearingResult result;
};

// Start-up: both stations start at 0 with no hemisphere and the heading at 0;
// the local locator is committed, then the correspondent's. A locator that is
// refused, or that already names the sub-square of the station's (zero)
// coordinates, computes nothing; a valid one makes its station known, and
// only a computation with both known drives the rotator. Returns the
// computations in order and leaves the state in `state`.
std::vector<Computation> StartUp(std::string_view localLocator, std::string_view correspondentLocator,
                                 const Configuration& configuration, DriveState& state);

// The fixes the serial reader hands on for a log, starting from the heading
// given: the log's bytes cut into lines as the reader cuts them, every line
// decoded with GPS use on and put together into fixes (nmea_fix_assembler.h),
// each line taken as received at the time of the latest RMC or GGA before
// it, as a receiver sends it in real time.
std::vector<GpsFix> ReceivedFixes(std::string_view logBytes, std::int32_t initialHeadingDeg);

// The drive: each of ReceivedFixes (from the state's heading) moves the local
// station, re-encodes its locator, sets the heading and computes. One
// computation per applied position.
std::vector<Computation> Drive(std::string_view logBytes, const Configuration& configuration, DriveState& state);

// The relative azimuth a rotator byte stands for, the inverse of the byte
// arithmetic: whole degrees in 0..359 (one byte step is 1.40625 degrees, so
// this is the lower edge of the byte's span).
std::int32_t AzimuthForByte(std::uint8_t byte, const Configuration& configuration);

}  // namespace quarbe::e2e
