#include "gps/reader_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>

namespace quarbe {
namespace {

using Clock = std::chrono::steady_clock;

// How long a reader waits for the one before it to let go of the device. A
// woken reader ends at once; one stuck in a driver's open or close is not
// waited for longer than this (the open may then find the device busy).
constexpr std::chrono::seconds kPredecessorPatience{2};
// How often that wait looks at the reader's own stop flag.
constexpr std::chrono::milliseconds kStopLookInterval{20};

// Readers let go whose threads have not ended yet.
std::atomic<int> g_releasedRunning{0};

}  // namespace

void ThreadEnd::Set() {
  {
    std::lock_guard lock(mutex_);
    isSet_ = true;
  }
  set_.notify_all();
}

bool ThreadEnd::IsSet() const {
  std::lock_guard lock(mutex_);
  return isSet_;
}

bool ThreadEnd::WaitUntil(std::chrono::steady_clock::time_point deadline) const {
  std::unique_lock lock(mutex_);
  return set_.wait_until(lock, deadline, [this] { return isSet_; });
}

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

namespace {

std::int64_t Nanoseconds(Clock::time_point at) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

std::optional<Clock::time_point> TimeOf(std::int64_t nanoseconds) {
  if (nanoseconds == 0) return std::nullopt;
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds)));
}

}  // namespace

GpsActivity ReaderThreadCore::Activity() const {
  return GpsActivity{portOpen_.load(), TimeOf(lastDataNs_.load()), TimeOf(lastPositionNs_.load())};
}

void ReaderThreadCore::NoteData(Clock::time_point now) {
  const std::int64_t at = Nanoseconds(now);
  const std::int64_t before = lastDataNs_.exchange(at);
  if (before == 0 || at - before >= std::chrono::nanoseconds(kGpsSilence).count()) handoff_.Ring();
}

void ReaderThreadCore::NotePosition(Clock::time_point now) { lastPositionNs_.store(Nanoseconds(now)); }

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
  // A new start: what the one before received says nothing of this one.
  lastDataNs_.store(0);
  lastPositionNs_.store(0);
}

void ReaderThreadCore::AskToEnd() {
  // The hand-off first: a thread that is stopping tells the UI thread
  // nothing more, not even that its port closed.
  handoff_.Cancel();
  stop_.store(true);
  Nudge();
}

bool ReaderThreadCore::Halt() {
  if (!thread_.joinable()) return false;
  AskToEnd();
  thread_.join();
  return true;
}

bool ReaderThreadCore::RequestStop() {
  if (!thread_.joinable()) return true;
  AskToEnd();
  if (ownership_.load() != Ownership::kEnded) return false;
  thread_.join();
  return true;
}

void ReaderThreadCore::Release(std::unique_ptr<ReaderThreadCore> reader) {
  if (!reader || reader->RequestStop()) return;
  ReaderThreadCore* left = reader.release();
  g_releasedRunning.fetch_add(1);
  left->thread_.detach();
  if (left->ownership_.exchange(Ownership::kReleased) == Ownership::kEnded) {
    // It ended meanwhile, before it could see it was let go: it is done
    // with the reader, and nothing else will delete it.
    g_releasedRunning.fetch_sub(1);
    delete left;
  }
}

int ReaderThreadCore::ReleasedStillRunning() { return g_releasedRunning.load(); }

void ReaderThreadCore::WaitForPredecessor(const ThreadEnd& predecessor) const {
  const Clock::time_point deadline = Clock::now() + kPredecessorPatience;
  while (!stop_.load()) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline || predecessor.WaitUntil(std::min(deadline, now + kStopLookInterval))) return;
  }
}

void ReaderThreadCore::Launch(std::function<void()> body, std::shared_ptr<const ThreadEnd> after) {
  SetRunning(true);
  ownership_.store(Ownership::kOwned);
  end_ = std::make_shared<ThreadEnd>();
  try {
    thread_ = std::thread([this, body = std::move(body), after = std::move(after), end = end_] {
      if (after) WaitForPredecessor(*after);
      if (!stop_.load()) body();
      SetRunning(false);
      end->Set();
      if (ownership_.exchange(Ownership::kEnded) == Ownership::kReleased) {
        // Let go while it ran: the reader is this thread's to delete, and
        // nothing touches it afterwards.
        delete this;
        g_releasedRunning.fetch_sub(1);
      }
    });
  } catch (const std::system_error&) {
    // No thread could be made (out of memory or of processes): the program
    // goes on without the GPS, as with no port configured.
    SetRunning(false);
    end_->Set();
  }
}

void ReaderThreadCore::SetPortOpen(bool open) {
  bool changed = false;
  {
    std::lock_guard lock(statsMutex_);
    changed = portOpen_.exchange(open) != open;
  }
  statsChanged_.notify_all();
  if (changed) handoff_.Ring();
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
