#include "context/bearing_context.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "context/command_line.h"
#include "geodesy/locator.h"

namespace quarbe {
namespace {

// The locator to store: the stored text when the locator held differs from
// it only by case (a commit upper-cases it), so that it is no change.
std::string AsStored(const std::string& held, const std::string& stored) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  const bool same = held.size() == stored.size() &&
                    std::equal(held.begin(), held.end(), stored.begin(),
                               [&](char a, char b) { return upper(a) == upper(b); });
  return same ? stored : held;
}

}  // namespace

BearingContext::BearingContext(ProfileStore& store, std::string_view commandLine)
    : configuration_(LoadConfiguration(store)), ports_(LoadPortMap(store)), store_(store) {
  state_.local.locator = store_.Read(keys::kLocalLocator);
  state_.correspondent.locator = store_.Read(keys::kCorrespondentLocator);
  if (store_.StartupProblem()) startupMessages_.emplace_back(SettingsNotRead{*store_.StartupProblem()});
  CommandLine parsed = ParseCommandLine(commandLine);
  if (parsed.localLocator) state_.local.locator = std::move(*parsed.localLocator);
  if (parsed.correspondentLocator) state_.correspondent.locator = std::move(*parsed.correspondentLocator);
  for (std::string& word : parsed.unknownWords) startupMessages_.emplace_back(UnknownArgument{std::move(word)});
}

BearingContext::~BearingContext() { SaveProfile(); }

std::vector<Update> BearingContext::InitDialog() {
  std::vector<Update> updates(1);
  UpdateData(updates.front());
  state_.headingDeg = 0;
  updates.push_back(LocatorCommit(Station::kLocal));
  updates.push_back(LocatorCommit(Station::kCorrespondent));
  stop_ = false;
  return updates;
}

void BearingContext::OnDestroy() { stop_ = true; }

bool BearingContext::SaveProfile() {
  if (saved_) return *saved_;
  store_.Write(keys::kLocalLocator, AsStored(state_.local.locator, store_.Read(keys::kLocalLocator)));
  store_.Write(keys::kCorrespondentLocator,
               AsStored(state_.correspondent.locator, store_.Read(keys::kCorrespondentLocator)));
  SaveConfiguration(store_, configuration_);
  saved_ = store_.Flush();
  return *saved_;
}

bool BearingContext::UpdateData(const Form& form, Update& update) {
  const Position localBefore = state_.local.position;
  const Position correspondentBefore = state_.correspondent.position;
  const std::optional<RefusedField> refused = ReadFields(form, state_);
  // Coordinates the operator changed are typed ones, whether or not the
  // rest of the read goes through.
  if (state_.local.position != localBefore) localKnown_ = true;
  if (state_.correspondent.position != correspondentBefore) correspondentKnown_ = true;
  if (!refused) return true;
  update.message = refused->refusal;
  update.focus = Focus{refused->id, true};
  return false;
}

void BearingContext::UpdateData(Update& update) const { WriteFields(state_, update.writes); }

bool BearingContext::ComputeBearing() {
  return quarbe::ComputeBearing(state_.local.position, state_.correspondent.position, state_.headingDeg,
                                state_.result);
}

void BearingContext::Recompute(Update& update) {
  if (ComputeBearing() && BothKnown()) update.rotatorTarget = state_.result.relativeAzimuthDeg;
  update.needleDeg = state_.result.relativeAzimuthDeg;
  UpdateData(update);
}

Update BearingContext::RunCommit(Commit commit, const Form& form) {
  switch (commit) {
    case Commit::kLocalLocator: return CommitLocalLocator(form);
    case Commit::kCorrespondentLocator: return CommitCorrespondentLocator(form);
    case Commit::kLocalCoordinates: return CommitLocalCoordinates(form);
    case Commit::kCorrespondentCoordinates: return CommitCorrespondentCoordinates(form);
    case Commit::kHeading: return CommitHeading(form);
    case Commit::kGpsUse: return ToggleGps(form);
    case Commit::kNone: break;
  }
  return {};
}

Update BearingContext::CommitLocalLocator(const Form& form) {
  Update update;
  if (stop_ || !UpdateData(form, update)) return update;
  return LocatorCommit(Station::kLocal);
}

Update BearingContext::CommitCorrespondentLocator(const Form& form) {
  Update update;
  if (stop_ || !UpdateData(form, update)) return update;
  return LocatorCommit(Station::kCorrespondent);
}

Update BearingContext::CommitLocalCoordinates(const Form& form) { return CommitCoordinates(Station::kLocal, form); }

Update BearingContext::CommitCorrespondentCoordinates(const Form& form) {
  return CommitCoordinates(Station::kCorrespondent, form);
}

Update BearingContext::CommitCoordinates(Station station, const Form& form) {
  Update update;
  if (stop_ || !UpdateData(form, update)) return update;
  StationRecord& record = StationFor(station);
  record.locator = EncodeLocator(record.position);
  Recompute(update);
  return update;
}

Update BearingContext::CommitHeading(const Form& form) {
  Update update;
  if (stop_ || !UpdateData(form, update)) return update;
  Recompute(update);
  return update;
}

Update BearingContext::ToggleGps(const Form& form) {
  gpsUse_ = form.Checked(ctl::kGpsCheck);
  return ApplyGpsLock(gpsUse_);
}

Update BearingContext::LocatorCommit(Station station) {
  Update update;
  StationRecord& record = StationFor(station);
  const DecodedLocator decoded = DecodeLocator(record.locator);
  if (const auto* error = std::get_if<LocatorError>(&decoded)) {
    update.message = *error;
    return update;
  }
  KnownFor(station) = true;
  // Already in that sub-square: keep the exact coordinates and leave the
  // field as typed.
  if (EncodeLocator(record.position) == record.locator) return update;
  record.position = std::get<Position>(decoded);
  Recompute(update);
  return update;
}

Update BearingContext::ApplyGpsLock(bool on) {
  Update update;
  update.gpsLock = on;
  return update;
}

Update BearingContext::OnGpsFix() {
  Update update;
  WriteFixFields(state_, update.writes);
  update.needleDeg = state_.result.relativeAzimuthDeg;
  if (!firstFixSeen_) {
    // Only now, with the fix written: locking the focused local field or
    // moving the focus makes it lose the focus, and a commit of it would
    // read the fix back, not the values it showed before.
    firstFixSeen_ = true;
    update.revealGpsBox = true;
    update.gpsLock = true;
    update.focus = Focus{ctl::kCorrLocator, false};
  }
  return update;
}

std::optional<Update> BearingContext::ApplyGpsFix(const Position& position, std::int32_t headingDeg) {
  if (!gpsUse_) return std::nullopt;
  state_.local.position = position;
  state_.local.locator = EncodeLocator(state_.local.position);
  state_.headingDeg = headingDeg;
  localKnown_ = true;
  const bool reached = ComputeBearing();
  Update update = stop_ ? Update{} : OnGpsFix();
  if (reached && BothKnown()) update.rotatorTarget = state_.result.relativeAzimuthDeg;
  return update;
}

}  // namespace quarbe
