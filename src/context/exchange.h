#pragma once
// The field exchange between the context's members and the window's form,
// driven by the field table: every exchanged field read in the table's
// exchange order with its check, or written back.

#include <optional>
#include <vector>

#include "context/form.h"
#include "context/update.h"
#include "geodesy/bearing.h"
#include "geodesy/station.h"

namespace quarbe {

// The members the fields show.
struct FieldState {
  StationRecord local;
  std::int32_t headingDeg = 0;
  StationRecord correspondent;
  BearingResult result;
};

// A field the read refused, and why.
struct RefusedField {
  int id;
  FieldRefusal refusal;
};

// Reads the form into `state`, field by field in the exchange order, each
// value stored before its check runs; stops at the first refusal. The
// members read before it keep their new values, an integer outside its range
// is kept, and a text that does not parse (an empty field included) leaves
// its member as it was.
std::optional<RefusedField> ReadFields(const Form& form, FieldState& state);

// Every exchanged field as `state` shows it, in the exchange order: integers
// as signed decimals, the distance with up to 15 significant digits and no
// trailing zeros (30.3), locators as they stand, list items by index.
void WriteFields(const FieldState& state, std::vector<FieldWrite>& writes);

// What a GPS fix rewrites: the fields the GPS holds and the results, in
// template order. Coordinates as unsigned decimals, the distance with one
// decimal (30.3, 100.0), the heading and the azimuths as signed decimals.
void WriteFixFields(const FieldState& state, std::vector<FieldWrite>& writes);

}  // namespace quarbe
