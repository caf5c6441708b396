#include "support/pseudo_terminal.h"

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace quarbe::testing_support {

PseudoTerminal::PseudoTerminal() {
  if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "openpty");
  }
  termios settings{};
  tcgetattr(slave_, &settings);
  cfmakeraw(&settings);
  tcsetattr(slave_, TCSANOW, &settings);
  ttyPath_ = ttyname(slave_);
  // Reachable by a daemon that drops its privileges (gpsd).
  chmod(linkDir_.Path().c_str(), 0755);
  devicePath_ = linkDir_.File("tty");
  if (symlink(ttyPath_.c_str(), devicePath_.c_str()) != 0) {
    const int error = errno;
    close(master_);
    close(slave_);
    throw std::system_error(error, std::generic_category(), "symlink " + devicePath_);
  }
}

PseudoTerminal::~PseudoTerminal() { Unplug(); }

bool PseudoTerminal::Send(std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void PseudoTerminal::Drain() const {
  char buffer[512];
  pollfd ready{master_, POLLIN, 0};
  while (master_ >= 0 && poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0 &&
         read(master_, buffer, sizeof buffer) > 0) {
  }
}

std::string PseudoTerminal::Receive(int timeoutMs) const {
  pollfd ready{master_, POLLIN, 0};
  if (master_ < 0 || poll(&ready, 1, timeoutMs) <= 0 || (ready.revents & POLLIN) == 0) return {};
  char buffer[512];
  const ssize_t n = read(master_, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

void PseudoTerminal::StartStreaming(std::string bytes) {
  StopStreaming();
  if (bytes.empty() || master_ < 0) return;
  streaming_ = true;
  streamer_ = std::thread([this, bytes = std::move(bytes)] {
    std::size_t at = 0;
    char dropped[4096];
    while (streaming_) {
      pollfd ready{master_, POLLIN | POLLOUT, 0};
      if (poll(&ready, 1, 50) <= 0) continue;
      if ((ready.revents & POLLIN) != 0) {
        // What the backend sends is of no interest: it is drained so it never blocks.
        [[maybe_unused]] const ssize_t drained = read(master_, dropped, sizeof dropped);
      }
      if ((ready.revents & POLLOUT) != 0) {
        const std::size_t size = std::min<std::size_t>(bytes.size() - at, 1024);
        const ssize_t n = write(master_, bytes.data() + at, size);
        if (n > 0) at = (at + static_cast<std::size_t>(n)) % bytes.size();
      }
    }
  });
}

void PseudoTerminal::StopStreaming() {
  streaming_ = false;
  if (streamer_.joinable()) streamer_.join();
}

void PseudoTerminal::Unplug() {
  StopStreaming();
  unlink(devicePath_.c_str());
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void PseudoTerminal::OpenToEveryone() const { chmod(ttyPath_.c_str(), 0666); }

int PseudoTerminal::OpenCountOfDevice() const {
  struct stat device {};
  if (stat(ttyPath_.c_str(), &device) != 0) return -1;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    struct stat opened {};
    if (stat(entry.path().c_str(), &opened) == 0 && S_ISCHR(opened.st_mode) && opened.st_rdev == device.st_rdev) {
      ++count;
    }
  }
  return count;
}

termios PseudoTerminal::DeviceSettings() const {
  termios settings{};
  tcgetattr(slave_, &settings);
  return settings;
}

}  // namespace quarbe::testing_support
