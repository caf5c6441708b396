#include "context/profile_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>

#include "temp_dir.h"
#include "ui/operator_texts.h"

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
    EXPECT_EQ(LoadConfiguration(store), Configuration{});
    store.Write(keys::kLocalLocator, "io91wm");
    store.Write(keys::kCorrespondentLocator, "JN18APXX");
    SaveConfiguration(store, written);
    EXPECT_TRUE(store.Flush());
  }
  const ProfileStore store(Ini());
  EXPECT_EQ(store.Read(keys::kLocalLocator), "io91wm");
  EXPECT_EQ(store.Read(keys::kCorrespondentLocator), "JN18APXX");
  EXPECT_EQ(LoadConfiguration(store), written);
  EXPECT_EQ(ReadFile(Ini()).find("[Ports]"), std::string::npos);  // read-only section
  // A new end-stop key is spelt the way every earlier version reads it.
  EXPECT_NE(ReadFile(Ini()).find("\nBut%E9e=90\n"), std::string::npos);
}

struct IntCase {
  const char* fileValue;
  std::int32_t expected;
};

class ProfileIntTest : public ProfileStoreTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(ProfileIntTest, ReadsWholeNumbersElseDefault) {
  WriteFile(Ini(), std::string("[Moteur]\nRotation=") + GetParam().fileValue + "\n");
  EXPECT_EQ(ProfileStore(Ini()).Read(keys::kRotationSense), GetParam().expected) << GetParam().fileValue;
}

INSTANTIATE_TEST_SUITE_P(Values, ProfileIntTest,
                         ::testing::Values(IntCase{"0", 0}, IntCase{"-7", -7}, IntCase{"  12  ", 12},
                                           IntCase{"2147483647", 2147483647}, IntCase{"abc", 1}, IntCase{"", 1},
                                           IntCase{"12abc", 1}, IntCase{"1.5", 1}, IntCase{"99999999999", 1},
                                           IntCase{"1,2", 1}, IntCase{"\"unterminated", 1},
                                           IntCase{"\" 12 \"", 12}));

TEST_F(ProfileStoreTest, NegativeEndStopIsTheSameDirectionWithin360) {
  const std::pair<const char*, std::uint32_t> cases[] = {{"-10", 350}, {"-370", 350}, {"-360", 0}, {"400", 400}};
  for (const auto& [text, expected] : cases) {
    WriteFile(Ini(), std::string("[Moteur]\nBut%E9e=") + text + "\n");
    const Configuration configuration = LoadConfiguration(ProfileStore(Ini()));
    EXPECT_EQ(configuration.endStopDeg, expected) << text;
    EXPECT_EQ(configuration.endStopChoice, EndStopChoiceFor(expected)) << text;
  }
}

TEST_F(ProfileStoreTest, HandEditsAreKeptByteForByte) {
  // Comments, blank lines, spacing, a Latin-1 value, a non-UTF-8 path and
  // the end-stop key spelt in UTF-8, as an operator may leave them.
  WriteFile(Ini(),
            "; R\xc3\xa9glages de la voiture\n[Contexte]\nLocal = JN18AP   ; le v\xc3\xa9hicule\nCorres=JN08WV\n\n"
            "[Moteur]\nBut\xc3\xa9" "e=90\nName=caf\xe9\n[Compas]\nImage=/media/cl\xe9/jour.emf\n"
            "[Ports]\nCOM1=/dev/ttyUSB0 ; GPS USB\n");
  Configuration configuration;
  {
    ProfileStore store(Ini());
    configuration = LoadConfiguration(store);
    EXPECT_EQ(configuration.picturePath, "/media/cl\xe9/jour.emf");
    EXPECT_EQ(store.GetProfileString("Moteur", "Name", ""), "caf\xe9");
    store.Write(keys::kLocalLocator, "IO91WM");
    store.Write(keys::kCorrespondentLocator, "JN08WV");
    configuration.rotatorPort = 2;
    configuration.endStopDeg = 45;
    configuration.picturePath = "/media/cl\xe9/nuit.emf";
    SaveConfiguration(store, configuration);
    EXPECT_TRUE(store.Flush());
  }
  // Only the values written change; missing keys join their section, a
  // missing section comes at the end.
  EXPECT_EQ(ReadFile(Ini()),
            "; R\xc3\xa9glages de la voiture\n[Contexte]\nLocal = IO91WM   ; le v\xc3\xa9hicule\nCorres=JN08WV\n\n"
            "[Moteur]\nBut\xc3\xa9" "e=45\nName=caf\xe9\nPort=2\nRotation=1\n[Compas]\nImage=/media/cl\xe9/nuit.emf\n"
            "[Ports]\nCOM1=/dev/ttyUSB0 ; GPS USB\n\n[GPS]\nPort=1\n");
  const ProfileStore store(Ini());
  EXPECT_EQ(LoadConfiguration(store), configuration);
  EXPECT_EQ(store.Read(keys::kLocalLocator), "IO91WM");
}

// Files as editors and other programs leave them: a byte order mark, each
// kind of line end, the end-stop key in each spelling. Each must read, and
// after Local=FN31PR and an end stop of 90 are written keep all it had, with
// new lines ending as its own lines do.
struct FileFormCase {
  const char* name;
  std::string before;
  const char* local;  // as read
  std::int32_t endStopDeg;
  std::string after;
};

void PrintTo(const FileFormCase& row, std::ostream* out) { *out << row.name; }

class FileFormTest : public ProfileStoreTest, public ::testing::WithParamInterface<FileFormCase> {};

TEST_P(FileFormTest, ReadsAndKeepsTheFileForm) {
  const FileFormCase& c = GetParam();
  WriteFile(Ini(), c.before);
  {
    ProfileStore store(Ini());
    EXPECT_EQ(store.Read(keys::kLocalLocator), c.local);
    EXPECT_EQ(store.Read(keys::kEndStop), c.endStopDeg);
    store.Write(keys::kLocalLocator, "FN31PR");
    store.Write(keys::kEndStop, 90);
    EXPECT_TRUE(store.Flush());
  }
  EXPECT_EQ(ReadFile(Ini()), c.after);
}

const std::string kBom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Forms, FileFormTest,
    ::testing::Values(
        FileFormCase{"ByteOrderMark", kBom + "[Contexte]\nLocal=IO91WM\n[Moteur]\nBut%E9e=45\n", "IO91WM", 45,
                     kBom + "[Contexte]\nLocal=FN31PR\n[Moteur]\nBut%E9e=90\n"},
        FileFormCase{"ByteOrderMarkAlone", kBom, "JN18AP", 180,
                     kBom + "[Contexte]\nLocal=FN31PR\n\n[Moteur]\nBut%E9e=90\n"},
        FileFormCase{"LoneCrAndLatin1Key", "[Contexte]\rLocal=IO91WM\r[Moteur]\rBut\xE9" "e=45\r", "IO91WM", 45,
                     "[Contexte]\rLocal=FN31PR\r[Moteur]\rBut\xE9" "e=90\r"},
        FileFormCase{"LoneCrKeysAdded", "[Contexte]\rLocal=IO91WM", "IO91WM", 180,
                     "[Contexte]\rLocal=FN31PR\r\r[Moteur]\rBut%E9e=90\r"},
        FileFormCase{"CrLfAndUtf8Key", "[Moteur]\r\nBut\xC3\xA9" "e=45\r\n[Contexte]\r\nLocal=IO91WM\r\n", "IO91WM", 45,
                     "[Moteur]\r\nBut\xC3\xA9" "e=90\r\n[Contexte]\r\nLocal=FN31PR\r\n"},
        FileFormCase{"ByteOrderMarkCrLfKeyAdded", kBom + "[Moteur]\r\nPort=2\r\n[Contexte]\r\nLocal=IO91WM\r\n",
                     "IO91WM", 180, kBom + "[Moteur]\r\nPort=2\r\nBut%E9e=90\r\n[Contexte]\r\nLocal=FN31PR\r\n"}),
    [](const ::testing::TestParamInfo<FileFormCase>& row) { return std::string(row.param.name); });

// While the program runs, another program (or an editor) changes the file.
// At exit only what the program itself changed is applied to the file as it
// is then: the other's lines and values stay, a key the other removed comes
// back, and a file the program has nothing new for is not touched.
TEST_F(ProfileStoreTest, SaveAppliesOnlyTheProgramsChangesToTheFileAsItIsNow) {
  WriteFile(Ini(), "[Contexte]\nLocal=IO91WM\nCorres=JN08WV\n[GPS]\nPort=1\n[Moteur]\nPort=1\nRotation=1\n"
                   "But%E9e=180\n[Compas]\nImage=mobile.emf\n");
  {
    ProfileStore store(Ini());
    Configuration configuration = LoadConfiguration(store);
    const std::string correspondent = store.Read(keys::kCorrespondentLocator);
    WriteFile(Ini(), "; ajout\xc3\xa9 par un autre programme\n[Contexte]\nLocal=IO91WM\nCorres=QF56OD\n[GPS]\nPort=1\n"
                     "[Moteur]\nPort=1\nRotation=0\nBut%E9e=180\n[Ports]\nCOM1=/dev/ttyUSB0\n");
    store.Write(keys::kLocalLocator, "FN31PR");
    store.Write(keys::kCorrespondentLocator, correspondent);
    configuration.gpsPort = 2;
    SaveConfiguration(store, configuration);
    EXPECT_TRUE(store.Flush());
  }
  const std::string expected =
      "; ajout\xc3\xa9 par un autre programme\n[Contexte]\nLocal=FN31PR\nCorres=QF56OD\n[GPS]\nPort=2\n"
      "[Moteur]\nPort=1\nRotation=0\nBut%E9e=180\n[Ports]\nCOM1=/dev/ttyUSB0\n\n[Compas]\nImage=mobile.emf\n";
  EXPECT_EQ(ReadFile(Ini()), expected);

  struct stat before {};
  ASSERT_EQ(::stat(Ini().c_str(), &before), 0);
  {
    ProfileStore store(Ini());
    store.Write(keys::kLocalLocator, store.Read(keys::kLocalLocator));
    SaveConfiguration(store, LoadConfiguration(store));
    EXPECT_TRUE(store.Flush());
  }
  struct stat after {};
  ASSERT_EQ(::stat(Ini().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(ReadFile(Ini()), expected);
}

TEST_F(ProfileStoreTest, WriteIsAtomicAndKeepsForeignKeys) {
  WriteFile(Ini(), "[Ports]\nLPT1=/tmp/lpt\n[Moteur]\nPort=2\nCouleur=rouge\n[Autre]\nx=1\n");
  struct stat before {};
  ASSERT_EQ(::stat(Ini().c_str(), &before), 0);
  {
    ProfileStore store(Ini());
    SaveConfiguration(store, Configuration{});
    EXPECT_TRUE(store.Flush());
  }
  struct stat after {};
  ASSERT_EQ(::stat(Ini().c_str(), &after), 0);
  // A new inode: the content went to a temporary file renamed over the old.
  EXPECT_NE(before.st_ino, after.st_ino);
  const ProfileStore store(Ini());
  EXPECT_EQ(store.GetProfileString("Moteur", "Couleur", ""), "rouge");
  EXPECT_EQ(store.GetProfileInt("Autre", "x", 0), 1);
  EXPECT_EQ(store.Read(keys::kRotatorPort), 1);
  EXPECT_EQ(LoadPortMap(store).parallel[0], "/tmp/lpt");
}

TEST_F(ProfileStoreTest, FileThatIsNotReadOrWrittenIsReportedAndLeftAsItIs) {
  WriteFile(dir_.File("plain"), "x");
  ASSERT_EQ(::mkdir(dir_.File("folder.ini").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(dir_.File("fifo.ini").c_str(), 0600), 0);
  const struct {
    std::string path;
    const char* reason;
    bool readProblem;
  } cases[] = {
      {dir_.File("plain") + "/quarbe.ini", "un élément du chemin n'est pas un dossier", true},
      {dir_.File("folder.ini"), "c'est un dossier", true},
      // Opening a FIFO to read it would wait for a writer forever.
      {dir_.File("fifo.ini"), "c'est un tube nommé, pas un fichier ordinaire", true},
      {Ini(), "le fichier est en lecture seule", false},
  };
  // Made read-only by its owner: not replaced, even by root, whom the
  // permission bits do not stop.
  WriteFile(Ini(), "[Contexte]\nLocal=FN31PR\n");
  ASSERT_EQ(::chmod(Ini().c_str(), 0444), 0);
  for (const auto& c : cases) {
    ProfileStore store(c.path);
    EXPECT_EQ(store.StartupProblem().has_value(), c.readProblem) << c.path;
    if (c.readProblem) {
      EXPECT_EQ(Word(Message{SettingsNotRead{*store.StartupProblem()}}).text,
                "Le fichier de réglages " + c.path + " n'a pas été lu : " + c.reason +
                    ". Quarbe démarre avec les réglages par défaut.");
      EXPECT_EQ(LoadConfiguration(store), Configuration{});
    }
    store.Write(keys::kLocalLocator, "IO91WM");
    EXPECT_FALSE(store.Flush()) << c.path;
    ASSERT_TRUE(store.FlushProblem().has_value()) << c.path;
    EXPECT_EQ(WordSettingsNotSaved(*store.FlushProblem()).text,
              "Les réglages n'ont pas été enregistrés dans " + c.path + " : " + c.reason + ".");
  }
  struct stat info {};
  EXPECT_EQ(ReadFile(dir_.File("plain")), "x");
  EXPECT_TRUE(::stat(dir_.File("folder.ini").c_str(), &info) == 0 && S_ISDIR(info.st_mode));
  EXPECT_TRUE(::stat(dir_.File("fifo.ini").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
  EXPECT_EQ(ReadFile(Ini()), "[Contexte]\nLocal=FN31PR\n");
}

// A symbolic link at the settings path stays a link: the file it names is
// replaced, or made when it does not exist yet.
TEST_F(ProfileStoreTest, LinkStaysAndTheFileItNamesIsWritten) {
  ASSERT_EQ(::mkdir(dir_.File("real").c_str(), 0700), 0);
  WriteFile(dir_.File("real/kept.ini"), "[Moteur]\nPort=2 ; LPT2\n");
  const struct {
    const char* link;
    std::string target;  // as the link holds it
    std::string file;    // the file it names
    std::string after;
  } cases[] = {
      {"relative.ini", "real/new.ini", dir_.File("real/new.ini"), "[Contexte]\nLocal=IO91WM\n"},
      {"absolute.ini", dir_.File("real/other.ini"), dir_.File("real/other.ini"), "[Contexte]\nLocal=IO91WM\n"},
      {"chained.ini", "relative.ini", dir_.File("real/new.ini"), "[Contexte]\nLocal=FN31PR\n"},
      {"existing.ini", dir_.File("real/kept.ini"), dir_.File("real/kept.ini"),
       "[Moteur]\nPort=2 ; LPT2\n\n[Contexte]\nLocal=IO91WM\n"},
  };
  for (const auto& c : cases) {
    const std::string link = dir_.File(c.link);
    ASSERT_EQ(::symlink(c.target.c_str(), link.c_str()), 0) << c.link;
    {
      ProfileStore store(link);
      store.Write(keys::kLocalLocator, std::string(c.link) == "chained.ini" ? "FN31PR" : "IO91WM");
      EXPECT_TRUE(store.Flush()) << c.link;
    }
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0) << c.link;
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << c.link;
    EXPECT_EQ(ReadFile(c.file), c.after) << c.link;
  }
}

// Root saving a user's settings (sudo keeps HOME) leaves them the user's,
// with their permissions; a file root makes in the user's folder is the
// user's too.
TEST_F(ProfileStoreTest, ReplacedFileKeepsOwnerGroupAndPermissions) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  constexpr uid_t kUser = 4321;
  constexpr gid_t kGroup = 8765;
  const std::string folder = dir_.File("home");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chown(folder.c_str(), kUser, kGroup), 0);
  const std::string existing = folder + "/kept.ini";
  WriteFile(existing, "[Contexte]\nLocal=FN31PR\n");
  ASSERT_EQ(::chown(existing.c_str(), kUser, kGroup), 0);
  ASSERT_EQ(::chmod(existing.c_str(), 0620), 0);
  const std::string made = folder + "/made.ini";
  for (const std::string& path : {existing, made}) {
    {
      ProfileStore store(path);
      store.Write(keys::kLocalLocator, "IO91WM");
      EXPECT_TRUE(store.Flush()) << path;
    }
    EXPECT_EQ(ReadFile(path), "[Contexte]\nLocal=IO91WM\n") << path;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_uid, kUser) << path;
    EXPECT_EQ(info.st_gid, kGroup) << path;
  }
  struct stat info {};
  ASSERT_EQ(::stat(existing.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0620u);
}

struct BaudCase {
  const char* line;
  int expected;
};

class PortMapBaudTest : public ProfileStoreTest, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(PortMapBaudTest, UnsupportedSpeedFallsBackTo4800) {
  WriteFile(Ini(), std::string("[Ports]\n") + GetParam().line + "\n");
  EXPECT_EQ(LoadPortMap(ProfileStore(Ini())).gpsBaud, GetParam().expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(Speeds, PortMapBaudTest,
                         ::testing::Values(BaudCase{"", 4800}, BaudCase{"Vitesse=9600", 9600},
                                           BaudCase{"Vitesse=115200", 115200},
                                           BaudCase{"Vitesse=9600   ; USB receiver", 9600},
                                           BaudCase{"Vitesse=1234", 4800}, BaudCase{"Vitesse=0", 4800},
                                           BaudCase{"Vitesse=rapide", 4800}));

TEST_F(ProfileStoreTest, PortsSectionMapsDevices) {
  WriteFile(Ini(), "[Ports]\nCOM1=/dev/ttyUSB0\nCOM4=/dev/ttyACM0\nLPT2=\nLPT3=/tmp/fifo\n");
  const PortMap ports = LoadPortMap(ProfileStore(Ini()));
  EXPECT_EQ(ports.SerialDevice(1), "/dev/ttyUSB0");
  EXPECT_EQ(ports.SerialDevice(2), "/dev/ttyS1");
  EXPECT_EQ(ports.SerialDevice(4), "/dev/ttyACM0");
  EXPECT_EQ(ports.ParallelDevice(2), "/dev/parport1");
  EXPECT_EQ(ports.ParallelDevice(3), "/tmp/fifo");
}

TEST(ProfileStorePath, FollowsXdgConfigHome) {
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string xdgBackup = savedXdg ? savedXdg : "";
  const char* savedHome = std::getenv("HOME");
  const std::string homeBackup = savedHome ? savedHome : "";
  ::setenv("HOME", "/home/op", 1);
  const std::pair<const char*, const char*> cases[] = {{"/srv/conf", "/srv/conf/quarbe.ini"},
                                                       {nullptr, "/home/op/.config/quarbe.ini"},
                                                       {"", "/home/op/.config/quarbe.ini"},
                                                       {"relative/conf", "/home/op/.config/quarbe.ini"}};
  for (const auto& [xdg, expected] : cases) {
    if (xdg) {
      ::setenv("XDG_CONFIG_HOME", xdg, 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(ProfileStore::DefaultPath(), expected) << (xdg ? xdg : "(unset)");
  }
  savedXdg ? ::setenv("XDG_CONFIG_HOME", xdgBackup.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  savedHome ? ::setenv("HOME", homeBackup.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
}  // namespace quarbe
