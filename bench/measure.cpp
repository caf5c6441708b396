#include "measure.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quarbe::bench {

std::string SettingsFor(std::string_view gpsDevice, std::string_view rotatorDevice) {
  std::ostringstream text;
  text << "[Contexte]\nLocal=JN18AP\nCorres=JN08WV\n"
       << "[GPS]\nPort=" << (gpsDevice.empty() ? 0 : 1) << "\n"
       << "[Moteur]\nPort=" << (rotatorDevice.empty() ? 0 : 1) << "\nRotation=1\nBut%E9e=180\n"
       << "[Ports]\n";
  if (!gpsDevice.empty()) text << "COM1=" << gpsDevice << "\n";
  if (!rotatorDevice.empty()) text << "LPT1=" << rotatorDevice << "\n";
  return text.str();
}

ChildOptions OffscreenIn(const ScratchDir& home) {
  ChildOptions options;
  options.outputPath = home.File("program.log");
  options.directory = home.Path();
  options.environment = {
      {"HOME", home.Path()},
      {"XDG_CONFIG_HOME", home.Path()},
      {"XDG_RUNTIME_DIR", home.Path()},  // made 0700 by mkdtemp, as Qt wants it
      {"QT_QPA_PLATFORM", "offscreen"},
      {"LANG", "C.UTF-8"},
      {"LC_ALL", "C.UTF-8"},
  };
  return options;
}

RotatorFifo::RotatorFifo(std::string path) : path_(std::move(path)) {
  if (mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  fd_ = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("cannot open the FIFO");
}

RotatorFifo::~RotatorFifo() { close(fd_); }

std::optional<std::uint8_t> RotatorFifo::ReadByte(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{fd_, POLLIN, 0};
    std::uint8_t byte = 0;
    if (poll(&ready, 1, static_cast<int>(std::max<long long>(left.count(), 0))) > 0 && read(fd_, &byte, 1) == 1) {
      return byte;
    }
    if (left.count() <= 0) return std::nullopt;
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
  for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) dropped += static_cast<std::size_t>(n);
  return dropped;
}

std::optional<ProcessCost> ReadProcessCost(pid_t pid, std::string_view threadName) {
  const std::string base = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(base.c_str());
  if (tasks == nullptr) return std::nullopt;
  ProcessCost cost;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    const std::string task = base + "/" + entry->d_name;
    if (!threadName.empty()) {
      std::string name;
      std::ifstream comm(task + "/comm");
      std::getline(comm, name);
      if (name != threadName) continue;
    }
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
  closedir(tasks);
  return cost;
}

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
  return samples[std::min(index, samples.size() - 1)];
}

}  // namespace quarbe::bench
