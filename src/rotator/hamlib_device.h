#pragma once
// One rotator through Hamlib's rotator library, in the calling process: the
// helper program runs it for a controller on a serial line, and the
// rotator's thread runs it for rotctld (model 2). Each call blocks for as
// long as Hamlib takes, which the port timeouts set here bound: a serial
// backend waits at most kSerialTimeout for each answer and tries once more,
// rotctld's client kNetworkTimeout for each line.
//
// One object belongs to one thread at a time; calls of all of them in a
// process are made one at a time (Hamlib's own state is process-wide).

#include <chrono>
#include <optional>
#include <string>
#include <variant>

#include "common/port_entry.h"
#include "rotator/hamlib_failure.h"

struct s_rot;

namespace quarbe {

// Longest wait for one answer from a controller on a serial line, and for
// one line from rotctld. rotctld answers a failed command only once its own
// controller has timed out (a GS-232B: four tries of 400 ms), so its client
// waits longer.
inline constexpr std::chrono::milliseconds kSerialTimeout{1000};
inline constexpr std::chrono::milliseconds kNetworkTimeout{3000};

// What an open rotator says about itself.
struct HamlibRotatorInfo {
  // The azimuth and elevation range the backend reports (for rotctld, that
  // of the daemon's rotator).
  double minAzDeg = 0.0;
  double maxAzDeg = 0.0;
  double minElDeg = 0.0;
  double maxElDeg = 0.0;
  // Maker and model as Hamlib names them, e.g. "Yaesu GS-232B".
  std::string modelName;

  friend bool operator==(const HamlibRotatorInfo&, const HamlibRotatorInfo&) = default;
};

// Hamlib's error code (positive, as RIG_ETIMEOUT) as a problem.
HamlibFailure::Problem HamlibProblemOf(int hamlibCode);

// Quiets Hamlib's trace on stderr; the level is process-wide. Idempotent.
void QuietHamlib();

class HamlibDevice {
 public:
  // `pathname`, when given, is what Hamlib opens instead of the address's
  // device (rotctld's address once looked up); failures name the address.
  explicit HamlibDevice(HamlibAddress address, std::string pathname = {});
  ~HamlibDevice();  // Close()
  HamlibDevice(const HamlibDevice&) = delete;
  HamlibDevice& operator=(const HamlibDevice&) = delete;

  // Creates the rotator for the model, applies the entry's device and
  // speed, the port timeouts and then the entry's own settings, and opens it.
  std::variant<HamlibRotatorInfo, HamlibFailure> Open();
  bool IsOpen() const { return rot_ != nullptr; }

  // Sends the azimuth, with the elevation at the horizon as far as the
  // rotator's range allows (an azimuth-only rotator ignores it).
  std::optional<HamlibFailure> SetAzimuth(double azimuthDeg);
  // The azimuth the rotator reports; a failure when it reports none or not a
  // number.
  std::variant<double, HamlibFailure> Azimuth();

  // Through rotctld, after a failure: whether rotctld itself still answers
  // (within the port timeout), so that the failure was its rotator's.
  bool Answers();

  // Closes the rotator; nothing when it is not open.
  void Close();

 private:
  HamlibFailure Failure(HamlibFailure::Stage stage, int code, int errorNumber) const;

  HamlibAddress address_;
  std::string pathname_;
  s_rot* rot_ = nullptr;
  bool network_ = false;
};

}  // namespace quarbe
