#pragma once
// What the GPS readers (serial and gpsd) share: the thread, the eventfd that
// wakes it, the stop flag, the hand-off to the user interface thread, and the
// counters that tests, benchmarks and diagnostics read or wait on.
//
// A reader derives from ReaderThread<Counters>, where Counters is a plain
// struct of std::uint64_t counters that has at least `wakeups`. Its thread
// blocks in WaitOnWake(), on the wake-up descriptor and, when it holds one,
// on its device; Nudge() and a stop return from that wait at once.
//
// Thread-safety: the counters, the open flag and the running flag change
// under one mutex and each change is announced on one condition variable, so
// WaitFor() sees every change; the flags are atomics, so PortOpen() and
// Running() may be read from any thread without the mutex. The times of the
// last data and the last position are atomics too, stored at each sentence
// or report without a lock or a wake-up of anyone: the window reads them
// when it redraws its status line, and is called only when data comes back
// after a silence or the port opens or closes.
//
// Stopping without waiting: a thread can be inside a call nothing wakes
// (libgps resolving a name or connecting to a host that drops packets, a
// driver's open or close). RequestStop() only asks; Release() lets go of a
// reader whose thread has not ended yet, and that thread deletes the reader
// once it ends. A reader let go posts nothing more (its hand-off is
// cancelled).

#include <poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "gps/fix_handoff.h"
#include "gps/gps_source.h"

namespace quarbe {

// Set once a reader's thread has ended. A reader started on a device that the
// one before it may still hold waits for this first (a serial device is
// opened exclusively), on its own thread.
class ThreadEnd {
 public:
  void Set();
  bool IsSet() const;
  // Waits until set or `deadline`; returns whether it was set.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable set_;
  bool isSet_ = false;
};

// The part that does not depend on the counters.
class ReaderThreadCore : public GpsSource {
 public:
  ReaderThreadCore(const ReaderThreadCore&) = delete;
  ReaderThreadCore& operator=(const ReaderThreadCore&) = delete;
  // Joins a thread still running. A derived reader whose thread uses its own
  // members stops it in its own destructor, before they go.
  ~ReaderThreadCore() override;

  void SetNotifier(FixHandoff::Notifier notifier) override;
  bool Serve(const FixHandoff::Handler& handler) override;
  // Defaults to true and survives restarts.
  void SetGpsUse(bool on) override;
  bool GpsUse() const override;
  bool PortOpen() const override;
  bool Running() const override;
  GpsActivity Activity() const override;

  // Wakes the thread without asking it to stop: it looks at what has arrived
  // (possibly nothing) and goes back to waiting.
  void Nudge();

  // Asks the thread to end, wakes it and releases any hand-off in progress,
  // without waiting for it. Returns true when it has ended (it is then
  // joined, and the reader may be started again) or none was started.
  bool RequestStop();
  // The end of the thread last started; null before the first start.
  std::shared_ptr<const ThreadEnd> LastThreadEnd() const { return end_; }

  // Lets go of `reader` without waiting on its device: one whose thread has
  // ended is destroyed here; otherwise the thread is asked to end and keeps
  // the reader, deleting it once it has.
  static void Release(std::unique_ptr<ReaderThreadCore> reader);
  // How many readers let go are still running, in the whole process.
  static int ReleasedStillRunning();

 protected:
  ReaderThreadCore();

  // Stops the thread as Halt() does, then makes ready for the next one: stop
  // flag cleared, hand-off reopened, a wake-up left over from stopping
  // dropped.
  void Reset();
  // Asks the thread to end, wakes it, releases any hand-off in progress and
  // joins it. Returns whether there was a thread to join.
  bool Halt();
  // Runs `body` on a new thread; Running() holds from now until `body` has
  // returned. If the system cannot create the thread, nothing runs and
  // Running() is false again at once. With `after`, the thread first waits
  // for that end (a predecessor on the same device), for a few seconds at
  // most, and runs nothing when stopped meanwhile.
  void Launch(std::function<void()> body, std::shared_ptr<const ThreadEnd> after = nullptr);

  // Thread side: sets the open flag and tells the waiters, and the UI
  // thread when it changed.
  void SetPortOpen(bool open);
  // Thread side: a sentence or report arrived at `now`; the UI thread is
  // told when it ends a silence of kGpsSilence or more (or is the first).
  void NoteData(std::chrono::steady_clock::time_point now);
  // Thread side: a position is about to be handed on.
  void NotePosition(std::chrono::steady_clock::time_point now);
  // Empties the wake-up descriptor.
  void DrainWake();

  FixHandoff handoff_;
  const int wakeFd_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> gpsUse_{true};

  mutable std::mutex statsMutex_;
  mutable std::condition_variable statsChanged_;

 private:
  // Who is done with the thread first: the thread (kEnded) or the owner
  // letting go of the reader (kReleased); the other one cleans up.
  enum class Ownership { kOwned, kEnded, kReleased };

  void SetRunning(bool running);
  void AskToEnd();
  // Thread side: waits for `predecessor` to end, for a stop, or for the
  // predecessor's patience to run out.
  void WaitForPredecessor(const ThreadEnd& predecessor) const;

  std::thread thread_;
  std::shared_ptr<ThreadEnd> end_;
  std::atomic<Ownership> ownership_{Ownership::kOwned};
  std::atomic<bool> portOpen_{false};
  std::atomic<bool> running_{false};
  // Steady-clock nanoseconds; 0 for none yet.
  std::atomic<std::int64_t> lastDataNs_{0};
  std::atomic<std::int64_t> lastPositionNs_{0};
};

template <typename Counters>
class ReaderThread : public ReaderThreadCore {
 public:
  Counters Stats() const {
    std::lock_guard lock(statsMutex_);
    return stats_;
  }

  // Waits until `condition` holds for the counters, the Running() state
  // included through the second argument, or the timeout passes; returns
  // whether it held. Checked after each change the thread makes.
  bool WaitFor(const std::function<bool(const Counters& stats, bool running)>& condition,
               std::chrono::milliseconds timeout) const {
    std::unique_lock lock(statsMutex_);
    return statsChanged_.wait_for(lock, timeout, [&] { return condition(stats_, Running()); });
  }

 protected:
  ReaderThread() = default;
  ~ReaderThread() override = default;

  void Count(std::uint64_t Counters::*counter, std::uint64_t amount = 1) {
    {
      std::lock_guard lock(statsMutex_);
      stats_.*counter += amount;
    }
    statsChanged_.notify_all();
  }

  // Thread side: waits up to `timeoutMs` (-1: no limit) for a wake-up and,
  // when `device` is given, for its events (left in device->revents). Counts
  // one wake-up and drains the wake-up descriptor when it fired, before the
  // caller reads the stop flag: a stop that comes after the drain leaves the
  // descriptor readable for the next wait. Returns what poll() returned.
  int WaitOnWake(int timeoutMs, pollfd* device = nullptr) {
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
    if (device != nullptr) fds[1] = *device;
    const int ready = poll(fds, device != nullptr ? 2 : 1, timeoutMs);
    Count(&Counters::wakeups);
    if (device != nullptr) device->revents = fds[1].revents;
    if (ready > 0 && fds[0].revents != 0) DrainWake();
    return ready;
  }

 private:
  Counters stats_;
};

}  // namespace quarbe
