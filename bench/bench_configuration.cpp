// How long Configuration -> OK keeps the window's thread, whatever the GPS
// source does: the program's own window, built in this process on Qt's
// offscreen platform, its configuration dialog replaced by one that answers
// OK at once with the configuration unchanged, so that each OK stops the GPS
// source and starts it again. Timed from the call to its return:
//  - the GPS on a pseudo-terminal (the reader ends as soon as it is woken);
//  - gpsd at an address whose connection never completes (a listener with a
//    full accept queue, as a host dropping packets): the reader is inside
//    libgps's connect(), which nothing wakes, and must be let go.
// The picture named in the settings does not exist, so the figure is the
// devices' share alone. The requirement is 100 ms.

#include <QApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "context/profile_store.h"
#include "measure.h"
#include "support/daemons.h"
#include "ui/devices.h"
#include "ui/main_window.h"

namespace quarbe::bench {
namespace {

constexpr int kOks = 20;

void RunEventsFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Each OK's duration in milliseconds, on a window run on `settings`.
std::vector<double> TimeOks(const std::string& settings) {
  ScratchDir home;
  ProfileStore store(home.Write(kSettingsFile, settings + "[Compas]\nImage=/nonexistent/picture.emf\n"));
  CBearingDlg::Hooks hooks;
  hooks.message = [](QWidget*, const QString&, const QString&) {};
  hooks.editConfiguration = [](QWidget*, const Configuration& current) { return std::optional(current); };
  std::vector<double> samplesMs;
  CBearingDlg window(store, "", hooks);
  window.show();
  RunEventsFor(500);  // the window up, the GPS source started
  for (int i = 0; i < kOks; ++i) {
    const auto start = std::chrono::steady_clock::now();
    window.OpenConfiguration();
    samplesMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    RunEventsFor(50);  // the new source under way
  }
  return samplesMs;
}

void BM_ConfigurationOkWhateverTheGpsSource(benchmark::State& state) {
  for (auto _ : state) {
    const PseudoTerminal receiver;
    const std::vector<double> pty = TimeOks(SettingsFor(receiver.DevicePath(), ""));
    const testing_support::BlackholeListener gpsd;
    if (gpsd.Port() == 0) return state.SkipWithError("no hanging listener could be set up");
    const std::vector<double> hanging = TimeOks(SettingsFor("gpsd:127.0.0.1:" + std::to_string(gpsd.Port()), ""));
    state.counters["pty_median_ms"] = Percentile(pty, 0.5);
    state.counters["pty_max_ms"] = Percentile(pty, 1.0);
    state.counters["hanging_gpsd_median_ms"] = Percentile(hanging, 0.5);
    state.counters["hanging_gpsd_max_ms"] = Percentile(hanging, 1.0);
    std::printf(
        "Configuration -> OK, %d each (the requirement is 100 ms)\n"
        "  GPS on a pty        : median %.2f ms, max %.2f ms\n"
        "  gpsd not answering  : median %.2f ms, max %.2f ms\n",
        kOks, Percentile(pty, 0.5), Percentile(pty, 1.0), Percentile(hanging, 0.5), Percentile(hanging, 1.0));
  }
}
BENCHMARK(BM_ConfigurationOkWhateverTheGpsSource)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace quarbe::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The readers let go are still inside their connect(), as in the program:
  // ended the same way.
  if (quarbe::Devices::ThreadsLeftRunning()) {
    std::fflush(nullptr);
    std::_Exit(0);
  }
  return 0;
}
