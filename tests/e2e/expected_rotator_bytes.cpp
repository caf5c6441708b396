// Prints what the program must send to the rotator for a recorded drive:
//   expected_rotator_bytes [--local LOC] [--dest LOC] [--end-stop DEG] [--sense 0|1] LOG
// One line per computation that wrote a byte:
//   S <byte> <relative azimuth>            at start-up
//   F <byte> <relative azimuth> <heading> <local locator> <heading source>
//                                          for a GPS fix; the source is one of
//                                          initial, course, held, sensor
// then "L <local locator>" with the vehicle's last locator. The end-to-end
// test and the demo read this.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tests/e2e/drive_expectation.h"

namespace {

const char* SourceName(quarbe::HeadingSource source) {
  switch (source) {
    case quarbe::HeadingSource::kInitial: return "initial";
    case quarbe::HeadingSource::kCourse: return "course";
    case quarbe::HeadingSource::kHeld: return "held";
    case quarbe::HeadingSource::kSensor: return "sensor";
  }
  return "?";
}

int Usage() {
  std::fputs("usage: expected_rotator_bytes [--local LOC] [--dest LOC] [--end-stop DEG] [--sense 0|1] LOG\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string local = "JN18AP";
  std::string dest = "JN08WV";
  std::string logPath;
  quarbe::Configuration configuration;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--local" && hasValue) {
      local = argv[++i];
    } else if (arg == "--dest" && hasValue) {
      dest = argv[++i];
    } else if (arg == "--end-stop" && hasValue) {
      configuration.endStopDeg = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--sense" && hasValue) {
      configuration.rotationSense = std::atoi(argv[++i]);
    } else if (!arg.empty() && arg[0] != '-' && logPath.empty()) {
      logPath = arg;
    } else {
      return Usage();
    }
  }
  if (logPath.empty()) return Usage();
  std::ifstream in(logPath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "expected_rotator_bytes: cannot read %s\n", logPath.c_str());
    return 1;
  }
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  quarbe::e2e::DriveState state;
  for (const auto& step : quarbe::e2e::StartUp(local, dest, configuration, state)) {
    if (step.rotatorByte) std::printf("S %u %d\n", unsigned{*step.rotatorByte}, step.result.relativeAzimuthDeg);
  }
  for (const auto& step : quarbe::e2e::Drive(log, configuration, state)) {
    if (step.rotatorByte) {
      std::printf("F %u %d %d %s %s\n", unsigned{*step.rotatorByte}, step.result.relativeAzimuthDeg,
                  step.headingDeg, step.localLocator.c_str(), SourceName(step.headingSource));
    }
  }
  std::printf("L %s\n", state.local.locator.c_str());
  return 0;
}
