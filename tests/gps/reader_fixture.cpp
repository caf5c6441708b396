#include "reader_fixture.h"

#include <filesystem>

namespace quarbe::testing_support {

void DeviceLink::PointAt(const std::string& target) {
  Remove();
  std::filesystem::create_symlink(target, path_);
}

void DeviceLink::Remove() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

FakeUiThread::FakeUiThread(GpsSource& reader, bool serving) : reader_(reader), serving_(serving) {
  reader_.SetNotifier([shared = shared_] {
    {
      std::lock_guard lock(shared->mutex);
      ++shared->notifications;
    }
    shared->changed.notify_all();
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
