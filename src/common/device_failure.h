#pragma once
// Why a device could not be used, as values. The code that meets the devices
// reports these; the window words them for the operator.

#include <string>

#include "common/port_entry.h"

namespace quarbe {

// What the device was expected to be.
enum class DeviceKind { kSerial, kParallel };

// A device that could not be opened: which one (empty when the port index
// maps to none) and the system's error number.
struct DeviceOpenFailure {
  DeviceKind kind;
  std::string device;
  int errorNumber = 0;

  friend bool operator==(const DeviceOpenFailure&, const DeviceOpenFailure&) = default;
};

// An entry of the [Ports] section that names nothing usable: its key
// ("COM1", "LPT2"), the entry as written, and what is wrong with it.
struct PortEntryFailure {
  std::string key;
  std::string entry;
  PortEntryError error;

  friend bool operator==(const PortEntryFailure&, const PortEntryFailure&) = default;
};

}  // namespace quarbe
