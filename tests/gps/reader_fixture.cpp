#include "pty_fixture.h"

#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace quarbe::testing_support {

FakeReceiver::FakeReceiver() {
  if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  termios settings{};
  tcgetattr(slave_, &settings);
  cfmakeraw(&settings);
  tcsetattr(slave_, TCSANOW, &settings);
  slavePath_ = ttyname(slave_);
}

FakeReceiver::~FakeReceiver() { Unplug(); }

bool FakeReceiver::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void FakeReceiver::Unplug() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

int FakeReceiver::OpenCountOfSlave() const {
  struct stat device {};
  if (stat(slavePath_.c_str(), &device) != 0) return -1;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    struct stat opened {};
    if (stat(entry.path().c_str(), &opened) == 0 && S_ISCHR(opened.st_mode) && opened.st_rdev == device.st_rdev) {
      ++count;
    }
  }
  return count;
}

termios FakeReceiver::Settings() const {
  termios settings{};
  tcgetattr(slave_, &settings);
  return settings;
}

DeviceLink::DeviceLink() {
  std::string pattern = (std::filesystem::temp_directory_path() / "gps-link-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  directory_ = pattern;
  path_ = directory_ + "/receiver";
}

DeviceLink::~DeviceLink() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void DeviceLink::PointAt(const std::string& target) {
  Remove();
  std::filesystem::create_symlink(target, path_);
}

void DeviceLink::Remove() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

FakeUiThread::FakeUiThread(GpsSource& reader, bool serving) : reader_(reader), serving_(serving) {
  reader_.SetNotifier([this] {
    {
      std::lock_guard lock(mutex_);
      ++notifications_;
    }
    changed_.notify_all();
  });
  thread_ = std::thread([this] { Loop(); });
}

FakeUiThread::~FakeUiThread() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
  reader_.SetNotifier(nullptr);
}

void FakeUiThread::SetExtraHandler(FixHandoff::Handler handler) {
  std::lock_guard lock(mutex_);
  extra_ = std::move(handler);
}

void FakeUiThread::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || (serving_ && served_ < notifications_); });
    if (quit_) return;
    ++served_;
    FixHandoff::Handler extra = extra_;
    lock.unlock();
    reader_.Serve([&](const GpsEvent& event) {
      {
        std::lock_guard recordLock(mutex_);
        events_.push_back(event);
      }
      changed_.notify_all();
      if (extra) extra(event);
    });
    lock.lock();
  }
}

bool FakeUiThread::WaitForEvents(std::size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kPatience, [&] { return events_.size() >= count; });
}

bool FakeUiThread::WaitForNotifications(std::size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kPatience, [&] { return notifications_ >= count; });
}

std::vector<GpsEvent> FakeUiThread::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::size_t FakeUiThread::Notifications() const {
  std::lock_guard lock(mutex_);
  return notifications_;
}

}  // namespace quarbe::testing_support
