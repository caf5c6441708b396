// Command-line front used until the window exists: prints the distance and
// azimuths between two locators.
#include <cstdio>
#include <string>

#include "geodesy/bearing.h"
#include "geodesy/locator.h"

int main(int argc, char** argv) {
  std::string local = argc > 1 ? argv[1] : "JN18AP";
  std::string corr = argc > 2 ? argv[2] : "JN08WV";
  const auto decodedLocal = quarbe::DecodeLocator(local);
  const auto decodedCorr = quarbe::DecodeLocator(corr);
  for (const auto* decoded : {&decodedLocal, &decodedCorr}) {
    if (const auto* error = std::get_if<quarbe::LocatorError>(decoded)) {
      std::fprintf(stderr, "%s\n", std::string(quarbe::LocatorErrorMessage(*error)).c_str());
      return 1;
    }
  }
  quarbe::BearingResult result;
  quarbe::ComputeBearing(std::get<quarbe::Position>(decodedLocal), std::get<quarbe::Position>(decodedCorr), 0,
                         result);
  std::printf("%s -> %s: %.1f km, azimut %d, son azimut %d\n", local.c_str(), corr.c_str(), result.distanceKm,
              result.trueAzimuthDeg, result.reverseAzimuthDeg);
  return 0;
}
