// Error numbers and name lookup failures as the operator reads them: in
// French whatever the session's language, in every place a device, a daemon
// or the settings file can fail; and what a device's box says to do.
#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/device_group.h"
#include "common/name_lookup.h"
#include "ui/operator_texts.h"

namespace quarbe {
namespace {

// Every place an error number reaches the operator, worded for `errorNumber`.
std::vector<std::pair<std::string, std::string>> EveryWording(int errorNumber) {
  const GpsdAddress gpsd{"car-pc", "2947"};
  const HamlibAddress serial{603, "/dev/ttyUSB0", 9600};
  const HamlibAddress daemon{kHamlibNetworkModel, "car-pc:4533", 0};
  using Problem = HamlibFailure::Problem;
  using Stage = HamlibFailure::Stage;
  return {
      {"GPS device", Word(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, "/home/op/gps", errorNumber}}).text},
      {"rotator device",
       Word(RotatorFailure{DeviceOpenFailure{DeviceKind::kParallel, "/dev/parport0", errorNumber}}).text},
      {"gpsd", Word(GpsOpenError{GpsdUnreachable{gpsd, GpsdUnreachable::Cause::kSystemError, errorNumber}}).text},
      {"Hamlib device open",
       Word(RotatorFailure{HamlibFailure{Stage::kOpen, serial, false, Problem::kInputOutput, 6, errorNumber}}).text},
      {"Hamlib device command",
       Word(RotatorFailure{HamlibFailure{Stage::kCommand, serial, false, Problem::kInputOutput, 6, errorNumber}})
           .text},
      {"rotctld", Word(RotatorFailure{HamlibFailure{Stage::kOpen, daemon, true, Problem::kInputOutput, 6,
                                                    errorNumber}})
                      .text},
      {"settings not read",
       Word(Message{SettingsNotRead{{"/home/op/.config/quarbe.ini", {FileProblem::Kind::kSystemError, errorNumber}}}})
           .text},
      {"settings not saved",
       WordSettingsNotSaved({"/home/op/.config/quarbe.ini", {FileProblem::Kind::kSystemError, errorNumber}}).text},
  };
}

// The numbers opening and using the serial and parallel devices, the
// settings file and the daemons' sockets give.
const int kDeviceFileAndSocketErrors[] = {
    EISDIR, ENOTDIR, ELOOP, ENXIO, ENODEV, EIO, ETIMEDOUT, ECONNREFUSED, EHOSTUNREACH, ENETUNREACH,
    ENOENT, EACCES, EPERM, EBUSY, EROFS, ENOSPC, EDQUOT, EMFILE, ENFILE, ENOMEM, EAGAIN, ECONNRESET,
    EPIPE, ENOTTY, EINVAL, EINTR, ENAMETOOLONG, EFBIG, ETXTBSY, EEXIST, EXDEV, ENETDOWN, EADDRNOTAVAIL,
    EAFNOSUPPORT, ECONNABORTED, EHOSTDOWN, ENOBUFS, ESTALE, EOPNOTSUPP, ENOSYS, ERFKILL};

TEST(ErrorWording, EveryNumberMetOnDevicesFilesAndSocketsHasAFrenchTextOfItsOwn) {
  for (const int errorNumber : kDeviceFileAndSocketErrors) {
    for (const auto& [place, text] : EveryWording(errorNumber)) {
      EXPECT_EQ(text.find("erreur système"), std::string::npos) << strerrorname_np(errorNumber) << " " << place
                                                                 << ": " << text;
    }
  }
  // The case an operator met: a folder named as the GPS device.
  const std::string folder = EveryWording(EISDIR)[0].second;
  EXPECT_EQ(folder.substr(0, folder.find("\n\n")), "Impossible d'ouvrir /home/op/gps : c'est un dossier");
}

TEST(ErrorWording, NeverTheSessionsOwnText) {
  // The C library's text follows the session's language (English here).
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  for (int errorNumber = 1; errorNumber <= 133; ++errorNumber) {
    const std::string system = std::strerror(errorNumber);
    for (const auto& [place, text] : EveryWording(errorNumber)) {
      EXPECT_EQ(text.find(system), std::string::npos) << place << ": " << text;
    }
  }
  // A number without a text of its own is named, in French.
  const std::string other = EveryWording(ENOMSG)[0].second;
  EXPECT_NE(other.find("erreur système " + std::to_string(ENOMSG) + " (ENOMSG)"), std::string::npos) << other;
}

TEST(ErrorWording, NameLookupFailuresInFrench) {
  const GpsdAddress gpsd{"car-pc", "2947"};
  const HamlibAddress daemon{kHamlibNetworkModel, "car-pc:4533", 0};
  for (const int lookupError : {EAI_NONAME, EAI_NODATA, EAI_ADDRFAMILY, EAI_AGAIN, EAI_FAIL, EAI_SERVICE,
                                EAI_MEMORY, EAI_FAMILY, EAI_SOCKTYPE, EAI_BADFLAGS, EAI_OVERFLOW, EAI_SYSTEM}) {
    const std::string viaGpsd =
        Word(GpsOpenError{GpsdUnreachable{gpsd, GpsdUnreachable::Cause::kUnknownHost, 0, lookupError}}).text;
    // Hamlib calls an address whose name does not resolve a port setting.
    HamlibFailure refused{HamlibFailure::Stage::kOpen, daemon, true, HamlibFailure::Problem::kPortSettings, 2, 0};
    refused.lookupError = lookupError;
    const std::string viaRotctld = Word(RotatorFailure{refused}).text;
    for (const std::string& text : {viaGpsd, viaRotctld}) {
      EXPECT_EQ(text.find(gai_strerror(lookupError)), std::string::npos) << text;
      EXPECT_EQ(text.find("(code "), std::string::npos) << lookupError << ": " << text;
      EXPECT_EQ(text.find("réglage du port"), std::string::npos) << text;
    }
  }
  EXPECT_EQ(Word(GpsOpenError{GpsdUnreachable{gpsd, GpsdUnreachable::Cause::kUnknownHost, 0, EAI_NONAME}}).text,
            "Impossible de joindre gpsd sur car-pc:2947 : nom d'hôte inconnu");
}

TEST(NameLookup, HostLookupError) {
  EXPECT_EQ(HostLookupError("127.0.0.1"), 0);
  EXPECT_NE(HostLookupError("no-such-host.invalid"), 0);
}

std::string Hint(const std::string& text) {
  const std::size_t start = text.find("\n\n");
  return start == std::string::npos ? std::string() : text.substr(start + 2);
}

TEST(DeviceHint, SaysToChooseAnotherPortForTheRoleThePortPlays) {
  const std::string gps = Hint(Word(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, "/dev/ttyS0", ENOENT}}).text);
  EXPECT_NE(gps.find("choisissez « Aucun » ou un autre port série dans la configuration"), std::string::npos) << gps;
  const std::string lpt =
      Hint(Word(RotatorFailure{DeviceOpenFailure{DeviceKind::kParallel, "/dev/parport0", ENODEV}}).text);
  EXPECT_NE(lpt.find("« Aucun » ou un autre port parallèle"), std::string::npos) << lpt;
  // A Hamlib controller on a serial line stands for a parallel port.
  const HamlibFailure hamlib{HamlibFailure::Stage::kOpen, {603, "/dev/ttyUSB0", 0}, false,
                             HamlibFailure::Problem::kInputOutput, 6, ENOENT};
  const std::string controller = Word(RotatorFailure{hamlib}).text;
  EXPECT_EQ(controller.substr(0, controller.find("\n\n")), "Impossible d'ouvrir /dev/ttyUSB0 : périphérique absent");
  EXPECT_NE(Hint(controller).find("un autre port parallèle"), std::string::npos) << controller;
}

class ScratchDevice {
 public:
  ScratchDevice() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarbe-dev-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
  }
  ~ScratchDevice() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

// A character device of another group than root: one made for the test
// (the null device's numbers, group dialout) where that is allowed, else
// one of this machine's own.
std::string DeviceOfAGroup(const ScratchDevice& scratch) {
  const std::string made = scratch.Path("ttyS9");
  if (::mknod(made.c_str(), S_IFCHR | 0660, ::makedev(1, 3)) == 0 && ::chown(made.c_str(), -1, 20) == 0) return made;
  for (const auto& entry : std::filesystem::directory_iterator("/dev")) {
    const auto group = CharacterDeviceGroup(entry.path().string());
    if (group && group->id != 0 && !group->name.empty()) return entry.path().string();
  }
  return {};
}

TEST(DeviceHint, PermissionRefusedNamesTheDevicesGroup) {
  ScratchDevice scratch;
  const std::string device = DeviceOfAGroup(scratch);
  if (device.empty()) GTEST_SKIP() << "no character device of a group other than root here";
  const std::optional<DeviceGroup> group = CharacterDeviceGroup(device);
  ASSERT_TRUE(group.has_value());
  const std::string shown = group->name.empty() ? std::to_string(group->id) : group->name;
  for (const int errorNumber : {EACCES, EPERM}) {
    const std::string text = Word(GpsOpenError{DeviceOpenFailure{DeviceKind::kSerial, device, errorNumber}}).text;
    EXPECT_EQ(text.substr(0, text.find("\n\n")), "Impossible d'ouvrir " + device + " : permission refusée");
    const std::string hint = Hint(text);
    EXPECT_NE(hint.find(device + " appartient au groupe " + shown + " : ajoutez votre compte à ce groupe (sudo "
                        "adduser $USER " + shown + "), puis fermez la session et ouvrez-la de nouveau"),
              std::string::npos)
        << hint;
    EXPECT_NE(hint.find("« Aucun »"), std::string::npos) << hint;
  }
}

TEST(DeviceHint, PermissionRefusedOnRootsDeviceOrAFile) {
  ScratchDevice scratch;
  const std::string file = scratch.Path("rotator.bin");
  std::ofstream(file).close();
  const std::string onFile = Hint(Word(RotatorFailure{DeviceOpenFailure{DeviceKind::kParallel, file, EACCES}}).text);
  EXPECT_NE(onFile.find("Vérifiez les droits de " + file), std::string::npos) << onFile;
  EXPECT_EQ(onFile.find("groupe"), std::string::npos) << onFile;
  // The null device belongs to root on every system: no group to join.
  const std::string onRoot =
      Hint(Word(RotatorFailure{DeviceOpenFailure{DeviceKind::kParallel, "/dev/null", EACCES}}).text);
  EXPECT_NE(onRoot.find("groupe root"), std::string::npos) << onRoot;
  EXPECT_EQ(onRoot.find("adduser"), std::string::npos) << onRoot;
}

}  // namespace
}  // namespace quarbe
