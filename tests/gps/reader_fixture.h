#pragma once
// Stand-ins around the GPS readers in their tests: a symbolic link that can
// be pointed at a new pseudo-terminal (a receiver unplugged and plugged back
// in), and a thread that serves hand-offs as the user interface thread does.
// The receiver itself is a testing_support::PseudoTerminal.

#include <chrono>
#include <condition_variable>
#include <cstddef>
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
// the notifications only and leaves the reader waiting.
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

  GpsSource& reader_;
  const bool serving_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t notifications_ = 0;
  std::size_t served_ = 0;
  std::vector<GpsEvent> events_;
  FixHandoff::Handler extra_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace quarbe::testing_support
