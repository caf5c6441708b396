#include "common/helper_program.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUARBE_SANITIZED 1
#endif
#endif

extern char** environ;

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

std::optional<pid_t> SpawnHelper(const std::vector<std::string>& argv, int input, int output, int& errorNumber) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if ((errorNumber = posix_spawn_file_actions_init(&actions)) != 0) return std::nullopt;
  if ((errorNumber = posix_spawnattr_init(&attributes)) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return std::nullopt;
  }
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  pid_t pid = -1;
  errorNumber = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (errorNumber != 0) return std::nullopt;
  return pid;
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
