#include "common/port_entry.h"

#include <optional>
#include <utility>

namespace quarbe {
namespace {

constexpr std::string_view kGpsdKeyword = "gpsd";
constexpr std::string_view kHamlibKeyword = "hamlib";
// Above any serial line speed; keeps the number far from overflow.
constexpr std::int64_t kMaxSpeedBaud = 100'000'000;
constexpr std::int64_t kMaxHamlibModel = 1'000'000;

bool EqualsNoCase(std::string_view text, std::string_view lowerKeyword) {
  if (text.size() != lowerKeyword.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerKeyword[i]) return false;
  }
  return true;
}

// The keyword before the first ':' (or the whole entry), when it is one.
bool HasKeyword(std::string_view entry, std::string_view keyword) {
  return EqualsNoCase(entry.substr(0, entry.find(':')), keyword);
}

// A decimal number of 1 to 9 digits within [1, max]; nothing else.
std::optional<std::int64_t> PositiveNumber(std::string_view text, std::int64_t max) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > max) return std::nullopt;
  return value;
}

// Whether `text` holds a ':' outside square brackets (a HOST:PORT).
bool HasPortSeparator(std::string_view text) {
  bool inBrackets = false;
  for (char c : text) {
    if (c == '[') inBrackets = true;
    if (c == ']') inBrackets = false;
    if (c == ':' && !inBrackets) return true;
  }
  return false;
}

GpsPortEntry ParseGpsd(std::string_view entry) {
  if (entry.size() == kGpsdKeyword.size()) return GpsdAddress{};
  const std::string_view rest = entry.substr(kGpsdKeyword.size() + 1);
  const std::size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos) return PortEntryError{PortEntryError::Problem::kMissingGpsdPort};
  std::string_view host = rest.substr(0, colon);
  const std::string_view port = rest.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) return PortEntryError{PortEntryError::Problem::kMissingGpsdHost};
  if (!PositiveNumber(port, kMaxTcpPort)) return PortEntryError{PortEntryError::Problem::kBadGpsdPort, std::string(port)};
  return GpsdAddress{std::string(host), std::string(port)};
}

// "NAME=VALUE,NAME=VALUE": names of letters, digits and '_' as Hamlib's
// are, values not empty.
std::variant<std::vector<HamlibSetting>, PortEntryError> ParseSettings(std::string_view text) {
  std::vector<HamlibSetting> settings;
  for (;;) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    const std::size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const bool nameOk = !name.empty() && name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") ==
                                             std::string_view::npos;
    if (equals == std::string_view::npos || !nameOk || equals + 1 == item.size()) {
      return PortEntryError{PortEntryError::Problem::kBadHamlibSetting, std::string(item)};
    }
    settings.push_back(HamlibSetting{std::string(name), std::string(item.substr(equals + 1))});
    if (comma == std::string_view::npos) return settings;
    text.remove_prefix(comma + 1);
  }
}

RotatorPortEntry ParseHamlib(std::string_view entry) {
  if (entry.size() == kHamlibKeyword.size()) {
    return PortEntryError{PortEntryError::Problem::kMissingModelAndDevice};
  }
  const std::string_view rest = entry.substr(kHamlibKeyword.size() + 1);
  const std::size_t modelEnd = rest.find(':');
  const std::string_view modelText = rest.substr(0, modelEnd);
  const auto model = PositiveNumber(modelText, kMaxHamlibModel);
  if (!model) return PortEntryError{PortEntryError::Problem::kBadModel, std::string(modelText)};
  std::string_view device = modelEnd == std::string_view::npos ? std::string_view{} : rest.substr(modelEnd + 1);
  // Settings come last, and only they hold a '='.
  std::vector<HamlibSetting> settings;
  if (const std::size_t colon = device.rfind(':');
      colon != std::string_view::npos && device.find('=', colon) != std::string_view::npos) {
    auto parsed = ParseSettings(device.substr(colon + 1));
    if (const auto* error = std::get_if<PortEntryError>(&parsed)) return *error;
    settings = std::move(std::get<std::vector<HamlibSetting>>(parsed));
    device = device.substr(0, colon);
  }
  std::int32_t speedBaud = 0;
  // A trailing ":digits" is the speed when what comes before it is a path
  // or still a HOST:PORT; "localhost:4533" alone is a daemon's address.
  if (const std::size_t colon = device.rfind(':'); colon != std::string_view::npos) {
    const std::string_view head = device.substr(0, colon);
    const std::string_view tail = device.substr(colon + 1);
    const bool digits = !tail.empty() && tail.find_first_not_of("0123456789") == std::string_view::npos;
    if (digits && !head.empty() && (head.front() == '/' || HasPortSeparator(head))) {
      const auto speed = PositiveNumber(tail, kMaxSpeedBaud);
      if (!speed) return PortEntryError{PortEntryError::Problem::kBadSpeed, std::string(tail)};
      speedBaud = static_cast<std::int32_t>(*speed);
      device = head;
    }
  }
  if (device.empty()) return PortEntryError{PortEntryError::Problem::kMissingDevice};
  return HamlibAddress{static_cast<int>(*model), std::string(device), speedBaud, std::move(settings)};
}

}  // namespace

GpsPortEntry ParseGpsPortEntry(std::string_view entry) {
  if (HasKeyword(entry, kGpsdKeyword)) return ParseGpsd(entry);
  if (HasKeyword(entry, kHamlibKeyword)) return PortEntryError{PortEntryError::Problem::kHamlibForGps};
  return DevicePath{std::string(entry)};
}

RotatorPortEntry ParseRotatorPortEntry(std::string_view entry) {
  if (HasKeyword(entry, kHamlibKeyword)) return ParseHamlib(entry);
  if (HasKeyword(entry, kGpsdKeyword)) return PortEntryError{PortEntryError::Problem::kGpsdForRotator};
  return DevicePath{std::string(entry)};
}

std::string GpsdAddressText(const GpsdAddress& address) {
  const bool literalV6 = address.host.find(':') != std::string::npos;
  return (literalV6 ? "[" + address.host + "]" : address.host) + ":" + address.port;
}

}  // namespace quarbe
