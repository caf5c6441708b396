#pragma once
// The texts shown to the operator for a device that cannot be opened: the
// device named, and the reason in French for the usual failures.

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

namespace quarbe {

namespace system_error_detail {
// strerror_r comes in two flavours (XSI returns an int, GNU a pointer); these
// overloads take whichever the C library provides.
[[maybe_unused]] inline std::string TextFrom(int result, const char* buffer) {
  return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] inline std::string TextFrom(const char* result, const char* /*buffer*/) {
  return result != nullptr ? std::string(result) : std::string();
}
}  // namespace system_error_detail

// The system's text for an error number. It follows the process's
// LC_MESSAGES locale, that is, the user's language once the application has
// called setlocale().
inline std::string SystemErrorText(int errorNumber) {
  char buffer[256] = {};
  std::string text = system_error_detail::TextFrom(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
  if (text.empty()) text = "Erreur " + std::to_string(errorNumber);
  return text;
}

// What the device was expected to be, for the "not such a device" wording.
enum class DeviceKind { kSerial, kParallel };

// Why a device could not be opened, in French for the failures an operator
// meets (device missing, permission, held by another program, wrong kind of
// device); the system's own text for anything else.
inline std::string DeviceErrorReason(int errorNumber, DeviceKind kind) {
  switch (errorNumber) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "périphérique absent";
    case EACCES:
    case EPERM:
      return "permission refusée";
    case EBUSY:
      return "périphérique occupé par un autre programme";
    case ENOTTY:
      return kind == DeviceKind::kSerial ? "ce n'est pas un port série" : "ce n'est pas un port parallèle";
    default:
      return SystemErrorText(errorNumber);
  }
}

// « Impossible d'ouvrir /dev/ttyUSB0 : périphérique absent ». A port that
// names no device (an index the settings map to nothing) is named by its kind.
inline std::string DeviceOpenErrorText(std::string_view device, int errorNumber, DeviceKind kind) {
  if (device.empty()) {
    return kind == DeviceKind::kSerial ? "Impossible d'ouvrir le port série : aucun périphérique choisi"
                                       : "Impossible d'ouvrir le port parallèle : aucun périphérique choisi";
  }
  std::string text = "Impossible d'ouvrir ";
  text += device;
  text += " : ";
  text += DeviceErrorReason(errorNumber, kind);
  return text;
}

// Why a connection to a daemon failed, in French for the usual cases; the
// system's own text for anything else.
inline std::string ConnectErrorReason(int errorNumber) {
  switch (errorNumber) {
    case ECONNREFUSED:
      return "connexion refusée";
    case EHOSTUNREACH:
    case ENETUNREACH:
      return "hôte injoignable";
    case ETIMEDOUT:
      return "pas de réponse";
    case ECONNRESET:
    case EPIPE:
      return "connexion perdue";
    default:
      return SystemErrorText(errorNumber);
  }
}

// « Impossible de joindre gpsd sur localhost:2947 : connexion refusée ».
inline std::string ServiceErrorText(std::string_view service, std::string_view address, std::string_view reason) {
  std::string text = "Impossible de joindre ";
  text += service;
  text += " sur ";
  text += address;
  text += " : ";
  text += reason;
  return text;
}

// « Entrée COM1=gpsd:localhost de la section [Ports] incorrecte : il manque le port ... ».
inline std::string PortEntryErrorText(std::string_view key, std::string_view entry, std::string_view reason) {
  std::string text = "Entrée ";
  text += key;
  text += "=";
  text += entry;
  text += " de la section [Ports] incorrecte : ";
  text += reason;
  return text;
}

}  // namespace quarbe
