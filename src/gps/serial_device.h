#pragma once
// Opening a serial device the way a GPS receiver needs it.

#include <string>

namespace quarbe {

// An open device, or the error number of the failed open.
struct SerialOpenResult {
  int fd = -1;
  int errorNumber = 0;
};

// Opens `path` read/write without becoming its controlling terminal, non
// blocking (the reader waits in poll()), and takes it exclusively (TIOCEXCL:
// a later open by another program fails with EBUSY). Then sets raw 8N1 at
// `baud`, or kDefaultGpsBaud when `baud` is not a standard serial speed, receiver on,
// modem lines ignored (CLOCAL), no hardware or software flow control, and
// drops DTR and RTS. Failures of these settings are ignored (a pseudo-terminal
// has no modem lines); only the open itself can fail.
SerialOpenResult OpenSerialDevice(const std::string& path, int baud);

// Gives up exclusivity and closes.
void CloseSerialDevice(int fd);

}  // namespace quarbe
