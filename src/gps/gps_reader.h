#pragma once
// The GPS reader: a thread of its own that opens the serial device mapped for
// the configured GPS port, cuts what arrives into lines, decodes them and
// hands each position, with the course held from the last RMC sentence, to
// the user interface thread, waiting until it has been handled.
//
// The thread blocks in poll() on the device and on an eventfd, so an idle line
// costs no CPU and Stop() ends the reader at once, whatever it is doing. A
// device that goes away (USB receiver unplugged) is closed and reopened once a
// second until it is back; no message is shown for these tries.
//
// Use from one thread (the UI thread): Start(), Stop(), SetNotifier(),
// Serve(). SetGpsUse() and the queries may be called from any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/configuration.h"
#include "gps/fix_handoff.h"
#include "gps/gps_source.h"

namespace quarbe {

// Exit values of the reader thread.
inline constexpr int kGpsReaderStopped = -1;  // ended by Stop(), port closed
inline constexpr int kGpsReaderNoPort = 0;    // port index 0, or the open failed

// Counters for tests, benchmarks and diagnostics.
struct GpsReaderStats {
  std::uint64_t wakeups = 0;       // returns from poll() (device, wake-up or retry timeout)
  std::uint64_t bytesRead = 0;
  std::uint64_t lines = 0;         // complete lines starting with '$', counted once decoded
  std::uint64_t fixesPosted = 0;   // positions handed to the UI thread
  std::uint64_t openAttempts = 0;  // opens of the device, first one included
  std::uint64_t deviceLosses = 0;  // hang-ups and read errors that closed the device
};

class GpsReader : public GpsSource {
 public:
  GpsReader();
  ~GpsReader() override;  // stops the thread
  GpsReader(const GpsReader&) = delete;
  GpsReader& operator=(const GpsReader&) = delete;

  // How the UI thread is told that Serve() has an event for it. Set before
  // Start(); called on the reader thread.
  void SetNotifier(FixHandoff::Notifier notifier) override;

  // Starts the thread (stopping a previous one first) for the GPS port index:
  //  - 0: the thread ends at once with kGpsReaderNoPort; nothing is posted;
  //  - a negative index names no device: a GpsOpenError is posted;
  //  - otherwise the device ports.SerialDevice(gpsPort) is opened read/write,
  //    exclusive, raw 8N1 at ports.gpsBaud (4800 when the speed is not one a
  //    serial line supports), no flow control, DTR and RTS off. If the open
  //    fails a GpsOpenError is posted and, once served, the thread ends with
  //    kGpsReaderNoPort.
  // initialCourseDeg is the course handed with positions until the first RMC
  // course arrives (the current heading). If the system cannot create the
  // thread, nothing runs and nothing is posted, as for index 0.
  void Start(int gpsPort, const PortMap& ports, std::int32_t initialCourseDeg);

  // Asks the thread to end, wakes it, releases any hand-off in progress and
  // joins it. Returns its exit value (kGpsReaderStopped, or kGpsReaderNoPort
  // when it had already ended by itself); kGpsReaderNoPort when none was
  // started. The device is closed when this returns.
  int Stop() override;

  // UI thread: handles the pending event, if any (see FixHandoff::Serve).
  bool Serve(const FixHandoff::Handler& handler) override;

  // Whether GGA positions are decoded (GPS use); RMC courses are always
  // tracked. Defaults to true and survives restarts.
  void SetGpsUse(bool on) override;
  bool GpsUse() const override;

  // Whether the thread holds the device open right now.
  bool PortOpen() const override;
  // Whether a thread was started and has not ended yet.
  bool Running() const override;

  GpsReaderStats Stats() const;
  // Waits until `condition` holds for the counters, `Running()` state
  // included through the second argument, or the timeout passes; returns
  // whether it held. Checked after each change the thread makes.
  bool WaitFor(const std::function<bool(const GpsReaderStats& stats, bool running)>& condition,
               std::chrono::milliseconds timeout) const;

  // Wakes the thread without asking it to stop: it reads what has arrived
  // (possibly nothing) and goes back to waiting.
  void Nudge();

 private:
  int Run(std::string device, int baud, std::int32_t courseDeg);
  void Count(std::uint64_t GpsReaderStats::*counter, std::uint64_t amount);
  void SetPortOpen(bool open);

  FixHandoff handoff_;
  std::thread thread_;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> gpsUse_{true};
  std::atomic<bool> portOpen_{false};
  std::atomic<bool> running_{false};
  std::atomic<int> exitValue_{kGpsReaderNoPort};

  mutable std::mutex statsMutex_;
  mutable std::condition_variable statsChanged_;
  GpsReaderStats stats_;
};

}  // namespace quarbe
