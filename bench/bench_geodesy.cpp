// Locator codec and bearing, each beside the library calls that do the same
// job, on one fixed set of station pairs.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <hamlib/rotator.h>

#include "geodesy/bearing.h"
#include "geodesy/locator.h"

namespace {

using quarbe::Position;

const std::array<const char*, 16> kLocators = {"JN18AP", "JN08WV", "FN31PR", "IO91WM", "QF56OD", "AA00AA",
                                               "RR99XX", "KP20LE", "PM95VQ", "GG66RM", "EM12KW", "DM79LR",
                                               "JO62QM", "KN23WV", "BL11BH", "RE78IR"};

std::vector<Position> DecodedPositions() {
  std::vector<Position> positions;
  for (const char* locator : kLocators) {
    std::string text = locator;
    positions.push_back(std::get<Position>(quarbe::DecodeLocator(text)));
  }
  return positions;
}

double SignedDegrees(const quarbe::AngleDms& angle) {
  const double degrees = angle.degrees + angle.minutes / 60.0 + angle.seconds / 3600.0;
  return angle.hemisphere == 1 ? -degrees : degrees;
}

void BM_DecodeLocator(benchmark::State& state) {
  std::array<std::string, kLocators.size()> texts;
  for (auto _ : state) {
    for (std::size_t i = 0; i < kLocators.size(); ++i) {
      texts[i] = kLocators[i];
      benchmark::DoNotOptimize(quarbe::DecodeLocator(texts[i]));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLocators.size()));
}
BENCHMARK(BM_DecodeLocator);

void BM_Hamlib_locator2longlat(benchmark::State& state) {
  double longitude = 0.0;
  double latitude = 0.0;
  for (auto _ : state) {
    for (const char* locator : kLocators) {
      benchmark::DoNotOptimize(locator2longlat(&longitude, &latitude, locator));
      benchmark::DoNotOptimize(longitude);
      benchmark::DoNotOptimize(latitude);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLocators.size()));
}
BENCHMARK(BM_Hamlib_locator2longlat);

void BM_EncodeLocator(benchmark::State& state) {
  const std::vector<Position> positions = DecodedPositions();
  for (auto _ : state) {
    for (const Position& position : positions) {
      benchmark::DoNotOptimize(quarbe::EncodeLocator(position));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(positions.size()));
}
BENCHMARK(BM_EncodeLocator);

void BM_Hamlib_longlat2locator(benchmark::State& state) {
  std::vector<std::array<double, 2>> points;
  for (const Position& position : DecodedPositions()) {
    points.push_back({SignedDegrees(position.longitude), SignedDegrees(position.latitude)});
  }
  char locator[16];
  for (auto _ : state) {
    for (const auto& point : points) {
      benchmark::DoNotOptimize(longlat2locator(point[0], point[1], locator, 3));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size()));
}
BENCHMARK(BM_Hamlib_longlat2locator);

void BM_ComputeBearing(benchmark::State& state) {
  const std::vector<Position> positions = DecodedPositions();
  quarbe::BearingResult result;
  for (auto _ : state) {
    for (std::size_t i = 0; i + 1 < positions.size(); ++i) {
      benchmark::DoNotOptimize(quarbe::ComputeBearing(positions[i], positions[i + 1], 45, result));
      benchmark::DoNotOptimize(result);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(positions.size() - 1));
}
BENCHMARK(BM_ComputeBearing);

// Two calls, one each way: the same distance and both azimuths.
void BM_Hamlib_qrb_both_ways(benchmark::State& state) {
  std::vector<std::array<double, 2>> points;
  for (const Position& position : DecodedPositions()) {
    points.push_back({SignedDegrees(position.longitude), SignedDegrees(position.latitude)});
  }
  double distance = 0.0;
  double azimuth = 0.0;
  for (auto _ : state) {
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
      benchmark::DoNotOptimize(
          qrb(points[i][0], points[i][1], points[i + 1][0], points[i + 1][1], &distance, &azimuth));
      benchmark::DoNotOptimize(
          qrb(points[i + 1][0], points[i + 1][1], points[i][0], points[i][1], &distance, &azimuth));
      benchmark::DoNotOptimize(distance);
      benchmark::DoNotOptimize(azimuth);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(points.size() - 1));
}
BENCHMARK(BM_Hamlib_qrb_both_ways);

}  // namespace

int main(int argc, char** argv) {
  // The library logs each call to stderr unless told not to; silence it so
  // the comparison measures the arithmetic, not the terminal.
  rig_set_debug(RIG_DEBUG_NONE);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
