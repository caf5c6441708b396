#include "context/profile_store.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdlib>
#include <filesystem>

#include "gps/serial_device.h"

namespace quarbe {

namespace {

QString KeyPath(std::string_view section, std::string_view key) {
  QString path = QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size()));
  path += u'/';
  path += QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
  return path;
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A value as the file holds it. An unquoted value with commas comes back
// from QSettings as a list; it is a text like any other here.
std::optional<QString> RawText(const QSettings& settings, const QString& path) {
  const QVariant value = settings.value(path);
  if (!value.isValid()) return std::nullopt;
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
  return value.toString();
}

}  // namespace

ProfileStore::ProfileStore() : ProfileStore(DefaultPath()) {}

ProfileStore::ProfileStore(const std::string& filePath)
    : settings_(std::make_unique<QSettings>(QString::fromStdString(filePath), QSettings::IniFormat)) {}

ProfileStore::~ProfileStore() { Flush(); }

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

std::string ProfileStore::FilePath() const { return settings_->fileName().toStdString(); }

std::int32_t ProfileStore::GetProfileInt(std::string_view section, std::string_view key,
                                         std::int32_t defaultValue) const {
  const auto text = RawText(*settings_, KeyPath(section, key));
  if (!text) return defaultValue;
  bool ok = false;
  const int value = text->trimmed().toInt(&ok, 10);
  return ok ? value : defaultValue;
}

std::string ProfileStore::GetProfileString(std::string_view section, std::string_view key,
                                           std::string_view defaultValue) const {
  const auto text = RawText(*settings_, KeyPath(section, key));
  if (!text) return std::string(defaultValue);
  return text->toStdString();
}

void ProfileStore::WriteProfileInt(std::string_view section, std::string_view key, std::int32_t value) {
  settings_->setValue(KeyPath(section, key), value);
}

void ProfileStore::WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
  settings_->setValue(KeyPath(section, key), ToQString(value));
}

bool ProfileStore::Flush() {
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

Configuration LoadConfiguration(const ProfileStore& store) {
  Configuration configuration;
  configuration.gpsPort = store.Read(keys::kGpsPort);
  configuration.rotatorPort = store.Read(keys::kRotatorPort);
  configuration.rotationSense = store.Read(keys::kRotationSense);
  configuration.endStopDeg = static_cast<std::uint32_t>(store.Read(keys::kEndStop));
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
  const int baud = store.GetProfileInt(kPortsSection, "Vitesse", kDefaultGpsBaud);
  ports.gpsBaud = IsSupportedBaud(baud) ? baud : kDefaultGpsBaud;
  return ports;
}

}  // namespace quarbe
