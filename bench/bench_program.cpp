// The whole program measured from outside, as an operator's machine runs it:
// the quarbe binary on the offscreen platform, its GPS on a pseudo-terminal
// and its rotator on a FIFO, both named in its settings file.
//  - What it costs while nothing happens, beside a plain Qt dialog with a
//    focused line edit started at the same time and measured over the same
//    30 seconds: processor time and wake-ups of each, and their ratios.
//  - How long a fix takes through the whole program: from the last byte of
//    a GGA sentence written on the GPS line to the rotator byte read from
//    the FIFO (reader thread, hand-off to the window's thread, bearing,
//    rotator output).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "measure.h"

namespace quarbe::bench {
namespace {

using namespace std::chrono_literals;

constexpr auto kIdleWindow = 30s;
constexpr auto kStartPatience = 10s;

void BM_IdleBesideAPlainDialog(benchmark::State& state) {
  ScratchDir home;
  PseudoTerminal gps;
  RotatorFifo rotator(home.File("lpt1"));
  home.Write(kSettingsFile, SettingsFor(gps.DevicePath(), rotator.Path()));
  ScratchDir dialogHome;
  ChildProcess quarbe({QUARBE_PROGRAM}, OffscreenIn(home));
  ChildProcess dialog({QUARBE_REFERENCE_DIALOG}, OffscreenIn(dialogHome));
  // The start-up computation with both stations known reaches the rotator
  // once the window is up.
  if (!quarbe.Started() || !dialog.Started() || rotator.WaitForBytes(1, kStartPatience) != 1) {
    state.SkipWithError("the program or the dialog did not start");
    return;
  }
  std::this_thread::sleep_for(3s);  // both past their start-up
  for (auto _ : state) {
    const auto quarbeBefore = ReadProcessCost(quarbe.Pid());
    const auto dialogBefore = ReadProcessCost(dialog.Pid());
    std::this_thread::sleep_for(kIdleWindow);
    const auto quarbeAfter = ReadProcessCost(quarbe.Pid());
    const auto dialogAfter = ReadProcessCost(dialog.Pid());
    if (!quarbeBefore || !dialogBefore || !quarbeAfter || !dialogAfter) {
      state.SkipWithError("a process ended during the measurement");
      return;
    }
    const ProcessCost q = *quarbeAfter - *quarbeBefore;
    const ProcessCost d = *dialogAfter - *dialogBefore;
    state.counters["quarbe_cpu_ms"] = q.cpuSeconds * 1e3;
    state.counters["dialog_cpu_ms"] = d.cpuSeconds * 1e3;
    state.counters["cpu_ratio"] = d.cpuSeconds > 0 ? q.cpuSeconds / d.cpuSeconds : 0.0;
    state.counters["quarbe_wakeups"] = static_cast<double>(q.voluntarySwitches);
    state.counters["dialog_wakeups"] = static_cast<double>(d.voluntarySwitches);
    state.counters["wakeup_ratio"] =
        d.voluntarySwitches > 0 ? static_cast<double>(q.voluntarySwitches) / static_cast<double>(d.voluntarySwitches)
                                : 0.0;
  }
}
BENCHMARK(BM_IdleBesideAPlainDialog)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);

void BM_FixLatencyThroughTheProgram(benchmark::State& state) {
  ScratchDir home;
  PseudoTerminal gps;
  RotatorFifo rotator(home.File("lpt1"));
  home.Write(kSettingsFile, SettingsFor(gps.DevicePath(), rotator.Path()));
  ChildProcess quarbe({QUARBE_PROGRAM}, OffscreenIn(home));
  if (!quarbe.Started() || rotator.WaitForBytes(1, kStartPatience) != 1) {
    state.SkipWithError("the program did not start");
    return;
  }
  std::this_thread::sleep_for(1s);  // the reader opens the line

  // Two positions near JN18AP, so that consecutive fixes differ.
  const std::string sentences[2] = {
      "$GPGGA,123519,4838.751,N,00202.501,E,1,08,0.9,545.4,M,46.9,M,,*45\r\n",
      "$GNGGA,123519.00,4840.19039,N,00203.71662,E,1,11,0.80,93.0,M,46.9,M,,*79\r\n",
  };
  // The first fixes lock the GPS fields and move the focus: not measured.
  for (int i = 0; i < 20; ++i) {
    gps.Send(sentences[i % 2]);
    if (!rotator.ReadByte(2s)) {
      state.SkipWithError("no rotator byte for a fix");
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
  rotator.Drain();

  std::vector<double> samplesUs;
  const auto costBefore = ReadProcessCost(quarbe.Pid());
  for (auto _ : state) {
    const std::string& sentence = sentences[samplesUs.size() % 2];
    // Everything but the line feed first: the program takes it in and waits
    // for the rest, as it does for a sentence arriving at 4800 baud.
    gps.Send(std::string_view(sentence).substr(0, sentence.size() - 1));
    std::this_thread::sleep_for(3ms);
    const auto start = std::chrono::steady_clock::now();
    gps.Send("\n");
    if (!rotator.ReadByte(1s)) {
      state.SkipWithError("no rotator byte for a fix");
      return;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    samplesUs.push_back(elapsed.count() * 1e6);
    // About a hundred fixes a second, ten times what receivers send.
    std::this_thread::sleep_for(7ms);
  }
  const auto costAfter = ReadProcessCost(quarbe.Pid());
  if (costBefore && costAfter && !samplesUs.empty())
    state.counters["program_cpu_per_fix_us"] = (*costAfter - *costBefore).cpuSeconds * 1e6 / static_cast<double>(samplesUs.size());
  state.counters["median_us"] = Percentile(samplesUs, 0.5);
  state.counters["p99_us"] = Percentile(samplesUs, 0.99);
  state.counters["max_us"] = samplesUs.empty() ? 0.0 : *std::max_element(samplesUs.begin(), samplesUs.end());
  state.counters["fixes"] = static_cast<double>(samplesUs.size());
  state.counters["extra_bytes"] = static_cast<double>(rotator.Drain());
}
BENCHMARK(BM_FixLatencyThroughTheProgram)
    ->Iterations(1000)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quarbe::bench

BENCHMARK_MAIN();
