#include "gps/serial_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "common/line_speed.h"

namespace quarbe {
namespace {

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
    cfsetspeed(&settings, TerminalSpeed(baud));
    tcsetattr(fd, TCSANOW, &settings);
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);
}

}  // namespace

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
