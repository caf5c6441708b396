#include "gps/gps_reader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "gps/line_framer.h"
#include "gps/nmea_decoder.h"
#include "gps/serial_device.h"

namespace quarbe {
namespace {

// How long the reader waits before trying again to open a device that went
// away. Long enough to cost nothing, short enough that a receiver plugged
// back in is picked up at once as far as the operator can tell.
constexpr int kReopenIntervalMs = 1000;

void DrainEventFd(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(fd, &count, sizeof count);
}

}  // namespace

GpsReader::GpsReader() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

GpsReader::~GpsReader() {
  Stop();
  if (wakeFd_ >= 0) close(wakeFd_);
}

void GpsReader::SetNotifier(FixHandoff::Notifier notifier) { handoff_.SetNotifier(std::move(notifier)); }

void GpsReader::Start(int gpsPort, const PortMap& ports, std::int32_t initialCourseDeg) {
  Stop();
  stop_.store(false);
  handoff_.Reset();
  // A wake-up left over from stopping the previous thread.
  if (wakeFd_ >= 0) DrainEventFd(wakeFd_);
  exitValue_.store(kGpsReaderNoPort);
  if (gpsPort == 0) return;

  std::string device = gpsPort < 0 ? std::string() : ports.SerialDevice(gpsPort);
  const int baud = ports.gpsBaud;
  {
    std::lock_guard lock(statsMutex_);
    running_.store(true);
  }
  try {
    thread_ = std::thread([this, device = std::move(device), baud, initialCourseDeg]() mutable {
      const int value = Run(std::move(device), baud, initialCourseDeg);
      exitValue_.store(value);
      {
        std::lock_guard lock(statsMutex_);
        running_.store(false);
      }
      statsChanged_.notify_all();
    });
  } catch (const std::system_error&) {
    // No thread could be made (out of memory or of processes): the program
    // goes on without the GPS, as with no port configured.
    {
      std::lock_guard lock(statsMutex_);
      running_.store(false);
    }
    statsChanged_.notify_all();
  }
}

int GpsReader::Stop() {
  if (!thread_.joinable()) return exitValue_.load();
  stop_.store(true);
  Nudge();
  handoff_.Cancel();
  thread_.join();
  return exitValue_.load();
}

bool GpsReader::Serve(const FixHandoff::Handler& handler) { return handoff_.Serve(handler); }

void GpsReader::SetGpsUse(bool on) { gpsUse_.store(on); }
bool GpsReader::GpsUse() const { return gpsUse_.load(); }
bool GpsReader::PortOpen() const { return portOpen_.load(); }
bool GpsReader::Running() const { return running_.load(); }

GpsReaderStats GpsReader::Stats() const {
  std::lock_guard lock(statsMutex_);
  return stats_;
}

bool GpsReader::WaitFor(const std::function<bool(const GpsReaderStats&, bool)>& condition,
                        std::chrono::milliseconds timeout) const {
  std::unique_lock lock(statsMutex_);
  return statsChanged_.wait_for(lock, timeout, [&] { return condition(stats_, running_.load()); });
}

void GpsReader::Nudge() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
}

void GpsReader::Count(std::uint64_t GpsReaderStats::*counter, std::uint64_t amount) {
  {
    std::lock_guard lock(statsMutex_);
    stats_.*counter += amount;
  }
  statsChanged_.notify_all();
}

void GpsReader::SetPortOpen(bool open) {
  {
    std::lock_guard lock(statsMutex_);
    portOpen_.store(open);
  }
  statsChanged_.notify_all();
}

int GpsReader::Run(std::string device, int baud, std::int32_t courseDeg) {
  Count(&GpsReaderStats::openAttempts, 1);
  SerialOpenResult opened = OpenSerialDevice(device, baud);
  if (opened.fd < 0) {
    // Shown by the UI thread; the reader ends once the operator has closed it.
    handoff_.Post(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, device, opened.errorNumber}});
    return kGpsReaderNoPort;
  }
  int fd = opened.fd;
  SetPortOpen(true);

  LineFramer framer;
  std::int32_t heldCourseDeg = courseDeg;
  const LineFramer::LineSink onLine = [&](std::string_view line) {
    const NmeaResult result = NmeaDecoder(line, gpsUse_.load());
    Count(&GpsReaderStats::lines, 1);
    if (const auto* course = std::get_if<NmeaCourse>(&result)) {
      heldCourseDeg = course->degrees;
    } else if (const auto* position = std::get_if<Position>(&result)) {
      if (stop_.load()) return;
      Count(&GpsReaderStats::fixesPosted, 1);
      handoff_.Post(GpsFix{*position, heldCourseDeg});
    }
  };

  for (;;) {
    if (fd < 0) {
      // The device went away: wait on the wake-up descriptor alone, so a stop
      // is still seen at once, and try the same path again each interval.
      pollfd wake{wakeFd_, POLLIN, 0};
      const int ready = poll(&wake, 1, kReopenIntervalMs);
      Count(&GpsReaderStats::wakeups, 1);
      // Drained before the flag is read: a stop that comes after the drain
      // leaves the descriptor readable for the next poll().
      if (ready > 0) DrainEventFd(wakeFd_);
      if (stop_.load()) return kGpsReaderStopped;
      if (ready != 0) continue;
      Count(&GpsReaderStats::openAttempts, 1);
      opened = OpenSerialDevice(device, baud);
      if (opened.fd >= 0) {
        fd = opened.fd;
        SetPortOpen(true);
      }
      continue;
    }

    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, -1);
    Count(&GpsReaderStats::wakeups, 1);
    if (ready > 0 && fds[1].revents != 0) DrainEventFd(wakeFd_);
    if (stop_.load()) {
      CloseSerialDevice(fd);
      SetPortOpen(false);
      return kGpsReaderStopped;
    }
    if (ready < 0) continue;  // EINTR

    bool lost = (fds[0].revents & (POLLERR | POLLNVAL)) != 0;
    if (!lost && (fds[0].revents & (POLLIN | POLLHUP)) != 0) {
      const std::span<char> space = framer.FreeSpace();
      const ssize_t count = read(fd, space.data(), space.size());
      if (count > 0) {
        Count(&GpsReaderStats::bytesRead, static_cast<std::uint64_t>(count));
        framer.Commit(static_cast<std::size_t>(count), onLine);
      } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
        lost = true;
      } else if ((fds[0].revents & POLLHUP) != 0) {
        lost = true;
      }
    }
    if (lost) {
      CloseSerialDevice(fd);
      fd = -1;
      framer.Reset();
      SetPortOpen(false);
      Count(&GpsReaderStats::deviceLosses, 1);
    }
  }
}

}  // namespace quarbe
