#include "gps/gps_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "gps/line_framer.h"
#include "gps/nmea_decoder.h"
#include "gps/nmea_fix_assembler.h"
#include "gps/serial_device.h"

namespace quarbe {
namespace {

// How long the reader waits before trying again to open a device that went
// away. Long enough to cost nothing, short enough that a receiver plugged
// back in is picked up at once as far as the operator can tell.
constexpr int kReopenIntervalMs = 1000;

}  // namespace

GpsReader::~GpsReader() { Stop(); }

void GpsReader::Start(int gpsPort, const PortMap& ports, std::int32_t initialCourseDeg,
                      std::shared_ptr<const ThreadEnd> predecessor) {
  Reset();
  exitValue_.store(kGpsReaderNoPort);
  if (gpsPort == 0) return;

  std::string device = gpsPort < 0 ? std::string() : ports.SerialDevice(gpsPort);
  const int baud = ports.gpsBaud;
  Launch(
      [this, device = std::move(device), baud, initialCourseDeg]() mutable {
        exitValue_.store(Run(std::move(device), baud, initialCourseDeg));
      },
      std::move(predecessor));
}

int GpsReader::Stop() {
  Halt();
  return exitValue_.load();
}

int GpsReader::Run(std::string device, int baud, std::int32_t courseDeg) {
  Count(&GpsReaderStats::openAttempts, 1);
  SerialOpenResult opened = OpenSerialDevice(device, baud);
  if (opened.fd < 0) {
    // Shown by the UI thread; the reader ends meanwhile.
    handoff_.Post(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, device, opened.errorNumber}});
    return kGpsReaderNoPort;
  }
  int fd = opened.fd;
  SetPortOpen(true);

  LineFramer framer;
  NmeaFixAssembler assembler(courseDeg);
  const auto post = [&](const GpsFix& fix) {
    if (stop_.load()) return;
    Count(&GpsReaderStats::fixesPosted, 1);
    NotePosition(std::chrono::steady_clock::now());
    handoff_.Post(fix);
  };
  const LineFramer::LineSink onLine = [&](std::string_view line) {
    // A read holds up to a kilobyte of sentences: the rest of it is dropped
    // once a stop is asked for.
    if (stop_.load()) return;
    const NmeaResult result = NmeaDecoder(line, gpsUse_.load());
    Count(&GpsReaderStats::lines, 1);
    const auto now = std::chrono::steady_clock::now();
    NoteData(now);
    for (const GpsFix& fix : assembler.Take(result, now)) post(fix);
  };

  for (;;) {
    if (fd < 0) {
      // The device went away: wait on the wake-up descriptor alone, so a stop
      // is still seen at once, and try the same path again each interval.
      const int ready = WaitOnWake(kReopenIntervalMs);
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

    // A position waiting for the RMC of its time bounds the wait.
    pollfd serial{fd, POLLIN, 0};
    const int ready = WaitOnWake(assembler.WaitMs(std::chrono::steady_clock::now()), &serial);
    if (stop_.load()) {
      CloseSerialDevice(fd);
      SetPortOpen(false);
      return kGpsReaderStopped;
    }
    if (ready < 0) continue;  // EINTR

    bool lost = (serial.revents & (POLLERR | POLLNVAL)) != 0;
    if (!lost && (serial.revents & (POLLIN | POLLHUP)) != 0) {
      const std::span<char> space = framer.FreeSpace();
      const ssize_t count = read(fd, space.data(), space.size());
      if (count > 0) {
        Count(&GpsReaderStats::bytesRead, static_cast<std::uint64_t>(count));
        framer.Commit(static_cast<std::size_t>(count), onLine);
      } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
        lost = true;
      } else if ((serial.revents & POLLHUP) != 0) {
        lost = true;
      }
    }
    if (auto fix = lost ? assembler.Release() : assembler.Expire(std::chrono::steady_clock::now())) post(*fix);
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
