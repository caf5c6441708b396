// Settings file figures: the largest file the program reads (1 MiB), read as
// at start-up (the configuration, the locators and the [Ports] section) and
// its [Ports] entry worded as the window's message. Once as one long entry,
// once as half a million short lines: each read scans the file once, so
// both stay a small fraction of a second.

#include <benchmark/benchmark.h>

#include <string>
#include <variant>

#include "common/port_entry.h"
#include "context/profile_store.h"
#include "measure.h"
#include "ui/operator_texts.h"

namespace quarbe {
namespace {

constexpr std::size_t kFileBytes = 1000 * 1000;

void ReadAsAtStartup(benchmark::State& state, const std::string& settings) {
  const bench::ScratchDir home;
  const std::string path = home.Write(bench::kSettingsFile, settings);
  for (auto _ : state) {
    const ProfileStore store(path);
    benchmark::DoNotOptimize(LoadConfiguration(store));
    benchmark::DoNotOptimize(store.Read(keys::kLocalLocator));
    benchmark::DoNotOptimize(store.Read(keys::kCorrespondentLocator));
    const PortMap ports = LoadPortMap(store);
    std::string message;
    const RotatorPortEntry entry = ParseRotatorPortEntry(ports.parallel[0]);
    if (const auto* error = std::get_if<PortEntryError>(&entry)) {
      message = Word(RotatorFailure{PortEntryFailure{"LPT1", ports.parallel[0], *error}}).text;
    }
    benchmark::DoNotOptimize(message);
  }
}

void BM_SettingsWithLongPortsEntry(benchmark::State& state) {
  ReadAsAtStartup(state, "[Ports]\nLPT1=hamlib:" + std::string(kFileBytes, 'x') + "\n");
}
BENCHMARK(BM_SettingsWithLongPortsEntry)->Unit(benchmark::kMillisecond);

void BM_SettingsOfShortLines(benchmark::State& state) {
  std::string settings = "[Ports]\n";
  while (settings.size() < kFileBytes) settings += "x\n";
  ReadAsAtStartup(state, settings);
}
BENCHMARK(BM_SettingsOfShortLines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarbe

BENCHMARK_MAIN();
