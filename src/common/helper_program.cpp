#include "common/helper_program.h"

#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUARBE_SANITIZED 1
#endif
#endif

namespace quarbe {

std::string ProgramDirectory() {
  char self[PATH_MAX + 1];
  const ssize_t length = ::readlink("/proc/self/exe", self, PATH_MAX);
  if (length <= 0) return {};
  std::string directory(self, static_cast<std::size_t>(length));
  directory.erase(directory.rfind('/') + 1);
  return directory;
}

std::string HelperProgramPath(std::string_view name) {
  if (const std::string directory = ProgramDirectory(); !directory.empty()) {
    const std::string beside = directory + "../libexec/quarbe/" + std::string(name);
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
  std::string installed = std::string(QUARBE_LIBEXEC_DIR) + "/" + std::string(name);
  if (::access(installed.c_str(), X_OK) == 0) return installed;
  return {};
}

void SetResourceLimit(int resource, rlim_t soft, rlim_t hard) {
  const rlimit limit{soft, hard};
  ::setrlimit(resource, &limit);
}

void LimitHelperProcess([[maybe_unused]] rlim_t addressSpaceBytes) {
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);  // the program ended before the line above
  SetResourceLimit(RLIMIT_CORE, 0, 0);
  SetResourceLimit(RLIMIT_FSIZE, 0, 0);
#ifndef QUARBE_SANITIZED
  SetResourceLimit(RLIMIT_AS, addressSpaceBytes, addressSpaceBytes);
#endif
}

}  // namespace quarbe
