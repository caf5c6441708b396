#include "rotator/rotator_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "rotator/rotator_output.h"
#include "ui/operator_texts.h"

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
  std::uint32_t endStopDeg;
  int sense;
  std::int32_t relativeDeg;
  int expected;
};

class RotatorByteTest : public ::testing::TestWithParam<ByteCase> {};

TEST_P(RotatorByteTest, MatchesTable) {
  const ByteCase& c = GetParam();
  const auto byte = RotatorByte(c.relativeDeg, RotatorOn(1, c.endStopDeg, c.sense));
  ASSERT_TRUE(byte.has_value());
  EXPECT_EQ(*byte, c.expected) << "end stop " << c.endStopDeg << " sense " << c.sense << " azimuth " << c.relativeDeg;
}

constexpr int kCw = kSenseClockwise;
constexpr int kInv = kSenseInverse;
INSTANTIATE_TEST_SUITE_P(
    EndStopSouth, RotatorByteTest,
    ::testing::Values(ByteCase{180, kCw, 0, 128}, ByteCase{180, kCw, 90, 192}, ByteCase{180, kCw, 180, 0},
                      ByteCase{180, kCw, 246, 46}, ByteCase{180, kCw, 270, 64}, ByteCase{180, kCw, 359, 127},
                      ByteCase{180, kInv, 0, 128}, ByteCase{180, kInv, 90, 64}, ByteCase{180, kInv, 180, 0},
                      ByteCase{180, kInv, 246, 210}, ByteCase{180, kInv, 270, 192}, ByteCase{180, kInv, 359, 129}));
// End stop north; a negative azimuth is taken modulo 360 (-1 points like
// 359); an end stop beyond a full turn, from an edited store, still points right.
INSTANTIATE_TEST_SUITE_P(
    Others, RotatorByteTest,
    ::testing::Values(ByteCase{0, kCw, 0, 0}, ByteCase{0, kCw, 359, 255}, ByteCase{0, kInv, 359, 1},
                      ByteCase{0, kCw, -1, 255}, ByteCase{0, kCw, -59, 214}, ByteCase{30, kCw, -59, 235},
                      ByteCase{1, kCw, 359, 0}, ByteCase{360u * 100000u + 180u, kCw, 90, 192}));

TEST(RotatorByte, NoPortGivesNothing) {
  for (int port : {0, -1, 4, 99}) {
    for (std::int32_t rel : {0, 90, 359, -30}) {
      EXPECT_FALSE(RotatorByte(rel, RotatorOn(port, 180, kSenseInverse)).has_value()) << port << " " << rel;
    }
  }
}

class RotatorPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-rotator-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    port_.SetFailureCallback([this](const DeviceOpenFailure& failure) {
      failures_.push_back(failure);
      const Wording wording = Word(RotatorFailure{failure});
      // The reason; what to do about it follows in a paragraph of its own.
      messages_.emplace_back(wording.text.substr(0, wording.text.find("\n\n")) + "|" + wording.caption);
    });
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void UseLpt1(const std::string& path, int index = 1) {
    PortMap ports;
    ports.parallel[0] = path;
    port_.Reconfigure(RotatorOn(index, 180, kSenseInverse), ports);
  }
  static std::vector<int> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int> bytes;
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) bytes.push_back(static_cast<unsigned char>(*it));
    return bytes;
  }

  std::filesystem::path dir_;
  RotatorPort port_;
  std::vector<std::string> messages_;
  std::vector<DeviceOpenFailure> failures_;
};

TEST_F(RotatorPortTest, AppendsBytesToRegularFileOnlyForAPort) {
  const auto path = Path("lpt1");
  std::ofstream(path).close();
  UseLpt1(path, 0);
  EXPECT_FALSE(port_.Write(90));
  UseLpt1(path, 4);
  EXPECT_FALSE(port_.Write(90));
  UseLpt1(path);
  EXPECT_TRUE(port_.Write(183));
  EXPECT_TRUE(port_.Write(336));
  EXPECT_EQ(ReadBytes(path), (std::vector<int>{254, 146}));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(RotatorPortTest, OpenFailureIsReportedOncePerConfiguration) {
  const auto missing = Path("absent");
  UseLpt1(missing);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(port_.Write(i * 10));
  EXPECT_EQ(messages_,
            std::vector<std::string>{"Impossible d'ouvrir " + missing + " : périphérique absent|Ouverture port moteur"});
  // The device appears: the failed configuration stays quiet and idle until
  // a new one opens it afresh.
  std::ofstream(missing).close();
  EXPECT_FALSE(port_.Write(0));
  UseLpt1(missing);
  EXPECT_TRUE(port_.Write(90));
  EXPECT_EQ(ReadBytes(missing), std::vector<int>{64});
  EXPECT_EQ(messages_.size(), 1u);
  // A directory cannot take bytes either.
  UseLpt1(dir_.string());
  EXPECT_FALSE(port_.Write(0));
  EXPECT_EQ(failures_.back(), (DeviceOpenFailure{DeviceKind::kParallel, dir_.string(), EISDIR}));
}

TEST_F(RotatorPortTest, FifoWithoutReaderNeitherBlocksNorComplains) {
  const auto fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  UseLpt1(fifo);
  EXPECT_FALSE(port_.Write(0));
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(port_.Write(90));
  unsigned char received = 0;
  EXPECT_EQ(::read(reader, &received, 1), 1);
  EXPECT_EQ(received, 64);
  // The reader leaves: no SIGPIPE, no message, and the next reader is served.
  ::close(reader);
  EXPECT_FALSE(port_.Write(0));
  const int again = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(again, 0);
  EXPECT_TRUE(port_.Write(180));
  EXPECT_EQ(::read(again, &received, 1), 1);
  EXPECT_EQ(received, 0);
  ::close(again);
  EXPECT_TRUE(messages_.empty());
}

// The status the window shows: for the parallel byte, the device and the
// byte last written, told when the byte changes only; for a Hamlib entry,
// the model and device; nothing for no port.
TEST_F(RotatorPortTest, OutputStatusSaysWhatIsDriven) {
  const auto path = Path("lpt1");
  std::ofstream(path).close();
  RotatorOutput output;
  int notices = 0;
  output.SetStatusNotifier([&] { ++notices; });
  PortMap ports;
  ports.parallel[0] = path;
  output.Reconfigure(RotatorOn(1, 180, kSenseClockwise), ports);
  RotatorStatus status = output.Status();
  EXPECT_EQ(status.kind, RotatorStatus::Kind::kParallelByte);
  EXPECT_EQ(status.device, path);
  EXPECT_FALSE(status.lastByte.has_value());
  struct Step {
    std::int32_t relativeDeg;
    int byte;
    int notices;
  };
  // 91 gives the same byte as 90: the target alone is not told.
  for (const Step& step : {Step{90, 192, 1}, Step{90, 192, 1}, Step{91, 192, 1}, Step{-90, 64, 2}}) {
    EXPECT_TRUE(output.Write(step.relativeDeg));
    status = output.Status();
    EXPECT_EQ(status.lastByte, step.byte) << step.relativeDeg;
    EXPECT_EQ(status.targetDeg, (step.relativeDeg + 360) % 360);
    EXPECT_EQ(notices, step.notices) << step.relativeDeg;
  }

  ports.parallel[0] = "hamlib:603:/dev/ttyUSB9:9600";
  output.Reconfigure(RotatorOn(1, 180, kSenseClockwise), ports);
  status = output.Status();
  EXPECT_EQ(status.kind, RotatorStatus::Kind::kHamlib);
  EXPECT_EQ(status.model, 603);
  EXPECT_EQ(status.device, "/dev/ttyUSB9");
  EXPECT_EQ(status.link, RotatorStatus::Link::kOpening);
  output.Reconfigure(RotatorOn(0, 180, kSenseClockwise), ports);
  EXPECT_EQ(output.Status().kind, RotatorStatus::Kind::kNone);
}

}  // namespace
}  // namespace quarbe
