#pragma once
// What the rotator output is doing, as one value for the window: enough for
// a status line ("parallel byte 128 written to /dev/parport0", "GS-232B
// connected, antenna at 87°", "not answering, next try in 2 s") and for a
// second compass needle at the antenna's actual direction.
//
// Angles are relative azimuths in whole degrees, 0..359, clockwise from the
// vehicle's nose: the frame of the target the window hands the rotator and
// of its compass needle. The antenna is mounted on the vehicle, so the
// rotator's own reading, folded into 0..359, is already in that frame.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "rotator/hamlib_failure.h"

namespace quarbe {

struct RotatorStatus {
  enum class Kind {
    kNone,          // no rotator configured, or an entry that cannot be read
    kParallelByte,  // a position byte to a parallel port, FIFO or file: no feedback
    kHamlib,        // a controller or rotctld through Hamlib
  };
  // The Hamlib link's state.
  enum class Link {
    kOpening,       // the first attempt of this configuration is under way (or waits for a target)
    kConnected,     // open, and its last position read (if it can read one) was valid
    kNotAnswering,  // absent, or not answering: see problem and nextTryAt
  };

  Kind kind = Kind::kNone;
  // The device as the entry names it: /dev/parport0, /dev/ttyUSB0, or
  // rotctld's HOST:PORT.
  std::string device;
  // The target last handed over (kParallelByte and kHamlib); none before the
  // first. For Hamlib, a change of the target alone is not notified: the
  // caller made it.
  std::optional<std::int32_t> targetDeg;

  // kParallelByte: the byte last written to the device in this
  // configuration; none before the first, or while the device cannot be
  // opened (a FIFO nobody reads included).
  std::optional<std::uint8_t> lastByte;

  // kHamlib:
  int model = 0;          // Hamlib's model number; 2 for rotctld
  Link link = Link::kOpening;
  // Maker and model as Hamlib names them ("Yaesu GS-232B"; through rotctld,
  // Hamlib's client, "Hamlib NET rotctl"); empty until the first open.
  std::string modelName;
  // The antenna's direction as last read back; none until a valid read, and
  // none again once the rotator is not answering.
  std::optional<std::int32_t> antennaDeg;
  // kNotAnswering: why (the last failure; a position read that failed shows
  // here before the spell is long enough to be reported), and, while closed
  // and waiting, when the next attempt begins (none when it will not be
  // tried again: an unknown model, a refused setting).
  std::optional<HamlibFailure> problem;
  std::optional<std::chrono::steady_clock::time_point> nextTryAt;

  friend bool operator==(const RotatorStatus&, const RotatorStatus&) = default;
};

}  // namespace quarbe
