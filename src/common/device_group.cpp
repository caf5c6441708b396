#include "common/device_group.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace quarbe {

std::optional<DeviceGroup> CharacterDeviceGroup(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return std::nullopt;
  DeviceGroup group{info.st_gid, {}};
  // The reentrant form: device threads may word failures too. Its buffer
  // grows until the group's entry (with its member list) fits.
  const long suggested = ::sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  for (;;) {
    struct group entry {};
    struct group* found = nullptr;
    const int error = ::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error == 0 && found != nullptr && found->gr_name != nullptr) group.name = found->gr_name;
    return group;
  }
}

}  // namespace quarbe
