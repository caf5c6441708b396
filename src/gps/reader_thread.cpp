#include "gps/reader_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <system_error>
#include <utility>

namespace quarbe {

ReaderThreadCore::ReaderThreadCore() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ReaderThreadCore::~ReaderThreadCore() {
  Halt();
  if (wakeFd_ >= 0) close(wakeFd_);
}

void ReaderThreadCore::SetNotifier(FixHandoff::Notifier notifier) { handoff_.SetNotifier(std::move(notifier)); }

bool ReaderThreadCore::Serve(const FixHandoff::Handler& handler) { return handoff_.Serve(handler); }

void ReaderThreadCore::SetGpsUse(bool on) { gpsUse_.store(on); }
bool ReaderThreadCore::GpsUse() const { return gpsUse_.load(); }
bool ReaderThreadCore::PortOpen() const { return portOpen_.load(); }
bool ReaderThreadCore::Running() const { return running_.load(); }

void ReaderThreadCore::Nudge() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
}

void ReaderThreadCore::Reset() {
  Halt();
  stop_.store(false);
  handoff_.Reset();
  DrainWake();
}

bool ReaderThreadCore::Halt() {
  if (!thread_.joinable()) return false;
  stop_.store(true);
  Nudge();
  handoff_.Cancel();
  thread_.join();
  return true;
}

void ReaderThreadCore::Launch(std::function<void()> body) {
  SetRunning(true);
  try {
    thread_ = std::thread([this, body = std::move(body)] {
      body();
      SetRunning(false);
    });
  } catch (const std::system_error&) {
    // No thread could be made (out of memory or of processes): the program
    // goes on without the GPS, as with no port configured.
    SetRunning(false);
  }
}

void ReaderThreadCore::SetPortOpen(bool open) {
  {
    std::lock_guard lock(statsMutex_);
    portOpen_.store(open);
  }
  statsChanged_.notify_all();
}

void ReaderThreadCore::SetRunning(bool running) {
  {
    std::lock_guard lock(statsMutex_);
    running_.store(running);
  }
  statsChanged_.notify_all();
}

void ReaderThreadCore::DrainWake() {
  if (wakeFd_ < 0) return;
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(wakeFd_, &count, sizeof count);
}

}  // namespace quarbe
