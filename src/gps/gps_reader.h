#pragma once
// The GPS reader: a thread of its own that opens the serial device mapped for
// the configured GPS port, cuts what arrives into lines, decodes them and
// hands each position, with the heading its fix gives (nmea_fix_assembler.h),
// to the user interface thread, which takes the latest when it can.
//
// The thread blocks in poll() on the device and on an eventfd, so an idle line
// costs no CPU and Stop() ends the reader at once, whatever it is doing: the
// stop flag is looked at after each wake-up and before each line. A
// device that goes away (USB receiver unplugged) is closed and reopened once a
// second until it is back; no message is shown for these tries.
//
// Use from one thread (the UI thread): Start(), Stop(), SetNotifier(),
// Serve(). SetGpsUse() and the queries may be called from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/configuration.h"
#include "gps/fix_handoff.h"
#include "gps/gps_source.h"
#include "gps/reader_thread.h"

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

class GpsReader : public ReaderThread<GpsReaderStats> {
 public:
  ~GpsReader() override;  // stops the thread

  // Starts the thread (stopping a previous one first) for the GPS port index:
  //  - 0: the thread ends at once with kGpsReaderNoPort; nothing is posted;
  //  - a negative index names no device: a GpsOpenError is posted;
  //  - otherwise the device ports.SerialDevice(gpsPort) is opened read/write,
  //    exclusive, raw 8N1 at ports.gpsBaud (4800 when the speed is not one a
  //    serial line supports), no flow control, DTR and RTS off. If the open
  //    fails a GpsOpenError is posted and the thread ends with
  //    kGpsReaderNoPort.
  // initialCourseDeg is the heading handed with positions until a course or
  // a heading sensor gives one (the current heading). If the system cannot
  // create the thread, nothing runs and nothing is posted, as for index 0.
  // With `predecessor` (a reader let go that may still hold the device), the
  // thread waits for its end before opening.
  void Start(int gpsPort, const PortMap& ports, std::int32_t initialCourseDeg,
             std::shared_ptr<const ThreadEnd> predecessor = nullptr);

  // Asks the thread to end, wakes it, releases any hand-off in progress and
  // joins it. Returns its exit value (kGpsReaderStopped, or kGpsReaderNoPort
  // when it had already ended by itself); kGpsReaderNoPort when none was
  // started. The device is closed when this returns.
  int Stop() override;

  // With GPS use off (SetGpsUse) GGA positions are not decoded; courses and
  // headings are always tracked. PortOpen(): whether the thread holds the device open.

 private:
  int Run(std::string device, int baud, std::int32_t courseDeg);

  std::atomic<int> exitValue_{kGpsReaderNoPort};
};

}  // namespace quarbe
