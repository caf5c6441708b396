#include "ui/operator_texts.h"

#include <cerrno>
#include <cstring>
#include <variant>

namespace quarbe {
namespace {

constexpr const char* kAttention = "Attention";
constexpr const char* kUnknownArgumentCaption = "Paramètre inconnu";
constexpr const char* kSettingsCaption = "Fichier de réglages";
constexpr const char* kGpsOpenCaption = "Ouverture port GPS";
constexpr const char* kRotatorOpenCaption = "Ouverture port moteur";

// ---------------------------------------------------------------------------
// The system's own words

// strerror_r comes in two flavours (XSI returns an int, GNU a pointer); these
// overloads take whichever the C library provides.
[[maybe_unused]] std::string TextFrom(int result, const char* buffer) {
  return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string TextFrom(const char* result, const char* /*buffer*/) {
  return result != nullptr ? std::string(result) : std::string();
}

// The system's text for an error number. It follows the process's
// LC_MESSAGES locale, that is, the user's language once the application has
// called setlocale().
std::string SystemErrorText(int errorNumber) {
  char buffer[256] = {};
  std::string text = TextFrom(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
  if (text.empty()) text = "Erreur " + std::to_string(errorNumber);
  return text;
}

// ---------------------------------------------------------------------------
// Devices and daemons

// Why a device could not be opened, in French for the failures an operator
// meets (device missing, permission, held by another program, wrong kind of
// device); the system's own text for anything else.
std::string DeviceErrorReason(int errorNumber, DeviceKind kind) {
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
    case EIO:
      // What a serial line gives once its adapter has been pulled out.
      return "erreur d'entrée-sortie (périphérique débranché ?)";
    default:
      return SystemErrorText(errorNumber);
  }
}

// « Impossible d'ouvrir /dev/ttyUSB0 : périphérique absent ». A port that
// names no device (an index the settings map to nothing) is named by its kind.
std::string DeviceOpenErrorText(const DeviceOpenFailure& failure) {
  if (failure.device.empty()) {
    return failure.kind == DeviceKind::kSerial ? "Impossible d'ouvrir le port série : aucun périphérique choisi"
                                               : "Impossible d'ouvrir le port parallèle : aucun périphérique choisi";
  }
  return "Impossible d'ouvrir " + failure.device + " : " + DeviceErrorReason(failure.errorNumber, failure.kind);
}

// Why a connection to a daemon failed, in French for the usual cases; the
// system's own text for anything else.
std::string ConnectErrorReason(int errorNumber) {
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
std::string ServiceErrorText(const std::string& service, const std::string& address, const std::string& reason) {
  return "Impossible de joindre " + service + " sur " + address + " : " + reason;
}

// « Entrée COM1=gpsd:localhost de la section [Ports] incorrecte : il manque le port ... ».
std::string PortEntryErrorText(const PortEntryFailure& failure) {
  return "Entrée " + failure.key + "=" + failure.entry + " de la section [Ports] incorrecte : " +
         PortEntryReasonText(failure.error);
}

std::string GpsdUnreachableText(const GpsdUnreachable& failure) {
  std::string reason;
  switch (failure.cause) {
    case GpsdUnreachable::Cause::kUnknownPort: reason = "port inconnu"; break;
    case GpsdUnreachable::Cause::kUnknownHost: reason = "hôte inconnu"; break;
    case GpsdUnreachable::Cause::kRefused: reason = "connexion refusée"; break;
    case GpsdUnreachable::Cause::kSystemError: reason = ConnectErrorReason(failure.errorNumber); break;
    case GpsdUnreachable::Cause::kUnexplained: reason = "connexion impossible"; break;
  }
  return ServiceErrorText("gpsd", GpsdAddressText(failure.address), reason);
}

std::string HamlibReason(const HamlibFailure& failure) {
  switch (failure.problem) {
    case HamlibFailure::Problem::kTimeout: return "le contrôleur ne répond pas";
    case HamlibFailure::Problem::kProtocol: return "réponse incompréhensible du contrôleur";
    case HamlibFailure::Problem::kRejected: return "commande refusée par le contrôleur";
    case HamlibFailure::Problem::kPortSettings: return "réglage du port refusé (périphérique ou vitesse)";
    case HamlibFailure::Problem::kPowerOff: return "contrôleur éteint";
    case HamlibFailure::Problem::kNotImplemented: return "commande non prise en charge par ce modèle";
    case HamlibFailure::Problem::kInputOutput: return "erreur d'entrée-sortie";
    case HamlibFailure::Problem::kCrashed: return "le pilote Hamlib s'est arrêté brutalement";
    case HamlibFailure::Problem::kStuck: return "le pilote Hamlib ne répondait plus, il a été arrêté";
    case HamlibFailure::Problem::kNoHelper: return "programme quarbe-rotator introuvable (installation incomplète)";
    case HamlibFailure::Problem::kOther: break;
  }
  return "erreur Hamlib " + std::to_string(failure.hamlibCode);
}

// A system error behind Hamlib's input-output error (a refused connection, a
// missing device) says more than Hamlib's own code.
std::string HamlibFailureText(const HamlibFailure& failure) {
  const HamlibAddress& address = failure.address;
  if (failure.stage == HamlibFailure::Stage::kUnknownModel) {
    return "Modèle de rotateur Hamlib inconnu : " + std::to_string(address.model) + " (rotctl -l donne la liste)";
  }
  if (failure.stage == HamlibFailure::Stage::kSetting) {
    return "Réglage Hamlib refusé pour le rotateur " + std::to_string(address.model) + " : " + failure.setting;
  }
  if (failure.daemonAnswered) {
    // rotctld is there; the rotator behind it is not.
    return "rotctld sur " + address.device + " répond, mais pas son rotateur : " + HamlibReason(failure);
  }
  const bool opening = failure.stage == HamlibFailure::Stage::kOpen;
  const bool inputOutput = failure.problem == HamlibFailure::Problem::kInputOutput;
  const bool systemCause = inputOutput && failure.errorNumber != 0;
  if (failure.network) {
    std::string reason = systemCause ? ConnectErrorReason(failure.errorNumber) : HamlibReason(failure);
    // rotctld itself fell silent, or the connection to it broke.
    if (failure.problem == HamlibFailure::Problem::kTimeout) reason = ConnectErrorReason(ETIMEDOUT);
    if (!opening && inputOutput) reason = "connexion perdue";
    const std::string service = address.model == kHamlibNetworkModel ? "rotctld" : "le rotateur Hamlib";
    return ServiceErrorText(service, address.device, reason);
  }
  if (opening && systemCause) {
    return DeviceOpenErrorText(DeviceOpenFailure{DeviceKind::kSerial, address.device, failure.errorNumber});
  }
  std::string text = opening ? "Impossible d'ouvrir le rotateur Hamlib " : "Le rotateur Hamlib ";
  text += std::to_string(address.model);
  text += " sur ";
  text += address.device;
  text += opening ? " : " : " ne répond plus : ";
  text += systemCause ? DeviceErrorReason(failure.errorNumber, DeviceKind::kSerial) : HamlibReason(failure);
  return text;
}

// ---------------------------------------------------------------------------
// The settings file

std::string FileReason(const FileProblem& problem) {
  switch (problem.kind) {
    case FileProblem::Kind::kFolder: return "c'est un dossier";
    case FileProblem::Kind::kFifo: return "c'est un tube nommé, pas un fichier ordinaire";
    case FileProblem::Kind::kNotRegular: return "ce n'est pas un fichier ordinaire";
    case FileProblem::Kind::kTooLarge: return "fichier trop grand";
    case FileProblem::Kind::kSystemError: break;
  }
  switch (problem.errorNumber) {
    case EACCES:
    case EPERM:
      return "permission refusée";
    case EROFS:
      return "système de fichiers en lecture seule";
    case ENOSPC:
      return "disque plein";
    case EDQUOT:
      return "quota de disque dépassé";
    case EISDIR:
      return "c'est un dossier";
    case ENOTDIR:
      return "un élément du chemin n'est pas un dossier";
    case ENOENT:
      return "dossier absent";
    case EIO:
      return "erreur d'entrée-sortie";
    default:
      return SystemErrorText(problem.errorNumber);
  }
}

// ---------------------------------------------------------------------------
// The window's fields and the command line

// An unknown command-line word longer than this many characters is shown
// cut, followed by an ellipsis: a message box sized for a 128 KiB word would
// be taller than any screen.
constexpr std::size_t kShownWordCharacters = 60;

std::string ShownWord(const std::string& word) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if ((static_cast<unsigned char>(word[i]) & 0xC0) == 0x80) continue;  // inside a UTF-8 sequence
    if (characters++ == kShownWordCharacters) return word.substr(0, i) + "…";
  }
  return word;
}

std::string RefusalText(const FieldRefusal& refusal) {
  switch (refusal.reason) {
    case FieldRefusal::Reason::kNotAnInteger:
      return "Veuillez entrer un nombre entier.";
    case FieldRefusal::Reason::kOutOfRange:
      return "Veuillez entrer un nombre entier compris entre " + std::to_string(refusal.low) + " et " +
             std::to_string(refusal.high) + ".";
    case FieldRefusal::Reason::kTooLong:
      return "Veuillez entrer au plus 6 caractères.";
    case FieldRefusal::Reason::kNotANumber:
      return "Veuillez entrer un nombre.";
  }
  return {};
}

std::string LocatorText(LocatorError error) {
  switch (error) {
    case LocatorError::kWrongLength:
      return "Le QRA doit avoir une longueur de 6 caractères";
    case LocatorError::kWrongForm:
      return "Le QRA doit être de la forme AANNAA";
  }
  return {};
}

struct MessageWording {
  Wording operator()(const FieldRefusal& refusal) const { return {RefusalText(refusal), kAttention}; }
  Wording operator()(LocatorError error) const { return {LocatorText(error), kAttention}; }
  Wording operator()(const UnknownArgument& argument) const {
    return {ShownWord(argument.word), kUnknownArgumentCaption};
  }
  Wording operator()(const SettingsNotRead& notRead) const {
    return {"Le fichier de réglages " + notRead.problem.path + " n'a pas été lu : " +
                FileReason(notRead.problem.reason) + ". Quarbe démarre avec les réglages par défaut.",
            kSettingsCaption};
  }
};

struct FailureText {
  std::string operator()(const DeviceOpenFailure& failure) const { return DeviceOpenErrorText(failure); }
  std::string operator()(const PortEntryFailure& failure) const { return PortEntryErrorText(failure); }
  std::string operator()(const GpsdUnreachable& failure) const { return GpsdUnreachableText(failure); }
  std::string operator()(const HamlibFailure& failure) const { return HamlibFailureText(failure); }
};

constexpr const char* kNoDisplayNamed = "ni DISPLAY ni WAYLAND_DISPLAY n'est défini";

}  // namespace

Wording Word(const Message& message) { return std::visit(MessageWording{}, message); }

Wording Word(const GpsOpenError& error) { return {std::visit(FailureText{}, error.failure), kGpsOpenCaption}; }

Wording Word(const RotatorFailure& failure) { return {std::visit(FailureText{}, failure), kRotatorOpenCaption}; }

Wording WordSettingsNotSaved(const SettingsFileProblem& problem) {
  return {"Les réglages n'ont pas été enregistrés dans " + problem.path + " : " + FileReason(problem.reason) + ".",
          kSettingsCaption};
}

std::string PortEntryReasonText(const PortEntryError& error) {
  const std::string gpsdForm = " ; la forme est gpsd ou gpsd:HÔTE:PORT";
  const std::string hamlibForm = " ; la forme est hamlib:MODÈLE:PÉRIPHÉRIQUE ou hamlib:MODÈLE:PÉRIPHÉRIQUE:VITESSE";
  const std::string part = "« " + error.part + " »";
  switch (error.problem) {
    case PortEntryError::Problem::kMissingGpsdPort:
      return "il manque le port" + gpsdForm;
    case PortEntryError::Problem::kMissingGpsdHost:
      return "il manque le nom de l'hôte" + gpsdForm;
    case PortEntryError::Problem::kBadGpsdPort:
      return part + " n'est pas un numéro de port (1 à " + std::to_string(kMaxTcpPort) + ")";
    case PortEntryError::Problem::kMissingModelAndDevice:
      return "il manque le modèle et le périphérique" + hamlibForm;
    case PortEntryError::Problem::kBadModel:
      return part + " n'est pas un numéro de modèle Hamlib (rotctl -l les donne)";
    case PortEntryError::Problem::kMissingDevice:
      return "il manque le périphérique" + hamlibForm;
    case PortEntryError::Problem::kBadSpeed:
      return part + " n'est pas une vitesse en bauds";
    case PortEntryError::Problem::kBadHamlibSetting:
      return part + " n'est pas un réglage Hamlib de la forme NOM=VALEUR (min_az=0,max_az=450)";
    case PortEntryError::Problem::kHamlibForGps:
      return "un rotateur Hamlib ne peut pas servir de GPS" + gpsdForm;
    case PortEntryError::Problem::kGpsdForRotator:
      return "gpsd ne commande pas de rotateur" + hamlibForm;
  }
  return {};
}

std::string NoDisplayText() {
  return std::string("quarbe : aucun affichage graphique (") + kNoDisplayNamed +
         ") ; lancez Quarbe dans une session graphique.";
}

std::string DisplayUnavailableText(const std::string& displaysNamed) {
  return "quarbe : impossible d'ouvrir l'affichage graphique (" +
         (displaysNamed.empty() ? std::string(kNoDisplayNamed) : displaysNamed) +
         ") ; lancez Quarbe dans une session graphique.";
}

}  // namespace quarbe
