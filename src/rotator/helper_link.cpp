#include "rotator/helper_link.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

#include "common/helper_program.h"

namespace quarbe {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait for an answer looks at the helper's processor time.
constexpr std::chrono::milliseconds kSpinCheckInterval{250};
// How long a helper whose input was closed has to close its rotator and end
// before it is killed, and how long a killed one may take to be reaped.
constexpr std::chrono::milliseconds kCloseLimit{1000};
constexpr std::chrono::milliseconds kReapLimit{2000};

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

// Helpers killed but not yet reaped in time (a process in an uninterruptible
// sleep), waited for again without blocking at the next start of one. Never
// destroyed: a released rotator thread may still end a helper while the
// process exits.
struct Leftovers {
  std::mutex mutex;
  std::vector<pid_t> pids;
};
Leftovers& leftovers = *new Leftovers;

void ReapLeftovers() {
  std::lock_guard lock(leftovers.mutex);
  std::erase_if(leftovers.pids, [](pid_t pid) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    return done == pid || (done < 0 && errno == ECHILD);
  });
}

// Waits until the process has ended, at most until `deadline`; its wait
// status, or nothing while it still runs.
std::optional<int> WaitForEnd(pid_t pid, Clock::time_point deadline) {
  const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  std::optional<int> result;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result = status;
      break;
    }
    if (done < 0 && errno != EINTR) {
      result = -1;  // not ours to wait for any more
      break;
    }
    const int left = MillisecondsUntil(deadline);
    if (left == 0) break;
    if (pidFd >= 0) {
      pollfd ended{pidFd, POLLIN, 0};
      ::poll(&ended, 1, left);
    } else {
      ::poll(nullptr, 0, std::min(left, 10));
    }
  }
  if (pidFd >= 0) ::close(pidFd);
  return result;
}

// Kills the helper's process group and reaps the helper; one that will not
// be reaped now is reaped later.
void KillAndReap(pid_t pid) {
  ::kill(-pid, SIGKILL);
  if (!WaitForEnd(pid, Clock::now() + kReapLimit)) {
    std::lock_guard lock(leftovers.mutex);
    leftovers.pids.push_back(pid);
  }
}

}  // namespace

std::optional<std::chrono::milliseconds> ProcessorTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return std::nullopt;
  // The command name, in parentheses, may hold anything: count the fields
  // from the last ')'. utime and stime are the 14th and 15th fields, the
  // state (the 3rd) comes first after the name.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  unsigned long long user = 0;
  unsigned long long system = 0;
  for (int i = 3; i <= 13; ++i) fields >> field;
  if (!(fields >> user >> system)) return std::nullopt;
  static const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  if (ticksPerSecond <= 0) return std::nullopt;
  return std::chrono::milliseconds((user + system) * 1000 / static_cast<unsigned long long>(ticksPerSecond));
}

HelperLink::HelperLink(HamlibAddress address, std::string helperPath, HelperEventSink events)
    : address_(std::move(address)), helperPath_(std::move(helperPath)), events_(std::move(events)) {}

HelperLink::~HelperLink() { Close(); }

HamlibFailure HelperLink::Failure(HamlibFailure::Stage stage, HamlibFailure::Problem problem, int errorNumber) const {
  return HamlibFailure{stage, address_, false, problem, 0, errorNumber};
}

HamlibFailure HelperLink::FailureOf(const HelperFailed& failed) const {
  HamlibFailure failure{failed.stage,      address_,          failed.network, HamlibProblemOf(failed.hamlibCode),
                        failed.hamlibCode, failed.errorNumber};
  failure.setting = failed.setting;
  return failure;
}

std::variant<HamlibRotatorInfo, HamlibFailure> HelperLink::Open() {
  Close();
  ReapLeftovers();
  if (helperPath_.empty()) return Failure(HamlibFailure::Stage::kOpen, HamlibFailure::Problem::kNoHelper);
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    return Failure(HamlibFailure::Stage::kOpen, HamlibFailure::Problem::kNoHelper, errno);
  }
  int errorNumber = 0;
  std::vector<std::string> argv{helperPath_, std::to_string(address_.model), address_.device,
                                std::to_string(address_.speedBaud)};
  for (const HamlibSetting& setting : address_.settings) argv.push_back(setting.name + "=" + setting.value);
  const std::optional<pid_t> pid = SpawnHelper(argv, sockets[1], sockets[1], errorNumber);
  ::close(sockets[1]);
  if (!pid) {
    ::close(sockets[0]);
    return Failure(HamlibFailure::Stage::kOpen, HamlibFailure::Problem::kNoHelper, errorNumber);
  }
  pid_ = *pid;
  socket_ = sockets[0];
  processorAfterAnswer_ = std::chrono::milliseconds(0);
  if (events_) events_(HelperEvent::kStarted);

  auto reply = Await(HamlibFailure::Stage::kOpen);
  if (auto* failure = std::get_if<HamlibFailure>(&reply)) return std::move(*failure);
  const HelperReply& answer = std::get<HelperReply>(reply);
  if (const auto* info = std::get_if<HamlibRotatorInfo>(&answer)) {
    open_ = true;
    return *info;
  }
  if (const auto* failed = std::get_if<HelperFailed>(&answer)) {
    // The helper ends by itself after a failed open.
    const HamlibFailure failure = FailureOf(*failed);
    Close();
    return failure;
  }
  return End(HamlibFailure::Stage::kOpen, HamlibFailure::Problem::kCrashed);
}

std::optional<HamlibFailure> HelperLink::SetAzimuth(double azimuthDeg) {
  auto reply = Exchange(HelperSet{azimuthDeg}, HamlibFailure::Stage::kCommand);
  if (auto* failure = std::get_if<HamlibFailure>(&reply)) return std::move(*failure);
  const HelperReply& answer = std::get<HelperReply>(reply);
  if (std::holds_alternative<HelperDone>(answer)) return std::nullopt;
  if (const auto* failed = std::get_if<HelperFailed>(&answer)) return FailureOf(*failed);
  return End(HamlibFailure::Stage::kCommand, HamlibFailure::Problem::kCrashed);
}

std::variant<double, HamlibFailure> HelperLink::Azimuth() {
  auto reply = Exchange(HelperGet{}, HamlibFailure::Stage::kCommand);
  if (auto* failure = std::get_if<HamlibFailure>(&reply)) return std::move(*failure);
  const HelperReply& answer = std::get<HelperReply>(reply);
  if (const auto* at = std::get_if<HelperAt>(&answer)) return at->azimuthDeg;
  if (const auto* failed = std::get_if<HelperFailed>(&answer)) return FailureOf(*failed);
  return End(HamlibFailure::Stage::kCommand, HamlibFailure::Problem::kCrashed);
}

std::variant<HelperReply, HamlibFailure> HelperLink::Exchange(const HelperRequest& request,
                                                              HamlibFailure::Stage stage) {
  if (pid_ < 0 || !open_) return Failure(stage, HamlibFailure::Problem::kCrashed);
  // A helper that burnt processor time while it had nothing to do is
  // spinning on a thread of its own.
  if (const auto used = ProcessorTime(pid_); used && *used - processorAfterAnswer_ > kHelperProcessorLimit) {
    return End(stage, HamlibFailure::Problem::kStuck);
  }
  const std::string line = EncodeRequest(request);
  std::string_view rest = line;
  while (!rest.empty()) {
    // The helper reads one short line at a time: the socket's buffer takes
    // a request whole. MSG_NOSIGNAL: a helper that died must not take this
    // process with it.
    const ssize_t n = ::send(socket_, rest.data(), rest.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Died(stage);
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  return Await(stage);
}

std::variant<HelperReply, HamlibFailure> HelperLink::Await(HamlibFailure::Stage stage) {
  const Clock::time_point deadline = Clock::now() + kHelperAnswerLimit;
  const std::optional<std::chrono::milliseconds> processorAtStart = ProcessorTime(pid_);
  for (;;) {
    if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
      const std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (const auto used = ProcessorTime(pid_)) processorAfterAnswer_ = *used;
      if (auto reply = DecodeReply(line)) return std::move(*reply);
      return End(stage, HamlibFailure::Problem::kCrashed);
    }
    if (pending_.size() > kHelperLineLimit) return End(stage, HamlibFailure::Problem::kCrashed);
    const int left = MillisecondsUntil(deadline);
    if (left == 0) return End(stage, HamlibFailure::Problem::kStuck);
    pollfd ready{socket_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, std::min(left, static_cast<int>(kSpinCheckInterval.count())));
    if (polled < 0 && errno != EINTR) return End(stage, HamlibFailure::Problem::kCrashed, errno);
    if (polled > 0) {
      char buffer[256];
      const ssize_t n = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n == 0) return Died(stage);
      if (n > 0) pending_.append(buffer, static_cast<std::size_t>(n));
      if (n < 0 && errno != EINTR && errno != EAGAIN) return Died(stage);
    }
    const std::optional<std::chrono::milliseconds> used = ProcessorTime(pid_);
    if (processorAtStart && used && *used - *processorAtStart > kHelperProcessorLimit) {
      return End(stage, HamlibFailure::Problem::kStuck);
    }
  }
}

HamlibFailure HelperLink::End(HamlibFailure::Stage stage, HamlibFailure::Problem problem, int errorNumber) {
  if (pid_ > 0) {
    KillAndReap(pid_);
    if (events_) events_(HelperEvent::kEnded);
  }
  Release();
  return Failure(stage, problem, errorNumber);
}

HamlibFailure HelperLink::Died(HamlibFailure::Stage stage) {
  // Its side closed: it has ended or is about to; one that lingers is killed.
  if (pid_ > 0) {
    const std::optional<int> status = WaitForEnd(pid_, Clock::now() + kCloseLimit);
    if (!status) {
      KillAndReap(pid_);
      if (events_) events_(HelperEvent::kEnded);
    } else if (events_) {
      events_(HelperEvent::kDied);
    }
  }
  Release();
  return Failure(stage, HamlibFailure::Problem::kCrashed);
}

void HelperLink::Close() {
  if (pid_ > 0) {
    // The end of its input tells the helper to close the rotator and end.
    ::shutdown(socket_, SHUT_WR);
    if (!WaitForEnd(pid_, Clock::now() + kCloseLimit)) KillAndReap(pid_);
  }
  Release();
}

void HelperLink::Release() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  pid_ = -1;
  open_ = false;
  pending_.clear();
}

}  // namespace quarbe
