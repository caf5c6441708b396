#include "rotator/hamlib_rotator.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "rotator/rotator_link.h"
#include "rotator/rotator_status.h"

namespace quarbe {
namespace {

constexpr double kFullTurnDeg = 360.0;
// Hamlib holds the range as floats: an end given as 450 may come back a
// hair off.
constexpr double kRangeSlackDeg = 1e-3;

double Mod360(double valueDeg) {
  const double reduced = std::fmod(valueDeg, kFullTurnDeg);
  return reduced < 0.0 ? reduced + kFullTurnDeg : reduced;
}

double CircularDistance(double a, double b) {
  const double d = Mod360(a - b);
  return std::min(d, kFullTurnDeg - d);
}

}  // namespace

double CommandedAzimuth(std::int32_t relativeAzimuthDeg, double minAzDeg, double maxAzDeg,
                        std::optional<double> lastCommandedDeg) {
  if (!std::isfinite(minAzDeg) || !std::isfinite(maxAzDeg) || maxAzDeg - minAzDeg < 1.0) {
    minAzDeg = 0.0;
    maxAzDeg = kFullTurnDeg;
  }
  // A range holding a whole turn from 0 is used from 0 on: backends that
  // report one below 0 (-180..450 for the GS-232 family) send a negative
  // angle as that angle plus 360, so the antenna would swing a whole turn
  // for a few degrees.
  if (maxAzDeg >= kFullTurnDeg - kRangeSlackDeg) minAzDeg = std::max(minAzDeg, 0.0);
  const double wanted = Mod360(relativeAzimuthDeg);
  const double reference = lastCommandedDeg.value_or(wanted);
  std::optional<double> best;
  for (double candidate = wanted + kFullTurnDeg * std::floor((minAzDeg - wanted) / kFullTurnDeg);
       candidate <= maxAzDeg + kRangeSlackDeg; candidate += kFullTurnDeg) {
    if (candidate < minAzDeg - kRangeSlackDeg) continue;
    if (!best || std::fabs(candidate - reference) < std::fabs(*best - reference)) best = candidate;
  }
  if (best) return std::clamp(*best, minAzDeg, maxAzDeg);
  // Out of reach of a rotator that turns less than a full turn.
  return CircularDistance(wanted, minAzDeg) <= CircularDistance(wanted, maxAzDeg) ? minAzDeg : maxAzDeg;
}

bool BeyondDeadBand(std::int32_t targetDeg, std::int32_t lastSentDeg) {
  return CircularDistance(targetDeg, lastSentDeg) >= kRotatorDeadBandDeg;
}


// What the rotator's threads share with the caller. Only the session whose
// id is `current` may change anything here; a released one only reads it.
struct HamlibRotator::Hub {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;  // the counters moved
  Notifier notifier;
  Notifier statusNotifier;
  std::uint64_t current = 0;  // the session of the configuration in force; 0 for none
  std::uint64_t lastId = 0;
  std::shared_ptr<Session> session;  // that session
  std::optional<std::int32_t> target;
  std::optional<HamlibFailure> report;
  RotatorStatus status;
  bool statusUnread = false;  // notified, and not read since
  HamlibRotatorStats stats;
};

// One configuration's thread: its rotator and how to wake it.
struct HamlibRotator::Session {
  std::uint64_t id = 0;
  HamlibAddress address;
  std::condition_variable wake;  // with the hub's mutex
  bool finished = false;         // its link is closed, its thread about to end
  std::condition_variable done;  // `finished` became true
  // The session before, when it drove the same device: this one opens
  // only once that one has let the device go (or after a bound).
  std::shared_ptr<Session> predecessor;
};

namespace {

using Clock = std::chrono::steady_clock;

// How long a new configuration waits for the one before to let the same
// device go: the longest call that one may be in, and its closing.
constexpr std::chrono::seconds kHandOverLimit = kHelperAnswerLimit + std::chrono::seconds(2);
// A read that finds the antenna this close to the last one has not seen it
// move (controllers report whole degrees, the dummy a little jitter).
constexpr double kMovementDeg = 1.0;

bool Hopeless(const HamlibFailure& failure) {
  return failure.stage == HamlibFailure::Stage::kUnknownModel || failure.stage == HamlibFailure::Stage::kSetting ||
         failure.problem == HamlibFailure::Problem::kNoHelper;
}

std::int32_t Relative(double azimuthDeg) {
  const auto whole = static_cast<std::int32_t>(std::lround(Mod360(azimuthDeg)));
  return whole == 360 ? 0 : whole;
}

// What one session knows of its rotator, and when it next acts.
struct Tracking {
  std::unique_ptr<RotatorLink> link;
  HamlibRotatorInfo info;
  bool everOpened = false;
  bool reported = false;
  bool hopeless = false;  // an unknown model or setting, no helper: not tried again
  Clock::time_point retryAt{};
  std::optional<HamlibFailure> problem;  // the last failure, while not answering
  // The last target the rotator accepted on this connection, and the angle
  // sent for it, in the rotator's own range.
  std::optional<std::int32_t> lastSentDeg;
  std::optional<double> lastCommandedDeg;
  Clock::time_point lastCommandAt{};
  // Readback: whether this rotator reports its position at all, the last
  // position read, reads since the last command, failures running.
  bool readable = true;
  std::optional<double> antennaDeg;
  int readsSinceCommand = 0;
  int readFailures = 0;
  Clock::time_point nextReadAt{};

  bool Open() const { return link->IsOpen(); }
  bool Connected() const { return Open() && readFailures == 0; }

  void Closed(Clock::time_point attemptStart) {
    link->Close();
    lastSentDeg.reset();
    lastCommandedDeg.reset();
    antennaDeg.reset();
    readFailures = 0;
    retryAt = attemptStart + kRotatorRetryInterval;
  }

  // The next read, counted from the end of the one before, so that a
  // controller that answers slowly is never asked faster than it answers:
  // about once a second while the antenna turns towards the target, or when
  // the last read failed, every 5 s once it rests.
  void ScheduleRead(bool moving) {
    nextReadAt = Clock::now() + (moving ? kReadIntervalMoving : kReadIntervalAtRest);
  }

  RotatorStatus::Link LinkState() const {
    if (Connected()) return RotatorStatus::Link::kConnected;
    if (problem || everOpened) return RotatorStatus::Link::kNotAnswering;
    return RotatorStatus::Link::kOpening;
  }
};

}  // namespace

HamlibRotator::HamlibRotator() : hub_(std::make_shared<Hub>()) {
  // Hamlib's trace level is process-wide: set it before any thread uses the
  // library.
  QuietHamlib();
}

HamlibRotator::~HamlibRotator() { Close(); }

void HamlibRotator::SetNotifier(Notifier notifier) {
  std::lock_guard lock(hub_->mutex);
  hub_->notifier = std::move(notifier);
}

void HamlibRotator::SetStatusNotifier(Notifier notifier) {
  std::lock_guard lock(hub_->mutex);
  hub_->statusNotifier = std::move(notifier);
}

void HamlibRotator::Release() {
  if (hub_->session) hub_->session->wake.notify_all();
  hub_->session.reset();
  hub_->current = 0;
  // Never joined: it may be inside a call that takes seconds.
  if (thread_.joinable()) thread_.detach();
}

void HamlibRotator::Configure(std::optional<HamlibAddress> address) {
  std::lock_guard lock(hub_->mutex);
  const std::shared_ptr<Session> before = hub_->session;
  Release();
  hub_->report.reset();
  RotatorStatus status;
  status.targetDeg = hub_->status.targetDeg;
  if (!address) {
    hub_->status = status;
    return;
  }
  status.kind = RotatorStatus::Kind::kHamlib;
  status.device = address->device;
  status.model = address->model;
  hub_->status = status;
  auto session = std::make_shared<Session>();
  session->id = ++hub_->lastId;
  session->address = std::move(*address);
  if (before && before->address.device == session->address.device) session->predecessor = before;
  hub_->session = session;
  hub_->current = session->id;
  thread_ = std::thread([hub = hub_, session] {
    // Named for top -H and the idle benchmark.
    pthread_setname_np(pthread_self(), "quarbe-rotator");
    Run(hub, session);
  });
}

void HamlibRotator::Command(std::int32_t relativeAzimuthDeg) {
  std::lock_guard lock(hub_->mutex);
  hub_->target = relativeAzimuthDeg;
  hub_->status.targetDeg = Relative(relativeAzimuthDeg);
  if (hub_->session) hub_->session->wake.notify_all();
}

void HamlibRotator::Close() {
  std::lock_guard lock(hub_->mutex);
  Release();
  hub_->status.kind = RotatorStatus::Kind::kNone;
}

std::optional<HamlibFailure> HamlibRotator::TakeReport() {
  std::lock_guard lock(hub_->mutex);
  return std::exchange(hub_->report, std::nullopt);
}

RotatorStatus HamlibRotator::Status() const {
  std::lock_guard lock(hub_->mutex);
  hub_->statusUnread = false;
  return hub_->status;
}

HamlibRotatorStats HamlibRotator::Stats() const {
  std::lock_guard lock(hub_->mutex);
  return hub_->stats;
}

bool HamlibRotator::WaitFor(const std::function<bool(const HamlibRotatorStats&)>& condition,
                            std::chrono::milliseconds timeout) const {
  std::unique_lock lock(hub_->mutex);
  return hub_->changed.wait_for(lock, timeout, [&] { return condition(hub_->stats); });
}

void HamlibRotator::Run(std::shared_ptr<Hub> hub, std::shared_ptr<Session> session) {
  Hub& h = *hub;
  const std::uint64_t id = session->id;
  Tracking t;
  t.link = MakeRotatorLink(session->address, [&h, id](HelperEvent event) {
    std::lock_guard lock(h.mutex);
    if (h.current != id) return;
    switch (event) {
      case HelperEvent::kStarted: ++h.stats.helperStarts; break;
      case HelperEvent::kEnded: ++h.stats.helpersEnded; break;
      case HelperEvent::kDied: ++h.stats.helpersDied; break;
    }
    h.changed.notify_all();
  });

  // With the lock held: the status as this session sees it, notified when
  // it changed and the last notice has been read; the first failure of the
  // configuration reported.
  auto publish = [&](std::optional<HamlibFailure> failure) {
    if (failure) {
      t.problem = failure;
      if (!t.reported) {
        t.reported = true;
        h.report = std::move(failure);
        // Under the lock: once Close() has returned, no notifier runs.
        if (h.notifier) h.notifier();
      }
    }
    if (t.Connected()) t.problem.reset();
    RotatorStatus status = h.status;
    status.link = t.LinkState();
    status.modelName = t.info.modelName;
    status.antennaDeg = t.Connected() && t.antennaDeg ? std::optional(Relative(*t.antennaDeg)) : std::nullopt;
    status.problem = status.link == RotatorStatus::Link::kNotAnswering ? t.problem : std::nullopt;
    status.nextTryAt = !t.Open() && status.link == RotatorStatus::Link::kNotAnswering && !t.hopeless
                           ? std::optional(t.retryAt)
                           : std::nullopt;
    if (status != h.status) {
      h.status = status;
      if (!h.statusUnread) {
        h.statusUnread = true;
        ++h.stats.statusNotices;
        if (h.statusNotifier) h.statusNotifier();
      }
    }
    h.changed.notify_all();
  };

  std::unique_lock lock(h.mutex);
  if (session->predecessor) {
    session->predecessor->done.wait_for(lock, kHandOverLimit, [&] { return session->predecessor->finished; });
    session->predecessor.reset();
  }

  while (h.current == id) {
    const Clock::time_point now = Clock::now();
    const bool wanted = h.target && !t.hopeless;
    enum class Step { kWait, kOpen, kCommand, kRead } step = Step::kWait;
    Clock::time_point wakeAt = Clock::time_point::max();
    if (!t.Open()) {
      if (wanted && now >= t.retryAt) {
        step = Step::kOpen;
      } else if (wanted) {
        wakeAt = t.retryAt;
      }
    } else {
      const bool newTarget = h.target && (!t.lastSentDeg || BeyondDeadBand(*h.target, *t.lastSentDeg));
      const Clock::time_point commandAt = t.lastCommandAt + kCommandSpacing;
      if (newTarget && now >= commandAt) {
        step = Step::kCommand;
      } else if (t.readable && now >= t.nextReadAt) {
        step = Step::kRead;
      } else {
        if (newTarget) wakeAt = commandAt;
        if (t.readable) wakeAt = std::min(wakeAt, t.nextReadAt);
      }
    }
    if (step == Step::kWait) {
      if (wakeAt == Clock::time_point::max()) {
        session->wake.wait(lock);
      } else {
        session->wake.wait_until(lock, wakeAt);
      }
      if (h.current != id) break;
      ++h.stats.wakeups;
      h.changed.notify_all();
      continue;
    }

    const std::optional<std::int32_t> targetDeg = h.target;
    const Clock::time_point attemptStart = now;
    if (step == Step::kOpen) ++h.stats.openAttempts;
    lock.unlock();
    std::optional<HamlibFailure> failure;
    bool opened = false;
    bool commanded = false;
    bool sent = false;
    bool read = false;
    bool readOk = false;
    double commandedDeg = 0.0;
    if (step == Step::kOpen) {
      auto result = t.link->Open();
      if (auto* error = std::get_if<HamlibFailure>(&result)) {
        t.hopeless = Hopeless(*error);
        failure = std::move(*error);
      } else {
        opened = true;
        t.everOpened = true;
        t.info = std::get<HamlibRotatorInfo>(result);
        t.readable = true;
        t.readFailures = 0;
        // Where the rotator stands, to fold the first command around.
        step = Step::kRead;
      }
    }
    if (step == Step::kRead && t.Open()) {
      read = true;
      auto position = t.link->Azimuth();
      if (const double* azimuth = std::get_if<double>(&position)) {
        readOk = true;
        const bool progressed = t.antennaDeg && CircularDistance(*azimuth, *t.antennaDeg) >= kMovementDeg;
        const bool settled =
            !t.lastCommandedDeg || CircularDistance(*azimuth, *t.lastCommandedDeg) < kRotatorDeadBandDeg;
        ++t.readsSinceCommand;
        t.antennaDeg = *azimuth;
        t.readFailures = 0;
        if (!t.lastCommandedDeg) t.lastCommandedDeg = *azimuth;
        t.ScheduleRead(!settled && (progressed || t.readsSinceCommand < kReadbackFailureLimit));
      } else {
        HamlibFailure& error = std::get<HamlibFailure>(position);
        if (error.problem == HamlibFailure::Problem::kNotImplemented && t.Open()) {
          // A rotator that cannot say where it is (EasyComm I).
          t.readable = false;
        } else if (t.Open() && ++t.readFailures < kReadbackFailureLimit) {
          t.problem = error;  // shown, not reported, until the limit
          t.ScheduleRead(true);
        } else {
          if (t.Open()) error.stage = HamlibFailure::Stage::kReadback;
          failure = std::move(error);
          t.Closed(attemptStart);
        }
      }
    }
    // A new target goes at once after an open; otherwise when it is due.
    if (t.Open() && targetDeg && (opened || step == Step::kCommand)) {
      commanded = true;
      commandedDeg = CommandedAzimuth(*targetDeg, t.info.minAzDeg, t.info.maxAzDeg, t.lastCommandedDeg);
      if (auto error = t.link->SetAzimuth(commandedDeg)) {
        failure = std::move(error);
        t.Closed(attemptStart);
      } else {
        sent = true;
        t.lastSentDeg = *targetDeg;
        t.lastCommandedDeg = commandedDeg;
        t.lastCommandAt = Clock::now();
        t.readsSinceCommand = 0;
        if (t.readable) t.ScheduleRead(true);
      }
    }
    if (opened && failure) t.Closed(attemptStart);
    if (step == Step::kOpen && !opened) t.retryAt = attemptStart + kRotatorRetryInterval;
    lock.lock();
    if (h.current != id) break;  // released meanwhile: nothing of this is applied
    if (opened) ++h.stats.opens;
    if (step == Step::kOpen && !opened) ++h.stats.openFailures;
    if (read) ++(readOk ? h.stats.positionReads : h.stats.positionFailures);
    if (sent) {
      ++h.stats.commandsSent;
      h.stats.lastCommandedDeg = commandedDeg;
    } else if (commanded) {
      ++h.stats.commandFailures;
    }
    if (failure) h.stats.lastCommandedDeg.reset();
    publish(std::move(failure));
  }
  lock.unlock();
  t.link->Close();
  lock.lock();
  session->finished = true;
  session->done.notify_all();
}

}  // namespace quarbe
