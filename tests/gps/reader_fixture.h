#pragma once
// Stand-ins for the GPS receiver and the user interface thread in the reader
// tests: a pseudo-terminal whose slave side is the "serial device", a
// symbolic link that can be pointed at a new pseudo-terminal (a receiver
// unplugged and plugged back in), and a thread that serves hand-offs.

#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gps/gps_reader.h"

namespace quarbe::testing_support {

inline constexpr std::chrono::milliseconds kPatience{5000};  // only ever reached on failure

// A pseudo-terminal. The slave side is set raw at once, so bytes sent before
// the reader has configured it are neither echoed nor edited.
class FakeReceiver {
 public:
  FakeReceiver();
  ~FakeReceiver();
  FakeReceiver(const FakeReceiver&) = delete;
  FakeReceiver& operator=(const FakeReceiver&) = delete;

  const std::string& DevicePath() const { return slavePath_; }
  // Writes all of `bytes` to the master side; false if the write failed.
  bool Send(std::string_view bytes);
  // Closes both sides: the reader sees a hang-up.
  void Unplug();
  // How many descriptors of this process are open on the slave device.
  int OpenCountOfSlave() const;
  // The line settings of the device as the reader left them.
  termios Settings() const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// A symbolic link in a fresh temporary directory.
class DeviceLink {
 public:
  DeviceLink();
  ~DeviceLink();
  const std::string& Path() const { return path_; }
  void PointAt(const std::string& target);
  void Remove();

 private:
  std::string directory_;
  std::string path_;
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
