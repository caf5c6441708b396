#include "gps/line_framer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace quarbe {
namespace {

// One read of `bytes` the way the reader does it: into FreeSpace(), then
// Commit(). The test fails if the bytes would not fit.
void Read(LineFramer& framer, const std::string& bytes, std::vector<std::string>& lines) {
  const std::span<char> space = framer.FreeSpace();
  ASSERT_LE(bytes.size(), space.size());
  std::memcpy(space.data(), bytes.data(), bytes.size());
  framer.Commit(bytes.size(), [&](std::string_view line) { lines.emplace_back(line); });
}

struct FramingCase {
  const char* name;
  std::vector<std::string> reads;
  std::vector<std::string> lines;
  std::size_t carried;
};
void PrintTo(const FramingCase& row, std::ostream* out) { *out << row.name; }


// Names the generated tests after the table rows.
struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& row) const {
    return row.param.name;
  }
};

class LineFramerTest : public testing::TestWithParam<FramingCase> {};

TEST_P(LineFramerTest, CutsReadsIntoLines) {
  const FramingCase& c = GetParam();
  LineFramer framer;
  std::vector<std::string> lines;
  for (const std::string& bytes : c.reads) Read(framer, bytes, lines);
  EXPECT_EQ(lines, c.lines);
  EXPECT_EQ(framer.Carried(), c.carried);
  EXPECT_EQ(framer.FreeSpace().size(), LineFramer::kCapacity - c.carried);
}

const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A";
const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";
const std::string k99 = "$" + std::string(98, 'x');    // the longest unfinished line kept
const std::string k100 = "$" + std::string(99, 'x');   // one byte too many

INSTANTIATE_TEST_SUITE_P(
    Reads, LineFramerTest,
    testing::Values(
        FramingCase{"TwoLinesInOneRead", {kRmc + "\r\n" + kGga + "\r\n"}, {kRmc + "\r", kGga + "\r"}, 0},
        FramingCase{"LineSplitAcrossReads", {kGga.substr(0, 20), kGga.substr(20) + "\n"}, {kGga}, 0},
        FramingCase{"SplitAtEveryPlace",
                    {kGga.substr(0, 1), kGga.substr(1, 1), kGga.substr(2, 40), kGga.substr(42), "\n"},
                    {kGga},
                    0},
        FramingCase{"ReadOfNothingKeepsUnfinishedLine", {kGga.substr(0, 30), "", kGga.substr(30) + "\n"}, {kGga}, 0},
        FramingCase{"UnfinishedLineCarried", {kRmc + "\n" + kGga.substr(0, 30)}, {kRmc}, 30},
        FramingCase{"JunkAfterLastLineFeedDropped", {kRmc + "\nnoise", "more noise\n"}, {kRmc}, 0},
        FramingCase{"LinesWithoutDollarSkipped", {"garbage\n" + kRmc + "\n\n\r\n x$GPRMC\n" + kGga + "\n"},
                    {kRmc, kGga},
                    0},
        FramingCase{"Unfinished99BytesKept", {k99, "y\n"}, {k99 + "y"}, 0},
        FramingCase{"Unfinished100BytesDropped", {k100, "y\n" + kRmc + "\n"}, {kRmc}, 0},
        FramingCase{"LongCompleteLineInOneReadPassed", {"$" + std::string(300, 'z') + "\n"},
                    {"$" + std::string(300, 'z')},
                    0},
        FramingCase{"FullBufferWithoutLineFeedDropped", {"$" + std::string(1023, 'q'), "tail\n" + kRmc + "\n"},
                    {kRmc},
                    0},
        FramingCase{"LineFeedOnly", {"\n"}, {}, 0},
        FramingCase{"DollarThenLineFeedIsALine", {"$\n"}, {"$"}, 0},
        FramingCase{"NulBytesStayInTheLine", {std::string("$GP\0X\n", 6)}, {std::string("$GP\0X", 5)}, 0}),
    CaseName());

TEST(LineFramer, FeedCutsLongInputLikeSuccessiveReads) {
  // 60 sentences of ~70 bytes: more than four buffers, so lines straddle the
  // chunk boundaries and have to be carried.
  std::string input;
  std::vector<std::string> expected;
  for (int i = 0; i < 60; ++i) {
    const std::string line = (i % 2 == 0 ? kRmc : kGga) + std::to_string(i);
    expected.push_back(line);
    input += line + "\n";
  }
  LineFramer framer;
  std::vector<std::string> lines;
  framer.Feed(input, [&](std::string_view line) { lines.emplace_back(line); });
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(framer.Carried(), 0u);
}

TEST(LineFramer, ResetForgetsUnfinishedLine) {
  LineFramer framer;
  std::vector<std::string> lines;
  Read(framer, kGga.substr(0, 30), lines);
  ASSERT_EQ(framer.Carried(), 30u);
  framer.Reset();
  Read(framer, kGga.substr(30) + "\n" + kRmc + "\n", lines);
  EXPECT_EQ(lines, std::vector<std::string>{kRmc});
}

}  // namespace
}  // namespace quarbe
