#pragma once
// The operating context: everything the main window holds apart from its
// widgets (the two stations, the heading, the results, GPS use, the stop
// flag, the configuration, the port map and the rotator output), with the
// operations that commit each edited field, recompute and redraw.
//
// How the window uses it:
//   BearingContext context(store, JoinArguments(args), showUnownedMessage);
//   ...window built, implements View...
//   context.InitDialog(window);     // commits both locators, computes twice
//   ...start the GPS reader; for each fix, on the UI thread:
//   context.ApplyGpsFix(position, courseDeg);
//   ...control notifications, ignored while context.InExchange():
//   lost focus of 1000 -> CommitLocalLocator(), of 1008 -> CommitCorrespondentLocator(),
//   of 1002..1007 or a local hemisphere chosen -> CommitLocalCoordinates(),
//   of 1010..1015 or a correspondent hemisphere chosen -> CommitCorrespondentCoordinates(),
//   of 1017 -> CommitHeading(), GPS box clicked -> ToggleGps().
//   Configuration accepted -> SetConfiguration(newValues).
//   Window destroyed -> OnDestroy() (stop flag, 1000 ms pause).
//   Context destroyed -> the seven settings writes (or SaveProfile() first).
//
// Everything runs on the UI thread. The GPS reader thread may read
// gpsUse() and stopRequested(), which are atomic; it hands its fixes to the
// UI thread rather than touching the stations itself.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "common/configuration.h"
#include "context/profile_store.h"
#include "context/view.h"
#include "geodesy/bearing.h"
#include "geodesy/station.h"
#include "rotator/rotator_output.h"

namespace quarbe {

// Caption of the message for an unknown command-line word.
inline constexpr std::string_view kUnknownArgumentCaption = "Paramètre inconnu";
// Caption of the field-validation messages.
inline constexpr std::string_view kValidationCaption = "Attention";
// Field validation: a text that is not a whole number, and one whose value
// lies outside [low, high]. The configuration dialog words its checks alike.
inline constexpr std::string_view kNotAnIntegerMessage = "Veuillez entrer un nombre entier.";
std::string OutOfRangeMessage(std::int64_t low, std::int64_t high);
// Pause at window destruction that gives the GPS reader time to notice the
// stop flag.
inline constexpr std::chrono::milliseconds kShutdownPause{1000};

// The program's arguments as one command line: joined by single spaces.
std::string JoinArguments(std::span<const std::string> arguments);

enum class Station { kLocal, kCorrespondent };

class BearingContext {
 public:
  // Receives a message that has no owner window (text, caption).
  using MessageSink = std::function<void(std::string_view text, std::string_view caption)>;
  using Sleeper = std::function<void(std::chrono::milliseconds)>;

  // Loads the configuration and port map from the store, takes the stored
  // locators (a settings file that could not be read is reported through
  // `unownedMessage`, caption kSettingsCaption), then applies local=... and
  // dest=... from the command line
  // (tokens separated by spaces, matched case-insensitively at their start);
  // any other word is reported through `unownedMessage` with the caption
  // "Paramètre inconnu" (a word of more than 60 characters shown cut, with
  // "…"). Locators are validated only by InitDialog.
  BearingContext(ProfileStore& store, std::string_view commandLine, MessageSink unownedMessage);
  // Writes the profile unless SaveProfile() already did.
  ~BearingContext();
  BearingContext(const BearingContext&) = delete;
  BearingContext& operator=(const BearingContext&) = delete;

  // Window initialisation: binds the view, writes every member into its
  // control, heading = 0, commits the local then the correspondent locator
  // (each computes, drives the rotator and redraws), clears the stop flag.
  // The window sets its icons and starts the GPS reader after this returns.
  void InitDialog(View& view);

  // Window destruction: sets the stop flag, unbinds the view, closes a
  // Hamlib rotator and pauses kShutdownPause through the sleeper.
  void OnDestroy();

  // Writes "Contexte"/"Local", "Contexte"/"Corres", then "GPS"/"Port",
  // "Moteur"/"Port", "Moteur"/"Rotation", "Moteur"/"Butée", "Compas"/"Image",
  // and flushes the store. Returns false when the file could not be written
  // (the store's FlushError() says why). Later calls (and the destructor)
  // write nothing and return true.
  bool SaveProfile();

  // Field exchange with the view. save=false writes every member to its
  // control. save=true reads the controls in the fixed order, checking each
  // value; at the first failure it shows the message, focuses the control
  // with its text selected and returns false (the members read before keep
  // their new values, an out-of-range value is kept, an unparsable text
  // keeps the old value).
  bool UpdateData(bool save);
  // True while UpdateData runs (message included): the window ignores its
  // controls' notifications then. Commits also refuse to start then.
  bool InExchange() const { return inExchange_; }

  // Commits; each does nothing while the stop flag is set, or while another
  // commit or an exchange is under way (a message box moving the focus must
  // not start a second commit).
  void CommitLocalLocator();
  void CommitCorrespondentLocator();
  void CommitLocalCoordinates();
  void CommitCorrespondentCoordinates();
  void CommitHeading();
  // GPS use follows the check box; the local fields are locked accordingly.
  void ToggleGps();

  // Upper-cases and validates the station's locator; moves the station to
  // the sub-square's centre unless it already lies in it; then computes,
  // redraws and writes all fields. A refused locator shows its message and
  // changes nothing else.
  void LocatorCommit(Station station);
  // Checks the GPS box and locks the local fields, heading and local
  // hemisphere lists (on), or the reverse (off).
  void ApplyGpsLock(bool on);
  // Shows a GPS fix: writes the local fields, results and hemispheres,
  // redraws the needle. At this context's first fix it then enables and
  // checks the GPS box, locks the local fields and moves the focus to the
  // correspondent locator. Writing first means the commit that the focused
  // field triggers when it is locked or loses the focus reads the fix, not
  // the values shown before.
  void OnGpsFix();

  // A fix from the GPS reader, on the UI thread: sets the local position,
  // re-encodes the local locator, takes the course as heading, computes
  // (and drives the rotator), then shows it with OnGpsFix unless the stop
  // flag is set. Ignored (returns false) when GPS use has been switched off
  // since the reader accepted the fix.
  bool ApplyGpsFix(const Position& position, std::int32_t courseDeg);

  // The bearing computation followed by the rotator byte when the azimuths
  // were computed. Returns whether they were.
  bool ComputeBearing();

  const StationRecord& local() const { return local_; }
  const StationRecord& correspondent() const { return correspondent_; }
  std::int32_t heading() const { return headingDeg_; }
  const BearingResult& result() const { return result_; }
  const Configuration& configuration() const { return configuration_; }
  const PortMap& ports() const { return ports_; }
  bool gpsUse() const { return gpsUse_.load(); }
  bool stopRequested() const { return stop_.load(); }
  void SetStopFlag(bool stop) { stop_.store(stop); }
  // New settings from the configuration dialog; the rotator reopens its
  // device at the next computation.
  void SetConfiguration(const Configuration& configuration);
  // A Hamlib rotator reports its failures from a thread of its own: the
  // notifier (called on that thread, must not block) arranges for
  // ServeRotatorReports() to run on the UI thread, which shows them.
  void SetRotatorNotifier(std::function<void()> notifier) { rotator_.SetReportNotifier(std::move(notifier)); }
  void ServeRotatorReports() { rotator_.ServeReports(); }
  const RotatorOutput& rotator() const { return rotator_; }
  // Replaces the pause used by OnDestroy (tests).
  void SetSleeper(Sleeper sleeper) { sleeper_ = std::move(sleeper); }
  // The bound view, or null before InitDialog and after OnDestroy.
  View* view() const { return view_; }

 private:
  // Re-reads every field, re-encodes the station's locator from its
  // coordinates, recomputes, redraws and writes all fields back.
  void CommitCoordinates(Station station);
  void ParseCommandLine(std::string_view commandLine);
  void ShowMessage(std::string_view text, std::string_view caption);
  void DrawNeedle();
  bool BeginCommit();
  StationRecord& StationFor(Station station) { return station == Station::kLocal ? local_ : correspondent_; }

  // State, in the window's order.
  StationRecord local_{std::string(keys::kLocalLocator.defaultValue), {}};
  std::int32_t headingDeg_ = 0;
  StationRecord correspondent_{std::string(keys::kCorrespondentLocator.defaultValue), {}};
  BearingResult result_;
  std::atomic<bool> gpsUse_{true};
  std::atomic<bool> stop_{false};
  Configuration configuration_;
  PortMap ports_;
  RotatorOutput rotator_;

  ProfileStore& store_;
  MessageSink unownedMessage_;
  Sleeper sleeper_;
  View* view_ = nullptr;
  bool inExchange_ = false;
  bool inCommit_ = false;
  // Per context rather than per process: one context lives per run, and
  // tests can start afresh.
  bool firstFixSeen_ = false;
  bool saved_ = false;
};

}  // namespace quarbe
