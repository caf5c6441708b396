#include "gps/fix_handoff.h"

#include <utility>

namespace quarbe {

void FixHandoff::SetNotifier(Notifier notifier) {
  std::lock_guard lock(mutex_);
  notifier_ = std::move(notifier);
}

bool FixHandoff::Post(GpsEvent event) {
  Notifier notifier;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return false;
    // One call queued on the UI thread serves everything pending by then.
    if (Empty()) notifier = notifier_;
    if (auto* fix = std::get_if<GpsFix>(&event)) {
      fix_ = *fix;
    } else {
      failure_ = std::get<GpsOpenError>(std::move(event));
    }
  }
  if (notifier) notifier();
  return true;
}

void FixHandoff::Ring() {
  Notifier notifier;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    notifier = notifier_;
  }
  if (notifier) notifier();
}

bool FixHandoff::Serve(const Handler& handler) {
  std::optional<GpsEvent> failure;
  {
    std::lock_guard lock(mutex_);
    if (Empty()) return false;
    if (failure_) failure = GpsEvent(*std::exchange(failure_, std::nullopt));
  }
  if (failure && handler) handler(*failure);
  std::optional<GpsEvent> fix;
  {
    std::lock_guard lock(mutex_);
    if (fix_) fix = GpsEvent(*std::exchange(fix_, std::nullopt));
  }
  if (fix && handler) handler(*fix);
  return true;
}

void FixHandoff::Cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  failure_.reset();
  fix_.reset();
}

void FixHandoff::Reset() {
  std::lock_guard lock(mutex_);
  cancelled_ = false;
  failure_.reset();
  fix_.reset();
}

}  // namespace quarbe
