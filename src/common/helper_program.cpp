#include "common/helper_program.h"

#include <limits.h>
#include <unistd.h>

namespace quarbe {

std::string HelperProgramPath(std::string_view name) {
  char self[PATH_MAX + 1];
  if (const ssize_t length = ::readlink("/proc/self/exe", self, PATH_MAX); length > 0) {
    std::string beside(self, static_cast<std::size_t>(length));
    beside.erase(beside.rfind('/') + 1);
    beside += "../libexec/quarbe/";
    beside += name;
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
  std::string installed = std::string(QUARBE_LIBEXEC_DIR) + "/" + std::string(name);
  if (::access(installed.c_str(), X_OK) == 0) return installed;
  return {};
}

}  // namespace quarbe
