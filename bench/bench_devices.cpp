// The whole program on today's devices: the latency of a fix from the last
// byte of its GGA sentence fed to gpsd until the azimuth command reaches
// rotctld, beside the direct path (a pseudo-terminal read by the program,
// the position byte written to a FIFO) in the same run; and what a silent
// gpsd costs the program's gpsd and rotator threads.
//
// Both paths run the real program (the quarbe binary beside this benchmark,
// offscreen) with [Ports] set. The fixes keep the vehicle still and turn its
// course by 7 degrees each time, so every fix changes the relative azimuth
// beyond the rotator's dead band and is commanded. Fixes are fed one at a
// time, each once the previous one has come out. A watcher of its own on
// gpsd times when gpsd's report leaves it: that part is gpsd's.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "measure.h"
#include "support/daemons.h"

namespace quarbe::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWarmUpFixes = 20;
constexpr int kMeasuredFixes = 500;
constexpr std::chrono::milliseconds kFixPatience{3000};
constexpr std::chrono::milliseconds kPauseBetweenFixes{10};
// The rotator is sent at most two commands a second: fixes through rotctld
// come further apart than that, so the latency measured is the path's, not
// the wait for the next command's turn; fewer of them keep the run short.
constexpr std::chrono::milliseconds kPauseBetweenRotctldFixes{520};
constexpr int kMeasuredRotctldFixes = 100;
constexpr std::chrono::seconds kIdleSpan{10};

std::string Sentence(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

// Fix i: one second later than fix i - 1, course 7 i degrees, at JN18AP.
std::string FixSentences(int i) {
  const int second = 8 * 3600 + i;
  char time[16];
  std::snprintf(time, sizeof time, "%02d%02d%02d", second / 3600 % 24, second / 60 % 60, second % 60);
  char course[16];
  std::snprintf(course, sizeof course, "%05.1f", static_cast<double>(7 * i % 360));
  return Sentence(std::string("GPRMC,") + time + ",A,4838.750,N,00202.500,E,010.0," + course + ",140626,,") +
         Sentence(std::string("GPGGA,") + time + ",4838.750,N,00202.500,E,1,08,0.9,94.5,M,46.9,M,,");
}

// Times the lines of a stream that contain a marker, or each byte of it.
class Arrivals {
 public:
  Arrivals(int fd, std::string marker) : fd_(fd), marker_(std::move(marker)), thread_([this] { Loop(); }) {}
  ~Arrivals() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::size_t Count() const {
    std::lock_guard lock(mutex_);
    return times_.size();
  }
  // Waits for more than `count` arrivals; the time of arrival `count`.
  std::optional<Clock::time_point> WaitBeyond(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return times_.size() > count; })) return std::nullopt;
    return times_[count];
  }

 private:
  void Loop() {
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    std::string line;
    char buffer[4096];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      const Clock::time_point now = Clock::now();
      if (n <= 0) continue;
      std::lock_guard lock(mutex_);
      for (ssize_t k = 0; k < n; ++k) {
        if (marker_.empty()) {
          times_.push_back(now);
          continue;
        }
        if (buffer[k] != '\n') {
          line += buffer[k];
          continue;
        }
        if (line.find(marker_) != std::string::npos) times_.push_back(now);
        line.clear();
      }
      changed_.notify_all();
    }
  }

  int fd_;
  std::string marker_;  // empty: every byte counts
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Clock::time_point> times_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Latencies {
  std::vector<double> outMs;     // to the rotator
  std::vector<double> daemonMs;  // to gpsd's report (gpsd path only)
  int missing = 0;
};

// Feeds the fixes, timing each from the write of its GGA to its arrival.
Latencies Feed(const PseudoTerminal& pty, Arrivals& out, Arrivals* reports, int measuredFixes,
               std::chrono::milliseconds pause) {
  Latencies result;
  for (int i = 1; i <= kWarmUpFixes + measuredFixes; ++i) {
    const std::string sentences = FixSentences(i);
    const std::size_t ggaStart = sentences.find("$GPGGA");
    const std::size_t outBefore = out.Count();
    const std::size_t reportsBefore = reports ? reports->Count() : 0;
    pty.Send(std::string_view(sentences).substr(0, ggaStart));
    pty.Send(std::string_view(sentences).substr(ggaStart));
    const Clock::time_point sent = Clock::now();
    const auto arrived = out.WaitBeyond(outBefore, kFixPatience);
    // gpsd reports after the RMC as well until it has learnt the cycle:
    // its report for this fix is the last one in.
    std::optional<Clock::time_point> reported;
    if (reports != nullptr && reports->Count() > reportsBefore) reported = reports->WaitBeyond(reports->Count() - 1, {});
    pty.Drain();
    if (i > kWarmUpFixes) {
      if (!arrived) {
        ++result.missing;
      } else {
        result.outMs.push_back(std::chrono::duration<double, std::milli>(*arrived - sent).count());
        if (reported) result.daemonMs.push_back(std::chrono::duration<double, std::milli>(*reported - sent).count());
      }
    }
    std::this_thread::sleep_for(pause);
  }
  return result;
}

int ConnectWatcher(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  const std::string watch = "?WATCH={\"enable\":true,\"json\":true}\n";
  if (write(fd, watch.data(), watch.size()) != static_cast<ssize_t>(watch.size())) return -1;
  return fd;
}

void BM_FixLatencyGpsdRotctldVersusPtyFifo(benchmark::State& state) {
  for (auto _ : state) {
    using testing_support::FreeLoopbackPort;
    using testing_support::kRotctldCommandMarker;
    using testing_support::StartRotctld;
    using testing_support::WaitForListener;
    // gpsd reading a pseudo-terminal, and rotctld with its log on a pipe.
    PseudoTerminal gpsdPty;
    gpsdPty.OpenToEveryone();
    const int gpsdPort = FreeLoopbackPort();
    ScratchDir daemonsHome;
    ChildProcess gpsd({"gpsd", "-b", "-N", "-n", "-S", std::to_string(gpsdPort), "-F", daemonsHome.File("gpsd.sock"),
                       gpsdPty.DevicePath()});
    const int rotctldPort = FreeLoopbackPort();
    int logPipe[2];
    if (pipe(logPipe) != 0) return state.SkipWithError("no pipe");
    ChildOptions toPipe;
    toPipe.outputFd = logPipe[1];
    const auto rotctld = StartRotctld(rotctldPort, toPipe);
    close(logPipe[1]);
    Arrivals commands(logPipe[0], std::string(kRotctldCommandMarker));
    if (!rotctld || !WaitForListener(gpsdPort, std::chrono::seconds(10))) {
      return state.SkipWithError("gpsd or rotctld did not start");
    }
    const int watcherFd = ConnectWatcher(gpsdPort);
    if (watcherFd < 0) return state.SkipWithError("cannot watch gpsd");
    Arrivals reports(watcherFd, "\"class\":\"TPV\"");

    Latencies viaDaemons;
    std::optional<ProcessCost> idleBefore[3], idleAfter[3];
    const char* const idleThreads[3] = {"quarbe-gpsd", "quarbe-rotator", ""};
    {
      ScratchDir home;
      home.Write(kSettingsFile, SettingsFor("gpsd:127.0.0.1:" + std::to_string(gpsdPort),
                                            "hamlib:2:127.0.0.1:" + std::to_string(rotctldPort)));
      ChildProcess program({QUARBE_PROGRAM}, OffscreenIn(home));
      // Start-up commands the rotator once; then the fixes.
      if (!commands.WaitBeyond(0, std::chrono::seconds(10))) return state.SkipWithError("no start-up command");
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      viaDaemons = Feed(gpsdPty, commands, &reports, kMeasuredRotctldFixes, kPauseBetweenRotctldFixes);
      std::this_thread::sleep_for(std::chrono::seconds(1));
      for (int i = 0; i < 3; ++i) idleBefore[i] = ReadProcessCost(program.Pid(), idleThreads[i]);
      std::this_thread::sleep_for(kIdleSpan);
      for (int i = 0; i < 3; ++i) idleAfter[i] = ReadProcessCost(program.Pid(), idleThreads[i]);
    }
    long idleSwitches[3] = {};
    for (int i = 0; i < 3; ++i) {
      if (!idleBefore[i] || !idleAfter[i]) return state.SkipWithError("the program ended while idle");
      idleSwitches[i] = static_cast<long>((*idleAfter[i] - *idleBefore[i]).Switches());
    }

    Latencies direct;
    {
      PseudoTerminal receiver;
      ScratchDir home;
      RotatorFifo rotator(home.File("lpt1"));
      home.Write(kSettingsFile, SettingsFor(receiver.DevicePath(), rotator.Path()));
      Arrivals bytes(dup(rotator.Fd()), "");
      ChildProcess program({QUARBE_PROGRAM}, OffscreenIn(home));
      if (!bytes.WaitBeyond(0, std::chrono::seconds(10))) return state.SkipWithError("no start-up byte");
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      direct = Feed(receiver, bytes, nullptr, kMeasuredFixes, kPauseBetweenFixes);
    }

    const double daemonsMedian = Percentile(viaDaemons.outMs, 0.5);
    const double directMedian = Percentile(direct.outMs, 0.5);
    const double gpsdMedian = Percentile(viaDaemons.daemonMs, 0.5);
    state.counters["gpsd_rotctld_median_ms"] = daemonsMedian;
    state.counters["gpsd_rotctld_p99_ms"] = Percentile(viaDaemons.outMs, 0.99);
    state.counters["gpsd_report_median_ms"] = gpsdMedian;
    state.counters["gpsd_report_p99_ms"] = Percentile(viaDaemons.daemonMs, 0.99);
    state.counters["pty_fifo_median_ms"] = directMedian;
    state.counters["pty_fifo_p99_ms"] = Percentile(direct.outMs, 0.99);
    state.counters["median_ratio"] = directMedian > 0 ? daemonsMedian / directMedian : 0.0;
    state.counters["fixes"] = static_cast<double>(std::min(viaDaemons.outMs.size(), direct.outMs.size()));
    state.counters["missing"] = viaDaemons.missing + direct.missing;
    state.counters["idle_wakeups_gpsd_thread"] = static_cast<double>(idleSwitches[0]);
    state.counters["idle_wakeups_rotator_thread"] = static_cast<double>(idleSwitches[1]);
    state.counters["idle_wakeups_process"] = static_cast<double>(idleSwitches[2]);
    std::printf(
        "fix latency, %zu fixes through gpsd+rotctld, %zu through pty+FIFO (%d missing)\n"
        "  gpsd -> rotctld : median %.3f ms, p99 %.3f ms\n"
        "    of which gpsd (GGA written -> its report at a client): median %.3f ms, p99 %.3f ms\n"
        "  pty  -> FIFO    : median %.3f ms, p99 %.3f ms\n"
        "  ratio of medians: %.2f\n"
        "idle, gpsd silent for %lld s: gpsd thread %ld, rotator thread %ld, whole program %ld context switches\n",
        viaDaemons.outMs.size(), direct.outMs.size(), viaDaemons.missing + direct.missing, daemonsMedian,
        Percentile(viaDaemons.outMs, 0.99), gpsdMedian, Percentile(viaDaemons.daemonMs, 0.99), directMedian,
        Percentile(direct.outMs, 0.99), directMedian > 0 ? daemonsMedian / directMedian : 0.0,
        static_cast<long long>(kIdleSpan.count()), idleSwitches[0], idleSwitches[1], idleSwitches[2]);
  }
}
BENCHMARK(BM_FixLatencyGpsdRotctldVersusPtyFifo)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace quarbe::bench

BENCHMARK_MAIN();
