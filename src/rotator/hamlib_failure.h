#pragma once
// Why a Hamlib rotator could not be driven, as a value the window words.

#include <string>

#include "common/port_entry.h"

namespace quarbe {

// At which stage, on which address (and whether that is a network daemon),
// Hamlib's code as a problem (with the code itself for one Hamlib does not
// name), and the system's error number a failed open left behind (0 when
// none).
struct HamlibFailure {
  enum class Stage {
    kUnknownModel,  // no such model in this Hamlib
    kSetting,       // a setting of the entry that Hamlib refused (`setting`)
    kOpen,
    kCommand,       // a position command, or a position read
    kReadback,      // no position read back kReadbackFailureLimit times running
  };
  enum class Problem {
    kTimeout,         // the controller does not answer
    kProtocol,        // an answer that cannot be understood
    kRejected,        // the controller refused the command
    kPortSettings,    // the device or speed could not be set
    kPowerOff,        // the controller is switched off
    kNotImplemented,  // not something this model does
    kInputOutput,     // an input-output error (errorNumber may say which)
    kCrashed,         // the helper running Hamlib's backend died (a crash inside Hamlib)
    kStuck,           // the helper answered nothing in time or spun, and was ended
    kNoHelper,        // the helper program is not installed or could not start
    kOther,
  };
  Stage stage;
  HamlibAddress address;
  bool network = false;
  Problem problem = Problem::kOther;
  int hamlibCode = 0;
  int errorNumber = 0;
  // For kSetting: the setting as written in the entry ("max_az=450").
  std::string setting{};
  // Through rotctld: rotctld itself answered, with an error of its own
  // rotator (the link to rotctld is fine, the controller behind it is not).
  bool daemonAnswered = false;
  // A daemon whose host name does not resolve: getaddrinfo's code, else 0.
  int lookupError = 0;

  friend bool operator==(const HamlibFailure&, const HamlibFailure&) = default;
};

}  // namespace quarbe
