#pragma once
// The per-user settings file: an INI file of sections and keys holding
// integers and texts, read at start-up and written once at exit.
//
// The file is $XDG_CONFIG_HOME/quarbe.ini (~/.config/quarbe.ini when that
// variable is unset, empty or not absolute). Paths and values are bytes:
// a path or a value that is not UTF-8 reads and writes back unchanged.
//  - Hand edits are kept byte for byte: a write replaces only the values of
//    the keys written (a missing key is added to its section) and leaves
//    every other line as it was, comments, blank lines, a byte order mark
//    and line ends included. A key keeps the spelling the file gives it
//    ("Butée=" in UTF-8 or Latin-1, or "But%E9e="); a new "Butée" is written
//    "But%E9e", which every earlier version reads.
//  - Other programs (or an editor) may change the file while this one runs.
//    Flush reads the file again and applies only the program's own changes
//    to it: a written value that differs from what the program read for
//    that key at start-up replaces the value on disk; a value that does not
//    differ is only added when the key is missing. Lines others added stay.
//  - The new content goes to a temporary file beside the old one, which is
//    then renamed over it: a crash or a full disk never leaves half a file.
//    The file keeps its owner, group and permissions (a file root makes is
//    given the owner and group of its folder). When nothing changed,
//    the file is not touched. A file whose owner may not write it (no u+w)
//    is not replaced, even by root: Flush fails with kReadOnly.
//  - A symbolic link at the path stays: the file it names is replaced, or
//    created when it does not exist yet.
//  - A settings file that is not a regular file (a FIFO, a folder, a
//    device), or that cannot be read, is never waited on: the program
//    starts on the defaults, is told why (StartupProblem), and does not
//    replace that file at exit (Flush fails with the reason).
// Reading never fails: a missing key, a value that is not a whole number
// where an integer belongs all give the default.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/configuration.h"
#include "common/settings_keys.h"
#include "context/ini_text.h"

namespace quarbe {

// Why the settings file could not be read or written: a system error
// (errorNumber), a path that is a folder, a FIFO or another non-regular
// file, a file too large to be a settings file, or one its owner made
// read-only.
struct FileProblem {
  enum class Kind { kSystemError, kFolder, kFifo, kNotRegular, kTooLarge, kReadOnly };
  Kind kind = Kind::kSystemError;
  int errorNumber = 0;

  friend bool operator==(const FileProblem&, const FileProblem&) = default;
};

struct SettingsFileProblem {
  std::string path;
  FileProblem reason;

  friend bool operator==(const SettingsFileProblem&, const SettingsFileProblem&) = default;
};

class ProfileStore {
 public:
  // The user's settings file (see DefaultPath).
  ProfileStore();
  // A settings file at an explicit path (tests, or a --settings option).
  explicit ProfileStore(const std::string& filePath);
  virtual ~ProfileStore();
  ProfileStore(const ProfileStore&) = delete;
  ProfileStore& operator=(const ProfileStore&) = delete;

  static std::string DefaultPath();
  const std::string& FilePath() const { return path_; }

  virtual std::int32_t GetProfileInt(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
  virtual std::string GetProfileString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue) const;
  virtual void WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value);
  virtual void WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

  // Applies what the program wrote to the file as it is on disk now.
  // Returns false when the file could not be written; FlushProblem() then
  // says why.
  virtual bool Flush();

  // Why the file was not read at start-up (nothing when it was read or is
  // simply missing), and why the last Flush() failed (nothing when it did
  // not).
  const std::optional<SettingsFileProblem>& StartupProblem() const { return startupProblem_; }
  const std::optional<SettingsFileProblem>& FlushProblem() const { return flushProblem_; }

  std::int32_t Read(const IntKey& key) const { return GetProfileInt(key.section, key.key, key.defaultValue); }
  std::string Read(const TextKey& key) const { return GetProfileString(key.section, key.key, key.defaultValue); }
  void Write(const IntKey& key, std::int32_t value) { WriteProfileInt(key.section, key.key, value); }
  void Write(const TextKey& key, std::string_view value) { WriteProfileString(key.section, key.key, value); }

 private:
  using KeyName = std::pair<std::string, std::string>;  // section, key

  // A value the program holds for a key, to be applied at Flush.
  struct Held {
    std::string value;
    bool changed = false;  // differs from what the program read at start-up
  };

  void Load();
  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  void NoteRead(std::string_view section, std::string_view key, std::string_view value) const;

  std::string path_;
  IniText loaded_;  // the file as read at start-up
  IniText text_;    // the same with the program's writes: what it reads
  // What the program first read for each key (an integer in decimal), the
  // default included: writing it back is no change.
  mutable std::map<KeyName, std::string> firstReads_;
  std::map<KeyName, Held> held_;
  std::vector<KeyName> heldOrder_;  // keys in the order first written
  // Why the file was not read, when it exists: it must not be replaced.
  std::optional<FileProblem> refusedReason_;
  std::optional<SettingsFileProblem> startupProblem_;
  std::optional<SettingsFileProblem> flushProblem_;
};

// The five configuration keys, read in the order GPS port, rotator port,
// rotation sense, end stop, picture; the end-stop choice is derived from the
// angle. Values are taken without range checks: an edited file can bring
// indexes or an angle outside their usual ranges, and the users of each value
// cope with that. A negative end stop is reduced modulo 360 (-10 reads 350).
Configuration LoadConfiguration(const ProfileStore& store);

// Writes the five configuration keys in the same order.
void SaveConfiguration(ProfileStore& store, const Configuration& configuration);

// The "Ports" section: COM1..COM4, LPT1..LPT3 (device paths; an empty or
// missing value keeps the default) and Vitesse (the GPS line speed; a value
// the serial device does not set gives kDefaultGpsBaud).
PortMap LoadPortMap(const ProfileStore& store);

}  // namespace quarbe
