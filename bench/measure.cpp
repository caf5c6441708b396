#include "program_under_test.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quarbe::bench {

ScratchHome::ScratchHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchHome::~ScratchHome() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchHome::WriteSettings(std::string_view text) const {
  std::ofstream out(SettingsPath(), std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string SettingsFor(std::string_view gpsDevice, std::string_view rotatorDevice) {
  std::ostringstream text;
  text << "[Contexte]\nLocal=JN18AP\nCorres=JN08WV\n"
       << "[GPS]\nPort=1\n"
       << "[Moteur]\nPort=1\nRotation=1\nBut%E9e=180\n"
       << "[Ports]\nCOM1=" << gpsDevice << "\nLPT1=" << rotatorDevice << "\n";
  return text.str();
}

GpsLine::GpsLine() {
  if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  termios settings{};
  ::tcgetattr(slave_, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(slave_, TCSANOW, &settings);
  slavePath_ = ::ttyname(slave_);
}

GpsLine::~GpsLine() {
  ::close(master_);
  ::close(slave_);
}

bool GpsLine::Send(std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

RotatorFifo::RotatorFifo(std::string path) : path_(std::move(path)) {
  if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("cannot open the FIFO");
}

RotatorFifo::~RotatorFifo() { ::close(fd_); }

std::optional<std::uint8_t> RotatorFifo::ReadByte(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::uint8_t byte = 0;
    const ssize_t n = ::read(fd_, &byte, 1);
    if (n == 1) return byte;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd ready{fd_, POLLIN, 0};
    // With no writer the FIFO reports a hang-up at once: wait a little then.
    if (::poll(&ready, 1, static_cast<int>(left.count())) > 0 && (ready.revents & POLLIN) == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::size_t RotatorFifo::WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t got = 0;
  while (got < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadByte(left)) break;
    ++got;
  }
  return got;
}

std::size_t RotatorFifo::Drain() const {
  std::size_t dropped = 0;
  char buffer[256];
  for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) dropped += static_cast<std::size_t>(n);
  return dropped;
}

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                               const ScratchHome& home) {
  std::vector<std::string> environment = {
      "HOME=" + home.Path(),
      "XDG_CONFIG_HOME=" + home.Path(),
      "XDG_RUNTIME_DIR=" + home.Path(),
      "QT_QPA_PLATFORM=offscreen",
      "LANG=C.UTF-8",
      std::string("PATH=") + (std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin"),
  };
  ::chmod(home.Path().c_str(), 0700);  // as Qt wants its runtime directory
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> args;
  for (std::string& argument : argv) args.push_back(argument.data());
  args.push_back(nullptr);

  const std::string log = home.File("program.log");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, home.Path().c_str());
  const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) pid_ = -1;
}

RunningProgram::~RunningProgram() { Stop(); }

bool RunningProgram::Alive() {
  if (pid_ <= 0) return false;
  if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

int RunningProgram::Stop(std::chrono::milliseconds patience) {
  if (!Alive()) return status_;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
      pid_ = -1;
      return status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status_, 0);
  pid_ = -1;
  return status_;
}

std::optional<ProcessCost> ReadProcessCost(pid_t pid) {
  const std::string base = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = ::opendir(base.c_str());
  if (tasks == nullptr) return std::nullopt;
  ProcessCost cost;
  while (const dirent* entry = ::readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    const std::string task = base + "/" + entry->d_name;
    // schedstat: nanoseconds on the processor, first of its three fields;
    // far finer than the clock ticks of stat.
    std::ifstream schedstat(task + "/schedstat");
    unsigned long long runNs = 0;
    if (schedstat >> runNs) cost.cpuSeconds += static_cast<double>(runNs) * 1e-9;
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);) {
      const auto value = [&line] { return std::stoull(line.substr(line.find(':') + 1)); };
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) cost.voluntarySwitches += value();
      if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) cost.involuntarySwitches += value();
    }
  }
  ::closedir(tasks);
  return cost;
}

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
  return samples[index];
}

}  // namespace quarbe::bench
