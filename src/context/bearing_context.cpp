#include "context/bearing_context.h"

#include <charconv>
#include <cmath>
#include <thread>
#include <utility>
#include <variant>

#include "context/control_ids.h"
#include "geodesy/locator.h"

namespace quarbe {

namespace {

// Sets a flag for the lifetime of the guard.
class FlagGuard {
 public:
  explicit FlagGuard(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
  ~FlagGuard() { flag_ = previous_; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& flag_;
  bool previous_;
};

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// A whole number as typed: blanks around it, an optional sign, decimal
// digits, nothing else; it must fit 32 bits.
std::optional<std::int32_t> ParseInt(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A finite decimal number, with a point or a comma for the decimals.
std::optional<double> ParseNumber(std::string_view text) {
  std::string normalised(Trim(text));
  for (char& c : normalised) {
    if (c == ',') c = '.';
  }
  std::string_view digits = normalised;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.front() == '+') {
    return std::nullopt;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string FormatSigned(std::int32_t value) { return std::to_string(value); }
std::string FormatUnsigned(std::int32_t value) { return std::to_string(static_cast<std::uint32_t>(value)); }

// Up to 15 significant digits without trailing zeros (30.3, not 30.300000),
// with a point whatever the user's locale.
std::string FormatGeneral15(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::string FormatFixed1(double value) {
  char buffer[400];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(prefix[i]);
    const auto lowerA = (a >= 'A' && a <= 'Z') ? a + ('a' - 'A') : a;
    const auto lowerB = (b >= 'A' && b <= 'Z') ? b + ('a' - 'A') : b;
    if (lowerA != lowerB) return false;
  }
  return true;
}

// An unknown command-line word longer than this many characters is shown
// cut, followed by an ellipsis: a message box sized for a 128 KiB word would
// be taller than any screen.
constexpr std::size_t kShownWordCharacters = 60;

std::string ShownWord(std::string_view word) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if ((static_cast<unsigned char>(word[i]) & 0xC0) == 0x80) continue;  // inside a UTF-8 sequence
    if (characters++ == kShownWordCharacters) return std::string(word.substr(0, i)) + "…";
  }
  return std::string(word);
}

constexpr std::string_view kTooLong = "Veuillez entrer au plus 6 caractères.";
constexpr std::string_view kNotANumber = "Veuillez entrer un nombre.";

}  // namespace

std::string OutOfRangeMessage(std::int64_t low, std::int64_t high) {
  return "Veuillez entrer un nombre entier compris entre " + std::to_string(low) + " et " + std::to_string(high) +
         ".";
}

std::string JoinArguments(std::span<const std::string> arguments) {
  std::string line;
  for (const auto& argument : arguments) {
    if (!line.empty() || &argument != arguments.data()) line += ' ';
    line += argument;
  }
  return line;
}

BearingContext::BearingContext(ProfileStore& store, std::string_view commandLine, MessageSink unownedMessage)
    : configuration_(LoadConfiguration(store)),
      ports_(LoadPortMap(store)),
      store_(store),
      unownedMessage_(std::move(unownedMessage)) {
  rotator_.Reconfigure(configuration_, ports_);
  rotator_.SetFailureCallback(
      [this](std::string_view text, std::string_view caption) { ShowMessage(text, caption); });
  local_.locator = store_.Read(keys::kLocalLocator);
  correspondent_.locator = store_.Read(keys::kCorrespondentLocator);
  if (!store_.StartupProblem().empty() && unownedMessage_) unownedMessage_(store_.StartupProblem(), kSettingsCaption);
  ParseCommandLine(commandLine);
  gpsUse_.store(true);
}

BearingContext::~BearingContext() {
  rotator_.SetFailureCallback(nullptr);
  SaveProfile();
}

void BearingContext::ParseCommandLine(std::string_view commandLine) {
  constexpr std::string_view kLocalPrefix = "local=";
  constexpr std::string_view kDestPrefix = "dest=";
  std::size_t position = 0;
  while (position < commandLine.size()) {
    if (commandLine[position] == ' ') {
      ++position;
      continue;
    }
    const auto end = std::min(commandLine.find(' ', position), commandLine.size());
    const std::string_view token = commandLine.substr(position, end - position);
    position = end;
    if (StartsWithNoCase(token, kLocalPrefix)) {
      local_.locator = std::string(token.substr(kLocalPrefix.size()));
    } else if (StartsWithNoCase(token, kDestPrefix)) {
      correspondent_.locator = std::string(token.substr(kDestPrefix.size()));
    } else if (unownedMessage_) {
      unownedMessage_(ShownWord(token), kUnknownArgumentCaption);
    }
  }
}

void BearingContext::InitDialog(View& view) {
  view_ = &view;
  UpdateData(false);
  headingDeg_ = 0;
  LocatorCommit(Station::kLocal);
  LocatorCommit(Station::kCorrespondent);
  stop_.store(false);
}

void BearingContext::OnDestroy() {
  stop_.store(true);
  view_ = nullptr;
  rotator_.Close();
  if (sleeper_) {
    sleeper_(kShutdownPause);
  } else {
    std::this_thread::sleep_for(kShutdownPause);
  }
}

bool BearingContext::SaveProfile() {
  if (saved_) return true;
  saved_ = true;
  store_.Write(keys::kLocalLocator, local_.locator);
  store_.Write(keys::kCorrespondentLocator, correspondent_.locator);
  SaveConfiguration(store_, configuration_);
  return store_.Flush();
}

void BearingContext::SetConfiguration(const Configuration& configuration) {
  configuration_ = configuration;
  rotator_.Reconfigure(configuration_, ports_);
}

void BearingContext::ShowMessage(std::string_view text, std::string_view caption) {
  if (view_ != nullptr) {
    view_->ShowMessage(text, caption);
  } else if (unownedMessage_) {
    unownedMessage_(text, caption);
  }
}

void BearingContext::DrawNeedle() {
  if (view_ != nullptr) view_->DrawNeedle(result_.relativeAzimuthDeg, false);
}

bool BearingContext::UpdateData(bool save) {
  if (view_ == nullptr) return false;
  View& view = *view_;
  FlagGuard exchange(inExchange_);

  enum class Kind { kInt, kText, kList, kNumber };
  struct Row {
    int id;
    Kind kind;
    std::int32_t* intMember = nullptr;
    std::string* textMember = nullptr;
    std::int32_t low = 0;
    std::int32_t high = 0;
    bool rangeChecked = false;
  };
  auto ranged = [](int id, std::int32_t& member, std::int32_t high) {
    return Row{id, Kind::kInt, &member, nullptr, 0, high, true};
  };
  auto integer = [](int id, std::int32_t& member) { return Row{id, Kind::kInt, &member}; };
  auto list = [](int id, std::int32_t& member) { return Row{id, Kind::kList, &member}; };
  auto text = [](int id, std::string& member) { return Row{id, Kind::kText, nullptr, &member}; };

  AngleDms& localLat = local_.position.latitude;
  AngleDms& localLon = local_.position.longitude;
  AngleDms& corrLat = correspondent_.position.latitude;
  AngleDms& corrLon = correspondent_.position.longitude;
  const Row rows[] = {
      ranged(ctl::kLocalLonDeg, localLon.degrees, 359),
      ranged(ctl::kLocalLatSec, localLat.seconds, 59),
      ranged(ctl::kLocalLatMin, localLat.minutes, 59),
      ranged(ctl::kLocalLatDeg, localLat.degrees, 89),
      ranged(ctl::kLocalLonMin, localLon.minutes, 59),
      ranged(ctl::kLocalLonSec, localLon.seconds, 59),
      text(ctl::kLocalLocator, local_.locator),
      ranged(ctl::kHeading, headingDeg_, 360),
      text(ctl::kCorrLocator, correspondent_.locator),
      ranged(ctl::kCorrLatDeg, corrLat.degrees, 89),
      ranged(ctl::kCorrLatMin, corrLat.minutes, 59),
      ranged(ctl::kCorrLatSec, corrLat.seconds, 59),
      ranged(ctl::kCorrLonDeg, corrLon.degrees, 359),
      ranged(ctl::kCorrLonMin, corrLon.minutes, 59),
      ranged(ctl::kCorrLonSec, corrLon.seconds, 59),
      integer(ctl::kRelativeAzimuth, result_.relativeAzimuthDeg),
      integer(ctl::kReverseAzimuth, result_.reverseAzimuthDeg),
      list(ctl::kLocalLonHemisphere, localLon.hemisphere),
      list(ctl::kLocalLatHemisphere, localLat.hemisphere),
      list(ctl::kCorrLatHemisphere, corrLat.hemisphere),
      list(ctl::kCorrLonHemisphere, corrLon.hemisphere),
      Row{ctl::kDistance, Kind::kNumber},
      integer(ctl::kTrueAzimuth, result_.trueAzimuthDeg),
  };

  if (!save) {
    for (const Row& row : rows) {
      switch (row.kind) {
        case Kind::kInt: view.SetText(row.id, FormatSigned(*row.intMember)); break;
        case Kind::kText: view.SetText(row.id, *row.textMember); break;
        case Kind::kList: view.SetSelection(row.id, *row.intMember); break;
        case Kind::kNumber: view.SetText(row.id, FormatGeneral15(result_.distanceKm)); break;
      }
    }
    return true;
  }

  for (const Row& row : rows) {
    std::string failure;
    switch (row.kind) {
      case Kind::kInt: {
        const auto value = ParseInt(view.Text(row.id));
        if (!value) {
          failure = kNotAnIntegerMessage;
          break;
        }
        *row.intMember = *value;
        if (row.rangeChecked && (*value < row.low || *value > row.high)) failure = OutOfRangeMessage(row.low, row.high);
        break;
      }
      case Kind::kText:
        *row.textMember = view.Text(row.id);
        if (CharacterCount(*row.textMember) > kLocatorLength) failure = kTooLong;
        break;
      case Kind::kList:
        *row.intMember = view.Selection(row.id);
        break;
      case Kind::kNumber: {
        const auto value = ParseNumber(view.Text(row.id));
        if (value) {
          result_.distanceKm = *value;
        } else {
          failure = kNotANumber;
        }
        break;
      }
    }
    if (!failure.empty()) {
      view.ShowMessage(failure, kValidationCaption);
      view.Focus(row.id, true);
      return false;
    }
  }
  return true;
}

bool BearingContext::ComputeBearing() {
  const bool reached = quarbe::ComputeBearing(local_.position, correspondent_.position, headingDeg_, result_);
  if (reached) rotator_.Write(result_.relativeAzimuthDeg);
  return reached;
}

bool BearingContext::BeginCommit() {
  return view_ != nullptr && !stop_.load() && !inExchange_ && !inCommit_;
}

void BearingContext::CommitLocalLocator() {
  if (!BeginCommit()) return;
  FlagGuard commit(inCommit_);
  if (!UpdateData(true)) return;
  LocatorCommit(Station::kLocal);
}

void BearingContext::CommitCorrespondentLocator() {
  if (!BeginCommit()) return;
  FlagGuard commit(inCommit_);
  if (!UpdateData(true)) return;
  LocatorCommit(Station::kCorrespondent);
}

void BearingContext::CommitLocalCoordinates() { CommitCoordinates(Station::kLocal); }

void BearingContext::CommitCorrespondentCoordinates() { CommitCoordinates(Station::kCorrespondent); }

void BearingContext::CommitCoordinates(Station station) {
  if (!BeginCommit()) return;
  FlagGuard commit(inCommit_);
  if (!UpdateData(true)) return;
  StationRecord& record = StationFor(station);
  record.locator = EncodeLocator(record.position);
  ComputeBearing();
  DrawNeedle();
  UpdateData(false);
}

void BearingContext::CommitHeading() {
  if (!BeginCommit()) return;
  FlagGuard commit(inCommit_);
  if (!UpdateData(true)) return;
  ComputeBearing();
  DrawNeedle();
  UpdateData(false);
}

void BearingContext::ToggleGps() {
  if (view_ == nullptr) return;
  gpsUse_.store(view_->Checked(ctl::kGpsCheck));
  ApplyGpsLock(gpsUse_.load());
}

void BearingContext::LocatorCommit(Station station) {
  StationRecord& record = StationFor(station);
  const DecodedLocator decoded = DecodeLocator(record.locator);
  if (const auto* error = std::get_if<LocatorError>(&decoded)) {
    ShowMessage(LocatorErrorMessage(*error), kLocatorErrorCaption);
    return;
  }
  // Already in that sub-square: keep the exact coordinates and leave the
  // field as typed.
  if (EncodeLocator(record.position) == record.locator) return;
  record.position = std::get<Position>(decoded);
  ComputeBearing();
  DrawNeedle();
  UpdateData(false);
}

void BearingContext::ApplyGpsLock(bool on) {
  if (view_ == nullptr) return;
  View& view = *view_;
  view.SetChecked(ctl::kGpsCheck, on);
  for (const int id : {ctl::kLocalLocator, ctl::kLocalLatDeg, ctl::kLocalLatMin, ctl::kLocalLatSec, ctl::kLocalLonDeg,
                       ctl::kLocalLonMin, ctl::kLocalLonSec, ctl::kHeading}) {
    view.SetEnabled(id, !on);
    view.SetReadOnly(id, on);
  }
  view.Repaint(ctl::kHeading);
  for (const int id : {ctl::kLocalLatHemisphere, ctl::kLocalLonHemisphere}) {
    view.SetEnabled(id, !on);
    view.Repaint(id);
  }
}

void BearingContext::OnGpsFix() {
  if (view_ == nullptr) return;
  View& view = *view_;
  {
    // Writing the fields is an exchange: a list reporting its new selection
    // must not start a commit.
    FlagGuard exchange(inExchange_);
    const AngleDms& lat = local_.position.latitude;
    const AngleDms& lon = local_.position.longitude;
    view.SetText(ctl::kLocalLatDeg, FormatUnsigned(lat.degrees));
    view.SetText(ctl::kLocalLatMin, FormatUnsigned(lat.minutes));
    view.SetText(ctl::kLocalLatSec, FormatUnsigned(lat.seconds));
    view.SetText(ctl::kLocalLonDeg, FormatUnsigned(lon.degrees));
    view.SetText(ctl::kLocalLonMin, FormatUnsigned(lon.minutes));
    view.SetText(ctl::kLocalLonSec, FormatUnsigned(lon.seconds));
    view.SetText(ctl::kLocalLocator, local_.locator);
    view.SetText(ctl::kDistance, FormatFixed1(result_.distanceKm));
    view.SetText(ctl::kHeading, FormatSigned(headingDeg_));
    view.SetText(ctl::kReverseAzimuth, FormatSigned(result_.reverseAzimuthDeg));
    view.SetText(ctl::kRelativeAzimuth, FormatSigned(result_.relativeAzimuthDeg));
    view.SetText(ctl::kTrueAzimuth, FormatSigned(result_.trueAzimuthDeg));
    view.SetSelection(ctl::kLocalLatHemisphere, lat.hemisphere);
    view.SetSelection(ctl::kLocalLonHemisphere, lon.hemisphere);
  }
  DrawNeedle();
  if (!firstFixSeen_) {
    // Only now, with the fix on screen: locking the focused local field or
    // moving the focus makes the window commit that field, which must read
    // the fix back, not the values it showed before.
    firstFixSeen_ = true;
    view.SetEnabled(ctl::kGpsCheck, true);
    ApplyGpsLock(true);
    view.Repaint(ctl::kGpsCheck);
    view.Focus(ctl::kCorrLocator, false);
  }
}

bool BearingContext::ApplyGpsFix(const Position& position, std::int32_t courseDeg) {
  if (!gpsUse_.load()) return false;
  local_.position = position;
  local_.locator = EncodeLocator(local_.position);
  headingDeg_ = courseDeg;
  ComputeBearing();
  if (!stop_.load()) OnGpsFix();
  return true;
}

}  // namespace quarbe
