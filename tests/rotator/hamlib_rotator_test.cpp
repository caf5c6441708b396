// The Hamlib rotator: where a relative azimuth is sent on ranges of every
// kind, the dead band, and a real rotctld (Hamlib's dummy rotator) that is
// absent at start, killed and started again, or replaced by another.
#include "rotator/hamlib_rotator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "rotator/rotator_output.h"
#include "support/daemons.h"
#include "support/scratch_dir.h"
#include "ui/operator_texts.h"

namespace quarbe {
namespace {

using testing_support::CommandedAzimuths;
using testing_support::FreeLoopbackPort;
using testing_support::ScratchDir;
using testing_support::StartRotctld;

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

TEST(HamlibRotatorDaemon, HostNameThatDoesNotResolveIsNotCalledAPortSetting) {
  HamlibRotator rotator;
  rotator.Configure(HamlibAddress{kHamlibNetworkModel, "no-such-host.invalid:4533", 0});
  rotator.Command(90);
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.openFailures >= 1; }, kPatience));
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  ASSERT_TRUE(report.has_value());
  // Unknown, or not resolvable while this machine has no name server.
  const std::string text = Word(RotatorFailure{*report}).text;
  const std::string address = "Impossible de joindre rotctld sur no-such-host.invalid:4533 : ";
  EXPECT_TRUE(text == address + "nom d'hôte inconnu" ||
              text.starts_with(address + "résolution du nom impossible pour le moment"))
      << text;
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

}  // namespace
}  // namespace quarbe
