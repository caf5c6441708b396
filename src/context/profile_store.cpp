#include "context/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "common/line_speed.h"
#include "context/number_text.h"

namespace quarbe {

namespace {

// A settings file is a few hundred bytes; anything past this is not one.
constexpr off_t kMaxSettingsBytes = 1024 * 1024;

FileProblem SystemError(int errorNumber) { return {FileProblem::Kind::kSystemError, errorNumber}; }

FileProblem NotRegular(mode_t mode) {
  if (S_ISDIR(mode)) return {FileProblem::Kind::kFolder};
  if (S_ISFIFO(mode)) return {FileProblem::Kind::kFifo};
  return {FileProblem::Kind::kNotRegular};
}

// Reads the settings file into `bytes`, never waiting: should the path be,
// or have become, a FIFO, the open and the reads still return at once.
// Returns why it could not be read; nothing (and no bytes) when it does not
// exist.
std::optional<FileProblem> ReadSettingsFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? std::nullopt : std::optional(SystemError(errno));
  if (!S_ISREG(info.st_mode)) return NotRegular(info.st_mode);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return SystemError(errno);
  std::optional<FileProblem> reason;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) reason = NotRegular(info.st_mode);
  char buffer[8192];
  while (!reason) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) reason = SystemError(errno);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > static_cast<std::size_t>(kMaxSettingsBytes)) reason = FileProblem{FileProblem::Kind::kTooLarge};
  }
  ::close(fd);
  return reason;
}

// Follows symbolic links from `path` to the file the last one names, which
// need not exist yet: that file is the one to replace or create, and the
// links stay.
std::optional<FileProblem> FollowLinks(std::string& path) {
  namespace fs = std::filesystem;
  constexpr int kMaxLinks = 40;  // as the kernel allows before ELOOP
  for (int links = 0; links < kMaxLinks; ++links) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return std::nullopt;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return SystemError(errno);
    if (static_cast<std::size_t>(n) == target.size()) return SystemError(ENAMETOOLONG);
    target.resize(static_cast<std::size_t>(n));
    // A relative link is relative to the folder that holds it.
    path = fs::path(target).is_absolute() ? target : (fs::path(path).parent_path() / target).string();
  }
  return SystemError(ELOOP);
}

// Writes `bytes` to a new file beside `path` and renames it over `path`.
// Returns why it failed, or nothing.
std::optional<FileProblem> ReplaceFile(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  std::string target = path;
  if (const std::optional<FileProblem> problem = FollowLinks(target)) return problem;
  struct stat info {};
  const bool exists = ::stat(target.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) return NotRegular(info.st_mode);
  // A file its owner made read-only stays as it is, even for root and in a
  // folder that allows renaming.
  if (exists && (info.st_mode & S_IWUSR) == 0) return FileProblem{FileProblem::Kind::kReadOnly};
  if (exists && ::access(target.c_str(), W_OK) != 0) return SystemError(errno);
  const fs::path parent = fs::path(target).parent_path();
  if (!exists && !parent.empty()) {
    // A first run: ~/.config may not exist yet.
    std::error_code error;
    fs::create_directories(parent, error);
    if (error) return SystemError(error.value());
  }

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = target + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    // 0666 less the umask, as for any new file; an existing file's owner
    // and permissions are copied below.
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) return SystemError(errno);
  }
  if (fd < 0) return SystemError(EEXIST);
  int error = 0;
  // Root replacing a user's file must leave it the user's, and a file root
  // makes in a user's folder (sudo keeps HOME) is the user's too. The owner
  // goes first: changing it clears the set-user and set-group bits.
  struct stat owner = info;
  const bool owned = exists || (::geteuid() == 0 && ::stat(parent.empty() ? "." : parent.c_str(), &owner) == 0);
  struct stat made {};
  if (owned && ::fstat(fd, &made) != 0) {
    error = errno;
  } else if (owned && (made.st_uid != owner.st_uid || made.st_gid != owner.st_gid) &&
             ::fchown(fd, owner.st_uid, owner.st_gid) != 0 && ::geteuid() == 0) {
    // Only root can give a file away. A user whose file has a group they do
    // not belong to gets the file back in their own group: their locators
    // matter more than the file's group.
    error = errno;
  }
  if (error == 0 && exists && ::fchmod(fd, info.st_mode & 07777) != 0) error = errno;
  for (std::size_t done = 0; error == 0 && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return SystemError(error);
  }
  // The rename itself reaches the disk with the folder.
  const int folder = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return std::nullopt;
}

// The end stop a stored angle gives: a negative angle (hand-edited) is the
// same direction reduced into 0..359, -10 is 350. Larger angles are kept as
// written; the rotator byte reduces them and the configuration dialog shows
// them as they are.
std::uint32_t EndStopFromStored(std::int64_t storedDeg) {
  return static_cast<std::uint32_t>(storedDeg < 0 ? (storedDeg % 360 + 360) % 360 : storedDeg);
}

}  // namespace

ProfileStore::ProfileStore() : ProfileStore(DefaultPath()) {}

ProfileStore::ProfileStore(const std::string& filePath) : path_(filePath) { Load(); }

ProfileStore::~ProfileStore() { Flush(); }

void ProfileStore::Load() {
  std::string bytes;
  if (const std::optional<FileProblem> reason = ReadSettingsFile(path_, bytes)) {
    refusedReason_ = reason;
    startupProblem_ = SettingsFileProblem{path_, *reason};
    return;
  }
  loaded_ = IniText(bytes);
  text_ = IniText(std::move(bytes));
}

std::string ProfileStore::DefaultPath() {
  namespace fs = std::filesystem;
  fs::path dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && fs::path(xdg).is_absolute()) {
    dir = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    dir = fs::path(home) / ".config";
  } else {
    dir = ".config";
  }
  return (dir / "quarbe.ini").string();
}

std::int32_t ProfileStore::GetProfileInt(std::string_view section, std::string_view key,
                                         std::int32_t defaultValue) const {
  const std::optional<std::string> text = text_.Value(section, key);
  // Blanks kept by quotes count for nothing, as they always have.
  const std::int32_t value = text ? ParseWholeNumber(*text).value_or(defaultValue) : defaultValue;
  NoteRead(section, key, std::to_string(value));
  return value;
}

std::string ProfileStore::GetProfileString(std::string_view section, std::string_view key,
                                           std::string_view defaultValue) const {
  std::string value = text_.Value(section, key).value_or(std::string(defaultValue));
  NoteRead(section, key, value);
  return value;
}

void ProfileStore::WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value) {
  SetValue(section, key, std::to_string(value));
}

void ProfileStore::WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
  SetValue(section, key, value);
}

void ProfileStore::NoteRead(std::string_view section, std::string_view key, std::string_view value) const {
  KeyName name{std::string(section), std::string(key)};
  if (held_.contains(name)) return;  // the program's own value, not the file's
  firstReads_.try_emplace(std::move(name), value);
}

void ProfileStore::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  text_.Set(section, key, value);
  KeyName name{std::string(section), std::string(key)};
  // What the program took from the file for this key: what it read, or for
  // a key it never read, the file's text.
  std::optional<std::string> before;
  if (const auto read = firstReads_.find(name); read != firstReads_.end()) {
    before = read->second;
  } else {
    before = loaded_.Value(section, key);
  }
  const bool changed = !before || *before != value;
  const auto [held, added] = held_.insert_or_assign(name, Held{std::string(value), changed});
  if (added) heldOrder_.push_back(held->first);
}

bool ProfileStore::Flush() {
  flushProblem_.reset();
  if (heldOrder_.empty()) return true;
  // A file that was not read at start-up is not replaced: what it holds is
  // unknown.
  std::optional<FileProblem> reason = refusedReason_;
  std::string disk;
  if (!reason) reason = ReadSettingsFile(path_, disk);
  IniText merged(disk);
  if (!reason) {
    for (const KeyName& name : heldOrder_) {
      const Held& held = held_.at(name);
      if (held.changed) {
        merged.Set(name.first, name.second, held.value);
      } else {
        merged.Add(name.first, name.second, held.value);
      }
    }
    if (merged.Bytes() != disk) reason = ReplaceFile(path_, merged.Bytes());
  }
  if (reason) {
    flushProblem_ = SettingsFileProblem{path_, *reason};
    return false;
  }
  text_ = std::move(merged);
  held_.clear();
  heldOrder_.clear();
  return true;
}

Configuration LoadConfiguration(const ProfileStore& store) {
  Configuration configuration;
  configuration.gpsPort = store.Read(keys::kGpsPort);
  configuration.rotatorPort = store.Read(keys::kRotatorPort);
  configuration.rotationSense = store.Read(keys::kRotationSense);
  configuration.endStopDeg = EndStopFromStored(store.Read(keys::kEndStop));
  configuration.endStopChoice = EndStopChoiceFor(configuration.endStopDeg);
  configuration.picturePath = store.Read(keys::kPicturePath);
  return configuration;
}

void SaveConfiguration(ProfileStore& store, const Configuration& configuration) {
  store.Write(keys::kGpsPort, configuration.gpsPort);
  store.Write(keys::kRotatorPort, configuration.rotatorPort);
  store.Write(keys::kRotationSense, configuration.rotationSense);
  // An end stop stored as another angle of the same direction (-10 for
  // 350) is written back as stored: it has not changed.
  const std::int32_t storedDeg = store.Read(keys::kEndStop);
  store.Write(keys::kEndStop, EndStopFromStored(storedDeg) == configuration.endStopDeg
                                  ? storedDeg
                                  : static_cast<std::int32_t>(configuration.endStopDeg));
  store.Write(keys::kPicturePath, configuration.picturePath);
}

PortMap LoadPortMap(const ProfileStore& store) {
  PortMap ports;
  for (std::size_t i = 0; i < ports.serial.size(); ++i) {
    const std::string key = "COM" + std::to_string(i + 1);
    const std::string device = store.GetProfileString(kPortsSection, key, "");
    if (!device.empty()) ports.serial[i] = device;
  }
  for (std::size_t i = 0; i < ports.parallel.size(); ++i) {
    const std::string key = "LPT" + std::to_string(i + 1);
    const std::string device = store.GetProfileString(kPortsSection, key, "");
    if (!device.empty()) ports.parallel[i] = device;
  }
  const int baud = store.GetProfileInt(kPortsSection, kGpsSpeedKey, kDefaultGpsBaud);
  ports.gpsBaud = IsSupportedBaud(baud) ? baud : kDefaultGpsBaud;
  return ports;
}

}  // namespace quarbe
