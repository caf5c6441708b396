#pragma once
// Stand-ins around the GPS readers in their tests: a symbolic link that can
// be pointed at a new pseudo-terminal (a receiver unplugged and plugged back
// in), and a thread that serves hand-offs as the user interface thread does.
// The receiver itself is a testing_support::PseudoTerminal.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gps/gps_source.h"
#include "support/scratch_dir.h"

namespace quarbe::testing_support {

inline constexpr std::chrono::milliseconds kPatience{5000};  // only ever reached on failure

// A symbolic link in a fresh temporary directory.
class DeviceLink {
 public:
  const std::string& Path() const { return path_; }
  void PointAt(const std::string& target);
  void Remove();

 private:
  ScratchDir directory_;
  std::string path_ = directory_.File("receiver");
};

// The user interface thread: installs itself as the source's notifier and
// serves each hand-off, recording the events. With serving off it records
// the notifications only and leaves the events pending. The source calls
// its notifier without waiting for anyone, possibly while this goes away:
// what the notifier touches is shared with it.
class FakeUiThread {
 public:
  explicit FakeUiThread(GpsSource& reader, bool serving = true);
  ~FakeUiThread();

  // What the handler does besides recording (runs on this thread).
  void SetExtraHandler(FixHandoff::Handler handler);

  bool WaitForEvents(std::size_t count);
  bool WaitForNotifications(std::size_t count);
  std::vector<GpsEvent> Events() const;
  std::size_t Notifications() const;

 private:
  void Loop();

  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t notifications = 0;
  };

  GpsSource& reader_;
  const bool serving_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::mutex& mutex_ = shared_->mutex;
  std::condition_variable& changed_ = shared_->changed;
  std::size_t& notifications_ = shared_->notifications;
  std::size_t served_ = 0;
  std::vector<GpsEvent> events_;
  FixHandoff::Handler extra_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace quarbe::testing_support
