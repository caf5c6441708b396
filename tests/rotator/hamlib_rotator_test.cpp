// The Hamlib rotator: where a relative azimuth is sent on ranges of every
// kind, the dead band, a real rotctld (Hamlib's dummy rotator) that is
// absent at start, killed and started again, or replaced by another, one
// that cannot be reached at all, and Hamlib's serial backends fed a line
// that never stops sending.
#include "rotator/hamlib_rotator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "rotator/rotator_output.h"
#include "support/child_process.h"
#include "support/daemons.h"
#include "support/pseudo_terminal.h"
#include "support/scratch_dir.h"
#include "ui/operator_texts.h"

namespace quarbe {
namespace {

using testing_support::CommandedAzimuths;
using testing_support::FreeLoopbackPort;
using testing_support::FullListener;
using testing_support::PseudoTerminal;
using testing_support::ScratchDir;
using testing_support::StartRotctld;
using testing_support::ThreadsProcessorTime;
using testing_support::ZombieChildren;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kPatience{15};

struct FoldCase {
  const char* name;
  std::int32_t relativeDeg;
  double minAzDeg;
  double maxAzDeg;
  std::optional<double> lastDeg;
  double expectedDeg;
};
void PrintTo(const FoldCase& row, std::ostream* out) { *out << row.name; }

class CommandedAzimuthTest : public testing::TestWithParam<FoldCase> {};

TEST_P(CommandedAzimuthTest, Folds) {
  const FoldCase& c = GetParam();
  EXPECT_DOUBLE_EQ(CommandedAzimuth(c.relativeDeg, c.minAzDeg, c.maxAzDeg, c.lastDeg), c.expectedDeg);
}

const double kNan = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Ranges, CommandedAzimuthTest,
    testing::Values(FoldCase{"NegativeRelativeOnFullTurn", -59, 0, 360, std::nullopt, 301},
                    FoldCase{"ThreeSixtyIsNorth", 360, 0, 360, std::nullopt, 0},
                    FoldCase{"CentredRangeTakesTheNegativeSide", 200, -180, 180, std::nullopt, -160},
                    FoldCase{"CentredRangeEndNearerTheLast", 180, -180, 180, -170.0, -180},
                    FoldCase{"OverlapKeptWhenNearer", 10, 0, 450, 350.0, 370},
                    FoldCase{"OverlapLeftWhenNearer", 30, 0, 450, 100.0, 30},
                    FoldCase{"OnlyOneReachable", 200, 0, 450, 440.0, 200},
                    FoldCase{"WideDummyRange", 350, -180, 450, 0.0, -10},
                    FoldCase{"NarrowRangeNearerEnd", 352, 0, 350, std::nullopt, 350},
                    FoldCase{"NoRangeCountsAsFullTurn", 90, 0, 0, std::nullopt, 90},
                    FoldCase{"RangeNotANumber", 90, kNan, 450, std::nullopt, 90}),
    [](const testing::TestParamInfo<FoldCase>& row) { return std::string(row.param.name); });

TEST(DeadBand, AroundTheCircle) {
  EXPECT_FALSE(BeyondDeadBand(10, 11));
  EXPECT_FALSE(BeyondDeadBand(0, 359));
  EXPECT_TRUE(BeyondDeadBand(1, 359));
  EXPECT_TRUE(BeyondDeadBand(12, 10));
}

HamlibAddress Rotctld(int port) { return HamlibAddress{kHamlibNetworkModel, "127.0.0.1:" + std::to_string(port), 0}; }

// Hands over one target and waits until the rotator has accepted it, or
// until the thread has woken for it when it is within the dead band.
void CommandAndSettle(HamlibRotator& rotator, std::int32_t targetDeg, bool sent = true) {
  const HamlibRotatorStats before = rotator.Stats();
  rotator.Command(targetDeg);
  ASSERT_TRUE(rotator.WaitFor(
      [&](const HamlibRotatorStats& s) {
        return sent ? s.commandsSent > before.commandsSent : s.wakeups > before.wakeups;
      },
      kPatience));
}

TEST(HamlibRotatorDaemon, FoldsNearTheLastCommandKeepsTheDeadBandAndResendsAfterReconfiguring) {
  ScratchDir scratch;
  const int port = FreeLoopbackPort();
  const auto rotctld = StartRotctld(port, scratch.File("rotctld.log"), "min_az=0,max_az=450");
  ASSERT_TRUE(rotctld);
  HamlibRotator rotator;
  rotator.Configure(Rotctld(port));
  // Relative azimuths through north and back: 10 after 350 goes on to 370,
  // 80 after it to 440; 201 is reachable once only; 2 after 1 is within the
  // dead band; 5 is not, and goes on from 361 to 365.
  for (const std::int32_t target : {350, 10, 80, 201, 1}) CommandAndSettle(rotator, target);
  CommandAndSettle(rotator, 2, false);
  CommandAndSettle(rotator, 5);
  EXPECT_EQ(CommandedAzimuths(scratch.File("rotctld.log")), (std::vector<double>{350, 370, 440, 201, 361, 365}));

  // Another daemon: the held target goes to it at once.
  const int otherPort = FreeLoopbackPort();
  const auto other = StartRotctld(otherPort, scratch.File("other.log"));
  ASSERT_TRUE(other);
  rotator.Configure(Rotctld(otherPort));
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.commandsSent == 7; }, kPatience));
  EXPECT_EQ(CommandedAzimuths(scratch.File("other.log")), std::vector<double>{5});
  EXPECT_FALSE(rotator.TakeReport());
  rotator.Close();
}

TEST(HamlibRotatorDaemon, AbsentReportedOnceThenFollowedThroughARestart) {
  ScratchDir scratch;
  const int port = FreeLoopbackPort();
  std::atomic<int> notified{0};
  HamlibRotator rotator;
  rotator.SetNotifier([&] { ++notified; });
  rotator.Configure(Rotctld(port));
  rotator.Command(90);
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.openFailures >= 1; }, kPatience));
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(Word(RotatorFailure{*report}).text,
            "Impossible de joindre rotctld sur 127.0.0.1:" + std::to_string(port) + " : connexion refusée");

  auto rotctld = StartRotctld(port, scratch.File("first.log"));
  ASSERT_TRUE(rotctld);
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.commandsSent == 1; }, kPatience));
  rotctld->Kill();
  rotator.Command(120);
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.commandFailures == 1; }, kPatience));

  rotctld = StartRotctld(port, scratch.File("second.log"));
  ASSERT_TRUE(rotctld);
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.commandsSent == 2; }, kPatience));
  EXPECT_EQ(CommandedAzimuths(scratch.File("first.log")), std::vector<double>{90});
  EXPECT_EQ(CommandedAzimuths(scratch.File("second.log")), std::vector<double>{120});
  EXPECT_FALSE(rotator.TakeReport());
  EXPECT_EQ(notified.load(), 1);
}

// Whether the condition holds within `timeout`, looked at every 50 ms.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

TEST(HamlibRotatorDaemon, AHostThatDropsPacketsIsReportedAndNeverHoldsUpTheCaller) {
  FullListener host;
  ASSERT_NE(host.Port(), 0);
  std::atomic<int> notified{0};
  HamlibRotator rotator;
  rotator.SetNotifier([&] { ++notified; });
  rotator.Configure(Rotctld(host.Port()));
  rotator.Command(90);
  // Hamlib's own connection attempt would wait two minutes.
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.openFailures >= 1; }, kPatience));
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(Word(RotatorFailure{*report}).text,
            "Impossible de joindre rotctld sur 127.0.0.1:" + std::to_string(host.Port()) + " : pas de réponse");

  // Another configuration, and the end, while the next attempt waits.
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.openAttempts >= 2; }, kPatience));
  ScratchDir scratch;
  const int port = FreeLoopbackPort();
  const auto rotctld = StartRotctld(port, scratch.File("rotctld.log"));
  ASSERT_TRUE(rotctld);
  auto start = Clock::now();
  rotator.Configure(Rotctld(port));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.commandsSent == 1; }, kPatience));
  EXPECT_EQ(CommandedAzimuths(scratch.File("rotctld.log")), std::vector<double>{90});

  rotator.Configure(Rotctld(host.Port()));
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.openAttempts >= 3; }, kPatience));
  start = Clock::now();
  rotator.Close();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  // The first configuration's failure only: the last one was released before
  // its attempt ended, and nothing it finds is reported.
  EXPECT_EQ(notified.load(), 1);
}

// Random bytes, the same for every run.
std::string Noise() {
  std::mt19937 generator(1);
  std::string bytes(64 * 1024, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

struct StreamCase {
  const char* name;
  int model;
  std::string bytes;
};
void PrintTo(const StreamCase& row, std::ostream* out) { *out << row.name; }

class StreamingLineTest : public testing::TestWithParam<StreamCase> {};

// A line that never stops sending (noise, or the GPS on the rotator's port)
// makes Hamlib's serial backends loop or crash while they empty the line at
// the open. That costs the helper it runs in only: the helper is ended,
// reported once and started again on the retry, and no thread of this
// process spins.
TEST_P(StreamingLineTest, TheBackendIsContainedReportedOnceAndStartedAgain) {
  const StreamCase& c = GetParam();
  PseudoTerminal line;
  line.StartStreaming(c.bytes);
  std::atomic<int> notified{0};
  HamlibRotator rotator;
  rotator.SetNotifier([&] { ++notified; });
  rotator.Configure(HamlibAddress{c.model, line.DevicePath(), 9600});
  rotator.Command(90);
  ASSERT_TRUE(rotator.WaitFor(
      [](const HamlibRotatorStats& s) { return s.helperStarts >= 2 && s.helpersEnded + s.helpersDied >= 2; },
      std::chrono::seconds(60)));
  EXPECT_LT(ThreadsProcessorTime("quarbe-rotator"), std::chrono::milliseconds(500));
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  ASSERT_TRUE(report.has_value());
  // At the open, or at the first command when the open found the line
  // quiet for a moment.
  EXPECT_TRUE(report->problem == HamlibFailure::Problem::kStuck ||
              report->problem == HamlibFailure::Problem::kCrashed);
  const Wording wording = Word(RotatorFailure{*report});
  EXPECT_EQ(wording.caption, "Ouverture port moteur");
  EXPECT_NE(wording.text.find("rotateur Hamlib " + std::to_string(c.model) + " sur " + line.DevicePath()),
            std::string::npos)
      << wording.text;
  rotator.Close();
  EXPECT_TRUE(Eventually([] { return ZombieChildren() == 0; }, kPatience));
  EXPECT_EQ(notified.load(), 1);
}

const char kNmea[] =
    "$GNRMC,012413.00,A,4327.6782,N,07238.9898,W,4.403,,280220,,,A,V*0D\r\n"
    "$GNGGA,012413.00,4327.6782,N,07238.9898,W,1,05,4.66,430.1,M,,M,,*4B\r\n";

INSTANTIATE_TEST_SUITE_P(Backends, StreamingLineTest,
                         testing::Values(StreamCase{"GS232BNoise", 603, Noise()},
                                         StreamCase{"EasycommIINoise", 202, Noise()},
                                         StreamCase{"GS232BNmea", 603, kNmea}),
                         [](const testing::TestParamInfo<StreamCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace quarbe
