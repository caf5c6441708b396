#include "tests/e2e/drive_expectation.h"

#include <chrono>
#include <optional>
#include <variant>

#include "geodesy/locator.h"
#include "gps/line_framer.h"
#include "gps/nmea_decoder.h"
#include "gps/nmea_fix_assembler.h"
#include "rotator/rotator_port.h"

namespace quarbe::e2e {
namespace {

Computation Compute(DriveState& state, const Configuration& configuration) {
  Computation step;
  const bool azimuths = ComputeBearing(state.local.position, state.correspondent.position, state.headingDeg,
                                       state.result);
  if (azimuths && state.localKnown && state.correspondentKnown) {
    step.rotatorByte = RotatorByte(state.result.relativeAzimuthDeg, configuration);
  }
  step.local = state.local.position;
  step.localLocator = state.local.locator;
  step.headingDeg = state.headingDeg;
  step.result = state.result;
  return step;
}

// Commits a station's locator text as the window does at start-up; returns
// whether it computed.
bool CommitLocator(StationRecord& station, bool& known, std::string_view text, DriveState& state,
                   const Configuration& configuration, std::vector<Computation>& out) {
  station.locator = std::string(text);
  const DecodedLocator decoded = DecodeLocator(station.locator);
  const auto* position = std::get_if<Position>(&decoded);
  if (position == nullptr) return false;
  known = true;
  if (EncodeLocator(station.position) == station.locator) return false;
  station.position = *position;
  out.push_back(Compute(state, configuration));
  return true;
}

}  // namespace

std::vector<Computation> StartUp(std::string_view localLocator, std::string_view correspondentLocator,
                                 const Configuration& configuration, DriveState& state) {
  state = DriveState{};
  std::vector<Computation> out;
  CommitLocator(state.local, state.localKnown, localLocator, state, configuration, out);
  CommitLocator(state.correspondent, state.correspondentKnown, correspondentLocator, state, configuration, out);
  return out;
}

std::vector<GpsFix> ReceivedFixes(std::string_view logBytes, std::int32_t initialHeadingDeg) {
  std::vector<GpsFix> fixes;
  NmeaFixAssembler assembler(initialHeadingDeg);
  // The log's own clock: a day's milliseconds from its fix times.
  NmeaFixAssembler::Clock::time_point now{};
  LineFramer framer;
  framer.Feed(logBytes, [&](std::string_view line) {
    const NmeaResult decoded = NmeaDecoder(line, true);
    std::optional<NmeaTime> time;
    if (const auto* course = std::get_if<NmeaCourse>(&decoded)) time = course->time;
    if (const auto* position = std::get_if<NmeaPosition>(&decoded)) time = position->time;
    if (time) now = NmeaFixAssembler::Clock::time_point{} + std::chrono::milliseconds(time->msOfDay);
    if (const auto fix = assembler.Expire(now)) fixes.push_back(*fix);
    for (const GpsFix& fix : assembler.Take(decoded, now)) fixes.push_back(fix);
  });
  if (const auto fix = assembler.Release()) fixes.push_back(*fix);
  return fixes;
}

std::vector<Computation> Drive(std::string_view logBytes, const Configuration& configuration, DriveState& state) {
  std::vector<Computation> out;
  for (const GpsFix& fix : ReceivedFixes(logBytes, state.headingDeg)) {
    state.local.position = fix.position;
    state.local.locator = EncodeLocator(fix.position);
    state.localKnown = true;
    state.headingDeg = fix.headingDeg;
    out.push_back(Compute(state, configuration));
    out.back().headingSource = fix.headingSource;
  }
  return out;
}

std::int32_t AzimuthForByte(std::uint8_t byte, const Configuration& configuration) {
  std::uint32_t steps = byte;
  if (configuration.rotationSense == kSenseInverse) steps = (256u - steps) % 256u;
  // Lower edge of the byte's span, in degrees from the end stop: the smallest
  // whole degree d with d * 256 / 360 >= steps.
  const std::uint32_t fromEndStop = (steps * 360u + 255u) / 256u;
  const std::uint32_t endStop = configuration.endStopDeg % 360u;
  return static_cast<std::int32_t>((fromEndStop + 360u - endStop) % 360u);
}

}  // namespace quarbe::e2e
