#pragma once
// The per-user settings file: an INI file of sections and keys holding
// integers and texts, read at start-up and written once at exit.
//
// The file is $XDG_CONFIG_HOME/quarbe.ini (~/.config/quarbe.ini when that
// variable is unset, empty or not absolute). It is handled by QSettings in
// INI format, which gives these guarantees:
//  - a write goes to a temporary file that is renamed over the old one, so a
//    crash or a full disk never leaves a half-written file; a file that
//    cannot be written (read-only file or directory) is left untouched and
//    the write is silently dropped;
//  - sections and keys the program does not own survive a write (comment
//    lines do not, and a foreign list value may be re-spaced);
//  - non-ASCII key names such as "Butée" are written percent-escaped as
//    Latin-1 ("But%E9e=180"); a hand-edited file may also spell the key in
//    plain UTF-8 ("Butée=90"), which reads back as the same key and is
//    replaced by the escaped spelling at the next write.
// Reading never fails: a missing key, an unreadable file, a value that is
// not a whole number where an integer belongs all give the default.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "context/configuration.h"

class QSettings;

namespace quarbe {

// One persisted integer or text: where it lives and what a missing or
// unreadable value gives.
struct IntKey {
  std::string_view section;
  std::string_view key;
  std::int32_t defaultValue;
};

struct TextKey {
  std::string_view section;
  std::string_view key;
  std::string_view defaultValue;
};

// Every key the program reads and writes, in one place.
namespace keys {
inline constexpr TextKey kLocalLocator{"Contexte", "Local", "JN18AP"};
inline constexpr TextKey kCorrespondentLocator{"Contexte", "Corres", "JN08WV"};
inline constexpr IntKey kGpsPort{"GPS", "Port", 1};
inline constexpr IntKey kRotatorPort{"Moteur", "Port", 1};
inline constexpr IntKey kRotationSense{"Moteur", "Rotation", 1};
inline constexpr IntKey kEndStop{"Moteur", "Butée", 180};
inline constexpr TextKey kPicturePath{"Compas", "Image", "mobile.emf"};
}  // namespace keys

// The device-name section: read, never written.
inline constexpr std::string_view kPortsSection = "Ports";
inline constexpr int kDefaultGpsBaud = 4800;

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
  std::string FilePath() const;

  virtual std::int32_t GetProfileInt(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
  virtual std::string GetProfileString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue) const;
  virtual void WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value);
  virtual void WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

  // Writes what is pending to disk. Returns false when the file could not be
  // written (the program ignores that; tests look at it).
  virtual bool Flush();

  std::int32_t Read(const IntKey& key) const { return GetProfileInt(key.section, key.key, key.defaultValue); }
  std::string Read(const TextKey& key) const { return GetProfileString(key.section, key.key, key.defaultValue); }
  void Write(const IntKey& key, std::int32_t value) { WriteProfileInt(key.section, key.key, value); }
  void Write(const TextKey& key, std::string_view value) { WriteProfileString(key.section, key.key, value); }

 private:
  std::unique_ptr<QSettings> settings_;
};

// The five configuration keys, read in the order GPS port, rotator port,
// rotation sense, end stop, picture; the end-stop choice is derived from the
// angle. Values are taken without range checks: an edited file can bring
// indexes or an angle outside their usual ranges, and the users of each value
// cope with that. A negative end stop reads as its 32-bit unsigned pattern.
Configuration LoadConfiguration(const ProfileStore& store);

// Writes the five configuration keys in the same order.
void SaveConfiguration(ProfileStore& store, const Configuration& configuration);

// The "Ports" section: COM1..COM4, LPT1..LPT3 (device paths; an empty or
// missing value keeps the default) and Vitesse (the GPS line speed; a value
// the serial device does not set gives 4800).
PortMap LoadPortMap(const ProfileStore& store);

}  // namespace quarbe
