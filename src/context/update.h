#pragma once
// What a context operation asks of the window, as one value: the rotator
// target, the fields to write, the needle, the GPS lock, the message to show
// and where the focus goes. The context never calls into the window; the
// window applies each update, in the order of the members below, while it
// ignores its controls' notifications, so that the focus moves an update
// causes (a locked field losing it, a message box taking it) commit nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "context/profile_store.h"
#include "geodesy/locator.h"
#include "geodesy/station.h"

namespace quarbe {

// Why the validating read refused a field.
struct FieldRefusal {
  enum class Reason {
    kNotAnInteger,  // not a whole number (an empty field included)
    kOutOfRange,    // a whole number outside [low, high]
    kTooLong,       // a locator text of more than kLocatorLength characters
    kNotANumber,    // the distance is not a decimal number
  };
  Reason reason;
  std::int32_t low = 0;
  std::int32_t high = 0;

  friend bool operator==(const FieldRefusal&, const FieldRefusal&) = default;
};

// A command-line word that is neither local=... nor dest=..., whole.
struct UnknownArgument {
  std::string word;

  friend bool operator==(const UnknownArgument&, const UnknownArgument&) = default;
};

// The settings file could not be read: the program runs on the defaults.
struct SettingsNotRead {
  SettingsFileProblem problem;

  friend bool operator==(const SettingsNotRead&, const SettingsNotRead&) = default;
};

// Something to tell the operator; the window words it (ui/operator_texts.h).
using Message = std::variant<FieldRefusal, LocatorError, UnknownArgument, SettingsNotRead>;

// One field's new content: the text of an edit, or the item of a list
// (kHemisphereUnset: no selection).
struct FieldWrite {
  int id;
  std::string text;
  int selection = kHemisphereUnset;

  friend bool operator==(const FieldWrite&, const FieldWrite&) = default;
};

struct Focus {
  int id;
  bool selectAll;  // a refused field is shown with its whole text selected

  friend bool operator==(const Focus&, const Focus&) = default;
};

struct Update {
  // 1. The relative azimuth to drive the rotator to, when the bearing reached
  //    the azimuths; the owner of the devices writes it.
  std::optional<std::int32_t> rotatorTarget;
  // 2. Fields to write, in this order.
  std::vector<FieldWrite> writes;
  // 3. The needle for this relative azimuth, drawn when it changed.
  std::optional<std::int32_t> needleDeg;
  // 4. The first fix: the GPS box is enabled before the lock below and
  //    repainted after it.
  bool revealGpsBox = false;
  // 5. Check the GPS box and lock the fields the GPS holds (true), or
  //    uncheck it and unlock them (false).
  std::optional<bool> gpsLock;
  // 6. A modal message owned by the window.
  std::optional<Message> message;
  // 7. Where the keyboard focus goes.
  std::optional<Focus> focus;
};

}  // namespace quarbe
