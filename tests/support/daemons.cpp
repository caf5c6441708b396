#include "daemon_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
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

std::unique_ptr<DaemonProcess> StartListening(const std::vector<std::string>& argv, int port,
                                              const std::string& logPath) {
  auto daemon = std::make_unique<DaemonProcess>(argv, logPath);
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
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    const bool connected = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) close(fd);
    if (connected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-daemons-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

DaemonProcess::DaemonProcess(const std::vector<std::string>& argv, const std::string& logPath) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    if (null >= 0) dup2(null, STDIN_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (pid > 0) {
    // Also from this side, so a Stop() right away finds the group.
    setpgid(pid, pid);
    pid_ = pid;
  }
}

DaemonProcess::~DaemonProcess() { Stop(); }

void DaemonProcess::Signal(int signal) {
  if (pid_ > 0) kill(-pid_, signal);
}

void DaemonProcess::Stop() {
  if (pid_ <= 0) return;
  Signal(SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      Signal(SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Children that outlived the leader (gpsfake's gpsd) go with the group.
  Signal(SIGKILL);
  pid_ = -1;
}

void DaemonProcess::Kill() {
  if (pid_ <= 0) return;
  Signal(SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::unique_ptr<DaemonProcess> StartGpsfake(const std::string& nmeaLog, int port, double cycleSeconds,
                                            const std::string& logPath) {
  char cycle[32];
  std::snprintf(cycle, sizeof cycle, "%g", cycleSeconds);
  return StartListening({"gpsfake", "-q", "-1", "-c", cycle, "-P", std::to_string(port), nmeaLog}, port, logPath);
}

std::unique_ptr<DaemonProcess> StartRotctld(int port, const std::string& logPath, const std::string& setConf) {
  std::vector<std::string> argv{"rotctld", "-m", "1", "-T", "127.0.0.1", "-t", std::to_string(port), "-vvvv"};
  if (!setConf.empty()) {
    argv.push_back("-C");
    argv.push_back(setConf);
  }
  return StartListening(argv, port, logPath);
}

std::vector<double> CommandedAzimuths(const std::string& rotctldLog) {
  static const std::string kMarker = "dummy_rot_set_position called: ";
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
