#pragma once
// One connection to a Hamlib rotator, as the rotator's thread drives it.
// Every call returns within a bound, whatever the rotator, the daemon or
// Hamlib's backend does:
//  - rotctld (model 2) is driven through Hamlib in this process, once a
//    connection to it has been made within kConnectLimit (Hamlib's own
//    connect waits for as long as the system does, two minutes for a host
//    that drops packets); Hamlib's port timeout bounds each answer;
//  - any other model runs in the helper program quarbe-rotator, a child
//    process: a backend that crashes, answers nothing within
//    kHelperAnswerLimit or spins (kHelperProcessorLimit of processor time on
//    one request) costs that child only. It is ended (its process group
//    killed and reaped) and the failure says so.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "common/port_entry.h"
#include "rotator/hamlib_device.h"
#include "rotator/hamlib_failure.h"

namespace quarbe {

inline constexpr std::chrono::seconds kConnectLimit{3};
inline constexpr std::chrono::seconds kHelperAnswerLimit{5};
inline constexpr std::chrono::milliseconds kHelperProcessorLimit{1000};

// What happened to helper processes, for the counters.
enum class HelperEvent {
  kStarted,
  kEnded,  // ended by the link: no answer in time, processor spin, a broken line
  kDied,   // ended by itself without being asked (a crash inside Hamlib)
};

class RotatorLink {
 public:
  virtual ~RotatorLink() = default;

  virtual std::variant<HamlibRotatorInfo, HamlibFailure> Open() = 0;
  // Both need an open link. A failure of kind kCrashed or kStuck, or one
  // that left the link closed, means it must be opened again.
  virtual std::optional<HamlibFailure> SetAzimuth(double azimuthDeg) = 0;
  virtual std::variant<double, HamlibFailure> Azimuth() = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
};

using HelperEventSink = std::function<void(HelperEvent event)>;

// The link for an address: rotctld in this process for model 2, the helper
// program (found with HelperProgramPath, or at `helperPath` when given) for
// any other.
std::unique_ptr<RotatorLink> MakeRotatorLink(const HamlibAddress& address, HelperEventSink events,
                                             const std::string& helperPath = {});

}  // namespace quarbe
