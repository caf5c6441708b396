#pragma once
// The antenna rotator: the relative azimuth becomes one position byte
// (360/256 = 1.40625 degrees a step) written to the device behind the
// configured parallel port index.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/configuration.h"
#include "common/device_failure.h"

namespace quarbe {

// The byte for a relative azimuth, or nullopt when nothing is to be written
// (port index 0, or an index outside 1..3 that names no port).
//
// byte = ((end stop + relative azimuth) mod 360) * 256 / 360, truncated; with
// the "Inverse" sense the byte is negated modulo 256. The sum is reduced into
// 0..359 first, so a negative relative azimuth (down to -89) or a huge end
// stop from an edited settings file still points the antenna where the
// azimuth says. For every sum from 0 to 16 million this is bit for bit the
// unsigned ((sum * 256) / 360) & 0xFF the controller's wiring expects.
std::optional<std::uint8_t> RotatorByte(std::int32_t relativeAzimuthDeg, const Configuration& configuration);

// Writes rotator bytes to the device the port map names for the configured
// index. The device is opened at the first write after a reconfiguration and
// kept open:
//  - a Linux parallel port device (/dev/parportN, ppdev) is claimed and the
//    byte goes to its data register (PPWDATA); the claim can only wait while
//    another driver is in the middle of using the port (a print job);
//  - a FIFO is opened without blocking; while nobody reads it, bytes are
//    dropped silently and the open is retried at the next write (cheap and
//    never blocking), and a reader that goes away is handled the same way;
//  - a regular file gets the raw byte appended; any other character device
//    gets the raw byte, written without blocking.
// A device that cannot be opened is reported once per configuration through
// the failure callback (the device and the error number); later writes do
// nothing until Reconfigure.
// Nothing here ever blocks on the device. Safe to call from several threads:
// each write is one byte and the last one wins.
class RotatorPort {
 public:
  using FailureCallback = std::function<void(const DeviceOpenFailure& failure)>;

  RotatorPort() = default;
  RotatorPort(const Configuration& configuration, const PortMap& ports);
  ~RotatorPort();
  RotatorPort(const RotatorPort&) = delete;
  RotatorPort& operator=(const RotatorPort&) = delete;

  // Called (outside the internal lock, on the writing thread) when the device
  // cannot be opened.
  void SetFailureCallback(FailureCallback callback);

  // Takes new settings: closes the device and forgets an earlier failure, so
  // the next write opens the (possibly other) device again.
  void Reconfigure(const Configuration& configuration, const PortMap& ports);

  // Writes the byte for the relative azimuth. Returns true when a byte
  // reached the device.
  bool Write(std::int32_t relativeAzimuthDeg);

  // The device path for the current configuration ("" when none).
  std::string DevicePath() const;

 private:
  enum class Kind { kNone, kParport, kFifo, kRaw };
  enum class State { kClosed, kOpen, kWaitingForReader, kFailed };

  // Both run with mutex_ held. OpenDevice returns the error number of a
  // failed open that must be reported, 0 otherwise.
  int OpenDevice();
  void CloseDevice();

  mutable std::mutex mutex_;
  Configuration configuration_;
  std::string device_;
  FailureCallback onFailure_;
  Kind kind_ = Kind::kNone;
  State state_ = State::kClosed;
  int fd_ = -1;
};


}  // namespace quarbe
