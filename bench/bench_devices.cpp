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

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

#include "../tests/daemons/daemon_process.h"
#include "program_launch.h"

namespace quarbe::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWarmUpFixes = 20;
constexpr int kMeasuredFixes = 500;
constexpr std::chrono::milliseconds kFixPatience{3000};
constexpr std::chrono::milliseconds kPauseBetweenFixes{10};
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
Latencies Feed(Pty& pty, Arrivals& out, Arrivals* reports) {
  Latencies result;
  for (int i = 1; i <= kWarmUpFixes + kMeasuredFixes; ++i) {
    const std::string sentences = FixSentences(i);
    const std::size_t ggaStart = sentences.find("$GPGGA");
    const std::size_t outBefore = out.Count();
    const std::size_t reportsBefore = reports ? reports->Count() : 0;
    pty.Write(sentences.substr(0, ggaStart));
    pty.Write(sentences.substr(ggaStart));
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
    std::this_thread::sleep_for(kPauseBetweenFixes);
  }
  return result;
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
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

std::string Settings(const std::string& com1, const std::string& lpt1) {
  return "[Contexte]\nLocal=JN18AP\nCorres=JN08WV\n[GPS]\nPort=1\n[Moteur]\nPort=1\nRotation=0\n[Ports]\nCOM1=" + com1 +
         "\nLPT1=" + lpt1 + "\n";
}

void BM_FixLatencyGpsdRotctldVersusPtyFifo(benchmark::State& state) {
  for (auto _ : state) {
    using testing_support::FreeLoopbackPort;
    using testing_support::WaitForListener;
    // gpsd reading a pseudo-terminal, and rotctld with its log on a pipe.
    Pty gpsdPty;
    const int gpsdPort = FreeLoopbackPort();
    ProgramHome daemonsHome(Settings("", ""));
    Child gpsd({"gpsd", "-b", "-N", "-n", "-S", std::to_string(gpsdPort), "-F", daemonsHome.File("gpsd.sock"),
                gpsdPty.SlavePath()});
    const int rotctldPort = FreeLoopbackPort();
    int logPipe[2];
    if (pipe(logPipe) != 0) return state.SkipWithError("no pipe");
    Child rotctld({"rotctld", "-m", "1", "-T", "127.0.0.1", "-t", std::to_string(rotctldPort), "-vvvv"}, logPipe[1]);
    close(logPipe[1]);
    Arrivals commands(logPipe[0], "dummy_rot_set_position called");
    if (!WaitForListener(gpsdPort, std::chrono::seconds(10)) || !WaitForListener(rotctldPort, std::chrono::seconds(10))) {
      return state.SkipWithError("gpsd or rotctld did not start");
    }
    const int watcherFd = ConnectWatcher(gpsdPort);
    if (watcherFd < 0) return state.SkipWithError("cannot watch gpsd");
    Arrivals reports(watcherFd, "\"class\":\"TPV\"");

    Latencies viaDaemons;
    std::map<std::string, long> idleBefore, idleAfter;
    {
      ProgramHome home(Settings("gpsd:127.0.0.1:" + std::to_string(gpsdPort),
                                "hamlib:2:127.0.0.1:" + std::to_string(rotctldPort)));
      Child program({ProgramPath()}, -1, home.Environment());
      // Start-up commands the rotator once; then the fixes.
      if (!commands.WaitBeyond(0, std::chrono::seconds(10))) return state.SkipWithError("no start-up command");
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      viaDaemons = Feed(gpsdPty, commands, &reports);
      std::this_thread::sleep_for(std::chrono::seconds(1));
      idleBefore = ContextSwitches(program.Pid());
      std::this_thread::sleep_for(kIdleSpan);
      idleAfter = ContextSwitches(program.Pid());
    }

    Latencies direct;
    {
      Pty receiver;
      ProgramHome fifoDir("");
      const std::string fifo = fifoDir.File("rotator");
      mkfifo(fifo.c_str(), 0600);
      // Held open for writing too, so that it never reads as ended.
      const int fifoFd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
      ProgramHome settings(Settings(receiver.SlavePath(), fifo));
      Arrivals bytes(fifoFd, "");
      Child program({ProgramPath()}, -1, settings.Environment());
      if (!bytes.WaitBeyond(0, std::chrono::seconds(10))) return state.SkipWithError("no start-up byte");
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      direct = Feed(receiver, bytes, nullptr);
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
    state.counters["idle_wakeups_gpsd_thread"] = idleAfter["quarbe-gpsd"] - idleBefore["quarbe-gpsd"];
    state.counters["idle_wakeups_rotator_thread"] = idleAfter["quarbe-rotator"] - idleBefore["quarbe-rotator"];
    state.counters["idle_wakeups_process"] = idleAfter["*"] - idleBefore["*"];
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
        static_cast<long long>(kIdleSpan.count()), idleAfter["quarbe-gpsd"] - idleBefore["quarbe-gpsd"],
        idleAfter["quarbe-rotator"] - idleBefore["quarbe-rotator"], idleAfter["*"] - idleBefore["*"]);
  }
}
BENCHMARK(BM_FixLatencyGpsdRotctldVersusPtyFifo)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace quarbe::bench

BENCHMARK_MAIN();
