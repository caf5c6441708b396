#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace quarbe::testing_support {
namespace {

// The fields of a /proc/.../stat line after the command name, which is in
// parentheses and may hold anything: the state first (field 3).
std::vector<std::string> StatFields(const std::string& path, std::string* name = nullptr) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return {};
  const std::size_t open = line.find('(');
  const std::size_t close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  if (name != nullptr) *name = line.substr(open + 1, close - open - 1);
  std::istringstream rest(line.substr(close + 1));
  std::vector<std::string> fields;
  for (std::string field; rest >> field;) fields.push_back(field);
  return fields;
}

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    const std::string name(*entry, equals != nullptr ? static_cast<std::size_t>(equals - *entry) : std::strlen(*entry));
    if (overrides.count(name) == 0) merged.emplace_back(*entry);
  }
  for (const auto& [name, value] : overrides) merged.push_back(name + "=" + value);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options) {
  std::vector<std::string> arguments = argv;
  std::vector<std::string> environment = MergedEnvironment(options.environment);
  std::vector<char*> argp = Pointers(arguments);
  std::vector<char*> envp = Pointers(environment);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (!options.outputPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  } else if (options.outputFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.outputFd, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  if (!options.directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.directory.c_str());
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argp[0], &actions, &attributes, argp.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return;
  pid_ = pid;
  // Readable once the process has ended, so a wait for it returns at that
  // moment rather than at the next look.
  pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() { Stop(); }

void ChildProcess::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

void ChildProcess::SignalGroup(int signal) const {
  if (pid_ > 0) kill(-pid_, signal);
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    if (pidFd_ >= 0) {
      pollfd ended{pidFd_, POLLIN, 0};
      poll(&ended, 1, static_cast<int>(left.count()));
    } else {
      usleep(1000);
    }
  }
  if (pidFd_ >= 0) close(pidFd_);
  pidFd_ = -1;
  pid_ = -1;
  return status_;
}

std::optional<int> ChildProcess::Stop(std::chrono::milliseconds patience) {
  if (pid_ <= 0) return status_;
  const pid_t group = pid_;
  SignalGroup(SIGTERM);
  if (!WaitForExit(patience)) {
    SignalGroup(SIGKILL);
    WaitForExit(std::chrono::hours(1));
  }
  // Children that outlived the leader (gpsfake's gpsd) go with the group.
  kill(-group, SIGKILL);
  return status_;
}

void ChildProcess::Kill() {
  if (pid_ <= 0) return;
  SignalGroup(SIGKILL);
  WaitForExit(std::chrono::hours(1));
}

int ZombieChildren() {
  const std::string self = std::to_string(getpid());
  int zombies = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::vector<std::string> fields = StatFields(entry.path().string() + "/stat");
    // Field 3 is the state, field 4 the parent.
    if (fields.size() > 1 && fields[0] == "Z" && fields[1] == self) ++zombies;
  }
  return zombies;
}

bool CatchesSigterm(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) != 0) continue;
    const unsigned long long caught = std::stoull(line.substr(line.find(':') + 1), nullptr, 16);
    return ((caught >> (SIGTERM - 1)) & 1u) != 0;
  }
  return false;
}

std::chrono::milliseconds ThreadsProcessorTime(const std::string& name) {
  static const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  unsigned long long ticks = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::string threadName;
    const std::vector<std::string> fields = StatFields(entry.path().string() + "/stat", &threadName);
    // Fields 14 and 15: user and system time.
    if (threadName == name && fields.size() > 12) ticks += std::stoull(fields[11]) + std::stoull(fields[12]);
  }
  return std::chrono::milliseconds(ticksPerSecond > 0 ? ticks * 1000 / static_cast<unsigned long long>(ticksPerSecond) : 0);
}

}  // namespace quarbe::testing_support
