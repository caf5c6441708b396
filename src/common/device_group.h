#pragma once
// The group a device belongs to, read from the device itself: a serial port
// is usually in "dialout", a parallel port in "lp", on some systems "uucp".
// A permission refusal names it, so the operator knows which group to join.

#include <optional>
#include <string>
#include <sys/types.h>

namespace quarbe {

struct DeviceGroup {
  gid_t id = 0;
  std::string name;  // empty when the group has no name on this system

  friend bool operator==(const DeviceGroup&, const DeviceGroup&) = default;
};

// The group owning `path` (a symbolic link is followed) when it is a
// character device; nullopt for any other kind of file and for a path that
// cannot be examined.
std::optional<DeviceGroup> CharacterDeviceGroup(const std::string& path);

}  // namespace quarbe
