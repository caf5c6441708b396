#include "rotator/hamlib_device.h"

#include <hamlib/rotator.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <string>
#include <utility>

namespace quarbe {
namespace {

// A serial backend tries a command again on a timeout `retry` times; once
// more is enough to ride over a lost byte, and keeps a controller that does
// not answer from holding a call for many seconds (a Rot2Prog without an
// answer took 5.7 s with its own defaults).
constexpr int kSerialRetries = 1;

// Hamlib keeps state of its own for the whole process: the text of its last
// trace lines, written whatever the trace level, and the capabilities that
// rotctld's client rewrites at each open. Calls from two threads (a released
// connection closing while the next one opens) would race on them: one call
// at a time. Every call is bounded, so a wait here is too. Never destroyed:
// a released rotator thread may still be in a call while the process exits.
std::mutex& hamlibMutex = *new std::mutex;

void SetConf(ROT* rot, const char* name, const std::string& value) {
  rot_set_conf(rot, rot_token_lookup(rot, name), value.c_str());
}

std::string ModelName(const rot_caps& caps) {
  std::string name = caps.mfg_name != nullptr ? caps.mfg_name : "";
  if (caps.model_name != nullptr && caps.model_name[0] != '\0') {
    if (!name.empty()) name += ' ';
    name += caps.model_name;
  }
  return name;
}

}  // namespace

HamlibFailure::Problem HamlibProblemOf(int hamlibCode) {
  switch (hamlibCode) {
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

void QuietHamlib() {
  static std::once_flag quiet;
  std::call_once(quiet, [] { rig_set_debug(RIG_DEBUG_NONE); });
}

HamlibDevice::HamlibDevice(HamlibAddress address, std::string pathname)
    : address_(std::move(address)), pathname_(pathname.empty() ? address_.device : std::move(pathname)) {
  QuietHamlib();
}

HamlibDevice::~HamlibDevice() { Close(); }

HamlibFailure HamlibDevice::Failure(HamlibFailure::Stage stage, int code, int errorNumber) const {
  // Hamlib returns its codes negated.
  return HamlibFailure{stage, address_, network_, HamlibProblemOf(-code), -code, errorNumber};
}

std::variant<HamlibRotatorInfo, HamlibFailure> HamlibDevice::Open() {
  Close();
  std::lock_guard lock(hamlibMutex);
  ROT* rot = rot_init(address_.model);
  if (rot == nullptr) return HamlibFailure{HamlibFailure::Stage::kUnknownModel, address_};
  network_ = rot->caps->port_type == RIG_PORT_NETWORK || address_.model == kHamlibNetworkModel;
  SetConf(rot, "rot_pathname", pathname_);
  if (address_.speedBaud > 0) SetConf(rot, "serial_speed", std::to_string(address_.speedBaud));
  if (network_) {
    SetConf(rot, "timeout", std::to_string(kNetworkTimeout.count()));
  } else {
    const int timeoutMs = std::min(rot->caps->timeout, static_cast<int>(kSerialTimeout.count()));
    SetConf(rot, "timeout", std::to_string(timeoutMs > 0 ? timeoutMs : kSerialTimeout.count()));
    SetConf(rot, "retry", std::to_string(std::min(rot->caps->retry, kSerialRetries)));
  }
  // The entry's own settings last: they may set the timeouts too.
  for (const HamlibSetting& setting : address_.settings) {
    const token_t token = rot_token_lookup(rot, setting.name.c_str());
    const int code = token == RIG_CONF_END ? -RIG_EINVAL : rot_set_conf(rot, token, setting.value.c_str());
    if (code != RIG_OK) {
      rot_cleanup(rot);
      HamlibFailure failure = Failure(HamlibFailure::Stage::kSetting, code, 0);
      failure.setting = setting.name + "=" + setting.value;
      return failure;
    }
  }
  // A failed open leaves the system's error number in errno (a refused
  // connection, a missing device): it says more than Hamlib's own code.
  errno = 0;
  const int code = rot_open(rot);
  if (code != RIG_OK) {
    const int errorNumber = errno;
    rot_cleanup(rot);
    return Failure(HamlibFailure::Stage::kOpen, code, errorNumber);
  }
  rot_ = rot;
  return HamlibRotatorInfo{rot->state.min_az, rot->state.max_az, rot->state.min_el, rot->state.max_el,
                           ModelName(*rot->caps)};
}

std::optional<HamlibFailure> HamlibDevice::SetAzimuth(double azimuthDeg) {
  std::lock_guard lock(hamlibMutex);
  const double minEl = rot_->state.min_el;
  const double maxEl = rot_->state.max_el;
  const double elevation = minEl <= maxEl ? std::clamp(0.0, minEl, maxEl) : 0.0;
  errno = 0;
  const int code =
      rot_set_position(rot_, static_cast<azimuth_t>(azimuthDeg), static_cast<elevation_t>(elevation));
  if (code == RIG_OK) return std::nullopt;
  return Failure(HamlibFailure::Stage::kCommand, code, errno);
}

std::variant<double, HamlibFailure> HamlibDevice::Azimuth() {
  std::lock_guard lock(hamlibMutex);
  azimuth_t azimuth = 0;
  elevation_t elevation = 0;
  errno = 0;
  const int code = rot_get_position(rot_, &azimuth, &elevation);
  if (code != RIG_OK) return Failure(HamlibFailure::Stage::kCommand, code, errno);
  if (!std::isfinite(azimuth)) return Failure(HamlibFailure::Stage::kCommand, -RIG_EPROTO, 0);
  return static_cast<double>(azimuth);
}

bool HamlibDevice::Answers() {
  std::lock_guard lock(hamlibMutex);
  // rotctld answers this from what it knows, without asking its rotator.
  return rot_get_info(rot_) != nullptr;
}

void HamlibDevice::Close() {
  if (rot_ == nullptr) return;
  std::lock_guard lock(hamlibMutex);
  rot_close(rot_);
  rot_cleanup(rot_);
  rot_ = nullptr;
}

}  // namespace quarbe
