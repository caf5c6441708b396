#include "context/bearing_context.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "context/command_line.h"
#include "context/control_ids.h"
#include "geodesy/locator.h"
#include "rotator/rotator_output.h"
#include "temp_dir.h"
#include "ui/operator_texts.h"

namespace quarbe {
namespace {

using testing::TempDir;
using testing::WriteFile;

Position Dms(int latDeg, int latMin, int latSec, int latHem, int lonDeg, int lonMin, int lonSec, int lonHem) {
  return Position{AngleDms{latDeg, latMin, latSec, latHem}, AngleDms{lonDeg, lonMin, lonSec, lonHem}};
}

const Position kJN18AP = Dms(48, 38, 45, kNorth, 2, 2, 30, kEast);
const Position kJN08WV = Dms(48, 53, 45, kNorth, 1, 52, 30, kEast);
const Position kIO91WM = Dms(51, 31, 15, kNorth, 0, 7, 29, kWest);
constexpr std::string_view kLengthMessage = "Le QRA doit avoir une longueur de 6 caractères";

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

// A context over a scratch settings file whose LPT1 is a scratch file. The
// test hands the context forms and keeps what its updates ask the window to
// show: the fields (the form the next commit reads), the needles, the
// messages as the window words them, the focus moves and the GPS lock; the
// rotator targets are written to LPT1 as the window's devices write them.
class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    WriteFile(Lpt(), "");
    Settings("");
  }
  void TearDown() override {
    context_.reset();
    store_.reset();
  }

  std::string Lpt() const { return dir_.File("lpt1"); }
  std::string Ini() const { return dir_.File("quarbe.ini"); }
  void Settings(const std::string& more) { WriteFile(Ini(), "[Ports]\nLPT1=" + Lpt() + "\n" + more); }
  std::vector<int> Bytes() const { return testing::ReadBytes(Lpt()); }

  BearingContext& Construct(const std::string& commandLine = "") {
    store_ = std::make_unique<RecordingStore>(Ini());
    context_ = std::make_unique<BearingContext>(*store_, commandLine);
    for (const Message& message : context_->StartupMessages()) unowned_.push_back(Word(message));
    rotator_.SetFailureCallback([this](const RotatorFailure& failure) { messages_.push_back(Word(failure)); });
    rotator_.Reconfigure(context_->configuration(), context_->ports());
    return *context_;
  }
  BearingContext& Start(const std::string& commandLine = "") {
    for (const Update& update : Construct(commandLine).InitDialog()) Show(update);
    return *context_;
  }

  // What the window does with an update, in its order.
  void Show(const Update& update) {
    if (update.rotatorTarget) rotator_.Write(*update.rotatorTarget);
    for (const FieldWrite& write : update.writes) {
      if (FindField(write.id)->kind == FieldKind::kHemisphere) {
        form_.SetSelection(write.id, write.selection);
      } else {
        form_.SetText(write.id, write.text);
      }
    }
    if (update.needleDeg) needles_.push_back(*update.needleDeg);
    if (update.revealGpsBox) gpsBoxEnabled_ = true;
    if (update.gpsLock) {
      form_.SetChecked(ctl::kGpsCheck, *update.gpsLock);
      locked_ = *update.gpsLock;
    }
    if (update.message) messages_.push_back(Word(*update.message));
    if (update.focus) focusLog_.push_back(*update.focus);
  }

  // The GPS lock disables the fields it holds and makes its edits read-only.
  bool IsEnabled(int controlId) const {
    return controlId == ctl::kGpsCheck ? gpsBoxEnabled_ : !(locked_ && FindField(controlId)->gpsLocked);
  }
  bool IsReadOnly(int controlId) const {
    return locked_ && FindField(controlId)->gpsLocked && FindField(controlId)->kind != FieldKind::kHemisphere;
  }

  void ExpectLocalFields(const Position& p) const {
    const int ids[] = {ctl::kLocalLatDeg, ctl::kLocalLatMin, ctl::kLocalLatSec,
                       ctl::kLocalLonDeg, ctl::kLocalLonMin, ctl::kLocalLonSec};
    const int values[] = {p.latitude.degrees,  p.latitude.minutes,  p.latitude.seconds,
                          p.longitude.degrees, p.longitude.minutes, p.longitude.seconds};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(form_.Text(ids[i]), std::to_string(values[i])) << ids[i];
    EXPECT_EQ(form_.Selection(ctl::kLocalLatHemisphere), p.latitude.hemisphere);
    EXPECT_EQ(form_.Selection(ctl::kLocalLonHemisphere), p.longitude.hemisphere);
  }
  void ExpectOneMessage(std::string_view text, std::string_view caption = "Attention") const {
    ASSERT_EQ(messages_.size(), 1u);
    // A device's message goes on with what to do about it.
    EXPECT_EQ(messages_[0].text.substr(0, messages_[0].text.find("\n\n")), text);
    EXPECT_EQ(messages_[0].caption, caption);
  }
  void ExpectFocusSelected(int controlId) const {
    ASSERT_FALSE(focusLog_.empty());
    EXPECT_EQ(focusLog_.back().id, controlId);
    EXPECT_TRUE(focusLog_.back().selectAll);
  }

  TempDir dir_;
  std::unique_ptr<RecordingStore> store_;
  std::unique_ptr<BearingContext> context_;
  RotatorOutput rotator_;
  Form form_;
  std::vector<int> needles_;
  std::vector<Wording> messages_;
  std::vector<Focus> focusLog_;
  bool gpsBoxEnabled_ = false;
  bool locked_ = false;
  std::vector<Wording> unowned_;
};

// --- Start-up and shutdown ---------------------------------------------------

TEST_F(ContextTest, EmptyStoreRunStartsWithDefaultsComputesTwiceAndSavesSevenKeys) {
  BearingContext& context = Construct();
  EXPECT_EQ(context.configuration(), Configuration{});
  EXPECT_TRUE(context.gpsUse());
  for (const Update& update : context.InitDialog()) Show(update);
  // First against the correspondent still at 0 (183 deg): shown, but the
  // rotator waits for JN08WV, the real bearing.
  EXPECT_EQ(Bytes(), (std::vector<int>{146}));
  ASSERT_EQ(needles_.size(), 2u);
  EXPECT_EQ(needles_[0], 183);
  EXPECT_EQ(needles_[1], 336);
  EXPECT_EQ(context.correspondent().position, kJN08WV);
  ExpectLocalFields(kJN18AP);
  EXPECT_EQ(form_.Text(ctl::kDistance), "30.3");
  EXPECT_EQ(form_.Text(ctl::kTrueAzimuth), "336");
  EXPECT_EQ(form_.Text(ctl::kReverseAzimuth), "156");
  EXPECT_EQ(form_.Text(ctl::kCorrLocator), "JN08WV");
  EXPECT_TRUE(messages_.empty());

  context.OnDestroy();
  EXPECT_TRUE(context.stopRequested());
  form_.SetText(ctl::kHeading, "90");
  Show(context.CommitHeading(form_));  // the stop flag holds every commit now
  EXPECT_EQ(context.heading(), 0);
  EXPECT_TRUE(store_->writes.empty());
  context_.reset();
  EXPECT_EQ(store_->writes, (std::vector<std::string>{"Contexte/Local=JN18AP", "Contexte/Corres=JN08WV", "GPS/Port=1",
                                                       "Moteur/Port=1", "Moteur/Rotation=1", "Moteur/Butée=180",
                                                       "Compas/Image=mobile.emf"}));
}

TEST_F(ContextTest, CommandLineLocatorsAreUsedAndSavedForNextRun) {
  Start("local=io91wm dest=JN18AP");
  EXPECT_EQ(context_->local().position, kIO91WM);
  EXPECT_EQ(form_.Text(ctl::kLocalLocator), "IO91WM");
  EXPECT_EQ(form_.Text(ctl::kCorrLocator), "JN18AP");
  context_.reset();
  EXPECT_EQ(Construct().local().locator, "IO91WM");
  EXPECT_EQ(context_->correspondent().locator, "JN18AP");
}

struct CommandLineCase {
  std::string commandLine;
  const char* local;
  const char* correspondent;
  std::vector<std::string> unknown;
};

class CommandLineTest : public ContextTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineTest, SetsLocatorsAndReportsUnknownWords) {
  const CommandLineCase& c = GetParam();
  Settings("[Contexte]\nLocal=JN18AP\nCorres=QF56OD\n");
  Construct(c.commandLine);
  EXPECT_EQ(context_->local().locator, c.local) << c.commandLine;
  EXPECT_EQ(context_->correspondent().locator, c.correspondent) << c.commandLine;
  std::vector<std::string> reported;
  for (const auto& message : unowned_) {
    EXPECT_EQ(message.caption, "Paramètre inconnu");
    // The word, then what the command line accepts.
    const std::size_t wordEnd = message.text.find("\n\n");
    EXPECT_NE(message.text.find("local=AANNAA", wordEnd), std::string::npos) << message.text;
    reported.push_back(message.text.substr(0, wordEnd));
  }
  EXPECT_EQ(reported, c.unknown) << c.commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTest,
    ::testing::Values(CommandLineCase{"    ", "JN18AP", "QF56OD", {}},
                      CommandLineCase{"LOCAL=FN31PR DeSt=jn08wv", "FN31PR", "jn08wv", {}},
                      CommandLineCase{"bonjour  dest=JN08WV au-revoir", "JN18AP", "JN08WV", {"bonjour", "au-revoir"}},
                      CommandLineCase{"  local= local ", "", "QF56OD", {"local"}},
                      CommandLineCase{"local=JN18APXYZ dépôt", "JN18APXYZ", "QF56OD", {"dépôt"}},
                      CommandLineCase{std::string(60, 'x') + " é" + std::string(128 * 1024, 'y') + " dest=JN08WV",
                                      "JN18AP", "JN08WV", {std::string(60, 'x'), "é" + std::string(59, 'y') + "…"}}));

TEST(JoinArguments, JoinsWithSingleSpaces) {
  const std::vector<std::string> words{"a", "", "dest=JN08WV"};
  EXPECT_EQ(JoinArguments(words), "a  dest=JN08WV");
  EXPECT_EQ(JoinArguments({}), "");
}

struct StartCase {
  const char* commandLine;
  bool lengthMessage;
  int bytes;  // rotator writes during start-up
};
void PrintTo(const StartCase& row, std::ostream* out) { *out << '"' << row.commandLine << '"'; }

class StartLocatorTest : public ContextTest, public ::testing::WithParamInterface<StartCase> {};

// A refused start-up locator leaves the local station at 0 with no hemisphere:
// the window shows what that gives, the rotator is not driven from it. JJ00AA
// is the encoding of that very point, so its commit stops at once, with the
// station known to be there. A valid locator then drives the rotator to the
// real bearing.
TEST_P(StartLocatorTest, LocalStaysAtZero) {
  Start(GetParam().commandLine);
  if (GetParam().lengthMessage) {
    ExpectOneMessage(kLengthMessage);
  } else {
    EXPECT_TRUE(messages_.empty());
  }
  EXPECT_EQ(context_->local().position, Position{});
  ExpectLocalFields(Position{});
  EXPECT_EQ(form_.Text(ctl::kTrueAzimuth), "2");
  EXPECT_EQ(form_.Text(ctl::kDistance), "5437.1");
  EXPECT_EQ(static_cast<int>(Bytes().size()), GetParam().bytes);
  form_.SetText(ctl::kLocalLocator, "JN18AP");
  Show(context_->CommitLocalLocator(form_));
  EXPECT_EQ(static_cast<int>(Bytes().size()), GetParam().bytes + 1);
  EXPECT_EQ(Bytes().back(), 146);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartLocatorTest,
                         ::testing::Values(StartCase{"local=JN18", true, 0}, StartCase{"local=JN18A", true, 0},
                                           StartCase{"local=", true, 0}, StartCase{"local=JJ00AA", false, 1}));

TEST_F(ContextTest, RotatorWaitsUntilTheCorrespondentIsKnown) {
  Start("dest=JN18");
  ExpectOneMessage(kLengthMessage);
  EXPECT_EQ(form_.Text(ctl::kTrueAzimuth), "183");  // towards 0 deg N, 0 deg E
  Show(*context_->ApplyGpsFix(kJN18AP, 0));
  // Leaving a correspondent field unchanged types nothing.
  Show(context_->CommitCorrespondentCoordinates(form_));
  EXPECT_TRUE(Bytes().empty());
  form_.SetText(ctl::kCorrLatDeg, "48");
  Show(context_->CommitCorrespondentCoordinates(form_));
  EXPECT_EQ(Bytes().size(), 1u);
}

TEST_F(ContextTest, TooLongLocatorIsShownWholeAndBlocksCommitsUntilShortened) {
  Start("dest=JN08WVXY");
  EXPECT_EQ(form_.Text(ctl::kCorrLocator), "JN08WVXY");
  messages_.clear();
  Show(context_->CommitHeading(form_));
  ExpectOneMessage("Veuillez entrer au plus 6 caractères.");
  ExpectFocusSelected(ctl::kCorrLocator);
  form_.SetText(ctl::kCorrLocator, "JN08WV");
  Show(context_->CommitCorrespondentLocator(form_));
  EXPECT_EQ(context_->result().trueAzimuthDeg, 336);
}

TEST_F(ContextTest, SamePlaceTwiceWritesNoRotatorByte) {
  Start("local=JN08WV dest=JN08WV");
  // The correspondent is not known at the first computation; the second
  // stops at the two stations' common point.
  EXPECT_TRUE(Bytes().empty());
  EXPECT_EQ(form_.Text(ctl::kDistance), "0");
  EXPECT_EQ(needles_[1], needles_[0]);
}

TEST_F(ContextTest, RotatorOpenFailureIsShownOnceByTheWindow) {
  WriteFile(Ini(), "[Ports]\nLPT1=" + dir_.File("absent") + "\n");
  Start();
  Show(context_->CommitHeading(form_));
  ExpectOneMessage("Impossible d'ouvrir " + dir_.File("absent") + " : périphérique absent", "Ouverture port moteur");
}

// A value the program reads one way and would write another (a locator it
// upper-cases, a number spelt differently, a word read as the default, an
// end stop reduced to 0..359) has not changed: a run that changes nothing
// leaves the file as it is, not even rewritten.
TEST_F(ContextTest, ValuesReadAsTheyAreWrittenLeaveTheFileUntouched) {
  const std::string all = "[Contexte]\nLocal=JN18AP\nCorres=JN08WV\n[GPS]\nPort=1\n[Moteur]\nPort=1\nRotation=1\n"
                          "But%E9e=180\n[Compas]\nImage=mobile.emf\n";
  const std::pair<std::string, std::string> spellings[] = {{"Local=JN18AP", "Local=jn18ap"},
                                                           {"[GPS]\nPort=1", "[GPS]\nPort= 01"},
                                                           {"Rotation=1", "Rotation=un"},
                                                           {"But%E9e=180", "But%E9e=-180"}};
  for (const auto& [canonical, spelt] : spellings) {
    std::string settings = all;
    settings.replace(settings.find(canonical), canonical.size(), spelt);
    Settings(settings);
    const std::string before = testing::ReadFile(Ini());
    struct stat written {};
    ASSERT_EQ(::stat(Ini().c_str(), &written), 0);
    Start();
    context_.reset();
    struct stat now {};
    ASSERT_EQ(::stat(Ini().c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, written.st_ino) << spelt;
    EXPECT_EQ(testing::ReadFile(Ini()), before) << spelt;
  }
}

TEST_F(ContextTest, GarbageSettingsStartCleanly) {
  Settings("\xff\xfe\x01[Ports\n[GPS]\nPort=un\n[Moteur]\nPort=1x\nRotation=\nButée=sud\n[Compas]\n"
           "[Contexte]\nCorres=JN08WV\nLocal=\"\n=\n[\n");
  Start();
  EXPECT_EQ(context_->configuration(), Configuration{});
  // The unterminated quote swallows the rest of the file into the local
  // locator, which start-up refuses; the correspondent still computes.
  ExpectOneMessage(kLengthMessage);
  EXPECT_EQ(context_->correspondent().position, kJN08WV);
  EXPECT_TRUE(Bytes().empty());
}

// --- Field exchange and commits ---------------------------------------------

struct BadFieldCase {
  int controlId;
  const char* text;
  const char* message;
};

class BadFieldTest : public ContextTest, public ::testing::WithParamInterface<BadFieldCase> {};

TEST_P(BadFieldTest, StopsWithMessageAndSelectedFocus) {
  const BadFieldCase& c = GetParam();
  Start();
  const auto bytes = Bytes();
  const auto needles = needles_.size();
  form_.SetText(c.controlId, c.text);
  Show(context_->CommitHeading(form_));
  ExpectOneMessage(c.message);
  ExpectFocusSelected(c.controlId);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(needles_.size(), needles);
  EXPECT_EQ(form_.Text(c.controlId), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BadFieldTest,
    ::testing::Values(
        BadFieldCase{ctl::kLocalLatDeg, "90", "Veuillez entrer un nombre entier compris entre 0 et 89."},
        BadFieldCase{ctl::kCorrLonDeg, "360", "Veuillez entrer un nombre entier compris entre 0 et 359."},
        BadFieldCase{ctl::kHeading, "361", "Veuillez entrer un nombre entier compris entre 0 et 360."},
        BadFieldCase{ctl::kCorrLatSec, "-1", "Veuillez entrer un nombre entier compris entre 0 et 59."},
        BadFieldCase{ctl::kLocalLonMin, "", "Veuillez entrer un nombre entier."},
        BadFieldCase{ctl::kCorrLatDeg, "4.5", "Veuillez entrer un nombre entier."},
        BadFieldCase{ctl::kTrueAzimuth, "99999999999", "Veuillez entrer un nombre entier."},
        BadFieldCase{ctl::kLocalLocator, "JN18APX", "Veuillez entrer au plus 6 caractères."},
        BadFieldCase{ctl::kDistance, "inf", "Veuillez entrer un nombre."}));

using CommitFn = Update (BearingContext::*)(const Form&);
class EveryCommitTest : public ContextTest, public ::testing::WithParamInterface<CommitFn> {};

TEST_P(EveryCommitTest, MinuteOf60StopsWithFocusOnIt) {
  Start();
  const auto bytes = Bytes();
  form_.SetText(ctl::kCorrLonMin, "60");
  Show((context_.get()->*GetParam())(form_));
  ExpectOneMessage("Veuillez entrer un nombre entier compris entre 0 et 59.");
  ExpectFocusSelected(ctl::kCorrLonMin);
  EXPECT_EQ(Bytes(), bytes);
  EXPECT_EQ(context_->correspondent().locator, "JN08WV");
}

TEST_P(EveryCommitTest, StopFlagMakesItDoNothing) {
  Start();
  const auto bytes = Bytes();
  context_->SetStopFlag(true);
  form_.SetText(ctl::kCorrLonMin, "60");
  Show((context_.get()->*GetParam())(form_));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(Bytes(), bytes);
}

INSTANTIATE_TEST_SUITE_P(Commits, EveryCommitTest,
                         ::testing::Values(&BearingContext::CommitLocalLocator,
                                           &BearingContext::CommitCorrespondentLocator,
                                           &BearingContext::CommitLocalCoordinates,
                                           &BearingContext::CommitCorrespondentCoordinates,
                                           &BearingContext::CommitHeading));

TEST_F(ContextTest, FailedReadKeepsEarlierValuesAndTheOutOfRangeOne) {
  Start();
  form_.SetText(ctl::kLocalLonDeg, "3");   // read first: kept
  form_.SetText(ctl::kLocalLatMin, "60");  // fails its range check: kept as 60
  form_.SetText(ctl::kLocalLatDeg, "12");  // never read
  Show(context_->CommitLocalCoordinates(form_));
  EXPECT_EQ(context_->local().position.longitude.degrees, 3);
  EXPECT_EQ(context_->local().position.latitude.minutes, 60);
  EXPECT_EQ(context_->local().position.latitude.degrees, 48);
  // A text that is not a number leaves the member as it was.
  form_.SetText(ctl::kLocalLatMin, "abc");
  Show(context_->CommitLocalCoordinates(form_));
  EXPECT_EQ(context_->local().position.latitude.minutes, 60);
}

// A refused field asks the window for its message and the focus back on it,
// and for nothing else: the window shows that message while it ignores its
// controls, so the focus leaving for the box and coming back commits nothing.
TEST_F(ContextTest, RefusedFieldAsksOnlyForItsMessageAndFocus) {
  Start();
  form_.SetText(ctl::kLocalLatMin, "75");
  const Update update = context_->CommitLocalCoordinates(form_);
  ASSERT_TRUE(update.message.has_value());
  EXPECT_EQ(Word(*update.message).text, "Veuillez entrer un nombre entier compris entre 0 et 59.");
  EXPECT_EQ(update.focus, (Focus{ctl::kLocalLatMin, true}));
  EXPECT_TRUE(update.writes.empty());
  EXPECT_FALSE(update.needleDeg || update.rotatorTarget || update.gpsLock || update.revealGpsBox);
}

TEST_F(ContextTest, LowerCaseLocatorStaysAsTypedOnlyInTheSameSquare) {
  Start();
  const auto bytes = Bytes();
  form_.SetText(ctl::kLocalLocator, "jn18ap");
  Show(context_->CommitLocalLocator(form_));
  EXPECT_EQ(context_->local().locator, "JN18AP");
  EXPECT_EQ(form_.Text(ctl::kLocalLocator), "jn18ap");
  EXPECT_EQ(Bytes(), bytes);
  form_.SetText(ctl::kLocalLocator, "io91wm");
  Show(context_->CommitLocalLocator(form_));
  EXPECT_EQ(form_.Text(ctl::kLocalLocator), "IO91WM");
  ExpectLocalFields(kIO91WM);
  EXPECT_EQ(Bytes().size(), bytes.size() + 1);
}

TEST_F(ContextTest, WrongFormLocatorKeepsPreviousResults) {
  Start();
  const BearingResult before = context_->result();
  form_.SetText(ctl::kCorrLocator, "st00aa");
  Show(context_->CommitCorrespondentLocator(form_));
  ExpectOneMessage("Le QRA doit être de la forme AANNAA");
  EXPECT_EQ(context_->correspondent().locator, "ST00AA");
  EXPECT_EQ(context_->correspondent().position, kJN08WV);
  EXPECT_EQ(context_->result(), before);
  EXPECT_EQ(Bytes().size(), 1u);
}

TEST_F(ContextTest, CoordinateAndHeadingCommitsReencodeAndRecompute) {
  Start();
  form_.SetSelection(ctl::kLocalLatHemisphere, kSouth);
  Show(context_->CommitLocalCoordinates(form_));
  EXPECT_EQ(context_->local().locator, EncodeLocator(Dms(48, 38, 45, kSouth, 2, 2, 30, kEast)));
  EXPECT_EQ(form_.Text(ctl::kLocalLocator).substr(0, 2), "JE");
  EXPECT_GT(context_->result().distanceKm, 10000.0);
  form_.SetSelection(ctl::kLocalLatHemisphere, kNorth);
  form_.SetText(ctl::kHeading, " +90 ");
  Show(context_->CommitLocalCoordinates(form_));
  EXPECT_EQ(form_.Text(ctl::kHeading), "90");
  EXPECT_EQ(form_.Text(ctl::kRelativeAzimuth), "246");
  EXPECT_EQ(Bytes().back(), 210);  // 246 deg, end stop 180, "Inverse"
}

TEST_F(ContextTest, NewConfigurationDrivesTheRotatorAndIsSaved) {
  Start();
  Configuration north = context_->configuration();
  north.rotationSense = kSenseClockwise;
  north.endStopDeg = 0;
  north.endStopChoice = EndStopChoice::kAtNorth;
  context_->SetConfiguration(north);
  rotator_.Reconfigure(north, context_->ports());  // as the window does
  Show(context_->CommitHeading(form_));
  EXPECT_EQ(Bytes().back(), 238);  // 336 deg, end stop 0, "Montre"
  context_.reset();
  EXPECT_EQ(ProfileStore(Ini()).Read(keys::kEndStop), 0);
}

// --- GPS ------------------------------------------------------------------------

TEST_F(ContextTest, FirstFixLocksAndIsNotUndoneByTheLostFocusCommit) {
  Start();
  const Position fix = Dms(45, 10, 0, kNorth, 5, 43, 0, kEast);
  const std::optional<Update> update = context_->ApplyGpsFix(fix, 45);
  ASSERT_TRUE(update.has_value());
  Show(*update);
  // The local locator, which had the focus, loses it to the lock and the
  // focus move; were it committed then, it would read the fix back.
  Show(context_->CommitLocalLocator(form_));
  EXPECT_EQ(context_->local().position, fix);
  EXPECT_EQ(context_->heading(), 45);
  ASSERT_FALSE(focusLog_.empty());
  EXPECT_EQ(focusLog_.back().id, ctl::kCorrLocator);
  EXPECT_TRUE(IsEnabled(ctl::kGpsCheck));
  EXPECT_TRUE(form_.Checked(ctl::kGpsCheck));
  for (int id : {ctl::kLocalLocator, ctl::kLocalLatSec, ctl::kLocalLonDeg, ctl::kHeading}) {
    EXPECT_FALSE(IsEnabled(id)) << id;
    EXPECT_TRUE(IsReadOnly(id)) << id;
  }
  EXPECT_FALSE(IsEnabled(ctl::kLocalLatHemisphere));
  ExpectLocalFields(fix);
  EXPECT_EQ(form_.Text(ctl::kLocalLocator), EncodeLocator(fix));
  char distance[32];
  std::snprintf(distance, sizeof distance, "%.1f", context_->result().distanceKm);
  EXPECT_EQ(form_.Text(ctl::kDistance), distance);
  EXPECT_EQ(needles_.back(), context_->result().relativeAzimuthDeg);
  EXPECT_EQ(Bytes().size(), 2u);
  EXPECT_TRUE(messages_.empty());

  // Later fixes leave the focus where it is.
  const auto focusMoves = focusLog_.size();
  Show(*context_->ApplyGpsFix(kJN18AP, 90));
  EXPECT_EQ(focusLog_.size(), focusMoves);
  EXPECT_EQ(form_.Text(ctl::kRelativeAzimuth), "246");
}

TEST_F(ContextTest, UncheckingGpsUnlocksAndIgnoresFixes) {
  Start();
  Show(*context_->ApplyGpsFix(kIO91WM, 0));
  form_.SetChecked(ctl::kGpsCheck, false);
  Show(context_->ToggleGps(form_));
  EXPECT_FALSE(context_->gpsUse());
  EXPECT_TRUE(IsEnabled(ctl::kLocalLatDeg));
  EXPECT_FALSE(IsReadOnly(ctl::kLocalLatDeg));
  EXPECT_TRUE(IsEnabled(ctl::kLocalLonHemisphere));
  EXPECT_FALSE(context_->ApplyGpsFix(kJN18AP, 0));
  EXPECT_EQ(context_->local().position, kIO91WM);
  form_.SetChecked(ctl::kGpsCheck, true);
  Show(context_->ToggleGps(form_));
  EXPECT_FALSE(IsEnabled(ctl::kHeading));
  const std::optional<Update> update = context_->ApplyGpsFix(kJN18AP, 0);
  EXPECT_TRUE(update.has_value());
  if (update) Show(*update);
  EXPECT_EQ(context_->local().position, kJN18AP);
}

}  // namespace
}  // namespace quarbe
