// The Hamlib rotator: where a relative azimuth is sent on ranges of every
// kind, the dead band, a real rotctld (Hamlib's dummy rotator) that is
// absent at start, killed and started again, or replaced by another, one
// that cannot be reached at all or drops a connection in the handshake, the position read back from it, Hamlib's
// serial backends fed a line that never stops sending, and simulated
// controllers behind those backends, directly and through rotctld: the
// range they report, the pace of commands, a controller that is mute,
// garbled or unplugged.
#include "rotator/hamlib_rotator.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "rotator/helper_protocol.h"
#include "rotator/rotator_output.h"
#include "support/child_process.h"
#include "support/controller_simulator.h"
#include "support/daemons.h"
#include "support/pseudo_terminal.h"
#include "support/scratch_dir.h"
#include "ui/operator_texts.h"

namespace quarbe {
namespace {

using testing_support::CommandedAzimuths;
using testing_support::ControllerSimulator;
using testing_support::kRotctldReadMarker;
using testing_support::LogLinesWith;
using testing_support::StartRotctldFor;
using testing_support::FreeLoopbackPort;
using testing_support::BlackholeListener;
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
                    // A range holding a whole turn from 0 is used from 0 on:
                    // -10 would reach a GS-232B as 350, a whole turn away.
                    FoldCase{"WholeTurnFromZeroNoNegative", 350, -180, 450, 0.0, 350},
                    FoldCase{"WholeTurnFromZeroGoesOn", 3, -180, 450, 358.0, 363},
                    FoldCase{"WholeTurnFromZeroKeepsAHigherStart", 5, 10, 450, 100.0, 365},
                    FoldCase{"LessThanATurnUpKeepsTheNegative", -30, -180, 300, 10.0, -30},
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

// What the helper says, read back as it was said; any other line is a
// broken helper, never a position.
TEST(HelperProtocol, RoundTripsAndRefusesAnythingElse) {
  const HelperReply replies[] = {HamlibRotatorInfo{-180, 450, 0, 90, "Yaesu GS-232B"},
                                 HelperFailed{HamlibFailure::Stage::kSetting, 1, 0, false, "max_az=x"},
                                 HelperFailed{HamlibFailure::Stage::kOpen, 6, 2, true, ""}, HelperDone{},
                                 HelperAt{123.5}, HelperAt{-0.25}};
  for (const HelperReply& reply : replies) {
    const std::string line = EncodeReply(reply);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(DecodeReply(std::string_view(line).substr(0, line.size() - 1)), reply) << line;
  }
  EXPECT_EQ(EncodeReply(HamlibRotatorInfo{0, 360, 0, 0, "A\nB"}), "ready 0 360 0 0 A B\n");
  for (const char* junk : {"", "ready 1 2 3", "ready 1 2 x 4 name", "at", "at nan", "at 1e999", "at 12abc",
                           "failed 9 5 0 0 ", "failed 2 5 0 2 ", "failed 2 5 0", "done ", "AZ=123  EL=000"}) {
    EXPECT_FALSE(DecodeReply(junk)) << junk;
  }
  EXPECT_EQ(DecodeRequest("set 370"), HelperRequest{HelperSet{370}});
  EXPECT_EQ(DecodeRequest(EncodeRequest(HelperGet{}).substr(0, 3)), HelperRequest{HelperGet{}});
  EXPECT_FALSE(DecodeRequest("set"));
  EXPECT_FALSE(DecodeRequest("set 12 13"));
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

// Whether the condition holds within `timeout`, looked at every 50 ms.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// A relay in front of rotctld that reads the first request and hangs up
// without a word, as rotctld 4.5 can when it closes an ended connection's
// descriptor twice; later connections go through to rotctld.
class FirstConnectionDropped {
 public:
  explicit FirstConnectionDropped(int target) : target_(target) {
    const testing_support::Listener listener = testing_support::ListenOnLoopback(4);
    listener_ = listener.fd;
    port_ = listener.port;
    if (listener_ >= 0) relay_ = std::thread([this] { Run(); });
  }
  ~FirstConnectionDropped() {
    running_ = false;
    if (relay_.joinable()) relay_.join();
    if (listener_ >= 0) close(listener_);
  }
  int Port() const { return port_; }
  int Dropped() const { return dropped_; }

 private:
  // Whether `fd` becomes readable within 100 ms.
  static bool Readable(int fd) {
    pollfd ready{fd, POLLIN, 0};
    return poll(&ready, 1, 100) > 0;
  }
  void Run() {
    while (running_) {
      if (!Readable(listener_)) continue;
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      if (dropped_ == 0) {
        // The program's own look at whether rotctld can be reached sends
        // nothing and is let go; Hamlib's first request is dropped.
        bool ready = false;
        for (int i = 0; i < 10 && !ready; ++i) ready = Readable(client);
        char request[256];
        const ssize_t n = ready ? read(client, request, sizeof request) : 0;
        close(client);
        if (n > 0) ++dropped_;
        continue;
      }
      const int server = testing_support::ConnectToLoopback(target_);
      if (server >= 0) {
        Relay(client, server);
        close(server);
      }
      close(client);
    }
  }
  void Relay(int client, int server) {
    char buffer[4096];
    while (running_) {
      pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(ends, 2, 100) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (ends[i].revents == 0) continue;
        const ssize_t n = read(ends[i].fd, buffer, sizeof buffer);
        if (n <= 0 || write(ends[1 - i].fd, buffer, static_cast<std::size_t>(n)) != n) return;
      }
    }
  }

  int target_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> dropped_{0};
  std::atomic<bool> running_{true};
  std::thread relay_;
};

// One connection lost in the handshake costs no report and no 3 s wait.
TEST(HamlibRotatorDaemon, AConnectionDroppedInTheHandshakeIsTriedAgainAtOnce) {
  ScratchDir scratch;
  const int port = FreeLoopbackPort();
  const auto rotctld = StartRotctld(port, scratch.File("rotctld.log"));
  ASSERT_TRUE(rotctld);
  FirstConnectionDropped relay(port);
  ASSERT_NE(relay.Port(), 0);
  HamlibRotator rotator;
  rotator.Configure(Rotctld(relay.Port()));
  rotator.Command(90);
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.commandsSent == 1; }, kPatience));
  EXPECT_EQ(relay.Dropped(), 1);
  EXPECT_EQ(rotator.Stats().openFailures, 0u);
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  EXPECT_FALSE(report) << Word(RotatorFailure{*report}).text;
  rotator.Close();
}

TEST(HamlibRotatorDaemon, AHostThatDropsPacketsIsReportedAndNeverHoldsUpTheCaller) {
  BlackholeListener host;
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

// The readback follows the dummy rotator as it turns (a few degrees a
// second), about once a second, then every 5 s once it rests; the caller is
// told of each new position and of nothing while the antenna stands still.
TEST(HamlibRotatorDaemon, ReadbackFollowsTheAntennaThenSlowsAtRest) {
  ScratchDir scratch;
  const int port = FreeLoopbackPort();
  const std::string log = scratch.File("rotctld.log");
  const auto rotctld = StartRotctld(port, log);
  ASSERT_TRUE(rotctld);
  HamlibRotator rotator;
  std::atomic<int> notices{0};
  rotator.SetStatusNotifier([&] { ++notices; });
  std::vector<std::int32_t> seen;  // each antenna direction read from the status, as the window will
  rotator.Configure(Rotctld(port));
  rotator.Command(30);
  const auto moving = Clock::now();
  ASSERT_TRUE(Eventually(
      [&] {
        const RotatorStatus status = rotator.Status();
        if (status.antennaDeg && (seen.empty() || seen.back() != *status.antennaDeg)) seen.push_back(*status.antennaDeg);
        return !seen.empty() && seen.back() >= 30 - kRotatorDeadBandDeg;
      },
      std::chrono::seconds(30)));
  const double movingSeconds = std::chrono::duration<double>(Clock::now() - moving).count();
  const int readsMoving = LogLinesWith(log, kRotctldReadMarker);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GE(seen.size(), 3u) << "the needle follows the antenna";
  // About one read a second while it turned, none faster.
  EXPECT_GE(readsMoving, static_cast<int>(movingSeconds / 2));
  EXPECT_LE(readsMoving, static_cast<int>(movingSeconds) + 3);

  // Settled: the last readings come in, then nothing changes.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  RotatorStatus status = rotator.Status();
  const int noticesAtRest = notices.load();
  const int readsBefore = LogLinesWith(log, kRotctldReadMarker);
  std::this_thread::sleep_for(std::chrono::seconds(12));
  const int readsAtRest = LogLinesWith(log, kRotctldReadMarker) - readsBefore;
  EXPECT_GE(readsAtRest, 1);
  EXPECT_LE(readsAtRest, 4);  // every 5 s
  EXPECT_EQ(notices.load(), noticesAtRest);
  status = rotator.Status();
  EXPECT_EQ(status.link, RotatorStatus::Link::kConnected);
  EXPECT_EQ(status.modelName, "Hamlib NET rotctl");
  EXPECT_EQ(status.targetDeg, 30);
  rotator.Close();
}

struct Controller {
  ControllerSimulator::Protocol protocol;
  int model;
};
constexpr Controller kGs232b{ControllerSimulator::Protocol::kGs232b, 603};
constexpr Controller kEasycomm2{ControllerSimulator::Protocol::kEasycomm, 202};

// A simulated controller, driven directly or through a rotctld of its own.
class Rig {
 public:
  Rig(Controller controller, bool throughRotctld, ControllerSimulator::Mode mode,
      const std::vector<HamlibSetting>& settings = {}, const std::string& rotctldSettings = {})
      : simulator_({.protocol = controller.protocol, .mode = mode}) {
    address_ = HamlibAddress{controller.model, simulator_.DevicePath(), 9600, settings};
    if (throughRotctld) {
      const int port = FreeLoopbackPort();
      rotctld_ = StartRotctldFor(controller.model, simulator_.DevicePath(), port, scratch_.File("rotctld.log"),
                                 rotctldSettings);
      address_ = Rotctld(port);
    }
  }
  bool Ready() const { return address_.model != kHamlibNetworkModel || rotctld_ != nullptr; }
  ControllerSimulator& simulator() { return simulator_; }
  const HamlibAddress& address() const { return address_; }

 private:
  ScratchDir scratch_;
  ControllerSimulator simulator_;
  std::unique_ptr<testing_support::ChildProcess> rotctld_;
  HamlibAddress address_;
};

struct RangeCase {
  const char* name;
  bool throughRotctld;
  std::vector<HamlibSetting> settings;
  std::string rotctldSettings;
  std::vector<double> expected;  // where the controller is sent, for 350, 10, 358, 5
};
void PrintTo(const RangeCase& row, std::ostream* out) { *out << row.name; }

class ControllerRangeTest : public testing::TestWithParam<RangeCase> {};

// Hamlib reports -180..450 for a GS-232B and sends -10 as 350: the antenna
// is turned within 0..450 only, so that it never swings a whole turn for a
// few degrees; an entry's own range is passed on to Hamlib.
TEST_P(ControllerRangeTest, TheAntennaGoesTheShortWayWithinTheRange) {
  const RangeCase& c = GetParam();
  Rig rig(kGs232b, c.throughRotctld, ControllerSimulator::Mode::kAnswering, c.settings, c.rotctldSettings);
  ASSERT_TRUE(rig.Ready());
  HamlibRotator rotator;
  rotator.Configure(rig.address());
  std::size_t moves = 0;
  for (const std::int32_t target : {350, 10, 358, 5}) {
    rotator.Command(target);
    ASSERT_TRUE(Eventually([&] { return rig.simulator().Moves().size() > moves; }, kPatience)) << target;
    moves = rig.simulator().Moves().size();
  }
  EXPECT_EQ(rig.simulator().MovedTo(), c.expected);
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  EXPECT_FALSE(report) << Word(RotatorFailure{*report}).text;
  rotator.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Gs232b, ControllerRangeTest,
    testing::Values(RangeCase{"Direct", false, {}, {}, {350, 370, 358, 365}},
                    RangeCase{"ThroughRotctld", true, {}, {}, {350, 370, 358, 365}},
                    RangeCase{"EntrySettingsOneTurn", false, {{"min_az", "0"}, {"max_az", "360"}}, {}, {350, 10, 358, 5}},
                    RangeCase{"RotctldSettingsOneTurn", true, {}, "min_az=0,max_az=360", {350, 10, 358, 5}}),
    [](const testing::TestParamInfo<RangeCase>& row) { return std::string(row.param.name); });

TEST(HamlibRotatorController, ASettingHamlibDoesNotKnowIsReportedAndNotRetried) {
  Rig rig(kGs232b, false, ControllerSimulator::Mode::kAnswering, {{"max_azimuth", "450"}});
  HamlibRotator rotator;
  rotator.Configure(rig.address());
  rotator.Command(90);
  ASSERT_TRUE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.openFailures == 1; }, kPatience));
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(Word(RotatorFailure{*report}).text, "Réglage Hamlib refusé pour le rotateur 603 : max_azimuth=450");
  EXPECT_FALSE(rotator.WaitFor([](const HamlibRotatorStats& s) { return s.openAttempts > 1; },
                               kRotatorRetryInterval + std::chrono::seconds(2)));
  EXPECT_TRUE(rig.simulator().Moves().empty());
}

// A receiver at 10 Hz in a roundabout: the controller gets at most two
// commands a second, each the latest target, the first at once.
TEST(HamlibRotatorController, CommandsArePacedAndAlwaysTheLatestTarget) {
  Rig rig(kGs232b, false, ControllerSimulator::Mode::kAnswering);
  HamlibRotator rotator;
  rotator.Configure(rig.address());
  constexpr int kTargets = 30;
  const auto start = Clock::now();
  for (int i = 0; i < kTargets; ++i) {
    rotator.Command(i * 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const int last = (kTargets - 1) * 5;
  ASSERT_TRUE(Eventually(
      [&] {
        const auto moves = rig.simulator().MovedTo();
        return !moves.empty() && moves.back() == last;
      },
      kPatience));
  const std::vector<ControllerSimulator::Move> moves = rig.simulator().Moves();
  const double seconds = std::chrono::duration<double>(moves.back().at - start).count();
  EXPECT_EQ(moves.front().azimuthDeg, 0);
  EXPECT_LE(static_cast<double>(moves.size()), 2 * seconds + 2);
  for (std::size_t i = 1; i < moves.size(); ++i) {
    // Later rather than sooner under load; never sooner.
    EXPECT_GE(moves[i].at - moves[i - 1].at, kCommandSpacing - std::chrono::milliseconds(20)) << i;
    EXPECT_GT(moves[i].azimuthDeg, moves[i - 1].azimuthDeg);
  }
}

struct SilentCase {
  const char* name;
  Controller controller;
  bool throughRotctld;
  ControllerSimulator::Mode mode;  // from the start
  bool unplug;                     // once the rotator is connected
  // The message's start, with {DEVICE} standing for the device or rotctld's address.
  std::string message;
};
void PrintTo(const SilentCase& row, std::ostream* out) { *out << row.name; }

class SilentControllerTest : public testing::TestWithParam<SilentCase> {};

// GS-232 and EasyComm moves need no answer: a controller that says nothing,
// or nothing sensible, is noticed by the readback and reported once, as the
// controller not answering (through rotctld: rotctld answers, its
// controller does not), and the rotator is tried again.
TEST_P(SilentControllerTest, ReportedOnceAsNotAnsweringAndTriedAgain) {
  const SilentCase& c = GetParam();
  Rig rig(c.controller, c.throughRotctld, c.mode);
  ASSERT_TRUE(rig.Ready());
  std::atomic<int> notified{0};
  HamlibRotator rotator;
  rotator.SetNotifier([&] { ++notified; });
  rotator.Configure(rig.address());
  rotator.Command(90);
  if (c.unplug) {
    ASSERT_TRUE(Eventually([&] { return rotator.Status().link == RotatorStatus::Link::kConnected; }, kPatience));
    rig.simulator().Unplug();
  }
  ASSERT_TRUE(Eventually([&] { return notified.load() == 1; }, std::chrono::seconds(40)));
  const std::optional<HamlibFailure> report = rotator.TakeReport();
  ASSERT_TRUE(report.has_value());
  std::string expected = c.message;
  const std::string device = c.throughRotctld ? rig.address().device : rig.simulator().DevicePath();
  expected.replace(expected.find("{DEVICE}"), 8, device);
  EXPECT_EQ(Word(RotatorFailure{*report}).text.substr(0, expected.size()), expected)
      << Word(RotatorFailure{*report}).text;
  // Tried again, and not reported again.
  const std::uint64_t attempts = rotator.Stats().openAttempts;
  ASSERT_TRUE(rotator.WaitFor([&](const HamlibRotatorStats& s) { return s.openAttempts >= attempts + 1; },
                              std::chrono::seconds(40)));
  const RotatorStatus status = rotator.Status();
  EXPECT_EQ(status.link, RotatorStatus::Link::kNotAnswering);
  EXPECT_FALSE(status.antennaDeg.has_value());
  EXPECT_TRUE(status.problem.has_value());
  EXPECT_EQ(notified.load(), 1);
  rotator.Close();
}

INSTANTIATE_TEST_SUITE_P(
    Controllers, SilentControllerTest,
    testing::Values(
        SilentCase{"Gs232bMute", kGs232b, false, ControllerSimulator::Mode::kMute, false,
                   "Le rotateur Hamlib 603 sur {DEVICE} ne répond plus : le contrôleur ne répond pas"},
        SilentCase{"Gs232bMuteThroughRotctld", kGs232b, true, ControllerSimulator::Mode::kMute, false,
                   "rotctld sur {DEVICE} répond, mais pas son rotateur : le contrôleur ne répond pas"},
        SilentCase{"EasycommGarbled", kEasycomm2, false, ControllerSimulator::Mode::kGarbage, false,
                   "Le rotateur Hamlib 202 sur {DEVICE} ne répond plus : "},
        SilentCase{"Gs232bUnplugged", kGs232b, false, ControllerSimulator::Mode::kAnswering, true,
                   "Le rotateur Hamlib 603 sur {DEVICE} ne répond plus : erreur d'entrée-sortie (périphérique "
                   "débranché ?)"},
        SilentCase{"Gs232bUnpluggedThroughRotctld", kGs232b, true, ControllerSimulator::Mode::kAnswering, true,
                   "rotctld sur {DEVICE} répond, mais pas son rotateur : "}),
    [](const testing::TestParamInfo<SilentCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace quarbe
