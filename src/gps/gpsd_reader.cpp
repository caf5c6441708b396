#include "gps/gpsd_reader.h"

#include <fcntl.h>
#include <gps.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "gps/decimal_position.h"
#include "gps/gps_reader.h"

namespace quarbe {
namespace {

// How long the reader waits before connecting again when gpsd is not there
// or went away: no load on the machine, and gpsd back is picked up at once
// as far as the operator can tell.
constexpr int kReconnectIntervalMs = 1000;

void DrainEventFd(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(fd, &count, sizeof count);
}

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

GpsdReader::GpsdReader() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

GpsdReader::~GpsdReader() {
  Stop();
  if (wakeFd_ >= 0) close(wakeFd_);
}

void GpsdReader::SetNotifier(FixHandoff::Notifier notifier) { handoff_.SetNotifier(std::move(notifier)); }

void GpsdReader::Start(const GpsdAddress& address, std::int32_t initialCourseDeg) {
  Stop();
  stop_.store(false);
  handoff_.Reset();
  // A wake-up left over from stopping the previous thread.
  if (wakeFd_ >= 0) DrainEventFd(wakeFd_);
  {
    std::lock_guard lock(statsMutex_);
    running_.store(true);
  }
  try {
    thread_ = std::thread([this, address, initialCourseDeg] {
      // Named for top -H and the idle benchmark.
      pthread_setname_np(pthread_self(), "quarbe-gpsd");
      Run(address, initialCourseDeg);
      {
        std::lock_guard lock(statsMutex_);
        running_.store(false);
      }
      statsChanged_.notify_all();
    });
  } catch (const std::system_error&) {
    // No thread: no GPS until the next start, as for the serial reader.
    std::lock_guard lock(statsMutex_);
    running_.store(false);
  }
}

int GpsdReader::Stop() {
  if (!thread_.joinable()) return kGpsReaderNoPort;
  stop_.store(true);
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
  }
  handoff_.Cancel();
  thread_.join();
  return kGpsReaderStopped;
}

bool GpsdReader::Serve(const FixHandoff::Handler& handler) { return handoff_.Serve(handler); }

void GpsdReader::SetGpsUse(bool on) { gpsUse_.store(on); }
bool GpsdReader::GpsUse() const { return gpsUse_.load(); }
bool GpsdReader::PortOpen() const { return connected_.load(); }
bool GpsdReader::Running() const { return running_.load(); }

GpsdReaderStats GpsdReader::Stats() const {
  std::lock_guard lock(statsMutex_);
  return stats_;
}

bool GpsdReader::WaitFor(const std::function<bool(const GpsdReaderStats&)>& condition,
                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(statsMutex_);
  return statsChanged_.wait_for(lock, timeout, [&] { return condition(stats_); });
}

void GpsdReader::Count(std::uint64_t GpsdReaderStats::*counter) {
  {
    std::lock_guard lock(statsMutex_);
    ++(stats_.*counter);
  }
  statsChanged_.notify_all();
}

void GpsdReader::SetConnected(bool connected) {
  {
    std::lock_guard lock(statsMutex_);
    connected_.store(connected);
  }
  statsChanged_.notify_all();
}

bool GpsdReader::WaitForStop(int timeoutMs) {
  pollfd wake{wakeFd_, POLLIN, 0};
  const int ready = poll(&wake, 1, timeoutMs);
  Count(&GpsdReaderStats::wakeups);
  // Drained before the flag is read: a stop that comes after the drain
  // leaves the descriptor readable for the next poll().
  if (ready > 0) DrainEventFd(wakeFd_);
  return stop_.load();
}

void GpsdReader::Run(const GpsdAddress& address, std::int32_t courseDeg) {
  std::int32_t heldCourseDeg = courseDeg;
  // Only the first failure is shown; gpsd stopped or restarted later is
  // waited for without a word.
  bool reported = false;
  while (!stop_.load()) {
    Count(&GpsdReaderStats::connectAttempts);
    auto session = std::make_unique<Session>();
    errno = 0;
    if (gps_open(address.host.c_str(), address.port.c_str(), &session->data) != 0) {
      const int code = errno;
      if (!reported) {
        reported = true;
        // Shown by the UI thread; the reader goes on once it has been seen.
        handoff_.Post(GpsOpenError{GpsdUnreachable{address, CauseOf(code), code > 0 ? code : 0}});
      }
      if (WaitForStop(kReconnectIntervalMs)) return;
      continue;
    }
    session->open = true;
    reported = true;
    // libgps reads whatever has arrived when asked and keeps a partial
    // report for the next call; on a blocking socket that call would wait.
    const int fd = session->data.gps_fd;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    gps_stream(&session->data, WATCH_ENABLE | WATCH_JSON, nullptr);
    SetConnected(true);

    for (;;) {
      pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
      const int ready = poll(fds, 2, -1);
      Count(&GpsdReaderStats::wakeups);
      if (ready > 0 && fds[1].revents != 0) DrainEventFd(wakeFd_);
      if (stop_.load()) {
        SetConnected(false);
        return;
      }
      if (ready <= 0 || fds[0].revents == 0) continue;  // EINTR, or the wake-up alone
      if (!ReadReports(*session, heldCourseDeg)) break;
    }
    SetConnected(false);
    Count(&GpsdReaderStats::connectionLosses);
    session.reset();
    if (WaitForStop(kReconnectIntervalMs)) return;
  }
}

bool GpsdReader::ReadReports(Session& session, std::int32_t& heldCourseDeg) {
  gps_data_t& data = session.data;
  for (;;) {
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
    if ((data.set & MODE_SET) == 0) continue;  // not a position report
    Count(&GpsdReaderStats::reports);
    const gps_fix_t& fix = data.fix;
    if (fix.mode < MODE_2D) continue;  // no fix: nothing changes
    if ((data.set & TRACK_SET) != 0) {
      if (const auto course = CourseFromDecimalDegrees(fix.track)) heldCourseDeg = *course;
    }
    if (!gpsUse_.load() || (data.set & LATLON_SET) == 0) continue;
    if (stop_.load()) return true;
    const auto position = PositionFromDecimalDegrees(fix.latitude, fix.longitude);
    if (!position) continue;
    Count(&GpsdReaderStats::fixesPosted);
    handoff_.Post(GpsFix{*position, heldCourseDeg});
  }
}

}  // namespace quarbe
