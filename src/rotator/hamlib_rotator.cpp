#include "rotator/hamlib_rotator.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "rotator/rotator_link.h"

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
  std::uint64_t current = 0;  // the session of the configuration in force; 0 for none
  std::uint64_t lastId = 0;
  std::shared_ptr<Session> session;  // that session
  std::optional<std::int32_t> target;
  std::optional<HamlibFailure> report;
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

bool Hopeless(const HamlibFailure& failure) {
  return failure.stage == HamlibFailure::Stage::kUnknownModel ||
         failure.problem == HamlibFailure::Problem::kNoHelper;
}

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
  if (!address) return;
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
  if (hub_->session) hub_->session->wake.notify_all();
}

void HamlibRotator::Close() {
  std::lock_guard lock(hub_->mutex);
  Release();
}

std::optional<HamlibFailure> HamlibRotator::TakeReport() {
  std::lock_guard lock(hub_->mutex);
  return std::exchange(hub_->report, std::nullopt);
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
  std::unique_ptr<RotatorLink> link = MakeRotatorLink(session->address, [&h, id](HelperEvent event) {
    std::lock_guard lock(h.mutex);
    if (h.current != id) return;
    switch (event) {
      case HelperEvent::kStarted: ++h.stats.helperStarts; break;
      case HelperEvent::kEnded: ++h.stats.helpersEnded; break;
      case HelperEvent::kDied: ++h.stats.helpersDied; break;
    }
    h.changed.notify_all();
  });

  std::unique_lock lock(h.mutex);
  if (session->predecessor) {
    session->predecessor->done.wait_for(lock, kHandOverLimit, [&] { return session->predecessor->finished; });
    session->predecessor.reset();
  }
  bool reported = false;
  bool hopeless = false;  // an unknown model, no helper: not tried again
  HamlibRotatorInfo info;
  // The last target the rotator accepted on this connection. An open is
  // always followed at once by a command, and a refused command closes the
  // rotator, so whenever it is open this holds a target it accepted.
  std::int32_t lastSentDeg = 0;
  std::optional<double> lastCommandedDeg;
  Clock::time_point retryAt{};

  while (h.current == id) {
    const bool open = link->IsOpen();
    const bool wanted = h.target && !hopeless;
    const bool due = wanted && (open ? BeyondDeadBand(*h.target, lastSentDeg) : Clock::now() >= retryAt);
    if (!due) {
      if (wanted && !open) {
        session->wake.wait_until(lock, retryAt);
      } else {
        session->wake.wait(lock);
      }
      if (h.current != id) break;
      ++h.stats.wakeups;
      h.changed.notify_all();
      continue;
    }

    const std::int32_t targetDeg = *h.target;
    const Clock::time_point attemptStart = Clock::now();
    if (!open) ++h.stats.openAttempts;
    lock.unlock();
    std::optional<HamlibFailure> failure;
    bool opened = false;
    bool commanded = false;
    bool sent = false;
    double commandedDeg = 0.0;
    if (!open) {
      auto result = link->Open();
      if (auto* error = std::get_if<HamlibFailure>(&result)) {
        hopeless = Hopeless(*error);
        failure = std::move(*error);
      } else {
        opened = true;
        info = std::get<HamlibRotatorInfo>(result);
        // Nothing commanded on this connection yet: fold around where the
        // rotator stands.
        auto position = link->Azimuth();
        if (const double* azimuth = std::get_if<double>(&position)) {
          lastCommandedDeg = *azimuth;
        } else {
          lastCommandedDeg.reset();
        }
      }
    }
    if (link->IsOpen()) {
      commanded = true;
      commandedDeg = CommandedAzimuth(targetDeg, info.minAzDeg, info.maxAzDeg, lastCommandedDeg);
      if (auto error = link->SetAzimuth(commandedDeg)) {
        failure = std::move(error);
        link->Close();
      } else {
        sent = true;
        lastSentDeg = targetDeg;
        lastCommandedDeg = commandedDeg;
      }
    }
    lock.lock();
    if (h.current != id) break;  // released meanwhile: nothing of this is applied
    if (opened) ++h.stats.opens;
    if (!open && !opened) ++h.stats.openFailures;
    if (sent) {
      ++h.stats.commandsSent;
      h.stats.lastCommandedDeg = commandedDeg;
    } else if (commanded) {
      ++h.stats.commandFailures;
    }
    if (failure) {
      lastCommandedDeg.reset();
      h.stats.lastCommandedDeg.reset();
      retryAt = attemptStart + kRotatorRetryInterval;
      if (!reported) {
        reported = true;
        h.report = std::move(failure);
        // Under the lock: once Close() has returned, no notifier runs.
        if (h.notifier) h.notifier();
      }
    }
    h.changed.notify_all();
  }
  lock.unlock();
  link->Close();
  lock.lock();
  session->finished = true;
  session->done.notify_all();
}

}  // namespace quarbe
