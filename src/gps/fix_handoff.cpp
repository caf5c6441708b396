#include "gps/fix_handoff.h"

#include <utility>

namespace quarbe {

void FixHandoff::SetNotifier(Notifier notifier) {
  std::lock_guard lock(mutex_);
  notifier_ = std::move(notifier);
}

bool FixHandoff::Post(GpsEvent event) {
  Notifier notifier;
  std::uint64_t ticket = 0;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return false;
    pending_ = std::move(event);
    ticket = ++postedCount_;
    notifier = notifier_;
  }
  if (notifier) notifier();
  std::unique_lock lock(mutex_);
  served_.wait(lock, [&] { return servedCount_ >= ticket || cancelled_; });
  if (servedCount_ >= ticket) return true;
  // Released by Cancel(): the event is withdrawn unless the UI thread has
  // already taken it.
  if (postedCount_ == ticket) pending_.reset();
  return false;
}

bool FixHandoff::Serve(const Handler& handler) {
  std::optional<GpsEvent> event;
  std::uint64_t ticket = 0;
  {
    std::lock_guard lock(mutex_);
    if (!pending_) return false;
    event = std::move(pending_);
    pending_.reset();
    ticket = postedCount_;
  }
  if (handler) handler(*event);
  {
    std::lock_guard lock(mutex_);
    if (servedCount_ < ticket) servedCount_ = ticket;
  }
  served_.notify_all();
  return true;
}

void FixHandoff::Cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  served_.notify_all();
}

void FixHandoff::Reset() {
  std::lock_guard lock(mutex_);
  cancelled_ = false;
  pending_.reset();
}

}  // namespace quarbe
