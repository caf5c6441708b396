#include "gps/serial_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

namespace quarbe {
namespace {

constexpr std::array<std::pair<int, speed_t>, 11> kSpeeds{{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
}};

speed_t SpeedFor(int baud) {
  for (const auto& [rate, speed] : kSpeeds) {
    if (rate == baud) return speed;
  }
  return B4800;
}

void Configure(int fd, int baud) {
  termios settings{};
  if (tcgetattr(fd, &settings) == 0) {
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // A read returns what has arrived; poll() does the waiting.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetspeed(&settings, SpeedFor(baud));
    tcsetattr(fd, TCSANOW, &settings);
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);
}

}  // namespace

bool IsSupportedBaud(int baud) {
  for (const auto& entry : kSpeeds) {
    if (entry.first == baud) return true;
  }
  return false;
}

SerialOpenResult OpenSerialDevice(const std::string& path, int baud) {
  if (path.empty()) return {-1, ENODEV};
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {-1, errno};
  if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) {
    const int error = errno;
    close(fd);
    return {-1, error};
  }
  Configure(fd, baud);
  return {fd, 0};
}

void CloseSerialDevice(int fd) {
  if (fd < 0) return;
  ioctl(fd, TIOCNXCL);
  close(fd);
}

}  // namespace quarbe
