#include "picture/picture_converter.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;

namespace quarbe {
namespace {

constexpr const char* kConverterName = "quarbe-emf2svg";

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

// Starts argv[0] with `input` as its standard input and `output` as its
// standard output, every signal at its default disposition and none
// blocked. posix_spawn rather than fork: this process has threads, and the
// child must run nothing of this program before exec.
std::optional<pid_t> Spawn(const std::vector<std::string>& argv, int input, int output) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return std::nullopt;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return std::nullopt;
  }
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return std::nullopt;
  return pid;
}

// Waits for the child until the deadline, then kills it. Returns its status.
int Reap(pid_t pid, std::chrono::steady_clock::time_point deadline, bool kill) {
  int status = 0;
  for (;;) {
    if (kill) ::kill(pid, SIGKILL);
    const pid_t done = ::waitpid(pid, &status, kill ? 0 : WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) return -1;
    if (done == 0) {
      // Its output is closed but it has not ended yet: it normally ends at
      // once; one that lingers past the deadline is killed.
      if (MillisecondsLeft(deadline) == 0) {
        kill = true;
      } else {
        ::poll(nullptr, 0, 1);
      }
    }
  }
}

}  // namespace

std::optional<std::string> RunFilter(const std::vector<std::string>& argv, std::string_view input,
                                     const FilterLimits& limits) {
  if (argv.empty()) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + limits.time;
  // The input goes through an anonymous file rather than a pipe: the child
  // reads it at its own pace, and nothing here waits on a child that does
  // not read.
  const Descriptor in(::memfd_create("quarbe-filter-input", MFD_CLOEXEC));
  if (!in || !WriteAll(in.get(), input) || ::lseek(in.get(), 0, SEEK_SET) != 0) return std::nullopt;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  const Descriptor outRead(pipeFds[0]);
  Descriptor outWrite(pipeFds[1]);

  const std::optional<pid_t> pid = Spawn(argv, in.get(), outWrite.get());
  outWrite.Reset();  // the child's copy is the only writer left
  if (!pid) return std::nullopt;

  std::string output;
  bool complete = false;
  char buffer[64 * 1024];
  for (;;) {
    pollfd ready{outRead.get(), POLLIN, 0};
    const int left = MillisecondsLeft(deadline);
    if (left == 0) break;
    const int polled = ::poll(&ready, 1, left);
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) break;
    const ssize_t n = ::read(outRead.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    if (n == 0) {
      complete = true;
      break;
    }
    if (output.size() + static_cast<std::size_t>(n) > limits.maxOutputBytes) break;
    output.append(buffer, static_cast<std::size_t>(n));
  }
  const int status = Reap(*pid, deadline, !complete);
  if (!complete || status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

std::string ProgramDirectory() {
  char self[PATH_MAX + 1];
  const ssize_t length = ::readlink("/proc/self/exe", self, PATH_MAX);
  if (length <= 0) return {};
  std::string directory(self, static_cast<std::size_t>(length));
  directory.erase(directory.rfind('/') + 1);
  return directory;
}

std::string ConverterPath() {
  if (const std::string directory = ProgramDirectory(); !directory.empty()) {
    const std::string beside = directory + "../libexec/quarbe/" + kConverterName;
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
  const std::string installed = std::string(QUARBE_LIBEXEC_DIR) + "/" + kConverterName;
  if (::access(installed.c_str(), X_OK) == 0) return installed;
  return {};
}

std::optional<std::string> ConvertEmfToSvg(std::string_view emf) {
  const std::string converter = ConverterPath();
  if (converter.empty()) return std::nullopt;
  return RunFilter({converter}, emf);
}

}  // namespace quarbe
