// The [Ports] entries: device paths, gpsd and Hamlib rotators, and what is
// said about an entry that cannot be read.
#include "common/port_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <ostream>
#include <string>
#include <variant>

#include "ui/operator_texts.h"

namespace quarbe {
namespace {

// An entry refused, with the reason the operator reads.
struct Refused {
  std::string reason;

  friend bool operator==(const Refused&, const Refused&) = default;
};
void PrintTo(const Refused& refused, std::ostream* out) { *out << "refused: " << refused.reason; }

// What was parsed, with a refusal as the words of its reason.
std::variant<DevicePath, GpsdAddress, Refused> Described(const GpsPortEntry& parsed) {
  if (const auto* error = std::get_if<PortEntryError>(&parsed)) return Refused{PortEntryReasonText(*error)};
  if (const auto* path = std::get_if<DevicePath>(&parsed)) return *path;
  return std::get<GpsdAddress>(parsed);
}
std::variant<DevicePath, HamlibAddress, Refused> Described(const RotatorPortEntry& parsed) {
  if (const auto* error = std::get_if<PortEntryError>(&parsed)) return Refused{PortEntryReasonText(*error)};
  if (const auto* path = std::get_if<DevicePath>(&parsed)) return *path;
  return std::get<HamlibAddress>(parsed);
}

struct GpsCase {
  const char* entry;
  std::variant<DevicePath, GpsdAddress, Refused> expected;
};
void PrintTo(const GpsCase& row, std::ostream* out) { *out << row.entry; }

class GpsEntryTest : public testing::TestWithParam<GpsCase> {};

TEST_P(GpsEntryTest, Parses) {
  EXPECT_EQ(Described(ParseGpsPortEntry(GetParam().entry)), GetParam().expected);
}

const std::string kGpsdForm = " ; la forme est gpsd ou gpsd:HÔTE:PORT";

INSTANTIATE_TEST_SUITE_P(
    Entries, GpsEntryTest,
    testing::Values(GpsCase{"/dev/ttyUSB0", DevicePath{"/dev/ttyUSB0"}}, GpsCase{"", DevicePath{""}},
                    GpsCase{"gpsd", GpsdAddress{"localhost", "2947"}}, GpsCase{"GPSD", GpsdAddress{}},
                    GpsCase{"gpsd:car-pc.local:2948", GpsdAddress{"car-pc.local", "2948"}},
                    GpsCase{"gpsd:[::1]:2947", GpsdAddress{"::1", "2947"}},
                    GpsCase{"gpsd:localhost", Refused{"il manque le port" + kGpsdForm}},
                    GpsCase{"gpsd::2947", Refused{"il manque le nom de l'hôte" + kGpsdForm}},
                    GpsCase{"gpsd:localhost:70000", Refused{"« 70000 » n'est pas un numéro de port (1 à 65535)"}},
                    GpsCase{"gpsd:localhost:", Refused{"«  » n'est pas un numéro de port (1 à 65535)"}},
                    GpsCase{"hamlib:2:localhost:4533",
                            Refused{"un rotateur Hamlib ne peut pas servir de GPS ; la forme est gpsd ou "
                                           "gpsd:HÔTE:PORT"}}));

struct RotatorCase {
  const char* entry;
  std::variant<DevicePath, HamlibAddress, Refused> expected;
};
void PrintTo(const RotatorCase& row, std::ostream* out) { *out << row.entry; }

class RotatorEntryTest : public testing::TestWithParam<RotatorCase> {};

TEST_P(RotatorEntryTest, Parses) {
  EXPECT_EQ(Described(ParseRotatorPortEntry(GetParam().entry)), GetParam().expected);
}

const std::string kHamlibForm =
    " ; la forme est hamlib:MODÈLE:PÉRIPHÉRIQUE ou hamlib:MODÈLE:PÉRIPHÉRIQUE:VITESSE";

INSTANTIATE_TEST_SUITE_P(
    Entries, RotatorEntryTest,
    testing::Values(
        RotatorCase{"/dev/parport0", DevicePath{"/dev/parport0"}},
        RotatorCase{"hamlib:2:localhost:4533", HamlibAddress{2, "localhost:4533", 0}},
        RotatorCase{"hamlib:2:[::1]:4533", HamlibAddress{2, "[::1]:4533", 0}},
        RotatorCase{"hamlib:603:/dev/ttyUSB0", HamlibAddress{603, "/dev/ttyUSB0", 0}},
        RotatorCase{"Hamlib:603:/dev/ttyUSB0:9600", HamlibAddress{603, "/dev/ttyUSB0", 9600}},
        RotatorCase{"hamlib:2:10.0.0.5:4533:9600", HamlibAddress{2, "10.0.0.5:4533", 9600}},
        // A colon inside a device's name is not a speed.
        RotatorCase{"hamlib:902:/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
                    HamlibAddress{902, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", 0}},
        // Hamlib settings after the device, with or without a speed.
        RotatorCase{"hamlib:603:/dev/ttyUSB0:9600:min_az=0,max_az=450",
                    HamlibAddress{603, "/dev/ttyUSB0", 9600, {{"min_az", "0"}, {"max_az", "450"}}}},
        RotatorCase{"hamlib:603:/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0:max_az=360",
                    HamlibAddress{603, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", 0, {{"max_az", "360"}}}},
        RotatorCase{"hamlib:603:/dev/ttyUSB0:9600:min_az=0,", Refused{"«  » n'est pas un réglage Hamlib de la forme "
                                                                       "NOM=VALEUR (min_az=0,max_az=450)"}},
        RotatorCase{"hamlib:603:/dev/ttyUSB0:max az=450", Refused{"« max az=450 » n'est pas un réglage Hamlib de la "
                                                                  "forme NOM=VALEUR (min_az=0,max_az=450)"}},
        RotatorCase{"hamlib:GS232:/dev/ttyUSB0",
                    Refused{"« GS232 » n'est pas un numéro de modèle Hamlib (rotctl -l les donne)"}},
        RotatorCase{"hamlib:603", Refused{"il manque le périphérique" + kHamlibForm}},
        RotatorCase{"hamlib:603:/dev/ttyUSB0:0", Refused{"« 0 » n'est pas une vitesse en bauds"}},
        RotatorCase{"hamlib", Refused{"il manque le modèle et le périphérique" + kHamlibForm}},
        RotatorCase{"gpsd", Refused{"gpsd ne commande pas de rotateur" + kHamlibForm}}));

// Whatever a message quotes from outside (a path, a [Ports] entry or a part
// of one, a host) is cut after 60 characters, never inside one, and kept on
// one line: a 1 MiB entry once made a box thousands of pixels tall.
TEST(QuotedText, IsCutAndKeptOnOneLine) {
  const std::string big = "é" + std::string(1 << 20, 'x');
  const std::string bigShown = "é" + std::string(59, 'x') + "…";
  const std::string strayBytes(1 << 20, '\x80');  // no character starts in it
  const std::string emoji = std::string(59, 'x') + "\xF0\x9F\x98\x80" + "tail";
  const struct {
    const char* what;
    std::string text;
    std::string quoted;
  } cases[] = {
      {"device", Word(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, big, ENOENT}}).text, bigShown},
      {"entry", Word(GpsOpenError{PortEntryFailure{"COM1", "gpsd:" + big, {PortEntryError::Problem::kMissingGpsdPort}}}).text,
       "gpsd:é" + std::string(54, 'x') + "…"},
      {"part", PortEntryReasonText(std::get<PortEntryError>(ParseRotatorPortEntry("hamlib:" + big + ":/dev/ttyS0"))),
       "« " + bigShown + " »"},
      {"gpsd host", Word(GpsOpenError{GpsdUnreachable{GpsdAddress{big, "2947"}}}).text, bigShown},
      {"Hamlib device", Word(RotatorFailure{HamlibFailure{HamlibFailure::Stage::kOpen, HamlibAddress{603, big, 0}}}).text,
       bigShown},
      {"settings read", Word(Message{SettingsNotRead{{big, {FileProblem::Kind::kFolder}}}}).text, bigShown},
      {"settings saved", WordSettingsNotSaved({big, {FileProblem::Kind::kFolder}}).text, bigShown},
      {"stray bytes", Word(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, strayBytes, ENOENT}}).text,
       std::string(60, '\x80') + "…"},
      {"four-byte character", Word(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, emoji, ENOENT}}).text,
       std::string(59, 'x') + "\xF0\x9F\x98\x80…"},
      {"control characters",
       Word(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, "/dev/tty\nUSB0\x1b[2J", ENOENT}}).text,
       "/dev/tty\uFFFDUSB0\uFFFD[2J"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(c.text.find(c.quoted), std::string::npos) << c.what << ": " << c.text.substr(0, 300);
    EXPECT_LT(c.text.size(), 400u) << c.what;
    // What the message says of its own (a hint after a blank line) aside.
    const std::string quoting = c.text.substr(0, c.text.find("\n\n"));
    EXPECT_EQ(std::count_if(quoting.begin(), quoting.end(), [](char ch) { return ch >= 0 && ch < 0x20; }), 0)
        << c.what;
  }
}

}  // namespace
}  // namespace quarbe
