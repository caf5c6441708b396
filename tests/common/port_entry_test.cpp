// The [Ports] entries: device paths, gpsd and Hamlib rotators, and what is
// said about an entry that cannot be read.
#include "common/port_entry.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quarbe
