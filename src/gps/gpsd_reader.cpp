#include "gps/gpsd_reader.h"

#include <fcntl.h>
#include <gps.h>
#include <poll.h>
#include <pthread.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "common/name_lookup.h"
#include "gps/decimal_position.h"
#include "gps/gps_reader.h"

namespace quarbe {
namespace {

// How long the reader waits before connecting again when gpsd is not there
// or went away: no load on the machine, and gpsd back is picked up at once
// as far as the operator can tell.
constexpr int kReconnectIntervalMs = 1000;

// libgps reports a failed connection as one of its own (negative) codes in
// errno, or as the system's error number.
GpsdUnreachable::Cause CauseOf(int code) {
  switch (code) {
    case NL_NOSERVICE:
      return GpsdUnreachable::Cause::kUnknownPort;
    case NL_NOHOST:
      return GpsdUnreachable::Cause::kUnknownHost;
    case NL_NOCONNECT:
      return GpsdUnreachable::Cause::kRefused;
    default:
      return code > 0 ? GpsdUnreachable::Cause::kSystemError : GpsdUnreachable::Cause::kUnexplained;
  }
}

}  // namespace

// One connection to gpsd. libgps's state is large (tens of kilobytes), so it
// lives on the heap for the time of the connection.
struct GpsdReader::Session {
  gps_data_t data{};
  bool open = false;

  Session() = default;
  ~Session() {
    if (open) gps_close(&data);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
};

GpsdReader::~GpsdReader() { Stop(); }

void GpsdReader::Start(const GpsdAddress& address, std::int32_t initialCourseDeg) {
  Reset();
  Launch([this, address, initialCourseDeg] {
    // Named for top -H and the idle benchmark.
    pthread_setname_np(pthread_self(), "quarbe-gpsd");
    Run(address, initialCourseDeg);
  });
}

int GpsdReader::Stop() { return Halt() ? kGpsReaderStopped : kGpsReaderNoPort; }

bool GpsdReader::WaitFor(const std::function<bool(const GpsdReaderStats&)>& condition,
                         std::chrono::milliseconds timeout) const {
  return WaitFor([&](const GpsdReaderStats& stats, bool) { return condition(stats); }, timeout);
}

bool GpsdReader::WaitForStop(int timeoutMs) {
  WaitOnWake(timeoutMs);
  return stop_.load();
}

void GpsdReader::Run(const GpsdAddress& address, std::int32_t courseDeg) {
  HeadingRule heading(courseDeg);
  // Only the first failure is shown; gpsd stopped or restarted later is
  // waited for without a word.
  bool reported = false;
  while (!stop_.load()) {
    Count(&GpsdReaderStats::connectAttempts);
    auto session = std::make_unique<Session>();
    errno = 0;
    // Nothing wakes libgps while it looks up the name and connects (minutes
    // for a host that drops packets): the reader may have been let go
    // meanwhile, and then reports nothing.
    const bool failed = gps_open(address.host.c_str(), address.port.c_str(), &session->data) != 0;
    const int code = errno;
    session->open = !failed;
    if (stop_.load()) return;
    if (failed) {
      if (!reported) {
        reported = true;
        // Shown by the UI thread; the reader goes on trying meanwhile.
        GpsdUnreachable unreachable{address, CauseOf(code), code > 0 ? code : 0};
        // libgps says only that the host is unknown: whether the name is
        // wrong or the network is down is worth telling apart.
        if (unreachable.cause == GpsdUnreachable::Cause::kUnknownHost) {
          unreachable.lookupError = HostLookupError(address.host);
        }
        handoff_.Post(GpsOpenError{std::move(unreachable)});
      }
      if (WaitForStop(kReconnectIntervalMs)) return;
      continue;
    }
    reported = true;
    // libgps reads whatever has arrived when asked and keeps a partial
    // report for the next call; on a blocking socket that call would wait.
    const int fd = session->data.gps_fd;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    gps_stream(&session->data, WATCH_ENABLE | WATCH_JSON, nullptr);
    SetPortOpen(true);

    for (;;) {
      pollfd connection{fd, POLLIN, 0};
      const int ready = WaitOnWake(-1, &connection);
      if (stop_.load()) {
        SetPortOpen(false);
        return;
      }
      if (ready <= 0 || connection.revents == 0) continue;  // EINTR, or the wake-up alone
      // Back from a stop, the wake-up descriptor ends the next wait at once.
      if (!ReadReports(*session, heading)) break;
    }
    SetPortOpen(false);
    Count(&GpsdReaderStats::connectionLosses);
    session.reset();
    if (WaitForStop(kReconnectIntervalMs)) return;
  }
}

bool GpsdReader::ReadReports(Session& session, HeadingRule& heading) {
  gps_data_t& data = session.data;
  for (;;) {
    // A gpsd that sends without pause never leaves this loop by itself:
    // every report, whatever it holds, is a chance to stop.
    if (stop_.load()) return true;
    // libgps adds the flags of each report to `set`; cleared here, they say
    // what this one report holds.
    data.set = 0;
    errno = 0;
    const int status = gps_read(&data, nullptr, 0);
    if (status < 0) {
      // No data on the non-blocking socket is not a loss (some libgps
      // versions report it as an error); end of stream or a read error is.
      return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    if (status == 0) return true;  // no complete report yet
    const auto now = std::chrono::steady_clock::now();
    // Only reports of a receiver count as data: gpsd's own greeting comes
    // whether or not it has one.
    if ((data.set & (ATTITUDE_SET | MODE_SET)) != 0) NoteData(now);
    if ((data.set & ATTITUDE_SET) != 0) {
      // An ATT report: gpsd passes a heading sensor's HDT on as its heading.
      if (const auto sensor = CourseFromDecimalDegrees(data.attitude.heading)) heading.TakeSensorHeading(*sensor, now);
      continue;
    }
    if ((data.set & MODE_SET) == 0) continue;  // not a position report
    Count(&GpsdReaderStats::reports);
    const gps_fix_t& fix = data.fix;
    if (fix.mode < MODE_2D) continue;  // no fix: nothing changes
    const bool hasTrack = (data.set & TRACK_SET) != 0;
    const bool hasSpeed = (data.set & SPEED_SET) != 0 && std::isfinite(fix.speed);
    heading.TakeCourse(hasTrack ? CourseFromDecimalDegrees(fix.track) : std::nullopt,
                       hasSpeed ? std::optional<double>(fix.speed * kKnotsPerMetrePerSecond) : std::nullopt, now);
    if (!gpsUse_.load() || (data.set & LATLON_SET) == 0) continue;
    if (stop_.load()) return true;
    const auto position = PositionFromDecimalDegrees(fix.latitude, fix.longitude);
    if (!position) continue;
    Count(&GpsdReaderStats::fixesPosted);
    NotePosition(now);
    handoff_.Post(GpsFix{*position, heading.Current().degrees, heading.Current().source});
  }
}

}  // namespace quarbe
