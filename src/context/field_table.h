#pragma once
// The main window's controls, each described once: what it is, the member of
// the context it shows, the commit that leaving it (an edit), choosing in it
// (a list) or clicking it (the GPS box) runs, where it sits in dialog units,
// its place in the validating read of all fields and the range that read
// accepts. The rows are in the window's template order, which is also the
// order in which the tab stops are visited.
//
// Everything that deals with the fields reads this table: the window lays
// itself out and routes its notifications by it, the exchange reads and
// writes the fields in `exchangeOrder` with the ranges given here, and the GPS
// lock holds the fields marked `gpsLocked`.

#include <array>
#include <cstddef>
#include <cstdint>

#include "context/control_ids.h"

namespace quarbe {

enum class FieldKind {
  kLocator,     // edit of a locator text, at most kLocatorLength characters
  kInteger,     // right-aligned edit of a whole number
  kHemisphere,  // drop-down list: "N"/"S" for a latitude, "E"/"O" for a longitude
  kCheckBox,    // the GPS box; starts disabled and unchecked
  kResult,      // right-aligned read-only edit of a computed value; no tab stop
  kCompass,     // the compass picture; no tab stop
  kButton,      // bitmap push button
};

// The member of the context's state a field shows.
enum class Member {
  kNone,
  kLocalLocator,
  kLocalLatDeg,
  kLocalLatMin,
  kLocalLatSec,
  kLocalLatHemisphere,
  kLocalLonDeg,
  kLocalLonMin,
  kLocalLonSec,
  kLocalLonHemisphere,
  kHeading,
  kCorrLocator,
  kCorrLatDeg,
  kCorrLatMin,
  kCorrLatSec,
  kCorrLatHemisphere,
  kCorrLonDeg,
  kCorrLonMin,
  kCorrLonSec,
  kCorrLonHemisphere,
  kDistance,
  kTrueAzimuth,
  kRelativeAzimuth,
  kReverseAzimuth,
};

// The context operation a field's notification runs.
enum class Commit {
  kNone,
  kLocalLocator,              // CommitLocalLocator
  kCorrespondentLocator,      // CommitCorrespondentLocator
  kLocalCoordinates,          // CommitLocalCoordinates
  kCorrespondentCoordinates,  // CommitCorrespondentCoordinates
  kHeading,                   // CommitHeading
  kGpsUse,                    // ToggleGps
};

// The notification that runs a field's commit.
enum class Trigger { kNone, kLostFocus, kSelectionChanged, kClicked };

struct DluRect {
  int x;
  int y;
  int width;
  int height;
};

struct Field {
  int id;
  FieldKind kind;
  Member member;
  Commit commit;
  DluRect place;
  // Position in the validating read, 1 for the first; 0 when not exchanged.
  int exchangeOrder;
  // Values the read accepts for an integer field; none is refused when
  // high < low.
  std::int32_t low = 0;
  std::int32_t high = -1;
  // Held by the GPS once its first fix has come: disabled, and read-only for
  // an edit.
  bool gpsLocked = false;

  constexpr bool Ranged() const { return low <= high; }
};

namespace field_rows {
inline constexpr bool kGpsLocked = true;

constexpr Field Locator(int id, Member member, Commit commit, DluRect place, int order, bool locked = false) {
  return {id, FieldKind::kLocator, member, commit, place, order, 0, -1, locked};
}
constexpr Field Integer(int id, Member member, Commit commit, DluRect place, int order, std::int32_t high,
                        bool locked = false) {
  return {id, FieldKind::kInteger, member, commit, place, order, 0, high, locked};
}
constexpr Field Hemisphere(int id, Member member, Commit commit, DluRect place, int order, bool locked = false) {
  return {id, FieldKind::kHemisphere, member, commit, place, order, 0, -1, locked};
}
constexpr Field Result(int id, Member member, DluRect place, int order) {
  return {id, FieldKind::kResult, member, Commit::kNone, place, order};
}
constexpr Field Control(int id, FieldKind kind, Commit commit, DluRect place) {
  return {id, kind, Member::kNone, commit, place, 0};
}
}  // namespace field_rows

// Template order. Dialog units: x, y, width, height; a list's height
// includes its dropped-down part.
inline constexpr std::array kFields{
    field_rows::Result(ctl::kRelativeAzimuth, Member::kRelativeAzimuth, {131, 103, 15, 12}, 16),
    field_rows::Result(ctl::kDistance, Member::kDistance, {184, 103, 28, 12}, 22),
    field_rows::Result(ctl::kReverseAzimuth, Member::kReverseAzimuth, {82, 80, 15, 12}, 17),
    field_rows::Control(ctl::kCompass, FieldKind::kCompass, Commit::kNone, {215, 3, 112, 112}),
    field_rows::Result(ctl::kTrueAzimuth, Member::kTrueAzimuth, {68, 103, 15, 12}, 23),
    field_rows::Locator(ctl::kLocalLocator, Member::kLocalLocator, Commit::kLocalLocator, {65, 18, 32, 12}, 7,
                        field_rows::kGpsLocked),
    field_rows::Integer(ctl::kLocalLatDeg, Member::kLocalLatDeg, Commit::kLocalCoordinates, {139, 18, 16, 12}, 4, 89,
                        field_rows::kGpsLocked),
    field_rows::Integer(ctl::kLocalLatMin, Member::kLocalLatMin, Commit::kLocalCoordinates, {160, 18, 11, 12}, 3, 59,
                        field_rows::kGpsLocked),
    field_rows::Integer(ctl::kLocalLatSec, Member::kLocalLatSec, Commit::kLocalCoordinates, {176, 18, 11, 12}, 2, 59,
                        field_rows::kGpsLocked),
    field_rows::Hemisphere(ctl::kLocalLatHemisphere, Member::kLocalLatHemisphere, Commit::kLocalCoordinates,
                           {193, 18, 16, 29}, 19, field_rows::kGpsLocked),
    field_rows::Control(ctl::kGpsCheck, FieldKind::kCheckBox, Commit::kGpsUse, {8, 34, 25, 10}),
    field_rows::Integer(ctl::kHeading, Member::kHeading, Commit::kHeading, {82, 34, 15, 12}, 8, 360,
                        field_rows::kGpsLocked),
    field_rows::Integer(ctl::kLocalLonDeg, Member::kLocalLonDeg, Commit::kLocalCoordinates, {139, 33, 16, 12}, 1, 359,
                        field_rows::kGpsLocked),
    field_rows::Integer(ctl::kLocalLonMin, Member::kLocalLonMin, Commit::kLocalCoordinates, {160, 33, 11, 12}, 5, 59,
                        field_rows::kGpsLocked),
    field_rows::Integer(ctl::kLocalLonSec, Member::kLocalLonSec, Commit::kLocalCoordinates, {176, 33, 11, 12}, 6, 59,
                        field_rows::kGpsLocked),
    field_rows::Hemisphere(ctl::kLocalLonHemisphere, Member::kLocalLonHemisphere, Commit::kLocalCoordinates,
                           {193, 33, 16, 29}, 18, field_rows::kGpsLocked),
    field_rows::Locator(ctl::kCorrLocator, Member::kCorrLocator, Commit::kCorrespondentLocator, {64, 65, 33, 12}, 9),
    field_rows::Integer(ctl::kCorrLatDeg, Member::kCorrLatDeg, Commit::kCorrespondentCoordinates, {138, 65, 16, 12}, 10,
                        89),
    field_rows::Integer(ctl::kCorrLatMin, Member::kCorrLatMin, Commit::kCorrespondentCoordinates, {159, 65, 11, 12}, 11,
                        59),
    field_rows::Integer(ctl::kCorrLatSec, Member::kCorrLatSec, Commit::kCorrespondentCoordinates, {175, 65, 11, 12}, 12,
                        59),
    field_rows::Hemisphere(ctl::kCorrLatHemisphere, Member::kCorrLatHemisphere, Commit::kCorrespondentCoordinates,
                           {193, 65, 16, 29}, 20),
    field_rows::Integer(ctl::kCorrLonDeg, Member::kCorrLonDeg, Commit::kCorrespondentCoordinates, {138, 80, 16, 12}, 13,
                        359),
    field_rows::Integer(ctl::kCorrLonMin, Member::kCorrLonMin, Commit::kCorrespondentCoordinates, {159, 80, 11, 12}, 14,
                        59),
    field_rows::Integer(ctl::kCorrLonSec, Member::kCorrLonSec, Commit::kCorrespondentCoordinates, {175, 80, 11, 12}, 15,
                        59),
    field_rows::Hemisphere(ctl::kCorrLonHemisphere, Member::kCorrLonHemisphere, Commit::kCorrespondentCoordinates,
                           {193, 80, 16, 29}, 21),
    field_rows::Control(ctl::kAboutButton, FieldKind::kButton, Commit::kNone, {2, 103, 12, 12}),
    field_rows::Control(ctl::kConfigButton, FieldKind::kButton, Commit::kNone, {15, 103, 12, 12}),
};

inline constexpr std::size_t kFieldCount = kFields.size();

// Position of a control in kFields; kFieldCount when it has no row.
constexpr std::size_t FieldIndex(int id) {
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (kFields[i].id == id) return i;
  }
  return kFieldCount;
}

// The row of a control, or null.
constexpr const Field* FindField(int id) {
  const std::size_t index = FieldIndex(id);
  return index < kFieldCount ? &kFields[index] : nullptr;
}

constexpr Trigger TriggerOf(FieldKind kind) {
  switch (kind) {
    case FieldKind::kLocator:
    case FieldKind::kInteger:
      return Trigger::kLostFocus;
    case FieldKind::kHemisphere:
      return Trigger::kSelectionChanged;
    case FieldKind::kCheckBox:
      return Trigger::kClicked;
    default:
      return Trigger::kNone;
  }
}

// The keyboard visits every control but the results and the compass.
constexpr bool IsTabStop(FieldKind kind) { return kind != FieldKind::kResult && kind != FieldKind::kCompass; }

constexpr bool IsLatitudeHemisphere(Member member) {
  return member == Member::kLocalLatHemisphere || member == Member::kCorrLatHemisphere;
}

// How many fields the validating read goes through.
inline constexpr std::size_t kExchangedCount = [] {
  std::size_t count = 0;
  for (const Field& field : kFields) count += field.exchangeOrder > 0 ? 1 : 0;
  return count;
}();

// Positions in kFields of the exchanged fields, in the order of the
// validating read.
inline constexpr std::array<std::size_t, kExchangedCount> kExchangeOrder = [] {
  std::array<std::size_t, kExchangedCount> order{};
  order.fill(kFieldCount);
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    if (kFields[i].exchangeOrder > 0) order[static_cast<std::size_t>(kFields[i].exchangeOrder - 1)] = i;
  }
  return order;
}();

static_assert(
    [] {
      for (const std::size_t index : kExchangeOrder) {
        if (index == kFieldCount) return false;
      }
      return true;
    }(),
    "exchange orders run from 1 without a gap");

}  // namespace quarbe
