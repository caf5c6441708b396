#include "support/daemons.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace quarbe::testing_support {
namespace {

constexpr std::chrono::seconds kStartPatience{10};

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

ChildOptions OutputTo(const std::string& logPath) {
  ChildOptions options;
  options.outputPath = logPath;
  return options;
}

std::unique_ptr<ChildProcess> StartListening(const std::vector<std::string>& argv, int port,
                                             const ChildOptions& options) {
  auto daemon = std::make_unique<ChildProcess>(argv, options);
  if (!daemon->Started() || !WaitForListener(port, kStartPatience)) return nullptr;
  return daemon;
}

}  // namespace

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) close(fd);
  return port;
}

bool WaitForListener(int port, std::chrono::milliseconds timeout) {
  // Read off the kernel's socket tables rather than by connecting: rotctld
  // 4.5 closes an ended connection's descriptor twice, and so can close the
  // connection it accepted next, the client's under test.
  const auto listening = [port] {
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
      std::ifstream in(table);
      std::string line;
      std::getline(in, line);  // the heading
      while (std::getline(in, line)) {
        // "  0: 0100007F:1F90 00000000:0000 0A ...": local address:port, remote, state.
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        if (!(fields >> slot >> local >> remote >> state)) continue;
        const std::size_t colon = local.rfind(':');
        if (colon != std::string::npos && state == "0A" &&
            std::strtol(local.c_str() + colon + 1, nullptr, 16) == port) {
          return true;
        }
      }
    }
    return false;
  };
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    if (listening()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

Listener ListenOnLoopback(int backlog) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (fd >= 0) close(fd);
    return {};
  }
  return {fd, ntohs(address.sin_port)};
}

int ConnectToLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

BlackholeListener::BlackholeListener() {
  // A backlog of 0 leaves room for one connection in the accept queue.
  const Listener listener = ListenOnLoopback(0);
  listener_ = listener.fd;
  if (listener_ < 0) return;
  // Connects until one is not answered: from then on the queue is full.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) break;
    queued_.push_back(fd);
    const sockaddr_in target = Loopback(listener.port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) continue;
    if (errno != EINPROGRESS) break;
    pollfd pending{fd, POLLOUT, 0};
    if (poll(&pending, 1, 500) == 0) {
      port_ = listener.port;
      return;
    }
  }
  Close();
}

BlackholeListener::~BlackholeListener() { Close(); }

void BlackholeListener::Close() {
  std::lock_guard lock(mutex_);
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
  for (const int fd : queued_) close(fd);
  queued_.clear();
}

std::unique_ptr<ChildProcess> StartGpsfake(const std::string& nmeaLog, int port, double cycleSeconds,
                                           const std::string& logPath) {
  char cycle[32];
  std::snprintf(cycle, sizeof cycle, "%g", cycleSeconds);
  return StartListening({"gpsfake", "-q", "-1", "-c", cycle, "-P", std::to_string(port), nmeaLog}, port,
                        OutputTo(logPath));
}

std::unique_ptr<ChildProcess> StartRotctld(int port, const std::string& logPath, const std::string& setConf) {
  return StartRotctld(port, OutputTo(logPath), setConf);
}

std::unique_ptr<ChildProcess> StartRotctld(int port, const ChildOptions& output, const std::string& setConf) {
  std::vector<std::string> argv{"rotctld", "-m", "1", "-T", "127.0.0.1", "-t", std::to_string(port), "-vvvv"};
  if (!setConf.empty()) {
    argv.push_back("-C");
    argv.push_back(setConf);
  }
  return StartListening(argv, port, output);
}

std::unique_ptr<ChildProcess> StartRotctldFor(int model, const std::string& device, int port,
                                              const std::string& logPath, const std::string& setConf) {
  std::vector<std::string> argv{"rotctld", "-m", std::to_string(model), "-r", device, "-s", "9600",
                                "-T",      "127.0.0.1", "-t", std::to_string(port)};
  if (!setConf.empty()) {
    argv.push_back("-C");
    argv.push_back(setConf);
  }
  return StartListening(argv, port, OutputTo(logPath));
}

int LogLinesWith(const std::string& logPath, std::string_view marker) {
  std::ifstream in(logPath);
  int count = 0;
  for (std::string line; std::getline(in, line);) count += line.find(marker) != std::string::npos ? 1 : 0;
  return count;
}

std::vector<double> CommandedAzimuths(const std::string& rotctldLog) {
  static const std::string kMarker = std::string(kRotctldCommandMarker) + ": ";
  std::ifstream in(rotctldLog);
  std::vector<double> azimuths;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t at = line.find(kMarker);
    if (at == std::string::npos) continue;
    std::istringstream fields(line.substr(at + kMarker.size()));
    double azimuth = 0.0;
    if (fields >> azimuth) azimuths.push_back(azimuth);
  }
  return azimuths;
}

}  // namespace quarbe::testing_support
