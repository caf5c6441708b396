#pragma once
// The serial line speeds a GPS receiver may use.

#include <termios.h>

namespace quarbe {

// The NMEA rate, used when the settings name no speed or one a serial line
// does not have.
inline constexpr int kDefaultGpsBaud = 4800;

// Whether `baud` is a standard serial line speed.
bool IsSupportedBaud(int baud);

// The terminal speed for `baud`; that of kDefaultGpsBaud for any other rate.
speed_t TerminalSpeed(int baud);

}  // namespace quarbe
