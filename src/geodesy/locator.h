#pragma once
// QRA (Maidenhead) locators of six characters: 18 x 18 fields of 20 deg of
// longitude by 10 deg of latitude (letters A-R), each cut into 10 x 10 squares
// of 2 deg by 1 deg (digits), each cut into 24 x 24 sub-squares of 5' by 2.5'
// (letters A-X).

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "geodesy/station.h"

namespace quarbe {

// A locator has exactly this many characters.
inline constexpr std::size_t kLocatorLength = 6;

// Length of a UTF-8 text in characters as the operator sees them
// (continuation bytes do not count), which is how locator texts are measured.
std::size_t CharacterCount(std::string_view text);

// The six characters of the locator whose sub-square holds the position.
// Any position with latitude 0..89 deg 0..59' 0..59" and longitude 0..359 deg
// 0..59' 0..59", in either hemisphere or with hemispheres unset (north, east),
// gives six characters of the accepted form. Longitudes past 180 deg are
// folded: 200 deg E encodes like 160 deg W.
std::string EncodeLocator(const Position& position);

// Why a locator text was refused.
enum class LocatorError {
  kWrongLength,  // not exactly six characters
  kWrongForm,    // not letter A-R, letter A-R, digit, digit, letter A-X, letter A-X
};

using DecodedLocator = std::variant<Position, LocatorError>;

// Upper-cases `text` in place (ASCII letters only, even when the text is then
// refused), checks its length and then its form, and returns the centre of
// the sub-square in whole seconds. Centres fall on a whole second; in the
// west and south they come out one second lower (...29", ...14", ...44")
// because the half-second safety margin is added before the hemisphere fold.
DecodedLocator DecodeLocator(std::string& text);

}  // namespace quarbe
