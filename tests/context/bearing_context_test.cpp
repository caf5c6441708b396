#include "context/bearing_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "context/control_ids.h"
#include "fake_view.h"
#include "geodesy/locator.h"
#include "temp_dir.h"

namespace quarbe {
namespace {

using testing::FakeView;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteFile;

Position Dms(int latDeg, int latMin, int latSec, int latHem, int lonDeg, int lonMin, int lonSec, int lonHem) {
  return Position{AngleDms{latDeg, latMin, latSec, latHem}, AngleDms{lonDeg, lonMin, lonSec, lonHem}};
}

const Position kJN18AP = Dms(48, 38, 45, kNorth, 2, 2, 30, kEast);
const Position kJN08WV = Dms(48, 53, 45, kNorth, 1, 52, 30, kEast);
const Position kIO91WM = Dms(51, 31, 15, kNorth, 0, 7, 29, kWest);

// Logs every write, in order, as "Section/Key=value".
class RecordingStore : public ProfileStore {
 public:
  using ProfileStore::ProfileStore;
  void WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value) override {
    writes.push_back(std::string(section) + "/" + std::string(key) + "=" + std::to_string(value));
    ProfileStore::WriteProfileInt(section, key, value);
  }
  void WriteProfileString(std::string_view section, std::string_view key, std::string_view value) override {
    writes.push_back(std::string(section) + "/" + std::string(key) + "=" + std::string(value));
    ProfileStore::WriteProfileString(section, key, value);
  }
  std::vector<std::string> writes;
};

class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    lpt_ = dir_.File("lpt1");
    WriteFile(lpt_, "");
    Settings("");
  }
  void TearDown() override {
    context_.reset();
    store_.reset();
  }

  // The settings file: LPT1 mapped to a scratch file, plus `more`.
  void Settings(const std::string& more) { WriteFile(Ini(), "[Ports]\nLPT1=" + lpt_ + "\n" + more); }
  std::string Ini() const { return dir_.File("quarbe.ini"); }

  BearingContext& Construct(const std::string& commandLine = "") {
    store_ = std::make_unique<RecordingStore>(Ini());
    context_ = std::make_unique<BearingContext>(
        *store_, commandLine, [this](std::string_view text, std::string_view caption) {
          unowned_.push_back({std::string(text), std::string(caption)});
        });
    context_->SetSleeper([this](std::chrono::milliseconds pause) { pauses_.push_back(pause); });
    return *context_;
  }

  BearingContext& Start(const std::string& commandLine = "") {
    Construct(commandLine);
    context_->InitDialog(view_);
    return *context_;
  }

  // Ends the run as the window does: destroy, then the object goes away.
  void Finish() {
    context_->OnDestroy();
    context_.reset();
  }

  std::vector<int> Bytes() const { return ReadBytes(lpt_); }

  static void ExpectLocalFields(const FakeView& view, const Position& p) {
    EXPECT_EQ(view.Text(ctl::kLocalLatDeg), std::to_string(p.latitude.degrees));
    EXPECT_EQ(view.Text(ctl::kLocalLatMin), std::to_string(p.latitude.minutes));
    EXPECT_EQ(view.Text(ctl::kLocalLatSec), std::to_string(p.latitude.seconds));
    EXPECT_EQ(view.Text(ctl::kLocalLonDeg), std::to_string(p.longitude.degrees));
    EXPECT_EQ(view.Text(ctl::kLocalLonMin), std::to_string(p.longitude.minutes));
    EXPECT_EQ(view.Text(ctl::kLocalLonSec), std::to_string(p.longitude.seconds));
    EXPECT_EQ(view.Selection(ctl::kLocalLatHemisphere), p.latitude.hemisphere);
    EXPECT_EQ(view.Selection(ctl::kLocalLonHemisphere), p.longitude.hemisphere);
  }

  TempDir dir_;
  std::string lpt_;
  FakeView view_;
  std::unique_ptr<RecordingStore> store_;
  std::unique_ptr<BearingContext> context_;
  std::vector<FakeView::Message> unowned_;
  std::vector<std::chrono::milliseconds> pauses_;
};

// --- Start-up and shutdown ---------------------------------------------

TEST_F(ContextTest, EmptyStoreStartsWithDefaultsAndComputesTwice) {
  BearingContext& context = Construct();
  EXPECT_EQ(context.local().locator, "JN18AP");
  EXPECT_EQ(context.correspondent().locator, "JN08WV");
  EXPECT_EQ(context.configuration(), Configuration{});
  EXPECT_TRUE(context.gpsUse());
  EXPECT_EQ(context.ports().ParallelDevice(1), lpt_);

  context.InitDialog(view_);
  // First against the correspondent still at 0 (183 deg), then against JN08WV.
  EXPECT_EQ(Bytes(), (std::vector<int>{254, 146}));
  ASSERT_EQ(view_.needles.size(), 2u);
  EXPECT_EQ(view_.needles[0].relativeAzimuthDeg, 183);
  EXPECT_EQ(view_.needles[1].relativeAzimuthDeg, 336);
  EXPECT_FALSE(view_.needles[1].force);
  EXPECT_EQ(context.local().position, kJN18AP);
  EXPECT_EQ(context.correspondent().position, kJN08WV);
  EXPECT_EQ(view_.Text(ctl::kDistance), "30.3");
  EXPECT_EQ(view_.Text(ctl::kTrueAzimuth), "336");
  EXPECT_EQ(view_.Text(ctl::kRelativeAzimuth), "336");
  EXPECT_EQ(view_.Text(ctl::kReverseAzimuth), "156");
  EXPECT_EQ(view_.Text(ctl::kHeading), "0");
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), "JN18AP");
  EXPECT_EQ(view_.Text(ctl::kCorrLocator), "JN08WV");
  ExpectLocalFields(view_, kJN18AP);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_TRUE(unowned_.empty());
  EXPECT_FALSE(context.stopRequested());
}

TEST_F(ContextTest, ShutdownPausesThenWritesSevenKeysInOrder) {
  Start();
  RecordingStore* store = store_.get();
  context_->OnDestroy();
  EXPECT_TRUE(context_->stopRequested());
  EXPECT_EQ(pauses_, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1000)});
  EXPECT_TRUE(store->writes.empty());
  context_.reset();
  EXPECT_EQ(store->writes, (std::vector<std::string>{"Contexte/Local=JN18AP", "Contexte/Corres=JN08WV", "GPS/Port=1",
                                                      "Moteur/Port=1", "Moteur/Rotation=1", "Moteur/Butée=180",
                                                      "Compas/Image=mobile.emf"}));
  store_.reset();
  const ProfileStore reread(Ini());
  EXPECT_EQ(reread.Read(keys::kLocalLocator), "JN18AP");
  EXPECT_EQ(reread.GetProfileInt("Moteur", "Butée", -1), 180);
  EXPECT_EQ(reread.GetProfileString("Ports", "LPT1", ""), lpt_);
}

TEST_F(ContextTest, SaveProfileWritesOnce) {
  Start();
  context_->SaveProfile();
  context_->SaveProfile();
  const auto writes = store_->writes.size();
  context_.reset();
  EXPECT_EQ(writes, 7u);
  EXPECT_EQ(store_->writes.size(), 7u);
}

TEST_F(ContextTest, CommandLineLocatorsAreSavedAndUsedNextRun) {
  Start("local=io91wm dest=JN18AP");
  EXPECT_EQ(context_->local().position, kIO91WM);
  EXPECT_EQ(context_->local().locator, "IO91WM");
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), "IO91WM");
  EXPECT_EQ(view_.Text(ctl::kCorrLocator), "JN18AP");
  ExpectLocalFields(view_, kIO91WM);
  Finish();
  store_.reset();
  BearingContext& next = Construct();
  EXPECT_EQ(next.local().locator, "IO91WM");
  EXPECT_EQ(next.correspondent().locator, "JN18AP");
}

struct CommandLineCase {
  const char* name;
  const char* commandLine;
  const char* local;
  const char* correspondent;
  std::vector<std::string> unknown;
  friend void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }
};

class CommandLineTest : public ContextTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineTest, SetsLocatorsAndReportsUnknownWords) {
  const CommandLineCase& c = GetParam();
  BearingContext& context = Construct(c.commandLine);
  EXPECT_EQ(context.local().locator, c.local);
  EXPECT_EQ(context.correspondent().locator, c.correspondent);
  std::vector<std::string> reported;
  for (const auto& message : unowned_) {
    EXPECT_EQ(message.caption, "Paramètre inconnu");
    reported.push_back(message.text);
  }
  EXPECT_EQ(reported, c.unknown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"Empty", "", "JN18AP", "JN08WV", {}},
        CommandLineCase{"OnlySpaces", "    ", "JN18AP", "JN08WV", {}},
        CommandLineCase{"Both", "local=io91wm dest=JN18AP", "io91wm", "JN18AP", {}},
        CommandLineCase{"UpperCaseKeyword", "LOCAL=JN18AP", "JN18AP", "JN08WV", {}},
        CommandLineCase{"MixedCaseKeyword", "DeSt=fn31pr", "JN18AP", "fn31pr", {}},
        CommandLineCase{"UnknownWordsAround", "bonjour  dest=JN08WV  au-revoir", "JN18AP", "JN08WV",
                        {"bonjour", "au-revoir"}},
        CommandLineCase{"LeadingAndTrailingSpaces", "  foo dest=IO91WM   ", "JN18AP", "IO91WM", {"foo"}},
        CommandLineCase{"EmptyLocal", "local=", "", "JN08WV", {}},
        CommandLineCase{"LastWins", "dest=AA00AA dest=QF56OD", "JN18AP", "QF56OD", {}},
        CommandLineCase{"TooLongKept", "local=JN18APXYZ", "JN18APXYZ", "JN08WV", {}},
        CommandLineCase{"KeywordWithoutEquals", "local", "JN18AP", "JN08WV", {"local"}},
        CommandLineCase{"Accented", "dépôt", "JN18AP", "JN08WV", {"dépôt"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ContextTest, StoredLocatorsAreTakenBeforeTheCommandLine) {
  Settings("[Contexte]\nLocal=FN31PR\nCorres=QF56OD\n");
  BearingContext& context = Construct("dest=JN08WV");
  EXPECT_EQ(context.local().locator, "FN31PR");
  EXPECT_EQ(context.correspondent().locator, "JN08WV");
}

TEST_F(ContextTest, StoredShortLocatorGetsLengthMessageAndStaysAtZero) {
  Settings("[Contexte]\nLocal=JN18A\n");
  Start();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "Le QRA doit avoir une longueur de 6 caractères");
  EXPECT_EQ(view_.messages[0].caption, "Attention");
  EXPECT_EQ(context_->local().position, Position{});
  ExpectLocalFields(view_, Position{});
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), "JN18A");
}

TEST_F(ContextTest, EmptyCommandLineLocalGetsLengthMessage) {
  Start("local=");
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "Le QRA doit avoir une longueur de 6 caractères");
  EXPECT_EQ(context_->local().position, Position{});
}

TEST_F(ContextTest, TooLongLocatorIsShownWholeAndBlocksEveryCommit) {
  Start("dest=JN08WVXY");
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "Le QRA doit avoir une longueur de 6 caractères");
  EXPECT_EQ(view_.Text(ctl::kCorrLocator), "JN08WVXY");
  const auto bytes = Bytes();
  view_.messages.clear();
  context_->CommitHeading();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "Veuillez entrer au plus 6 caractères.");
  ASSERT_FALSE(view_.focusLog.empty());
  EXPECT_EQ(view_.focusLog.back().controlId, ctl::kCorrLocator);
  EXPECT_TRUE(view_.focusLog.back().selectAll);
  EXPECT_EQ(Bytes(), bytes);
  // Shortened, the commit goes through.
  view_.SetText(ctl::kCorrLocator, "JN08WV");
  context_->CommitCorrespondentLocator();
  EXPECT_EQ(context_->correspondent().position, kJN08WV);
  EXPECT_EQ(context_->result().trueAzimuthDeg, 336);
}

TEST_F(ContextTest, LocatorMatchingInitialCoordinatesComputesNothing) {
  Start("local=JJ00AA");
  EXPECT_EQ(context_->local().position, Position{});
  EXPECT_EQ(view_.Selection(ctl::kLocalLatHemisphere), -1);
  EXPECT_EQ(view_.Selection(ctl::kLocalLonHemisphere), -1);
  // Only the correspondent's commit computed and drove the rotator.
  EXPECT_EQ(Bytes().size(), 1u);
  EXPECT_EQ(view_.needles.size(), 1u);
  context_->CommitLocalLocator();
  EXPECT_EQ(Bytes().size(), 1u);
  EXPECT_EQ(context_->local().position, Position{});
}

TEST_F(ContextTest, SamePlaceTwiceLeavesAzimuthsAndRotatorAlone) {
  Start("local=JN08WV dest=JN08WV");
  // The local commit computes against the correspondent at 0; the
  // correspondent's commit lands on the same point: distance 0, nothing
  // written to the rotator, azimuths as they were.
  EXPECT_EQ(Bytes().size(), 1u);
  EXPECT_EQ(context_->result().distanceKm, 0.0);
  EXPECT_EQ(view_.Text(ctl::kDistance), "0");
  EXPECT_EQ(view_.needles.size(), 2u);
  EXPECT_EQ(view_.needles[1].relativeAzimuthDeg, view_.needles[0].relativeAzimuthDeg);
}

TEST_F(ContextTest, RotatorOpenFailureIsShownOnceByTheWindow) {
  WriteFile(Ini(), "[Ports]\nLPT1=" + dir_.File("absent") + "\n");
  Start();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].caption, "Ouverture port moteur");
  EXPECT_EQ(view_.messages[0].text, SystemErrorText(ENOENT));
  context_->CommitHeading();
  EXPECT_EQ(view_.messages.size(), 1u);
}

TEST_F(ContextTest, NoRotatorPortWritesNothing) {
  Settings("[Moteur]\nPort=0\n");
  Start();
  EXPECT_TRUE(Bytes().empty());
  EXPECT_EQ(context_->result().trueAzimuthDeg, 336);
}

TEST_F(ContextTest, GarbageSettingsStartCleanly) {
  WriteFile(Ini(), std::string("\xff\xfe\x01[Ports\nLPT1=") + lpt_ +
                       "\n[Ports]\nLPT1=" + lpt_ +
                       "\nVitesse=vite\n[GPS]\nPort=un\n[Moteur]\nPort=1x\nRotation=\nButée=sud\n"
                       "[Compas]\n[Contexte]\nLocal=\"\nCorres=JN08WV\n=\n[\n");
  Start();
  EXPECT_EQ(context_->configuration(), Configuration{});
  EXPECT_EQ(context_->ports().gpsBaud, 4800);
  EXPECT_EQ(context_->correspondent().position, kJN08WV);
  // The unterminated quote swallows the rest of the file into the local
  // locator, which the start-up commit refuses; the correspondent computes.
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "Le QRA doit avoir une longueur de 6 caractères");
  EXPECT_EQ(Bytes().size(), 1u);
}

// --- Field exchange ------------------------------------------------------

TEST_F(ContextTest, ExchangeWritesDistanceWithoutTrailingZeros) {
  Start("local=JN18AP dest=QF56OD");
  EXPECT_EQ(view_.Text(ctl::kDistance), "16980.1");
  EXPECT_EQ(view_.Text(ctl::kTrueAzimuth), std::to_string(context_->result().trueAzimuthDeg));
}

TEST_F(ContextTest, ExchangeIsFlaggedWhileItRuns) {
  Start();
  std::vector<bool> flagDuringMessage;
  view_.onMessage = [&](const FakeView::Message&) { flagDuringMessage.push_back(context_->InExchange()); };
  // A commit started from inside the message box (focus moving away) is ignored.
  view_.onFocusLost = [&](int) { context_->CommitHeading(); };
  view_.SetText(ctl::kLocalLatMin, "75");
  context_->CommitLocalCoordinates();
  EXPECT_EQ(flagDuringMessage, std::vector<bool>{true});
  EXPECT_EQ(view_.messages.size(), 1u);
  EXPECT_FALSE(context_->InExchange());
}

struct BadFieldCase {
  const char* name;
  int controlId;
  const char* text;
  const char* message;
  friend void PrintTo(const BadFieldCase& c, std::ostream* os) { *os << c.name; }
};

class BadFieldTest : public ContextTest, public ::testing::WithParamInterface<BadFieldCase> {};

TEST_P(BadFieldTest, StopsWithMessageAndFocus) {
  const BadFieldCase& c = GetParam();
  Start();
  const auto bytes = Bytes();
  const auto needles = view_.needles.size();
  const BearingResult before = context_->result();
  view_.SetText(c.controlId, c.text);
  context_->CommitHeading();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, c.message);
  EXPECT_EQ(view_.messages[0].caption, "Attention");
  ASSERT_FALSE(view_.focusLog.empty());
  EXPECT_EQ(view_.focusLog.back().controlId, c.controlId);
  EXPECT_TRUE(view_.focusLog.back().selectAll);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(view_.needles.size(), needles);
  EXPECT_EQ(view_.Text(c.controlId), c.text);  // not rewritten
  if (c.controlId != ctl::kDistance) {
    EXPECT_EQ(context_->result().distanceKm, before.distanceKm);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BadFieldTest,
    ::testing::Values(
        BadFieldCase{"LatMinute60", ctl::kLocalLatMin, "60",
                     "Veuillez entrer un nombre entier compris entre 0 et 59."},
        BadFieldCase{"LatDegree90", ctl::kLocalLatDeg, "90",
                     "Veuillez entrer un nombre entier compris entre 0 et 89."},
        BadFieldCase{"LonDegree360", ctl::kCorrLonDeg, "360",
                     "Veuillez entrer un nombre entier compris entre 0 et 359."},
        BadFieldCase{"NegativeSecond", ctl::kCorrLatSec, "-1",
                     "Veuillez entrer un nombre entier compris entre 0 et 59."},
        BadFieldCase{"Heading361", ctl::kHeading, "361",
                     "Veuillez entrer un nombre entier compris entre 0 et 360."},
        BadFieldCase{"EmptyMinute", ctl::kLocalLonMin, "", "Veuillez entrer un nombre entier."},
        BadFieldCase{"DecimalDegree", ctl::kCorrLatDeg, "4.5", "Veuillez entrer un nombre entier."},
        BadFieldCase{"HugeNumber", ctl::kLocalLonSec, "99999999999", "Veuillez entrer un nombre entier."},
        BadFieldCase{"WordAzimuth", ctl::kTrueAzimuth, "nord", "Veuillez entrer un nombre entier."},
        BadFieldCase{"LongLocator", ctl::kLocalLocator, "JN18APX", "Veuillez entrer au plus 6 caractères."},
        BadFieldCase{"DistanceWord", ctl::kDistance, "loin", "Veuillez entrer un nombre."},
        BadFieldCase{"DistanceInfinite", ctl::kDistance, "inf", "Veuillez entrer un nombre."}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ContextTest, FailedReadKeepsEarlierFieldsAndOutOfRangeValue) {
  Start();
  view_.SetText(ctl::kLocalLonDeg, "3");      // order 1: read and kept
  view_.SetText(ctl::kLocalLatMin, "60");     // order 3: fails, kept as 60
  view_.SetText(ctl::kLocalLatDeg, "12");     // order 4: never read
  context_->CommitLocalCoordinates();
  EXPECT_EQ(context_->local().position.longitude.degrees, 3);
  EXPECT_EQ(context_->local().position.latitude.minutes, 60);
  EXPECT_EQ(context_->local().position.latitude.degrees, 48);
}

TEST_F(ContextTest, UnparsableFieldKeepsOldValue) {
  Start();
  view_.SetText(ctl::kLocalLatDeg, "abc");
  context_->CommitLocalCoordinates();
  EXPECT_EQ(context_->local().position.latitude.degrees, 48);
  EXPECT_EQ(view_.messages.size(), 1u);
}

TEST_F(ContextTest, BlanksAndSignAroundNumbersAreAccepted) {
  Start();
  view_.SetText(ctl::kHeading, " +90 ");
  context_->CommitHeading();
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(context_->heading(), 90);
  EXPECT_EQ(view_.Text(ctl::kHeading), "90");
  EXPECT_EQ(view_.Text(ctl::kRelativeAzimuth), "246");
}

// --- Commits -----------------------------------------------------------------

using CommitFn = void (BearingContext::*)();

struct CommitCase {
  const char* name;
  CommitFn commit;
  friend void PrintTo(const CommitCase& c, std::ostream* os) { *os << c.name; }
};

class EveryCommitTest : public ContextTest, public ::testing::WithParamInterface<CommitCase> {};

TEST_P(EveryCommitTest, MinuteOf60StopsWithFocusOnThatField) {
  Start();
  const auto bytes = Bytes();
  const StationRecord correspondent = context_->correspondent();
  view_.SetText(ctl::kCorrLonMin, "60");
  (context_.get()->*GetParam().commit)();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "Veuillez entrer un nombre entier compris entre 0 et 59.");
  ASSERT_FALSE(view_.focusLog.empty());
  EXPECT_EQ(view_.focusLog.back().controlId, ctl::kCorrLonMin);
  EXPECT_TRUE(view_.focusLog.back().selectAll);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(context_->correspondent().locator, correspondent.locator);
}

TEST_P(EveryCommitTest, StopFlagMakesItDoNothing) {
  Start();
  const auto bytes = Bytes();
  const auto needles = view_.needles.size();
  context_->SetStopFlag(true);
  view_.SetText(ctl::kCorrLonMin, "60");
  view_.SetText(ctl::kHeading, "90");
  (context_.get()->*GetParam().commit)();
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(context_->heading(), 0);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(view_.needles.size(), needles);
}

INSTANTIATE_TEST_SUITE_P(Commits, EveryCommitTest,
                         ::testing::Values(CommitCase{"LocalLocator", &BearingContext::CommitLocalLocator},
                                           CommitCase{"CorrespondentLocator",
                                                      &BearingContext::CommitCorrespondentLocator},
                                           CommitCase{"LocalCoordinates", &BearingContext::CommitLocalCoordinates},
                                           CommitCase{"CorrespondentCoordinates",
                                                      &BearingContext::CommitCorrespondentCoordinates},
                                           CommitCase{"Heading", &BearingContext::CommitHeading}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ContextTest, LowerCaseLocatorInSameSquareStaysAsTyped) {
  Start();
  const auto bytes = Bytes();
  const auto needles = view_.needles.size();
  view_.SetText(ctl::kLocalLocator, "jn18ap");
  context_->CommitLocalLocator();
  EXPECT_EQ(context_->local().locator, "JN18AP");
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), "jn18ap");
  EXPECT_EQ(context_->local().position, kJN18AP);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(view_.needles.size(), needles);
}

TEST_F(ContextTest, LowerCaseLocatorElsewhereMovesTheStation) {
  Start();
  view_.SetText(ctl::kLocalLocator, "io91wm");
  context_->CommitLocalLocator();
  EXPECT_EQ(context_->local().position, kIO91WM);
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), "IO91WM");
  ExpectLocalFields(view_, kIO91WM);
  EXPECT_EQ(Bytes().size(), 3u);
}

TEST_F(ContextTest, WrongFormLocatorKeepsPreviousResults) {
  Start();
  const BearingResult before = context_->result();
  const auto bytes = Bytes();
  view_.SetText(ctl::kCorrLocator, "st00aa");
  context_->CommitCorrespondentLocator();
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].text, "Le QRA doit être de la forme AANNAA");
  EXPECT_EQ(view_.messages[0].caption, "Attention");
  EXPECT_EQ(context_->correspondent().locator, "ST00AA");
  EXPECT_EQ(context_->correspondent().position, kJN08WV);
  EXPECT_EQ(context_->result(), before);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(view_.Text(ctl::kCorrLocator), "st00aa");
}

TEST_F(ContextTest, ChoosingSouthReencodesAndRecomputes) {
  Start();
  view_.SetSelection(ctl::kLocalLatHemisphere, kSouth);
  context_->CommitLocalCoordinates();
  EXPECT_EQ(context_->local().position.latitude.hemisphere, kSouth);
  EXPECT_EQ(context_->local().locator, EncodeLocator(Dms(48, 38, 45, kSouth, 2, 2, 30, kEast)));
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), context_->local().locator);
  EXPECT_EQ(context_->local().locator.substr(0, 2), "JE");
  EXPECT_GT(context_->result().distanceKm, 10000.0);
  EXPECT_EQ(Bytes().size(), 3u);
}

TEST_F(ContextTest, TypedCoordinatesReencodeTheCorrespondent) {
  Start();
  view_.SetText(ctl::kCorrLatDeg, "51");
  view_.SetText(ctl::kCorrLatMin, "31");
  view_.SetText(ctl::kCorrLatSec, "15");
  view_.SetText(ctl::kCorrLonDeg, "0");
  view_.SetText(ctl::kCorrLonMin, "7");
  view_.SetText(ctl::kCorrLonSec, "29");
  view_.SetSelection(ctl::kCorrLonHemisphere, kWest);
  context_->CommitCorrespondentCoordinates();
  EXPECT_EQ(context_->correspondent().locator, "IO91WM");
  EXPECT_EQ(view_.Text(ctl::kCorrLocator), "IO91WM");
}

TEST_F(ContextTest, HeadingCommitTurnsRelativeAzimuth) {
  Start();
  view_.SetText(ctl::kHeading, "90");
  context_->CommitHeading();
  EXPECT_EQ(context_->result().relativeAzimuthDeg, 246);
  EXPECT_EQ(view_.needles.back().relativeAzimuthDeg, 246);
  // 246 deg with end stop 180, "Inverse": (426 mod 360) * 256 / 360 = 46, negated 210.
  EXPECT_EQ(Bytes().back(), 210);
}

TEST_F(ContextTest, SetConfigurationRedirectsTheRotator) {
  Start();
  Configuration clockwise = context_->configuration();
  clockwise.rotationSense = kSenseClockwise;
  clockwise.endStopDeg = 0;
  clockwise.endStopChoice = EndStopChoice::kNorth;
  context_->SetConfiguration(clockwise);
  context_->CommitHeading();
  EXPECT_EQ(Bytes().back(), 336 * 256 / 360);
  Finish();
  EXPECT_EQ(ProfileStore(Ini()).Read(keys::kEndStop), 0);
}

// --- GPS -----------------------------------------------------------------------

TEST_F(ContextTest, FirstFixLocksFieldsWritesThemThenMovesFocus) {
  view_.disabled[ctl::kGpsCheck] = true;
  Start();
  const Position fix = Dms(48, 50, 10, kNorth, 2, 20, 5, kEast);
  std::vector<std::string> fieldAtFocusMove;
  view_.onFocusLost = [&](int) { fieldAtFocusMove.push_back(view_.Text(ctl::kLocalLatMin)); };
  EXPECT_TRUE(context_->ApplyGpsFix(fix, 45));
  EXPECT_EQ(fieldAtFocusMove, std::vector<std::string>{"50"});
  EXPECT_EQ(view_.focused, ctl::kCorrLocator);
  EXPECT_TRUE(view_.IsEnabled(ctl::kGpsCheck));
  EXPECT_TRUE(view_.Checked(ctl::kGpsCheck));
  for (int id : {ctl::kLocalLocator, ctl::kLocalLatDeg, ctl::kLocalLatMin, ctl::kLocalLatSec, ctl::kLocalLonDeg,
                 ctl::kLocalLonMin, ctl::kLocalLonSec, ctl::kHeading}) {
    EXPECT_FALSE(view_.IsEnabled(id)) << id;
    EXPECT_TRUE(view_.IsReadOnly(id)) << id;
  }
  EXPECT_FALSE(view_.IsEnabled(ctl::kLocalLatHemisphere));
  EXPECT_FALSE(view_.IsEnabled(ctl::kLocalLonHemisphere));
  ExpectLocalFields(view_, fix);
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), EncodeLocator(fix));
  EXPECT_EQ(view_.Text(ctl::kHeading), "45");
  EXPECT_EQ(context_->heading(), 45);
  char distance[32];
  std::snprintf(distance, sizeof distance, "%.1f", context_->result().distanceKm);
  EXPECT_EQ(view_.Text(ctl::kDistance), distance);
  EXPECT_EQ(view_.Text(ctl::kRelativeAzimuth), std::to_string(context_->result().relativeAzimuthDeg));
  EXPECT_EQ(view_.needles.back().relativeAzimuthDeg, context_->result().relativeAzimuthDeg);
  EXPECT_EQ(Bytes().size(), 3u);
}

TEST_F(ContextTest, FirstFixIsNotUndoneByTheLostFocusCommit) {
  Start();
  const Position fix = Dms(45, 10, 0, kNorth, 5, 43, 0, kEast);
  // The real window commits the field that loses the focus.
  view_.onFocusLost = [&](int controlId) {
    if (controlId == ctl::kLocalLocator) context_->CommitLocalLocator();
  };
  context_->ApplyGpsFix(fix, 10);
  EXPECT_EQ(context_->local().position, fix);
  EXPECT_EQ(context_->local().locator, EncodeLocator(fix));
  EXPECT_EQ(context_->heading(), 10);
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(ContextTest, LaterFixesLeaveFocusAndCorrespondentAlone) {
  Start();
  context_->ApplyGpsFix(kIO91WM, 0);
  const auto focusMoves = view_.focusLog.size();
  view_.SetText(ctl::kCorrLocator, "typing");
  context_->ApplyGpsFix(kJN18AP, 90);
  EXPECT_EQ(view_.focusLog.size(), focusMoves);
  EXPECT_EQ(view_.Text(ctl::kCorrLocator), "typing");
  EXPECT_EQ(view_.Text(ctl::kRelativeAzimuth), "246");
  EXPECT_EQ(Bytes().back(), 210);
}

TEST_F(ContextTest, UncheckingGpsUnlocksAndIgnoresFixes) {
  Start();
  context_->ApplyGpsFix(kIO91WM, 0);
  view_.SetChecked(ctl::kGpsCheck, false);
  context_->ToggleGps();
  EXPECT_FALSE(context_->gpsUse());
  EXPECT_TRUE(view_.IsEnabled(ctl::kLocalLatDeg));
  EXPECT_FALSE(view_.IsReadOnly(ctl::kLocalLatDeg));
  EXPECT_TRUE(view_.IsEnabled(ctl::kLocalLonHemisphere));
  EXPECT_FALSE(context_->ApplyGpsFix(kJN18AP, 0));
  EXPECT_EQ(context_->local().position, kIO91WM);
  view_.SetChecked(ctl::kGpsCheck, true);
  context_->ToggleGps();
  EXPECT_TRUE(context_->gpsUse());
  EXPECT_FALSE(view_.IsEnabled(ctl::kHeading));
  EXPECT_TRUE(context_->ApplyGpsFix(kJN18AP, 0));
  EXPECT_EQ(context_->local().position, kJN18AP);
}

TEST_F(ContextTest, FixAfterStopIsAppliedButNotShown) {
  Start();
  context_->SetStopFlag(true);
  const auto needles = view_.needles.size();
  context_->ApplyGpsFix(kIO91WM, 0);
  EXPECT_EQ(context_->local().position, kIO91WM);
  EXPECT_EQ(view_.needles.size(), needles);
  EXPECT_EQ(view_.Text(ctl::kLocalLocator), "JN18AP");
}

TEST(JoinArguments, JoinsWithSingleSpaces) {
  EXPECT_EQ(JoinArguments({}), "");
  const std::vector<std::string> one{"local=JN18AP"};
  EXPECT_EQ(JoinArguments(one), "local=JN18AP");
  const std::vector<std::string> three{"a", "", "dest=JN08WV"};
  EXPECT_EQ(JoinArguments(three), "a  dest=JN08WV");
}

}  // namespace
}  // namespace quarbe
