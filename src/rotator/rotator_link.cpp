#include "rotator/rotator_link.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/helper_program.h"
#include "rotator/helper_link.h"

namespace quarbe {
namespace {

constexpr const char* kHelperName = "quarbe-rotator";
// rotctld's port when the address names none, as Hamlib takes it.
constexpr const char* kRotctldPort = "4533";

struct HostPort {
  std::string host;
  std::string port;
};

// "HOST:PORT", "[IPV6]:PORT", "HOST" or a bare IPv6 address, as Hamlib reads
// rotctld's address.
HostPort SplitAddress(const std::string& address) {
  if (!address.empty() && address.front() == '[') {
    const std::size_t close = address.find(']');
    if (close != std::string::npos) {
      const bool hasPort = close + 1 < address.size() && address[close + 1] == ':';
      return {address.substr(1, close - 1), hasPort ? address.substr(close + 2) : kRotctldPort};
    }
  }
  const std::size_t colon = address.find(':');
  if (colon != std::string::npos && address.find(':', colon + 1) == std::string::npos) {
    return {address.substr(0, colon), address.substr(colon + 1)};
  }
  return {address, kRotctldPort};
}

// Connects to one address within the deadline; 0, or the error number.
int TryConnect(const addrinfo& candidate, std::chrono::steady_clock::time_point deadline) {
  const int fd = ::socket(candidate.ai_family, candidate.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          candidate.ai_protocol);
  if (fd < 0) return errno;
  int result = 0;
  if (::connect(fd, candidate.ai_addr, candidate.ai_addrlen) != 0) {
    result = errno;
    if (result == EINPROGRESS) {
      pollfd writable{fd, POLLOUT, 0};
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      const int polled = ::poll(&writable, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
      if (polled == 0) {
        result = ETIMEDOUT;
      } else if (polled < 0) {
        result = errno;
      } else {
        socklen_t size = sizeof result;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
      }
    }
  }
  ::close(fd);
  return result;
}

// Why a daemon could not be reached: the system's error number, or
// getaddrinfo's code when its host name does not resolve.
struct Unreachable {
  int errorNumber = 0;
  int lookupError = 0;
};

// The numeric address Hamlib is to connect to, once a connection to it has
// been made within kConnectLimit; else why not.
std::variant<std::string, Unreachable> Reachable(const std::string& address) {
  const HostPort target = SplitAddress(address);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  // The system's resolver bounds this wait with its own timeouts.
  if (const int code = ::getaddrinfo(target.host.c_str(), target.port.c_str(), &hints, &found);
      code != 0 || found == nullptr) {
    if (found != nullptr) ::freeaddrinfo(found);
    return Unreachable{code == EAI_SYSTEM ? errno : EHOSTUNREACH, code == EAI_SYSTEM ? 0 : code};
  }
  const auto deadline = std::chrono::steady_clock::now() + kConnectLimit;
  int error = EHOSTUNREACH;
  std::string numeric;
  for (const addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
    error = TryConnect(*candidate, deadline);
    if (error != 0) continue;
    char host[NI_MAXHOST];
    char port[NI_MAXSERV];
    if (::getnameinfo(candidate->ai_addr, candidate->ai_addrlen, host, sizeof host, port, sizeof port,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
      error = EHOSTUNREACH;
      continue;
    }
    numeric = candidate->ai_family == AF_INET6 ? "[" + std::string(host) + "]:" + port
                                               : std::string(host) + ":" + port;
    break;
  }
  ::freeaddrinfo(found);
  if (numeric.empty()) return Unreachable{error, 0};
  return numeric;
}

// rotctld through Hamlib in this process.
class DaemonLink final : public RotatorLink {
 public:
  explicit DaemonLink(HamlibAddress address) : address_(std::move(address)) {}

  std::variant<HamlibRotatorInfo, HamlibFailure> Open() override {
    Close();
    auto reachable = Reachable(address_.device);
    if (const auto* unreachable = std::get_if<Unreachable>(&reachable)) {
      HamlibFailure failure{HamlibFailure::Stage::kOpen, address_, true, HamlibFailure::Problem::kInputOutput, 0,
                            unreachable->errorNumber};
      failure.lookupError = unreachable->lookupError;
      return failure;
    }
    device_ = std::make_unique<HamlibDevice>(address_, std::get<std::string>(reachable));
    auto opened = device_->Open();
    // rotctld 4.5 closes an ended connection's descriptor twice, and so can
    // close the one it has just accepted (Hamlib's, right after the look
    // above): the connection then ends, or is reset, without a word during
    // the handshake. That is worth one more try at once.
    if (const auto* failure = std::get_if<HamlibFailure>(&opened);
        failure != nullptr && failure->problem == HamlibFailure::Problem::kInputOutput &&
        (failure->errorNumber == 0 || failure->errorNumber == ECONNRESET || failure->errorNumber == EPIPE)) {
      opened = device_->Open();
    }
    if (std::holds_alternative<HamlibFailure>(opened)) device_.reset();
    return opened;
  }
  std::optional<HamlibFailure> SetAzimuth(double azimuthDeg) override {
    std::optional<HamlibFailure> failure = device_->SetAzimuth(azimuthDeg);
    if (failure) Blame(*failure);
    return failure;
  }
  std::variant<double, HamlibFailure> Azimuth() override {
    auto azimuth = device_->Azimuth();
    if (auto* failure = std::get_if<HamlibFailure>(&azimuth)) Blame(*failure);
    return azimuth;
  }
  bool IsOpen() const override { return device_ != nullptr; }
  void Close() override { device_.reset(); }

 private:
  // rotctld answers a command its rotator failed with that rotator's error
  // code; Hamlib's client returns it as its own. Whether rotctld still
  // answers tells the two apart. rotctld waits out its rotator's own
  // timeouts before it answers: a reply later than ours leaves this
  // connection out of step, so the question is asked again on a fresh one
  // before rotctld is taken for gone. One that does not answer is closed.
  void Blame(HamlibFailure& failure) {
    if (device_->Answers()) {
      failure.daemonAnswered = true;
      return;
    }
    device_.reset();
    if (std::holds_alternative<HamlibRotatorInfo>(Open()) && device_->Answers()) {
      failure.daemonAnswered = true;
    } else {
      device_.reset();
    }
  }

  HamlibAddress address_;
  std::unique_ptr<HamlibDevice> device_;
};

}  // namespace

std::unique_ptr<RotatorLink> MakeRotatorLink(const HamlibAddress& address, HelperEventSink events,
                                             const std::string& helperPath) {
  if (address.model == kHamlibNetworkModel) return std::make_unique<DaemonLink>(address);
  return std::make_unique<HelperLink>(address, helperPath.empty() ? HelperProgramPath(kHelperName) : helperPath,
                                      std::move(events));
}

}  // namespace quarbe
