// The [Ports] entries: device paths, gpsd and Hamlib rotators, and what is
// said about an entry that cannot be read.
#include "common/port_entry.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace quarbe {
namespace {

struct GpsCase {
  const char* entry;
  GpsPortEntry expected;
};
void PrintTo(const GpsCase& row, std::ostream* out) { *out << row.entry; }

class GpsEntryTest : public testing::TestWithParam<GpsCase> {};

TEST_P(GpsEntryTest, Parses) { EXPECT_EQ(ParseGpsPortEntry(GetParam().entry), GetParam().expected); }

const std::string kGpsdForm = " ; la forme est gpsd ou gpsd:HÔTE:PORT";

INSTANTIATE_TEST_SUITE_P(
    Entries, GpsEntryTest,
    testing::Values(GpsCase{"/dev/ttyUSB0", DevicePath{"/dev/ttyUSB0"}}, GpsCase{"", DevicePath{""}},
                    GpsCase{"gpsd", GpsdAddress{"localhost", "2947"}}, GpsCase{"GPSD", GpsdAddress{}},
                    GpsCase{"gpsd:car-pc.local:2948", GpsdAddress{"car-pc.local", "2948"}},
                    GpsCase{"gpsd:[::1]:2947", GpsdAddress{"::1", "2947"}},
                    GpsCase{"gpsd:localhost", PortEntryError{"il manque le port" + kGpsdForm}},
                    GpsCase{"gpsd::2947", PortEntryError{"il manque le nom de l'hôte" + kGpsdForm}},
                    GpsCase{"gpsd:localhost:70000", PortEntryError{"« 70000 » n'est pas un numéro de port (1 à 65535)"}},
                    GpsCase{"gpsd:localhost:", PortEntryError{"«  » n'est pas un numéro de port (1 à 65535)"}},
                    GpsCase{"hamlib:2:localhost:4533",
                            PortEntryError{"un rotateur Hamlib ne peut pas servir de GPS ; la forme est gpsd ou "
                                           "gpsd:HÔTE:PORT"}}));

struct RotatorCase {
  const char* entry;
  RotatorPortEntry expected;
};
void PrintTo(const RotatorCase& row, std::ostream* out) { *out << row.entry; }

class RotatorEntryTest : public testing::TestWithParam<RotatorCase> {};

TEST_P(RotatorEntryTest, Parses) { EXPECT_EQ(ParseRotatorPortEntry(GetParam().entry), GetParam().expected); }

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
        RotatorCase{"hamlib:GS232:/dev/ttyUSB0",
                    PortEntryError{"« GS232 » n'est pas un numéro de modèle Hamlib (rotctl -l les donne)"}},
        RotatorCase{"hamlib:603", PortEntryError{"il manque le périphérique" + kHamlibForm}},
        RotatorCase{"hamlib:603:/dev/ttyUSB0:0", PortEntryError{"« 0 » n'est pas une vitesse en bauds"}},
        RotatorCase{"hamlib", PortEntryError{"il manque le modèle et le périphérique" + kHamlibForm}},
        RotatorCase{"gpsd", PortEntryError{"gpsd ne commande pas de rotateur" + kHamlibForm}}));

}  // namespace
}  // namespace quarbe
