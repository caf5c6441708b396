#include "common/line_speed.h"

#include <array>
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

}  // namespace

bool IsSupportedBaud(int baud) {
  for (const auto& entry : kSpeeds) {
    if (entry.first == baud) return true;
  }
  return false;
}

speed_t TerminalSpeed(int baud) {
  for (const auto& [rate, speed] : kSpeeds) {
    if (rate == baud) return speed;
  }
  return TerminalSpeed(kDefaultGpsBaud);
}

}  // namespace quarbe
