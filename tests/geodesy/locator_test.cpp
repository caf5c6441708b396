#include "geodesy/locator.h"

#include <random>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "ui/operator_texts.h"

namespace quarbe {
namespace {

bool IsAcceptedForm(const std::string& locator) {
  return locator.size() == 6 && locator[0] >= 'A' && locator[0] <= 'R' && locator[1] >= 'A' && locator[1] <= 'R' &&
         locator[2] >= '0' && locator[2] <= '9' && locator[3] >= '0' && locator[3] <= '9' && locator[4] >= 'A' &&
         locator[4] <= 'X' && locator[5] >= 'A' && locator[5] <= 'X';
}

struct DecodeCase {
  const char* name;
  const char* locator;
  Position expected;
};

// Rows print as their names in test listings.
void PrintTo(const DecodeCase& row, std::ostream* os) { *os << row.name; }

class DecodeTable : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTable, DecodesToTheSubSquareCentreAndEncodesBack) {
  const DecodeCase& c = GetParam();
  std::string text = c.locator;
  const DecodedLocator decoded = DecodeLocator(text);
  ASSERT_TRUE(std::holds_alternative<Position>(decoded));
  EXPECT_EQ(std::get<Position>(decoded), c.expected);
  EXPECT_EQ(EncodeLocator(std::get<Position>(decoded)), text);
}

INSTANTIATE_TEST_SUITE_P(
    Locators, DecodeTable,
    testing::Values(DecodeCase{"JN18AP", "JN18AP", {{48, 38, 45, kNorth}, {2, 2, 30, kEast}}},
                    DecodeCase{"JN08WV", "JN08WV", {{48, 53, 45, kNorth}, {1, 52, 30, kEast}}},
                    DecodeCase{"IO91WM_West", "IO91WM", {{51, 31, 15, kNorth}, {0, 7, 29, kWest}}},
                    DecodeCase{"FN31PR_West", "FN31PR", {{41, 43, 45, kNorth}, {72, 42, 29, kWest}}},
                    DecodeCase{"QF56OD_South", "QF56OD", {{33, 51, 14, kSouth}, {151, 12, 30, kEast}}},
                    DecodeCase{"AA00AA_SouthWestCorner", "AA00AA", {{89, 58, 44, kSouth}, {179, 57, 29, kWest}}},
                    DecodeCase{"RR99XX_NorthEastCorner", "RR99XX", {{89, 58, 45, kNorth}, {179, 57, 30, kEast}}}),
    [](const testing::TestParamInfo<DecodeCase>& row) { return std::string(row.param.name); });

struct RefusedCase {
  const char* name;
  const char* text;
  LocatorError error;
  const char* upperCased;
};

// Rows print as their names in test listings.
void PrintTo(const RefusedCase& row, std::ostream* os) { *os << row.name; }

class RefusedTable : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedTable, RefusesWithItsMessageAndStillUpperCases) {
  const RefusedCase& c = GetParam();
  std::string text = c.text;
  const DecodedLocator decoded = DecodeLocator(text);
  ASSERT_TRUE(std::holds_alternative<LocatorError>(decoded));
  EXPECT_EQ(std::get<LocatorError>(decoded), c.error);
  EXPECT_EQ(text, c.upperCased);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, RefusedTable,
    testing::Values(RefusedCase{"FiveCharacters", "jn18a", LocatorError::kWrongLength, "JN18A"},
                    RefusedCase{"Empty", "", LocatorError::kWrongLength, ""},
                    RefusedCase{"Seven", "JN18APX", LocatorError::kWrongLength, "JN18APX"},
                    RefusedCase{"SInFirst", "SN18AP", LocatorError::kWrongForm, "SN18AP"},
                    RefusedCase{"TInSecond", "jt18ap", LocatorError::kWrongForm, "JT18AP"},
                    RefusedCase{"LetterForDigit", "JNA8AP", LocatorError::kWrongForm, "JNA8AP"},
                    RefusedCase{"YInSubSquare", "JN18AY", LocatorError::kWrongForm, "JN18AY"},
                    RefusedCase{"DigitInSubSquare", "JN1801", LocatorError::kWrongForm, "JN1801"},
                    RefusedCase{"AccentedLetterIsOneCharacter", "JN18Aé", LocatorError::kWrongForm, "JN18Aé"},
                    RefusedCase{"SpaceInside", "JN 8AP", LocatorError::kWrongForm, "JN 8AP"}),
    [](const testing::TestParamInfo<RefusedCase>& row) { return std::string(row.param.name); });

TEST(LocatorErrorMessage, TextsShownToTheOperator) {
  EXPECT_EQ(Word(Message{LocatorError::kWrongLength}).text, "Le QRA doit avoir une longueur de 6 caractères");
  EXPECT_EQ(Word(Message{LocatorError::kWrongForm}).text, "Le QRA doit être de la forme AANNAA");
  EXPECT_EQ(Word(Message{LocatorError::kWrongForm}).caption, "Attention");
}

TEST(DecodeLocator, LowerCaseIsAcceptedAndUpperCasedInPlace) {
  std::string text = "jn18ap";
  const DecodedLocator decoded = DecodeLocator(text);
  ASSERT_TRUE(std::holds_alternative<Position>(decoded));
  EXPECT_EQ(text, "JN18AP");
}

struct EncodeCase {
  const char* name;
  Position position;
  const char* expected;
};

// Rows print as their names in test listings.
void PrintTo(const EncodeCase& row, std::ostream* os) { *os << row.name; }

class EncodeTable : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTable, Encodes) { EXPECT_EQ(EncodeLocator(GetParam().position), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Positions, EncodeTable,
    testing::Values(
        EncodeCase{"EquatorNear180", {{0, 0, 0, kNorth}, {179, 30, 0, kEast}}, "RJ90SA"},
        EncodeCase{"Past180EastFolds", {{0, 0, 0, kNorth}, {200, 0, 0, kEast}}, "BJ00AA"},
        EncodeCase{"SameAs160West", {{0, 0, 0, kNorth}, {160, 0, 0, kWest}}, "BJ00AA"},
        EncodeCase{"UnsetHemispheresAreNorthEast", {{0, 0, 0, kHemisphereUnset}, {0, 0, 0, kHemisphereUnset}}, "JJ00AA"},
        // The fraction-first sum decides exact 2.5' latitude boundaries.
        EncodeCase{"BoundaryNorth", {{64, 12, 30, kNorth}, {0, 0, 0, kEast}}, "JP04AE"},
        EncodeCase{"BoundarySouth", {{64, 12, 30, kSouth}, {0, 0, 0, kEast}}, "JC05AT"},
        EncodeCase{"Longitude359West", {{0, 0, 0, kNorth}, {359, 59, 59, kWest}}, "JJ00AA"},
        EncodeCase{"Longitude359East", {{89, 59, 59, kNorth}, {359, 59, 59, kEast}}, "IR99XX"}),
    [](const testing::TestParamInfo<EncodeCase>& row) { return std::string(row.param.name); });

TEST(EncodeLocator, UnsetHemispheresEncodeLikeNorthAndEast) {
  std::mt19937 random(1234);
  for (int i = 0; i < 10000; ++i) {
    Position unset{{static_cast<int>(random() % 90), static_cast<int>(random() % 60), static_cast<int>(random() % 60),
                    kHemisphereUnset},
                   {static_cast<int>(random() % 360), static_cast<int>(random() % 60),
                    static_cast<int>(random() % 60), kHemisphereUnset}};
    Position set = unset;
    set.latitude.hemisphere = kNorth;
    set.longitude.hemisphere = kEast;
    ASSERT_EQ(EncodeLocator(unset), EncodeLocator(set));
  }
}

TEST(EncodeLocator, EveryInRangePositionGivesTheAcceptedForm) {
  // Extremes of every field in every hemisphere, then a dense random sample.
  for (int latDeg : {0, 1, 45, 88, 89})
    for (int lonDeg : {0, 1, 179, 180, 181, 358, 359})
      for (int minSec : {0, 59})
        for (int latHemisphere : {kHemisphereUnset, kNorth, kSouth})
          for (int lonHemisphere : {kHemisphereUnset, kEast, kWest}) {
            const Position p{{latDeg, minSec, minSec, latHemisphere}, {lonDeg, minSec, minSec, lonHemisphere}};
            const std::string locator = EncodeLocator(p);
            ASSERT_TRUE(IsAcceptedForm(locator)) << locator << " lat " << latDeg << " lon " << lonDeg;
          }
  std::mt19937 random(42);
  for (int i = 0; i < 200000; ++i) {
    const Position p{{static_cast<int>(random() % 90), static_cast<int>(random() % 60),
                      static_cast<int>(random() % 60), static_cast<int>(random() % 3) - 1},
                     {static_cast<int>(random() % 360), static_cast<int>(random() % 60),
                      static_cast<int>(random() % 60), static_cast<int>(random() % 3) - 1}};
    const std::string locator = EncodeLocator(p);
    ASSERT_TRUE(IsAcceptedForm(locator)) << locator;
  }
}

TEST(LocatorRoundTrip, EveryValidLocatorDecodesAndEncodesBackToItself) {
  std::string locator(6, 'A');
  std::size_t count = 0;
  for (char c0 = 'A'; c0 <= 'R'; ++c0)
    for (char c1 = 'A'; c1 <= 'R'; ++c1)
      for (char c2 = '0'; c2 <= '9'; ++c2)
        for (char c3 = '0'; c3 <= '9'; ++c3)
          for (char c4 = 'A'; c4 <= 'X'; ++c4)
            for (char c5 = 'A'; c5 <= 'X'; ++c5) {
              locator = {c0, c1, c2, c3, c4, c5};
              std::string text = locator;
              const DecodedLocator decoded = DecodeLocator(text);
              const Position* position = std::get_if<Position>(&decoded);
              ASSERT_NE(position, nullptr) << locator;
              ASSERT_EQ(EncodeLocator(*position), locator);
              ++count;
            }
  EXPECT_EQ(count, 18u * 18u * 10u * 10u * 24u * 24u);
}

}  // namespace
}  // namespace quarbe
