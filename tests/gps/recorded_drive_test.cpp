// The two recorded drives replayed through the line framer and the decoder
// in reads of various sizes; the expected figures are those stated in the
// recordings' headers.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geodesy/locator.h"
#include "gps/line_framer.h"
#include "gps/nmea_decoder.h"

namespace quarbe {
namespace {

struct Replay {
  std::vector<Position> positions;
  std::vector<std::int32_t> courses;
  std::size_t sensorHeadings = 0;
};

Replay ReplayDrive(const std::string& text, std::size_t readSize) {
  Replay replay;
  LineFramer framer;
  for (std::size_t offset = 0; offset < text.size(); offset += readSize) {
    framer.Feed(std::string_view(text).substr(offset, readSize), [&](std::string_view line) {
      const NmeaResult result = NmeaDecoder(line, true);
      if (const auto* course = std::get_if<NmeaCourse>(&result); course && course->degrees) {
        replay.courses.push_back(*course->degrees);
      }
      if (const auto* position = std::get_if<NmeaPosition>(&result)) replay.positions.push_back(position->position);
      if (std::holds_alternative<NmeaHeading>(result)) ++replay.sensorHeadings;
    });
  }
  return replay;
}

struct DriveCase {
  const char* file;
  std::size_t readSize;
};

class RecordedDriveTest : public testing::TestWithParam<DriveCase> {};

TEST_P(RecordedDriveTest, GivesTheRecordedFixes) {
  std::ifstream in(std::string(QUARBE_DRIVES_DIR) + "/" + GetParam().file, std::ios::binary);
  ASSERT_TRUE(in) << GetParam().file;
  std::ostringstream text;
  text << in.rdbuf();
  const Replay replay = ReplayDrive(text.str(), GetParam().readSize);

  // 534 s: 534 GGA sentences, 6 of them without a fix.
  ASSERT_EQ(replay.positions.size(), 528u);
  EXPECT_EQ(EncodeLocator(replay.positions.front()), "JN18AP");
  EXPECT_EQ(EncodeLocator(replay.positions.back()), "JN18AQ");
  // Void sentences and the 5 s standing with a speed of exactly 0 (empty
  // course) give no course; otherwise parked, the receiver gives one at random.
  EXPECT_EQ(replay.courses.size(), 534u - 6u - 5u);
  EXPECT_EQ(replay.courses.front(), 45);
  // The heading sensor's last 68 s.
  EXPECT_EQ(replay.sensorHeadings, 68u);
}

INSTANTIATE_TEST_SUITE_P(Drives, RecordedDriveTest,
                         testing::Values(DriveCase{"drive-jn18ap-gn.nmea", 1}, DriveCase{"drive-jn18ap-gn.nmea", 37},
                                         DriveCase{"drive-jn18ap-gn.nmea", 4096},
                                         DriveCase{"drive-jn18ap-gp.nmea", 1}, DriveCase{"drive-jn18ap-gp.nmea", 64},
                                         DriveCase{"drive-jn18ap-gp.nmea", 4096}));

}  // namespace
}  // namespace quarbe
