#pragma once
// The GPS through the gpsd daemon: a thread of its own that connects to gpsd
// with libgps, asks for its reports and hands each fix, with the heading the
// heading rule gives (heading_rule.h), to the user interface thread as the
// serial reader does (same hand-off, same GpsFix, same stop rules).
//
// The thread blocks in poll() on gpsd's socket and on an eventfd, so a silent
// gpsd costs no CPU, and it looks at the stop flag before each report, so
// Stop() ends the reader at once even while gpsd floods it. Only libgps's
// connection (a name lookup, a connect) cannot be woken: Stop() waits for
// it, RequestStop() and Release() do not. When gpsd is not
// there at start-up the failure is posted once (a GpsOpenError naming the
// address); then, and whenever gpsd goes away, the thread tries again once a
// second, without a message, and carries on by itself when gpsd is back.
//
// Reports are read as the NMEA decoder reads sentences: a report without a 2D
// or 3D fix changes nothing; a position report's track and speed (m/s) go to
// the heading rule as an RMC's course and speed do, an attitude report's
// heading (gpsd's reading of a heading sensor's HDT) as a heading sensor's;
// positions and courses are rounded by the same rules (decimal_position.h),
// so one drive gives the same fixes through either source. gpsd itself
// merges the sentences of one fix into one report.

#include <chrono>
#include <cstdint>
#include <functional>

#include "common/port_entry.h"
#include "gps/fix_handoff.h"
#include "gps/gps_source.h"
#include "gps/heading_rule.h"
#include "gps/reader_thread.h"

namespace quarbe {

// Counters for tests, benchmarks and diagnostics.
struct GpsdReaderStats {
  std::uint64_t wakeups = 0;           // returns from poll() (socket, wake-up or retry timeout)
  std::uint64_t reports = 0;           // position reports (TPV) read
  std::uint64_t fixesPosted = 0;       // positions handed to the UI thread
  std::uint64_t connectAttempts = 0;   // connections tried, the first one included
  std::uint64_t connectionLosses = 0;  // connections gpsd closed or broke
};

class GpsdReader : public ReaderThread<GpsdReaderStats> {
 public:
  ~GpsdReader() override;  // stops the thread

  // Starts the thread (stopping a previous one first) for gpsd at `address`.
  // initialCourseDeg is the heading handed with positions until a report
  // gives one (the current heading).
  void Start(const GpsdAddress& address, std::int32_t initialCourseDeg);

  // Returns kGpsReaderStopped (-1) once the thread has been stopped, 0 when
  // none was started. PortOpen(): whether the thread is connected to gpsd.
  int Stop() override;

  // Waits until `condition` holds for the counters or the timeout passes;
  // returns whether it held. Checked after each change the thread makes.
  using ReaderThread::WaitFor;
  bool WaitFor(const std::function<bool(const GpsdReaderStats& stats)>& condition,
               std::chrono::milliseconds timeout) const;

 private:
  struct Session;
  void Run(const GpsdAddress& address, std::int32_t courseDeg);
  // Reads what gpsd has sent; false when the connection is gone.
  bool ReadReports(Session& session, HeadingRule& heading);
  // Waits up to `timeout` for a stop; true when one was asked for.
  bool WaitForStop(int timeoutMs);
};

}  // namespace quarbe
