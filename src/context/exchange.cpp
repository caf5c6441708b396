#include "context/exchange.h"

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include "context/field_table.h"
#include "context/number_text.h"
#include "geodesy/locator.h"

namespace quarbe {
namespace {

// A finite decimal number, with a point or a comma for the decimals.
std::optional<double> ParseNumber(std::string_view text) {
  std::string normalised(TrimBlanks(text));
  for (char& c : normalised) {
    if (c == ',') c = '.';
  }
  std::string_view digits = normalised;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.front() == '+') {
    return std::nullopt;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string FormatSigned(std::int32_t value) { return std::to_string(value); }
std::string FormatUnsigned(std::int32_t value) { return std::to_string(static_cast<std::uint32_t>(value)); }

// Up to 15 significant digits without trailing zeros (30.3, not 30.300000),
// with a point whatever the user's locale.
std::string FormatGeneral15(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::string FormatFixed1(double value) {
  char buffer[400];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

// The member a field binds. Exactly one of the three is set for an exchanged
// field: a text, an integer (a list index too) or the distance.
struct Bound {
  std::string* text = nullptr;
  std::int32_t* integer = nullptr;
  double* number = nullptr;
};

Bound Bind(FieldState& state, Member member) {
  StationRecord& local = state.local;
  StationRecord& corr = state.correspondent;
  switch (member) {
    case Member::kNone: return {};
    case Member::kLocalLocator: return {&local.locator};
    case Member::kLocalLatDeg: return {nullptr, &local.position.latitude.degrees};
    case Member::kLocalLatMin: return {nullptr, &local.position.latitude.minutes};
    case Member::kLocalLatSec: return {nullptr, &local.position.latitude.seconds};
    case Member::kLocalLatHemisphere: return {nullptr, &local.position.latitude.hemisphere};
    case Member::kLocalLonDeg: return {nullptr, &local.position.longitude.degrees};
    case Member::kLocalLonMin: return {nullptr, &local.position.longitude.minutes};
    case Member::kLocalLonSec: return {nullptr, &local.position.longitude.seconds};
    case Member::kLocalLonHemisphere: return {nullptr, &local.position.longitude.hemisphere};
    case Member::kHeading: return {nullptr, &state.headingDeg};
    case Member::kCorrLocator: return {&corr.locator};
    case Member::kCorrLatDeg: return {nullptr, &corr.position.latitude.degrees};
    case Member::kCorrLatMin: return {nullptr, &corr.position.latitude.minutes};
    case Member::kCorrLatSec: return {nullptr, &corr.position.latitude.seconds};
    case Member::kCorrLatHemisphere: return {nullptr, &corr.position.latitude.hemisphere};
    case Member::kCorrLonDeg: return {nullptr, &corr.position.longitude.degrees};
    case Member::kCorrLonMin: return {nullptr, &corr.position.longitude.minutes};
    case Member::kCorrLonSec: return {nullptr, &corr.position.longitude.seconds};
    case Member::kCorrLonHemisphere: return {nullptr, &corr.position.longitude.hemisphere};
    case Member::kDistance: return {nullptr, nullptr, &state.result.distanceKm};
    case Member::kTrueAzimuth: return {nullptr, &state.result.trueAzimuthDeg};
    case Member::kRelativeAzimuth: return {nullptr, &state.result.relativeAzimuthDeg};
    case Member::kReverseAzimuth: return {nullptr, &state.result.reverseAzimuthDeg};
  }
  return {};
}

// Reads one field into its member; the refusal, if any.
std::optional<FieldRefusal> ReadField(const Field& field, const Form& form, const Bound& member) {
  using Reason = FieldRefusal::Reason;
  if (field.kind == FieldKind::kHemisphere) {
    *member.integer = form.Selection(field.id);
    return std::nullopt;
  }
  if (member.text != nullptr) {
    *member.text = form.Text(field.id);
    if (CharacterCount(*member.text) > kLocatorLength) return FieldRefusal{Reason::kTooLong};
    return std::nullopt;
  }
  if (member.number != nullptr) {
    const auto value = ParseNumber(form.Text(field.id));
    if (!value) return FieldRefusal{Reason::kNotANumber};
    *member.number = *value;
    return std::nullopt;
  }
  const auto value = ParseWholeNumber(form.Text(field.id));
  if (!value) return FieldRefusal{Reason::kNotAnInteger};
  *member.integer = *value;
  if (field.Ranged() && (*value < field.low || *value > field.high)) {
    return FieldRefusal{Reason::kOutOfRange, field.low, field.high};
  }
  return std::nullopt;
}

}  // namespace

std::optional<RefusedField> ReadFields(const Form& form, FieldState& state) {
  for (const std::size_t index : kExchangeOrder) {
    const Field& field = kFields[index];
    if (auto refusal = ReadField(field, form, Bind(state, field.member))) return RefusedField{field.id, *refusal};
  }
  return std::nullopt;
}

void WriteFields(const FieldState& state, std::vector<FieldWrite>& writes) {
  FieldState shown = state;  // bound for reading only
  for (const std::size_t index : kExchangeOrder) {
    const Field& field = kFields[index];
    const Bound member = Bind(shown, field.member);
    if (field.kind == FieldKind::kHemisphere) {
      writes.push_back({field.id, {}, *member.integer});
    } else if (member.text != nullptr) {
      writes.push_back({field.id, *member.text});
    } else if (member.number != nullptr) {
      writes.push_back({field.id, FormatGeneral15(*member.number)});
    } else {
      writes.push_back({field.id, FormatSigned(*member.integer)});
    }
  }
}

void WriteFixFields(const FieldState& state, std::vector<FieldWrite>& writes) {
  FieldState shown = state;  // bound for reading only
  for (const Field& field : kFields) {
    if (!field.gpsLocked && field.kind != FieldKind::kResult) continue;
    const Bound member = Bind(shown, field.member);
    if (field.kind == FieldKind::kHemisphere) {
      writes.push_back({field.id, {}, *member.integer});
    } else if (member.text != nullptr) {
      writes.push_back({field.id, *member.text});
    } else if (member.number != nullptr) {
      writes.push_back({field.id, FormatFixed1(*member.number)});
    } else if (field.member == Member::kHeading || field.kind == FieldKind::kResult) {
      writes.push_back({field.id, FormatSigned(*member.integer)});
    } else {
      writes.push_back({field.id, FormatUnsigned(*member.integer)});
    }
  }
}

}  // namespace quarbe
