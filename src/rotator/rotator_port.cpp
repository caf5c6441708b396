#include "rotator/rotator_port.h"

#include <fcntl.h>
#include <linux/major.h>
#include <linux/ppdev.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quarbe {

namespace {

constexpr std::int64_t kFullTurnDeg = 360;
constexpr std::uint32_t kStepsPerTurn = 256;

// Writes one byte without letting a FIFO whose reader went away kill the
// process with SIGPIPE: the signal is blocked for this thread around the
// write and, if the write raised it, taken back before unblocking.
ssize_t WriteByteNoSigpipe(int fd, std::uint8_t byte) {
  sigset_t pipeSet;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &pipeSet, &previous);
  ssize_t written;
  do {
    written = ::write(fd, &byte, 1);
  } while (written < 0 && errno == EINTR);
  const int writeError = errno;
  if (written < 0 && writeError == EPIPE && !alreadyPending) {
    const timespec noWait{};
    while (sigtimedwait(&pipeSet, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = writeError;
  return written;
}

}  // namespace

std::optional<std::uint8_t> RotatorByte(std::int32_t relativeAzimuthDeg, const Configuration& configuration) {
  if (configuration.rotatorPort < 1 || configuration.rotatorPort > 3) return std::nullopt;
  std::int64_t sumDeg = (static_cast<std::int64_t>(configuration.endStopDeg) + relativeAzimuthDeg) % kFullTurnDeg;
  if (sumDeg < 0) sumDeg += kFullTurnDeg;
  // sumDeg * 256 / 360 is at most 255: 360 * 256 / 360 is exactly 256, so
  // the reduction above is what the low 8 bits of the full product give.
  auto byte = static_cast<std::uint8_t>(static_cast<std::uint32_t>(sumDeg) * kStepsPerTurn /
                                        static_cast<std::uint32_t>(kFullTurnDeg));
  if (configuration.rotationSense == kSenseInverse) byte = static_cast<std::uint8_t>(kStepsPerTurn - byte);
  return byte;
}

RotatorPort::RotatorPort(const Configuration& configuration, const PortMap& ports) {
  Reconfigure(configuration, ports);
}

RotatorPort::~RotatorPort() {
  std::lock_guard lock(mutex_);
  CloseDevice();
}

void RotatorPort::SetFailureCallback(FailureCallback callback) {
  std::lock_guard lock(mutex_);
  onFailure_ = std::move(callback);
}

void RotatorPort::Reconfigure(const Configuration& configuration, const PortMap& ports) {
  std::lock_guard lock(mutex_);
  CloseDevice();
  configuration_ = configuration;
  device_ = ports.ParallelDevice(configuration.rotatorPort);
  state_ = State::kClosed;
}

std::string RotatorPort::DevicePath() const {
  std::lock_guard lock(mutex_);
  return device_;
}

bool RotatorPort::Write(std::int32_t relativeAzimuthDeg) {
  int openError = 0;
  bool written = false;
  FailureCallback report;
  std::string device;
  {
    std::lock_guard lock(mutex_);
    const auto byte = RotatorByte(relativeAzimuthDeg, configuration_);
    if (!byte || device_.empty()) return false;
    if (state_ == State::kClosed || state_ == State::kWaitingForReader) openError = OpenDevice();
    if (state_ == State::kOpen) {
      std::uint8_t value = *byte;
      if (kind_ == Kind::kParport) {
        written = ::ioctl(fd_, PPWDATA, &value) == 0;
      } else if (WriteByteNoSigpipe(fd_, value) == 1) {
        written = true;
      } else if (errno == EPIPE && kind_ == Kind::kFifo) {
        // The reader went away: wait for the next one without complaint.
        CloseDevice();
        state_ = State::kWaitingForReader;
      }
      // A full FIFO or a busy device (EAGAIN) drops this byte: the next
      // computation sends a fresh one.
    }
    if (openError != 0) {
      report = onFailure_;
      device = device_;
    }
  }
  if (openError != 0 && report) {
    report(DeviceOpenFailure{DeviceKind::kParallel, device, openError});
  }
  return written;
}

int RotatorPort::OpenDevice() {
  struct stat info {};
  if (::stat(device_.c_str(), &info) != 0) {
    state_ = State::kFailed;
    return errno;
  }
  int flags = O_CLOEXEC | O_NOCTTY;
  if (S_ISFIFO(info.st_mode)) {
    kind_ = Kind::kFifo;
    flags |= O_WRONLY | O_NONBLOCK;
  } else if (S_ISCHR(info.st_mode) && ::major(info.st_rdev) == PP_MAJOR) {
    kind_ = Kind::kParport;
    flags |= O_RDWR | O_NONBLOCK;
  } else if (S_ISREG(info.st_mode)) {
    kind_ = Kind::kRaw;
    flags |= O_WRONLY | O_APPEND;
  } else {
    kind_ = Kind::kRaw;
    flags |= O_WRONLY | O_NONBLOCK;
  }
  int fd;
  do {
    fd = ::open(device_.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int openError = errno;
    if (kind_ == Kind::kFifo && openError == ENXIO) {
      // Nobody reads the FIFO yet: not a failure, try again next time.
      state_ = State::kWaitingForReader;
      return 0;
    }
    state_ = State::kFailed;
    return openError;
  }
  if (kind_ == Kind::kParport) {
    // Claiming gives this process the port; compatibility mode (the default
    // after a claim) drives the eight data lines directly.
    if (::ioctl(fd, PPCLAIM) != 0) {
      const int claimError = errno;
      ::close(fd);
      state_ = State::kFailed;
      return claimError;
    }
  }
  fd_ = fd;
  state_ = State::kOpen;
  return 0;
}

void RotatorPort::CloseDevice() {
  if (fd_ >= 0) {
    if (kind_ == Kind::kParport) ::ioctl(fd_, PPRELEASE);
    ::close(fd_);
  }
  fd_ = -1;
  kind_ = Kind::kNone;
  if (state_ == State::kOpen) state_ = State::kClosed;
}

}  // namespace quarbe
