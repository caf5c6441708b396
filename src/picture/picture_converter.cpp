#include "picture/picture_converter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "common/helper_program.h"

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
  int Release() { return std::exchange(fd_, -1); }

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

}  // namespace

FilterRun::FilterRun(pid_t pid, int output, std::chrono::steady_clock::time_point deadline,
                     std::size_t maxOutputBytes)
    : pid_(pid), output_(output), deadline_(deadline), maxOutputBytes_(maxOutputBytes) {}

FilterRun::~FilterRun() {
  Cancel();
  ::close(output_);
}

std::unique_ptr<FilterRun> FilterRun::Start(const std::vector<std::string>& argv, std::string_view input,
                                            const FilterLimits& limits) {
  if (argv.empty()) return nullptr;
  const auto deadline = std::chrono::steady_clock::now() + limits.time;
  // The input goes through an anonymous file rather than a pipe: the child
  // reads it at its own pace, and nothing here waits on a child that does
  // not read.
  const Descriptor in(::memfd_create("quarbe-filter-input", MFD_CLOEXEC));
  if (!in || !WriteAll(in.get(), input) || ::lseek(in.get(), 0, SEEK_SET) != 0) return nullptr;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return nullptr;
  Descriptor outRead(pipeFds[0]);
  Descriptor outWrite(pipeFds[1]);
  // Only this end is non-blocking; the child's blocks, as a standard output.
  if (::fcntl(outRead.get(), F_SETFL, O_NONBLOCK) != 0) return nullptr;

  int spawnError = 0;
  const std::optional<pid_t> pid = SpawnHelper(argv, in.get(), outWrite.get(), spawnError);
  outWrite.Reset();  // the child's copy is the only writer left
  if (!pid) return nullptr;
  return std::unique_ptr<FilterRun>(new FilterRun(*pid, outRead.Release(), deadline, limits.maxOutputBytes));
}

FilterRun::State FilterRun::Finish(State state) {
  if (state_ != State::kRunning) return state_;
  if (state == State::kFailed && pid_ > 0) {
    // Killed, then reaped: a killed process is gone within moments.
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  state_ = state;
  if (state == State::kFailed) bytes_.clear();
  return state_;
}

void FilterRun::Cancel() { Finish(State::kFailed); }

FilterRun::State FilterRun::Step() {
  if (state_ != State::kRunning) return state_;
  char buffer[64 * 1024];
  while (!outputEnded_) {
    const ssize_t n = ::read(output_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    if (n < 0) return Finish(State::kFailed);
    if (n == 0) {
      outputEnded_ = true;
      break;
    }
    if (bytes_.size() + static_cast<std::size_t>(n) > maxOutputBytes_) return Finish(State::kFailed);
    bytes_.append(buffer, static_cast<std::size_t>(n));
  }
  if (outputEnded_) {
    int status = 0;
    pid_t done = -1;
    do {
      done = ::waitpid(pid_, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == pid_) {
      pid_ = -1;  // reaped
      return Finish(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? State::kSucceeded : State::kFailed);
    }
    if (done < 0) return Finish(State::kFailed);
  }
  // Still running: within its time, or ended now.
  if (MillisecondsLeft(deadline_) == 0) return Finish(State::kFailed);
  return state_;
}

FilterRun::State FilterRun::Wait() {
  for (;;) {
    const State state = Step();
    if (state != State::kRunning) return state;
    // Once the output has ended, the child is checked on every millisecond
    // until it has exited.
    pollfd ready{output_, POLLIN, 0};
    const int left = MillisecondsLeft(deadline_);
    ::poll(&ready, outputEnded_ ? 0 : 1, outputEnded_ ? std::min(left, 1) : left);
  }
}

std::optional<std::string> RunFilter(const std::vector<std::string>& argv, std::string_view input,
                                     const FilterLimits& limits) {
  const std::unique_ptr<FilterRun> run = FilterRun::Start(argv, input, limits);
  if (run == nullptr || run->Wait() != FilterRun::State::kSucceeded) return std::nullopt;
  return run->Output();
}

std::vector<std::string> RenderCommand(int widthPx, int heightPx) {
  if (!RenderedBytes(widthPx, heightPx)) return {};
  std::string converter = HelperProgramPath(kConverterName);
  if (converter.empty()) return {};
  return {std::move(converter), std::to_string(widthPx), std::to_string(heightPx)};
}

}  // namespace quarbe
