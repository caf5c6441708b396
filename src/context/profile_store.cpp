#include "context/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Writes `bytes` to a new file beside `path` and renames it over `path`.
// Returns why it failed, or nothing.
std::optional<FileProblem> ReplaceFile(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  // Through a symbolic link the file it names is replaced, not the link.
  std::string target = path;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  struct stat info {};
  const bool exists = ::stat(target.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) return NotRegular(info.st_mode);
  // A read-only file stays as it is, even in a folder that allows renaming.
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
    // 0666 less the umask, as for any new file; an existing file's
    // permissions are copied below.
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) return SystemError(errno);
  }
  if (fd < 0) return SystemError(EEXIST);
  int error = 0;
  if (exists && ::fchmod(fd, info.st_mode & 07777) != 0) error = errno;
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

}  // namespace

ProfileStore::ProfileStore() : ProfileStore(DefaultPath()) {}

ProfileStore::ProfileStore(const std::string& filePath) : path_(filePath) { Load(); }

ProfileStore::~ProfileStore() { Flush(); }

void ProfileStore::Load() {
  std::optional<FileProblem> reason;
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) {
    if (errno == ENOENT) return;  // a first run: the file is made at exit
    reason = SystemError(errno);
  } else if (!S_ISREG(info.st_mode)) {
    reason = NotRegular(info.st_mode);
  } else {
    // Not blocking: should the path have become a FIFO since the check, the
    // open and the reads still return at once.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      reason = SystemError(errno);
    } else {
      std::string bytes;
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
      if (!reason) text_ = IniText(std::move(bytes));
    }
  }
  if (!reason) return;
  refusedReason_ = reason;
  startupProblem_ = SettingsFileProblem{path_, *reason};
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
  if (!text) return defaultValue;
  // Blanks kept by quotes count for nothing, as they always have.
  return ParseWholeNumber(*text).value_or(defaultValue);
}

std::string ProfileStore::GetProfileString(std::string_view section, std::string_view key,
                                           std::string_view defaultValue) const {
  return text_.Value(section, key).value_or(std::string(defaultValue));
}

void ProfileStore::WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value) {
  SetValue(section, key, std::to_string(value));
}

void ProfileStore::WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
  SetValue(section, key, value);
}

void ProfileStore::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  const std::string before = text_.Bytes();
  text_.Set(section, key, value);
  dirty_ = dirty_ || text_.Bytes() != before;
}

bool ProfileStore::Flush() {
  flushProblem_.reset();
  if (!dirty_) return true;
  // A file that was not read is not replaced: what it holds is unknown.
  const std::optional<FileProblem> reason = refusedReason_ ? refusedReason_ : ReplaceFile(path_, text_.Bytes());
  if (reason) {
    flushProblem_ = SettingsFileProblem{path_, *reason};
    return false;
  }
  dirty_ = false;
  return true;
}

Configuration LoadConfiguration(const ProfileStore& store) {
  Configuration configuration;
  configuration.gpsPort = store.Read(keys::kGpsPort);
  configuration.rotatorPort = store.Read(keys::kRotatorPort);
  configuration.rotationSense = store.Read(keys::kRotationSense);
  // A negative angle (hand-edited) is the same direction reduced into
  // 0..359: -10 is 350. Larger angles are kept as written; the rotator byte
  // reduces them and the configuration dialog shows them as they are.
  const std::int64_t endStopDeg = store.Read(keys::kEndStop);
  configuration.endStopDeg = static_cast<std::uint32_t>(endStopDeg < 0 ? (endStopDeg % 360 + 360) % 360 : endStopDeg);
  configuration.endStopChoice = EndStopChoiceFor(configuration.endStopDeg);
  configuration.picturePath = store.Read(keys::kPicturePath);
  return configuration;
}

void SaveConfiguration(ProfileStore& store, const Configuration& configuration) {
  store.Write(keys::kGpsPort, configuration.gpsPort);
  store.Write(keys::kRotatorPort, configuration.rotatorPort);
  store.Write(keys::kRotationSense, configuration.rotationSense);
  store.Write(keys::kEndStop, static_cast<std::int32_t>(configuration.endStopDeg));
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
