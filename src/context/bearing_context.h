#pragma once
// The operating context: everything the main window holds apart from its
// widgets (the two stations, the heading, the results, GPS use, the stop
// flag, the configuration and the port map), with the operations that commit
// each edited field and recompute.
//
// The context exchanges values with the window and never calls into it: each
// operation takes what the operator typed (a Form) and returns what the
// window must show (an Update), the rotator target included, which the owner
// of the devices writes. How the window uses it:
//   BearingContext context(store, JoinArguments(args));
//   ...show context.StartupMessages() (no owner), build the controls...
//   for (const Update& u : context.InitDialog()) apply u;
//   ...start the GPS reader; for each fix, on the UI thread:
//   if (auto u = context.ApplyGpsFix(position, headingDeg)) apply *u;
//   ...a field's notification, as the field table routes it:
//   apply context.Commit(field.commit, form);
//   Configuration accepted -> SetConfiguration(newValues).
//   Window destroyed -> OnDestroy() (stop flag).
//   Context destroyed -> the seven settings writes (or SaveProfile() first).
//
// Everything runs on the UI thread.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/configuration.h"
#include "context/exchange.h"
#include "context/field_table.h"
#include "context/form.h"
#include "context/profile_store.h"
#include "context/update.h"
#include "geodesy/bearing.h"
#include "geodesy/station.h"

namespace quarbe {

enum class Station { kLocal, kCorrespondent };

class BearingContext {
 public:
  // Loads the configuration and port map from the store, takes the stored
  // locators, then applies local=... and dest=... from the command line.
  // A settings file that could not be read and every other word of the
  // command line become StartupMessages(). Locators are validated only by
  // InitDialog.
  BearingContext(ProfileStore& store, std::string_view commandLine);
  // Writes the profile unless SaveProfile() already did.
  ~BearingContext();
  BearingContext(const BearingContext&) = delete;
  BearingContext& operator=(const BearingContext&) = delete;

  // What construction has to tell the operator, in order, before the window
  // exists.
  const std::vector<Message>& StartupMessages() const { return startupMessages_; }

  // Window initialisation: every member written into its control, heading
  // = 0, the local then the correspondent locator committed (each computes
  // and redraws; the rotator is driven once both are known), the stop flag
  // cleared. The updates are applied in order; the window sets its icons and
  // starts the GPS reader afterwards.
  std::vector<Update> InitDialog();

  // Window destruction: sets the stop flag.
  void OnDestroy();

  // Writes "Contexte"/"Local", "Contexte"/"Corres", then "GPS"/"Port",
  // "Moteur"/"Port", "Moteur"/"Rotation", "Moteur"/"Butée", "Compas"/"Image",
  // and flushes the store. Returns false when the file could not be written
  // (the store's FlushProblem() says why). Later calls (and the destructor)
  // write nothing and return what the first one did.
  bool SaveProfile();

  // Field exchange. Reading checks every field in the table's exchange
  // order; at the first refusal the update gets the message and the focus on
  // that field with its text selected, and false is returned (see
  // ReadFields for what the members keep). Writing puts every member into
  // the update.
  bool UpdateData(const Form& form, Update& update);
  void UpdateData(Update& update) const;

  // The commit a field's notification runs (the field table's Commit column).
  Update RunCommit(Commit commit, const Form& form);
  // Commits; each returns an empty update while the stop flag is set.
  Update CommitLocalLocator(const Form& form);
  Update CommitCorrespondentLocator(const Form& form);
  Update CommitLocalCoordinates(const Form& form);
  Update CommitCorrespondentCoordinates(const Form& form);
  Update CommitHeading(const Form& form);
  // GPS use follows the check box; the local fields are locked accordingly.
  Update ToggleGps(const Form& form);

  // Upper-cases and validates the station's locator; moves the station to
  // the sub-square's centre unless it already lies in it; then computes,
  // redraws and writes all fields. A refused locator gives its message and
  // changes nothing else.
  Update LocatorCommit(Station station);
  // Checks the GPS box and locks the fields the GPS holds (on), or the
  // reverse (off).
  static Update ApplyGpsLock(bool on);
  // Shows a GPS fix: the local fields, results and hemispheres, the needle.
  // At this context's first fix it then enables and checks the GPS box,
  // locks the local fields and moves the focus to the correspondent locator.
  // The fields are written first, so that a commit of the field that was
  // left would read the fix, not the values shown before.
  Update OnGpsFix();

  // A fix from the GPS reader, on the UI thread: sets the local position,
  // re-encodes the local locator, takes the fix's heading, computes,
  // and shows it with OnGpsFix unless the stop flag is set. Nothing (the fix
  // is ignored) when GPS use has been switched off since the reader accepted
  // it.
  std::optional<Update> ApplyGpsFix(const Position& position, std::int32_t headingDeg);

  // The bearing computation alone. Returns whether it reached the azimuths;
  // only then is the rotator driven.
  bool ComputeBearing();

  const StationRecord& local() const { return state_.local; }
  const StationRecord& correspondent() const { return state_.correspondent; }
  std::int32_t heading() const { return state_.headingDeg; }
  const BearingResult& result() const { return state_.result; }
  const Configuration& configuration() const { return configuration_; }
  const PortMap& ports() const { return ports_; }
  bool gpsUse() const { return gpsUse_; }
  // Whether the station holds a position decoded from a valid locator,
  // typed, or from the GPS.
  bool positionKnown(Station station) const { return station == Station::kLocal ? localKnown_ : correspondentKnown_; }
  bool stopRequested() const { return stop_; }
  void SetStopFlag(bool stop) { stop_ = stop; }
  // New settings from the configuration dialog.
  void SetConfiguration(const Configuration& configuration) { configuration_ = configuration; }

 private:
  // Re-reads every field, re-encodes the station's locator from its
  // coordinates, recomputes, redraws and writes all fields back.
  Update CommitCoordinates(Station station, const Form& form);
  // Computes, then the rotator target (when reached), the needle and every
  // field.
  void Recompute(Update& update);
  StationRecord& StationFor(Station station) { return station == Station::kLocal ? state_.local : state_.correspondent; }
  bool& KnownFor(Station station) { return station == Station::kLocal ? localKnown_ : correspondentKnown_; }
  bool BothKnown() const { return localKnown_ && correspondentKnown_; }

  FieldState state_;
  bool localKnown_ = false;
  bool correspondentKnown_ = false;
  bool gpsUse_ = true;
  bool stop_ = false;
  Configuration configuration_;
  PortMap ports_;

  ProfileStore& store_;
  std::vector<Message> startupMessages_;
  // Per context rather than per process: one context lives per run, and
  // tests can start afresh.
  bool firstFixSeen_ = false;
  std::optional<bool> saved_;  // whether the profile was written, once it has been tried
};

}  // namespace quarbe
