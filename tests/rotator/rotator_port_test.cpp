#include "rotator/rotator_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quarbe {
namespace {

Configuration RotatorOn(int port, std::uint32_t endStopDeg, int sense) {
  Configuration configuration;
  configuration.rotatorPort = port;
  configuration.endStopDeg = endStopDeg;
  configuration.rotationSense = sense;
  return configuration;
}

struct ByteCase {
  const char* name;
  std::uint32_t endStopDeg;
  int sense;
  std::int32_t relativeDeg;
  int expected;
  friend void PrintTo(const ByteCase& c, std::ostream* os) { *os << c.name; }
};

class RotatorByteTest : public ::testing::TestWithParam<ByteCase> {};

TEST_P(RotatorByteTest, MatchesTable) {
  const ByteCase& c = GetParam();
  const auto byte = RotatorByte(c.relativeDeg, RotatorOn(1, c.endStopDeg, c.sense));
  ASSERT_TRUE(byte.has_value());
  EXPECT_EQ(*byte, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, RotatorByteTest,
    ::testing::Values(
        ByteCase{"South_Clockwise_0", 180, kSenseClockwise, 0, 128},
        ByteCase{"South_Clockwise_90", 180, kSenseClockwise, 90, 192},
        ByteCase{"South_Clockwise_180", 180, kSenseClockwise, 180, 0},
        ByteCase{"South_Clockwise_246", 180, kSenseClockwise, 246, 46},
        ByteCase{"South_Clockwise_270", 180, kSenseClockwise, 270, 64},
        ByteCase{"South_Clockwise_359", 180, kSenseClockwise, 359, 127},
        ByteCase{"South_Inverse_0", 180, kSenseInverse, 0, 128},
        ByteCase{"South_Inverse_90", 180, kSenseInverse, 90, 64},
        ByteCase{"South_Inverse_180", 180, kSenseInverse, 180, 0},
        ByteCase{"South_Inverse_246", 180, kSenseInverse, 246, 210},
        ByteCase{"South_Inverse_270", 180, kSenseInverse, 270, 192},
        ByteCase{"South_Inverse_359", 180, kSenseInverse, 359, 129},
        ByteCase{"South_Inverse_183", 180, kSenseInverse, 183, 254},
        ByteCase{"South_Inverse_336", 180, kSenseInverse, 336, 146},
        ByteCase{"North_Clockwise_0", 0, kSenseClockwise, 0, 0},
        ByteCase{"North_Clockwise_359", 0, kSenseClockwise, 359, 255},
        ByteCase{"North_Inverse_359", 0, kSenseInverse, 359, 1},
        // A negative relative azimuth is taken modulo 360: -1 points like 359.
        ByteCase{"North_Clockwise_Minus1", 0, kSenseClockwise, -1, 255},
        ByteCase{"North_Clockwise_Minus59", 0, kSenseClockwise, -59, 214},
        ByteCase{"Other_Clockwise_Minus59", 30, kSenseClockwise, -59, 235},
        ByteCase{"Sum360_IsZero", 1, kSenseClockwise, 359, 0},
        // An end stop beyond a turn from an edited store still points right.
        ByteCase{"HugeEndStop", 360u * 100000u + 180u, kSenseClockwise, 90, 192}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RotatorByte, NoPortGivesNothing) {
  for (int port : {0, -1, 4, 99}) {
    for (std::int32_t rel : {0, 90, 359, -30}) {
      EXPECT_FALSE(RotatorByte(rel, RotatorOn(port, 180, kSenseInverse)).has_value()) << port << " " << rel;
    }
  }
  for (int port : {1, 2, 3}) EXPECT_TRUE(RotatorByte(0, RotatorOn(port, 180, kSenseInverse)).has_value());
}

// A scratch directory per test, removed afterwards.
class RotatorPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-rotator-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string CreateFile(const std::string& name) {
    const auto path = (dir_ / name).string();
    std::ofstream(path).close();
    return path;
  }

  static std::vector<int> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int> bytes;
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) bytes.push_back(static_cast<unsigned char>(*it));
    return bytes;
  }

  static PortMap PortsWithLpt(int index, const std::string& path) {
    PortMap ports;
    ports.parallel[static_cast<std::size_t>(index - 1)] = path;
    return ports;
  }

  std::filesystem::path dir_;
};

TEST_F(RotatorPortTest, AppendsBytesToRegularFile) {
  const auto path = CreateFile("lpt2");
  RotatorPort port(RotatorOn(2, 180, kSenseInverse), PortsWithLpt(2, path));
  EXPECT_EQ(port.DevicePath(), path);
  EXPECT_TRUE(port.Write(183));
  EXPECT_TRUE(port.Write(336));
  EXPECT_TRUE(port.Write(0));
  EXPECT_EQ(ReadBytes(path), (std::vector<int>{254, 146, 128}));
}

TEST_F(RotatorPortTest, PortZeroAndUnknownIndexWriteNothing) {
  const auto path = CreateFile("lpt1");
  for (int index : {0, 4, -1}) {
    int failures = 0;
    RotatorPort port(RotatorOn(index, 180, kSenseInverse), PortsWithLpt(1, path));
    port.SetFailureCallback([&](std::string_view, std::string_view) { ++failures; });
    EXPECT_FALSE(port.Write(90));
    EXPECT_EQ(failures, 0);
  }
  EXPECT_TRUE(ReadBytes(path).empty());
}

TEST_F(RotatorPortTest, MissingDeviceIsReportedOncePerConfiguration) {
  const auto missing = (dir_ / "no-such-port").string();
  std::vector<std::pair<std::string, std::string>> messages;
  RotatorPort port(RotatorOn(1, 180, kSenseClockwise), PortsWithLpt(1, missing));
  port.SetFailureCallback([&](std::string_view text, std::string_view caption) {
    messages.emplace_back(std::string(text), std::string(caption));
  });
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(port.Write(i * 10));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].first, SystemErrorText(ENOENT));
  EXPECT_FALSE(messages[0].first.empty());
  EXPECT_EQ(messages[0].second, "Ouverture port moteur");

  // The device appears, but the failed configuration stays quiet and idle.
  std::ofstream(missing).close();
  EXPECT_FALSE(port.Write(0));
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(ReadBytes(missing).empty());

  // A new configuration opens it afresh.
  port.Reconfigure(RotatorOn(1, 180, kSenseClockwise), PortsWithLpt(1, missing));
  EXPECT_TRUE(port.Write(90));
  EXPECT_EQ(ReadBytes(missing), std::vector<int>{192});
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(RotatorPortTest, ReconfigureSwitchesDeviceAndSense) {
  const auto first = CreateFile("first");
  const auto second = CreateFile("second");
  PortMap ports;
  ports.parallel[0] = first;
  ports.parallel[2] = second;
  RotatorPort port(RotatorOn(1, 180, kSenseClockwise), ports);
  EXPECT_TRUE(port.Write(90));
  port.Reconfigure(RotatorOn(3, 0, kSenseInverse), ports);
  EXPECT_TRUE(port.Write(90));
  port.Reconfigure(RotatorOn(0, 0, kSenseInverse), ports);
  EXPECT_FALSE(port.Write(90));
  EXPECT_EQ(ReadBytes(first), std::vector<int>{192});
  EXPECT_EQ(ReadBytes(second), std::vector<int>{192});  // 90 deg from north is 64, negated 192
}

TEST_F(RotatorPortTest, DirectoryAsDeviceIsReported) {
  int failures = 0;
  RotatorPort port(RotatorOn(1, 180, kSenseClockwise), PortsWithLpt(1, dir_.string()));
  port.SetFailureCallback([&](std::string_view text, std::string_view) {
    ++failures;
    EXPECT_EQ(text, SystemErrorText(EISDIR));
  });
  EXPECT_FALSE(port.Write(0));
  EXPECT_FALSE(port.Write(0));
  EXPECT_EQ(failures, 1);
}

TEST_F(RotatorPortTest, FifoWithoutReaderNeitherBlocksNorComplains) {
  const auto fifo = (dir_ / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  int failures = 0;
  RotatorPort port(RotatorOn(1, 180, kSenseClockwise), PortsWithLpt(1, fifo));
  port.SetFailureCallback([&](std::string_view, std::string_view) { ++failures; });
  EXPECT_FALSE(port.Write(0));
  EXPECT_FALSE(port.Write(90));
  EXPECT_EQ(failures, 0);

  // A reader arrives: the next write opens the FIFO and the byte gets through.
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(port.Write(270));
  unsigned char received = 0;
  EXPECT_EQ(::read(reader, &received, 1), 1);
  EXPECT_EQ(received, 64);

  // The reader leaves: the write fails quietly (no SIGPIPE), and the port
  // waits for the next reader.
  ::close(reader);
  EXPECT_FALSE(port.Write(0));
  EXPECT_FALSE(port.Write(0));
  EXPECT_EQ(failures, 0);
  const int again = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(again, 0);
  EXPECT_TRUE(port.Write(180));
  EXPECT_EQ(::read(again, &received, 1), 1);
  EXPECT_EQ(received, 0);
  ::close(again);
}

TEST_F(RotatorPortTest, CharacterDeviceTakesRawByte) {
  RotatorPort port(RotatorOn(1, 180, kSenseClockwise), PortsWithLpt(1, "/dev/null"));
  int failures = 0;
  port.SetFailureCallback([&](std::string_view, std::string_view) { ++failures; });
  EXPECT_TRUE(port.Write(10));
  EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace quarbe
