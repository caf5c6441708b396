// How long the program takes to end when the session asks it to: from
// SIGTERM to the moment the process has exited (window closed, GPS reader
// stopped, settings written), the way a desktop session or `kill` ends it.
//
// The real program runs on the offscreen platform with a scratch settings
// file, no GPS port and no rotator port, several times; a plain Qt dialog is
// started and stopped the same way in the same run, alternating with it. The
// dialog keeps SIGTERM's default action, so the kernel ends it at once: its
// time is the floor, what tearing down a Qt process costs at all. Then a few
// runs with the GPS on a pseudo-terminal, whose reader must also stop, and a
// few with devices that hang: gpsd and rotctld entries naming addresses whose
// connections never complete (listeners with a full accept queue, as a host
// dropping packets), so libgps and Hamlib are inside a connect() nothing
// wakes. The program must end within 1.5 s all the same.
//
// Each process is signalled only once it is settled: its SIGTERM handler
// installed (the program's) and no processor time spent for a while, so the
// window is up and waiting.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "measure.h"
#include "support/daemons.h"

namespace quarbe::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::CatchesSigterm;

constexpr int kRuns = 7;
constexpr int kRunsWithGps = 3;
constexpr int kRunsWithHangingDevices = 3;
constexpr auto kSettlePatience = 20s;
constexpr auto kExitPatience = 10s;
// Settled: this many looks in a row, kLookInterval apart, each finding less
// than kQuietCpu spent since the one before (a caret blink costs far less).
constexpr int kQuietLooks = 3;
constexpr auto kLookInterval = 100ms;
constexpr double kQuietCpuSeconds = 0.002;

bool WaitUntilSettled(ChildProcess& process, bool handlesSigterm) {
  const auto deadline = Clock::now() + kSettlePatience;
  std::optional<ProcessCost> last;
  int quiet = 0;
  while (Clock::now() < deadline && quiet < kQuietLooks) {
    std::this_thread::sleep_for(kLookInterval);
    if (!process.Alive()) return false;
    const std::optional<ProcessCost> now = ReadProcessCost(process.Pid());
    if (!now) return false;
    const bool ready = !handlesSigterm || CatchesSigterm(process.Pid());
    quiet = ready && last && (*now - *last).cpuSeconds < kQuietCpuSeconds ? quiet + 1 : 0;
    last = now;
  }
  return quiet >= kQuietLooks;
}

struct Shutdown {
  double ms = 0.0;
  int status = 0;
};

// Starts `program` in a fresh home with `settings` (none when empty), waits
// until it is settled, sends SIGTERM to it alone and times until it has
// exited. Nothing when it did not settle or did not end within the patience.
std::optional<Shutdown> TimeShutdown(const std::string& program, const std::string& settings, bool handlesSigterm) {
  ScratchDir home;
  if (!settings.empty()) home.Write(kSettingsFile, settings);
  ChildProcess process({program}, OffscreenIn(home));
  if (!process.Started() || !WaitUntilSettled(process, handlesSigterm)) return std::nullopt;
  const Clock::time_point signalled = Clock::now();
  process.Signal(SIGTERM);
  const std::optional<int> status = process.WaitForExit(kExitPatience);
  const Clock::time_point ended = Clock::now();
  if (!status) return std::nullopt;
  return Shutdown{std::chrono::duration<double, std::milli>(ended - signalled).count(), *status};
}

bool EndedCleanly(const Shutdown& run) { return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0; }
bool KilledBySigterm(const Shutdown& run) { return WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGTERM; }

void BM_SigtermToExitBesideAPlainDialog(benchmark::State& state) {
  for (auto _ : state) {
    const std::string bare = SettingsFor("", "");
    std::vector<double> programMs;
    std::vector<double> dialogMs;
    for (int i = 0; i < kRuns; ++i) {
      const auto program = TimeShutdown(QUARBE_PROGRAM, bare, true);
      if (!program || !EndedCleanly(*program)) return state.SkipWithError("the program did not settle or end cleanly");
      programMs.push_back(program->ms);
      const auto dialog = TimeShutdown(QUARBE_REFERENCE_DIALOG, {}, false);
      if (!dialog || !KilledBySigterm(*dialog)) return state.SkipWithError("the dialog did not settle or end");
      dialogMs.push_back(dialog->ms);
    }

    // The GPS on a pseudo-terminal, its reader waiting on a silent line.
    std::vector<double> withGpsMs;
    for (int i = 0; i < kRunsWithGps; ++i) {
      const PseudoTerminal receiver;
      const auto program = TimeShutdown(QUARBE_PROGRAM, SettingsFor(receiver.DevicePath(), ""), true);
      if (!program || !EndedCleanly(*program)) return state.SkipWithError("the program with a GPS did not end cleanly");
      withGpsMs.push_back(program->ms);
    }

    // gpsd and rotctld that never answer a connection.
    std::vector<double> hangingMs;
    for (int i = 0; i < kRunsWithHangingDevices; ++i) {
      const testing_support::BlackholeListener gpsd;
      const testing_support::BlackholeListener rotctld;
      if (gpsd.Port() == 0 || rotctld.Port() == 0) return state.SkipWithError("no hanging listener could be set up");
      const std::string settings = SettingsFor("gpsd:127.0.0.1:" + std::to_string(gpsd.Port()),
                                               "hamlib:2:127.0.0.1:" + std::to_string(rotctld.Port()));
      const auto program = TimeShutdown(QUARBE_PROGRAM, settings, true);
      if (!program || !EndedCleanly(*program)) {
        return state.SkipWithError("the program with hanging devices did not end cleanly");
      }
      hangingMs.push_back(program->ms);
    }

    const double programMedian = Percentile(programMs, 0.5);
    const double dialogMedian = Percentile(dialogMs, 0.5);
    const double ratio = dialogMedian > 0 ? programMedian / dialogMedian : 0.0;
    const double withGpsMedian = Percentile(withGpsMs, 0.5);
    const double withGpsMax = *std::max_element(withGpsMs.begin(), withGpsMs.end());
    state.counters["program_median_ms"] = programMedian;
    state.counters["program_max_ms"] = *std::max_element(programMs.begin(), programMs.end());
    state.counters["dialog_median_ms"] = dialogMedian;
    state.counters["median_ratio"] = ratio;
    state.counters["with_gps_median_ms"] = withGpsMedian;
    state.counters["with_gps_max_ms"] = withGpsMax;
    state.counters["hanging_devices_median_ms"] = Percentile(hangingMs, 0.5);
    state.counters["hanging_devices_max_ms"] = Percentile(hangingMs, 1.0);
    std::printf(
        "SIGTERM to exit, %d runs each, alternating\n"
        "  quarbe, no GPS, no rotator : median %.1f ms (min %.1f, max %.1f)\n"
        "  plain Qt dialog            : median %.1f ms (min %.1f, max %.1f)\n"
        "  ratio of medians           : %.1f\n"
        "  quarbe, GPS on a pty       : median %.1f ms, max %.1f ms (%d runs)\n"
        "  quarbe, devices hanging    : median %.1f ms, max %.1f ms (%d runs; the bound is 1500 ms)\n",
        kRuns, programMedian, Percentile(programMs, 0.0), Percentile(programMs, 1.0), dialogMedian,
        Percentile(dialogMs, 0.0), Percentile(dialogMs, 1.0), ratio, withGpsMedian, withGpsMax, kRunsWithGps,
        Percentile(hangingMs, 0.5), Percentile(hangingMs, 1.0), kRunsWithHangingDevices);
  }
}
BENCHMARK(BM_SigtermToExitBesideAPlainDialog)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace quarbe::bench

BENCHMARK_MAIN();
