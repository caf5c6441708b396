#include "context/profile_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "temp_dir.h"

namespace quarbe {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class ProfileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }
  std::string Ini() const { return dir_.File("quarbe.ini"); }
  TempDir dir_;
};

TEST_F(ProfileStoreTest, MissingFileGivesEveryDefault) {
  const ProfileStore store(Ini());
  EXPECT_EQ(store.Read(keys::kLocalLocator), "JN18AP");
  EXPECT_EQ(store.Read(keys::kCorrespondentLocator), "JN08WV");
  const Configuration configuration = LoadConfiguration(store);
  EXPECT_EQ(configuration, Configuration{});
  EXPECT_EQ(configuration.gpsPort, 1);
  EXPECT_EQ(configuration.rotatorPort, 1);
  EXPECT_EQ(configuration.rotationSense, kSenseInverse);
  EXPECT_EQ(configuration.endStopDeg, 180u);
  EXPECT_EQ(configuration.endStopChoice, EndStopChoice::kSouth);
  EXPECT_EQ(configuration.picturePath, "mobile.emf");
  EXPECT_EQ(LoadPortMap(store).gpsBaud, 4800);
}

TEST_F(ProfileStoreTest, EveryKeyRoundTrips) {
  Configuration written;
  written.gpsPort = 3;
  written.rotatorPort = 2;
  written.rotationSense = kSenseClockwise;
  written.endStopDeg = 90;
  written.endStopChoice = EndStopChoice::kOther;
  written.picturePath = "/home/op/Compas été, n°2.emf";
  {
    ProfileStore store(Ini());
    store.Write(keys::kLocalLocator, "io91wm");
    store.Write(keys::kCorrespondentLocator, "JN18APXX");
    SaveConfiguration(store, written);
    EXPECT_TRUE(store.Flush());
  }
  const ProfileStore store(Ini());
  EXPECT_EQ(store.Read(keys::kLocalLocator), "io91wm");
  EXPECT_EQ(store.Read(keys::kCorrespondentLocator), "JN18APXX");
  EXPECT_EQ(LoadConfiguration(store), written);
}

struct IntCase {
  const char* name;
  const char* fileValue;
  std::int32_t expected;
  friend void PrintTo(const IntCase& c, std::ostream* os) { *os << c.name; }
};

class ProfileIntTest : public ProfileStoreTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(ProfileIntTest, ReadsWholeNumbersElseDefault) {
  WriteFile(Ini(), std::string("[Moteur]\nRotation=") + GetParam().fileValue + "\n");
  const ProfileStore store(Ini());
  EXPECT_EQ(store.Read(keys::kRotationSense), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, ProfileIntTest,
                         ::testing::Values(IntCase{"Zero", "0", 0}, IntCase{"Negative", "-7", -7},
                                           IntCase{"Spaces", "  12  ", 12}, IntCase{"Word", "abc", 1},
                                           IntCase{"Empty", "", 1}, IntCase{"TrailingJunk", "12abc", 1},
                                           IntCase{"Decimal", "1.5", 1}, IntCase{"Overflow", "99999999999", 1},
                                           IntCase{"List", "1,2", 1}, IntCase{"Largest", "2147483647", 2147483647}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ProfileStoreTest, HandWrittenUtf8EndStopKeyIsRead) {
  WriteFile(Ini(), "[Moteur]\nButée=90\n");
  {
    ProfileStore store(Ini());
    const Configuration configuration = LoadConfiguration(store);
    EXPECT_EQ(configuration.endStopDeg, 90u);
    EXPECT_EQ(configuration.endStopChoice, EndStopChoice::kOther);
    store.Write(keys::kEndStop, 45);
    EXPECT_TRUE(store.Flush());
  }
  // The key is rewritten once, in its escaped spelling, and reads back.
  const std::string content = ReadFile(Ini());
  EXPECT_NE(content.find("But%E9e=45"), std::string::npos) << content;
  EXPECT_EQ(content.find("Butée"), std::string::npos) << content;
  EXPECT_EQ(LoadConfiguration(ProfileStore(Ini())).endStopDeg, 45u);
}

TEST_F(ProfileStoreTest, ForeignSectionsAndKeysSurviveAWrite) {
  WriteFile(Ini(), "[Ports]\nLPT1=/tmp/lpt\nVitesse=9600\n[Moteur]\nPort=2\nCouleur=rouge\n[Autre]\nx=1\n");
  {
    ProfileStore store(Ini());
    SaveConfiguration(store, Configuration{});
    store.Write(keys::kLocalLocator, "JN18AP");
    EXPECT_TRUE(store.Flush());
  }
  const ProfileStore store(Ini());
  EXPECT_EQ(store.GetProfileString("Moteur", "Couleur", ""), "rouge");
  EXPECT_EQ(store.GetProfileInt("Autre", "x", 0), 1);
  EXPECT_EQ(store.Read(keys::kRotatorPort), 1);
  const PortMap ports = LoadPortMap(store);
  EXPECT_EQ(ports.parallel[0], "/tmp/lpt");
  EXPECT_EQ(ports.gpsBaud, 9600);
}

TEST_F(ProfileStoreTest, PortsSectionIsNeverWritten) {
  {
    ProfileStore store(Ini());
    (void)LoadPortMap(store);
    SaveConfiguration(store, Configuration{});
    EXPECT_TRUE(store.Flush());
  }
  EXPECT_EQ(ReadFile(Ini()).find("[Ports]"), std::string::npos);
}

TEST_F(ProfileStoreTest, WriteReplacesTheFileAtomically) {
  WriteFile(Ini(), "[Contexte]\nLocal=JN18AP\n");
  struct stat before {};
  ASSERT_EQ(::stat(Ini().c_str(), &before), 0);
  {
    ProfileStore store(Ini());
    store.Write(keys::kLocalLocator, "IO91WM");
    EXPECT_TRUE(store.Flush());
  }
  struct stat after {};
  ASSERT_EQ(::stat(Ini().c_str(), &after), 0);
  // A new inode: the content went to a temporary file renamed over the old.
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ(ProfileStore(Ini()).Read(keys::kLocalLocator), "IO91WM");
}

TEST_F(ProfileStoreTest, UnwritableLocationIsIgnored) {
  WriteFile(dir_.File("plain"), "x");
  const std::string impossible = dir_.File("plain") + "/quarbe.ini";
  ProfileStore store(impossible);
  EXPECT_EQ(store.Read(keys::kLocalLocator), "JN18AP");
  store.Write(keys::kLocalLocator, "IO91WM");
  EXPECT_FALSE(store.Flush());
  EXPECT_EQ(ReadFile(dir_.File("plain")), "x");
}

TEST_F(ProfileStoreTest, ReadOnlyFileIsLeftIntact) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
  const std::string original = "[Contexte]\nLocal=FN31PR\n";
  WriteFile(Ini(), original);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0500), 0);
  ASSERT_EQ(::chmod(Ini().c_str(), 0400), 0);
  {
    ProfileStore store(Ini());
    EXPECT_EQ(store.Read(keys::kLocalLocator), "FN31PR");
    store.Write(keys::kLocalLocator, "IO91WM");
    EXPECT_FALSE(store.Flush());
  }
  ::chmod(dir_.path().c_str(), 0700);
  EXPECT_EQ(ReadFile(Ini()), original);
}

TEST_F(ProfileStoreTest, GarbageFileGivesDefaults) {
  WriteFile(Ini(), std::string("\x01\x02\xff\xfe garbage\n[[[\n=\n[Moteur\nPort=\"unterminated\n") +
                       "[GPS]\nPort=COM1\n[Moteur]\nButée=beaucoup\nRotation=\n[Contexte]\n");
  const ProfileStore store(Ini());
  EXPECT_EQ(LoadConfiguration(store), Configuration{});
  EXPECT_EQ(store.Read(keys::kLocalLocator), "JN18AP");
}

struct BaudCase {
  const char* name;
  const char* line;  // "" for no Vitesse key
  int expected;
  friend void PrintTo(const BaudCase& c, std::ostream* os) { *os << c.name; }
};

class PortMapBaudTest : public ProfileStoreTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(PortMapBaudTest, UnsupportedSpeedFallsBackTo4800) {
  WriteFile(Ini(), std::string("[Ports]\n") + GetParam().line + "\n");
  EXPECT_EQ(LoadPortMap(ProfileStore(Ini())).gpsBaud, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Speeds, PortMapBaudTest,
                         ::testing::Values(BaudCase{"Missing", "", 4800}, BaudCase{"Nmea", "Vitesse=4800", 4800},
                                           BaudCase{"Usb9600", "Vitesse=9600", 9600},
                                           BaudCase{"Fast", "Vitesse=115200", 115200},
                                           BaudCase{"WithComment", "Vitesse=9600   ; USB receiver", 9600},
                                           BaudCase{"Odd", "Vitesse=1234", 4800}, BaudCase{"Zero", "Vitesse=0", 4800},
                                           BaudCase{"Word", "Vitesse=rapide", 4800}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ProfileStoreTest, PortsSectionMapsDevices) {
  WriteFile(Ini(), "[Ports]\nCOM1=/dev/ttyUSB0\nCOM4=/dev/ttyACM0\nLPT2=\nLPT3=/tmp/fifo\n");
  const PortMap ports = LoadPortMap(ProfileStore(Ini()));
  EXPECT_EQ(ports.SerialDevice(1), "/dev/ttyUSB0");
  EXPECT_EQ(ports.SerialDevice(2), "/dev/ttyS1");
  EXPECT_EQ(ports.SerialDevice(4), "/dev/ttyACM0");
  EXPECT_EQ(ports.SerialDevice(6), "/dev/ttyS5");
  EXPECT_EQ(ports.ParallelDevice(1), "/dev/parport0");
  EXPECT_EQ(ports.ParallelDevice(2), "/dev/parport1");
  EXPECT_EQ(ports.ParallelDevice(3), "/tmp/fifo");
  EXPECT_EQ(ports.ParallelDevice(4), "");
}

// Sets or clears an environment variable for the test's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProfileStorePath, FollowsXdgConfigHome) {
  ScopedEnv home("HOME", "/home/op");
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/conf");
    EXPECT_EQ(ProfileStore::DefaultPath(), "/srv/conf/quarbe.ini");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(ProfileStore::DefaultPath(), "/home/op/.config/quarbe.ini");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/conf");
    EXPECT_EQ(ProfileStore::DefaultPath(), "/home/op/.config/quarbe.ini");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "");
    EXPECT_EQ(ProfileStore::DefaultPath(), "/home/op/.config/quarbe.ini");
  }
}

}  // namespace
}  // namespace quarbe
