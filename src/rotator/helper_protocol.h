#pragma once
// What the rotator's thread and the helper program quarbe-rotator say to
// each other over the socket between them: one line each way per request.
//
//   helper, once started:  "ready MINAZ MAXAZ MINEL MAXEL NAME"   the rotator is open
//                          "failed STAGE CODE ERRNO NETWORK SETTING"  it is not; the helper ends
//   program -> helper:     "set AZ"   "get"
//   helper -> program:     "done" | "at AZ" | "failed STAGE CODE ERRNO NETWORK SETTING"
//
// Numbers in the C locale's form; STAGE is a HamlibFailure::Stage as a
// number, CODE Hamlib's (positive) error code, NETWORK 0 or 1, SETTING the
// setting refused (empty for any other failure). Anything else is a broken
// helper.
//
// The helper is started as: quarbe-rotator MODEL DEVICE SPEED [NAME=VALUE...]

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "rotator/hamlib_device.h"
#include "rotator/hamlib_failure.h"

namespace quarbe {

// Longest line either side sends; a longer one is a broken helper.
inline constexpr std::size_t kHelperLineLimit = 512;

struct HelperSet {
  double azimuthDeg = 0.0;
  friend bool operator==(const HelperSet&, const HelperSet&) = default;
};
struct HelperGet {
  friend bool operator==(const HelperGet&, const HelperGet&) = default;
};
using HelperRequest = std::variant<HelperSet, HelperGet>;

// The parts of a failure the helper knows; the program adds the address.
struct HelperFailed {
  HamlibFailure::Stage stage = HamlibFailure::Stage::kOpen;
  int hamlibCode = 0;
  int errorNumber = 0;
  bool network = false;
  std::string setting{};
  friend bool operator==(const HelperFailed&, const HelperFailed&) = default;
};
struct HelperDone {
  friend bool operator==(const HelperDone&, const HelperDone&) = default;
};
struct HelperAt {
  double azimuthDeg = 0.0;
  friend bool operator==(const HelperAt&, const HelperAt&) = default;
};
using HelperReply = std::variant<HamlibRotatorInfo, HelperFailed, HelperDone, HelperAt>;

// Each line ends in '\n'; the decoders take it without.
std::string EncodeRequest(const HelperRequest& request);
std::optional<HelperRequest> DecodeRequest(std::string_view line);
std::string EncodeReply(const HelperReply& reply);
std::optional<HelperReply> DecodeReply(std::string_view line);

HelperFailed HelperFailedOf(const HamlibFailure& failure);

}  // namespace quarbe
