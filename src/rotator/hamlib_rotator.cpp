#include "rotator/hamlib_rotator.h"

#include <hamlib/rotator.h>
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

#include "common/name_lookup.h"

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

HamlibFailure::Problem ProblemOf(int code) {
  switch (-code) {
    case RIG_ETIMEOUT:
      return HamlibFailure::Problem::kTimeout;
    case RIG_EPROTO:
      return HamlibFailure::Problem::kProtocol;
    case RIG_ERJCTED:
      return HamlibFailure::Problem::kRejected;
    case RIG_ECONF:
      return HamlibFailure::Problem::kPortSettings;
    case RIG_EPOWER:
      return HamlibFailure::Problem::kPowerOff;
    case RIG_ENIMPL:
    case RIG_ENAVAIL:
      return HamlibFailure::Problem::kNotImplemented;
    case RIG_EIO:
      return HamlibFailure::Problem::kInputOutput;
    default:
      return HamlibFailure::Problem::kOther;
  }
}

// A failed open or command. Hamlib's failed opens leave the system's error
// number in errno (a refused connection, a missing device); it says more
// than Hamlib's own code.
HamlibFailure FailureOf(const HamlibAddress& address, bool network, HamlibFailure::Stage stage, int code,
                        int errorNumber) {
  return HamlibFailure{stage, address, network, ProblemOf(code), -code, errorNumber};
}

// One open rotator.
class RotatorHandle {
 public:
  RotatorHandle() = default;
  ~RotatorHandle() { Close(); }
  RotatorHandle(const RotatorHandle&) = delete;
  RotatorHandle& operator=(const RotatorHandle&) = delete;

  bool IsOpen() const { return rot_ != nullptr; }

  // Opens the rotator; on failure returns why (an unknown model is not
  // worth trying again).
  std::optional<HamlibFailure> Open(const HamlibAddress& address) {
    Close();
    ROT* rot = rot_init(address.model);
    if (rot == nullptr) return HamlibFailure{HamlibFailure::Stage::kUnknownModel, address};
    rot_set_conf(rot, rot_token_lookup(rot, "rot_pathname"), address.device.c_str());
    if (address.speedBaud > 0) {
      rot_set_conf(rot, rot_token_lookup(rot, "serial_speed"), std::to_string(address.speedBaud).c_str());
    }
    network_ = rot->caps->port_type == RIG_PORT_NETWORK || address.model == kHamlibNetworkModel;
    errno = 0;
    const int code = rot_open(rot);
    if (code != RIG_OK) {
      const int errorNumber = errno;
      rot_cleanup(rot);
      return FailureOf(address, network_, HamlibFailure::Stage::kOpen, code, errorNumber);
    }
    rot_ = rot;
    return std::nullopt;
  }

  void Close() {
    if (rot_ == nullptr) return;
    rot_close(rot_);
    rot_cleanup(rot_);
    rot_ = nullptr;
  }

  std::optional<double> Position() {
    azimuth_t azimuth = 0;
    elevation_t elevation = 0;
    if (rot_get_position(rot_, &azimuth, &elevation) != RIG_OK || !std::isfinite(azimuth)) return std::nullopt;
    return azimuth;
  }

  double CommandFor(std::int32_t relativeAzimuthDeg, std::optional<double> lastCommandedDeg) const {
    return CommandedAzimuth(relativeAzimuthDeg, rot_->state.min_az, rot_->state.max_az, lastCommandedDeg);
  }

  // Sends the azimuth, with the elevation at the horizon as far as the
  // rotator's range allows (an azimuth-only rotator ignores it).
  int SetAzimuth(double azimuthDeg) {
    const double minEl = rot_->state.min_el;
    const double maxEl = rot_->state.max_el;
    const double elevation = minEl <= maxEl ? std::clamp(0.0, minEl, maxEl) : 0.0;
    return rot_set_position(rot_, static_cast<azimuth_t>(azimuthDeg), static_cast<elevation_t>(elevation));
  }

  bool Network() const { return network_; }

 private:
  ROT* rot_ = nullptr;
  bool network_ = false;
};

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

HamlibRotator::HamlibRotator() {
  // Hamlib writes its trace to stderr unless told otherwise; the level is
  // process-wide, so set it once, before any thread uses the library.
  static std::once_flag quiet;
  std::call_once(quiet, [] { rig_set_debug(RIG_DEBUG_NONE); });
}

HamlibRotator::~HamlibRotator() { Close(); }

void HamlibRotator::SetNotifier(Notifier notifier) {
  std::lock_guard lock(mutex_);
  notifier_ = std::move(notifier);
}

void HamlibRotator::Configure(std::optional<HamlibAddress> address) {
  {
    std::lock_guard lock(mutex_);
    address_ = std::move(address);
    ++generation_;
    report_.reset();
    if (!thread_.joinable() && address_) {
      stop_ = false;
      thread_ = std::thread([this] {
        // Named for top -H and the idle benchmark.
        pthread_setname_np(pthread_self(), "quarbe-rotator");
        Run();
      });
    }
  }
  wake_.notify_all();
}

void HamlibRotator::Command(std::int32_t relativeAzimuthDeg) {
  {
    std::lock_guard lock(mutex_);
    target_ = relativeAzimuthDeg;
  }
  wake_.notify_all();
}

void HamlibRotator::Close() {
  {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) return;
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::optional<HamlibFailure> HamlibRotator::TakeReport() {
  std::lock_guard lock(mutex_);
  return std::exchange(report_, std::nullopt);
}

HamlibRotatorStats HamlibRotator::Stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

bool HamlibRotator::WaitFor(const std::function<bool(const HamlibRotatorStats&)>& condition,
                            std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return condition(stats_); });
}

void HamlibRotator::Run() {
  using Clock = std::chrono::steady_clock;
  RotatorHandle rotator;
  std::optional<HamlibAddress> address;
  std::uint64_t seenGeneration = std::numeric_limits<std::uint64_t>::max();
  bool reported = false;
  bool hopeless = false;  // an unknown model: not tried again
  // The last target the rotator accepted on this connection. An open is
  // always followed at once by a command, and a refused command closes the
  // rotator, so whenever it is open this holds a target it accepted.
  std::int32_t lastSentDeg = 0;
  Clock::time_point retryAt{};

  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (seenGeneration != generation_) {
      seenGeneration = generation_;
      address = address_;
      lock.unlock();
      rotator.Close();
      lock.lock();
      reported = false;
      hopeless = false;
      stats_.lastCommandedDeg.reset();
      retryAt = Clock::time_point{};
      continue;
    }
    const bool open = rotator.IsOpen();
    const bool wanted = address && target_ && !hopeless;
    const bool due = wanted && (open ? BeyondDeadBand(*target_, lastSentDeg) : Clock::now() >= retryAt);
    if (!due) {
      if (wanted && !open) {
        wake_.wait_until(lock, retryAt);
      } else {
        wake_.wait(lock);
      }
      ++stats_.wakeups;
      changed_.notify_all();
      continue;
    }

    const std::int32_t targetDeg = *target_;
    const HamlibAddress current = *address;
    std::optional<double> lastCommandedDeg = stats_.lastCommandedDeg;
    lock.unlock();
    std::optional<HamlibFailure> failure;
    bool opened = false;
    bool sent = false;
    bool refused = false;
    double commandedDeg = 0.0;
    if (!open) {
      if (auto error = rotator.Open(current)) {
        hopeless = error->stage == HamlibFailure::Stage::kUnknownModel;
        failure = std::move(error);
      } else {
        opened = true;
        // Nothing commanded on this connection yet: fold around where the
        // rotator stands.
        lastCommandedDeg = rotator.Position();
      }
    }
    if (rotator.IsOpen()) {
      commandedDeg = rotator.CommandFor(targetDeg, lastCommandedDeg);
      errno = 0;
      const int code = rotator.SetAzimuth(commandedDeg);
      if (code == RIG_OK) {
        sent = true;
      } else {
        refused = true;
        failure = FailureOf(current, rotator.Network(), HamlibFailure::Stage::kCommand, code, errno);
        rotator.Close();
      }
    }
    if (failure && !reported && failure->network && failure->stage == HamlibFailure::Stage::kOpen &&
        failure->problem == HamlibFailure::Problem::kPortSettings) {
      // Hamlib refuses a daemon address whose name does not resolve as a
      // port setting: find out why, for the one failure shown.
      failure->lookupError = HostLookupError(HostOfAddress(current.device));
    }
    lock.lock();
    if (opened) ++stats_.opens;
    if (!open && !opened) ++stats_.openFailures;
    if (sent) {
      ++stats_.commandsSent;
      lastSentDeg = targetDeg;
      stats_.lastCommandedDeg = commandedDeg;
    }
    if (refused) ++stats_.commandFailures;
    Notifier notify;
    if (failure) {
      stats_.lastCommandedDeg.reset();
      retryAt = Clock::now() + kRotatorRetryInterval;
      // A report only for the configuration it belongs to.
      if (!reported && seenGeneration == generation_) {
        reported = true;
        report_ = std::move(failure);
        notify = notifier_;
      }
    }
    changed_.notify_all();
    if (notify) {
      lock.unlock();
      notify();
      lock.lock();
    }
  }
  lock.unlock();
  rotator.Close();
}

}  // namespace quarbe
