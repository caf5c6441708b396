// GPS input figures: decoder throughput on the recorded drives, the latency
// from the last byte of a GGA sentence on the serial line to the rotator
// byte on the parallel port, and what an idle reader costs.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// The configuration header first: GCC's -Wshadow takes its scoped
// EndStopChoice::kAtNorth for a shadow of the hemisphere constant otherwise.
#include "rotator/rotator_port.h"
#include "gps/gps_reader.h"
#include "geodesy/bearing.h"
#include "geodesy/locator.h"
#include "gps/line_framer.h"
#include "gps/nmea_decoder.h"
#include "measure.h"

namespace quarbe {
namespace {

using bench::Percentile;
using bench::PseudoTerminal;
using bench::RotatorFifo;
using bench::ScratchDir;

std::string ReadDrive(const char* name) {
  std::ifstream in(std::string(QUARBE_DRIVES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The RMC and GGA lines of both recorded drives (GN and GP talkers).
const std::vector<std::string>& RecordedLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> all;
    for (const char* name : {"drive-jn18ap-gn.nmea", "drive-jn18ap-gp.nmea"}) {
      std::istringstream in(ReadDrive(name));
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '$') all.push_back(line);
      }
    }
    return all;
  }();
  return lines;
}

void BM_DecodeRecordedLines(benchmark::State& state) {
  const std::vector<std::string>& lines = RecordedLines();
  if (lines.empty()) {
    state.SkipWithError("recorded drives not found");
    return;
  }
  for (auto _ : state) {
    for (const std::string& line : lines) benchmark::DoNotOptimize(NmeaDecoder(line, true));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_DecodeRecordedLines);

void BM_FrameAndDecodeRecordedDrive(benchmark::State& state) {
  const std::string text = ReadDrive("drive-jn18ap-gn.nmea") + ReadDrive("drive-jn18ap-gp.nmea");
  std::int64_t lines = 0;
  for (auto _ : state) {
    LineFramer framer;
    framer.Feed(text, [&](std::string_view line) {
      benchmark::DoNotOptimize(NmeaDecoder(line, true));
      ++lines;
    });
  }
  state.SetItemsProcessed(lines);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FrameAndDecodeRecordedDrive);

// Stands in for the window: serves each hand-off on a thread of its own and
// applies the fix the way the window does (locator, bearing, rotator byte).
class UiStandIn {
 public:
  UiStandIn(GpsReader& reader, RotatorPort& rotator) : reader_(reader), rotator_(rotator) {
    correspondent_.position = Position{{48, 52, 30, kNorth}, {1, 57, 30, kEast}};  // JN08WV
    reader_.SetNotifier([this] {
      {
        std::lock_guard lock(mutex_);
        ++pending_;
      }
      wake_.notify_one();
    });
    thread_ = std::thread([this] { Loop(); });
  }
  ~UiStandIn() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return quit_ || pending_ > 0; });
      if (quit_) return;
      --pending_;
      lock.unlock();
      reader_.Serve([this](const GpsEvent& event) {
        const auto* fix = std::get_if<GpsFix>(&event);
        if (fix == nullptr) return;
        local_.position = fix->position;
        local_.locator = EncodeLocator(local_.position);
        if (ComputeBearing(local_.position, correspondent_.position, fix->headingDeg, result_)) {
          rotator_.Write(result_.relativeAzimuthDeg);
        }
      });
      lock.lock();
    }
  }

  GpsReader& reader_;
  RotatorPort& rotator_;
  StationRecord local_;
  StationRecord correspondent_;
  BearingResult result_;
  std::mutex mutex_;
  std::condition_variable wake_;
  int pending_ = 0;
  bool quit_ = false;
  std::thread thread_;
};

void BM_FixLatencyToRotatorByte(benchmark::State& state) {
  const ScratchDir directory;
  const RotatorFifo fifo(directory.File("parport"));
  const PseudoTerminal receiver;
  PortMap ports;
  ports.serial[0] = receiver.DevicePath();
  ports.parallel[0] = fifo.Path();
  Configuration configuration;
  configuration.gpsPort = 1;
  configuration.rotatorPort = 1;
  RotatorPort rotator(configuration, ports);
  GpsReader reader;
  UiStandIn ui(reader, rotator);
  reader.Start(1, ports, 0);
  reader.WaitFor([&](const GpsReaderStats&, bool) { return reader.PortOpen(); }, std::chrono::seconds(5));

  const std::string lines[2] = {
      "$GPGGA,123519,4838.751,N,00202.501,E,1,08,0.9,545.4,M,46.9,M,,*45\r",
      "$GNGGA,123519.00,4840.19039,N,00203.71662,E,1,11,0.80,93.0,M,46.9,M,,*79\r",
  };
  std::vector<double> samplesUs;
  std::uint64_t sent = 0;
  for (auto _ : state) {
    const std::string& line = lines[samplesUs.size() % 2];
    // Everything but the line feed, and let the reader take it in first.
    if (!receiver.Send(line)) {
      state.SkipWithError("cannot write to the receiver");
      break;
    }
    sent += line.size();
    reader.WaitFor([&](const GpsReaderStats& s, bool) { return s.bytesRead >= sent; }, std::chrono::seconds(5));
    const auto start = std::chrono::steady_clock::now();
    receiver.Send("\n");
    ++sent;
    if (!fifo.ReadByte(std::chrono::seconds(5))) {
      state.SkipWithError("no rotator byte");
      break;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    samplesUs.push_back(elapsed.count() * 1e6);
  }
  reader.Stop();
  if (!samplesUs.empty()) {
    state.counters["median_us"] = Percentile(samplesUs, 0.5);
    state.counters["p99_us"] = Percentile(samplesUs, 0.99);
    state.counters["max_us"] = *std::max_element(samplesUs.begin(), samplesUs.end());
    state.counters["fixes"] = static_cast<double>(samplesUs.size());
  }
}
BENCHMARK(BM_FixLatencyToRotatorByte)->Iterations(2000)->Repetitions(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A reader holding an open, silent line for 10 s. Nothing else runs in the
// process meanwhile, so the process CPU time is the reader's.
void BM_IdleReaderFor10Seconds(benchmark::State& state) {
  const PseudoTerminal receiver;
  PortMap ports;
  ports.serial[0] = receiver.DevicePath();
  GpsReader reader;
  reader.Start(1, ports, 0);
  reader.WaitFor([&](const GpsReaderStats&, bool) { return reader.PortOpen(); }, std::chrono::seconds(5));
  for (auto _ : state) {
    const std::uint64_t wakeupsBefore = reader.Stats().wakeups;
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    state.counters["cpu_ms"] = (ProcessCpuSeconds() - cpuBefore) * 1e3;
    state.counters["wakeups"] = static_cast<double>(reader.Stats().wakeups - wakeupsBefore);
  }
  reader.Stop();
}
BENCHMARK(BM_IdleReaderFor10Seconds)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quarbe

BENCHMARK_MAIN();
