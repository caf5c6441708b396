#include "ui/operator_texts.h"

#include <netdb.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <variant>

#include "common/device_group.h"
#include "common/utf8.h"

namespace quarbe {
namespace {

constexpr const char* kAttention = "Attention";
constexpr const char* kUnknownArgumentCaption = "Paramètre inconnu";
constexpr const char* kSettingsCaption = "Fichier de réglages";
constexpr const char* kGpsOpenCaption = "Ouverture port GPS";
constexpr const char* kRotatorOpenCaption = "Ouverture port moteur";

// ---------------------------------------------------------------------------
// Texts quoted from outside

// A text from outside quoted in a message (a path, a [Ports] entry, a host, a
// command-line word) longer than this many characters is cut, followed by
// an ellipsis: a box sized for a 100 kB entry would be taller than any
// screen, and laying it out would hold the window for seconds.
constexpr std::size_t kQuotedCharacters = 60;

// The text as a message quotes it: cut after kQuotedCharacters characters,
// never inside one (a byte that is not UTF-8 counts as one character), and
// kept on one line: a control character (a line feed, an escape sequence for
// the terminal the standard error goes to) shows as U+FFFD. Only what is
// shown is looked at, however long the text.
std::string Quoted(std::string_view text) {
  std::string shown;
  std::size_t i = 0;
  for (std::size_t characters = 0; i < text.size() && characters < kQuotedCharacters; ++characters) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = std::max<std::size_t>(Utf8CharacterLength(text, i), 1);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\uFFFD";
    } else {
      shown.append(text.substr(i, length));
    }
    i += length;
  }
  if (i < text.size()) shown += "…";
  return shown;
}

// ---------------------------------------------------------------------------
// Error numbers, in French whatever the session's language

// Every error number opening and using a device, a file or a socket can
// give, in the operator's terms. The C library's own text would follow the
// session's language, which is often not French on a car PC set up in
// English.
std::optional<std::string> KnownErrorText(int errorNumber) {
  switch (errorNumber) {
    case EPERM: return "opération non permise";
    case ENOENT: return "fichier ou dossier absent";
    case EINTR: return "appel système interrompu";
    case EIO: return "erreur d'entrée-sortie";
    case ENXIO: return "périphérique ou adresse absent";
    case EBADF: return "descripteur de fichier incorrect";
    case EAGAIN: return "ressource momentanément indisponible";
    case ENOMEM: return "mémoire insuffisante";
    case EACCES: return "permission refusée";
    case EBUSY: return "périphérique ou ressource occupé";
    case EEXIST: return "le fichier existe déjà";
    case EXDEV: return "déplacement impossible d'un système de fichiers à un autre";
    case ENODEV: return "périphérique absent";
    case ENOTDIR: return "un élément du chemin n'est pas un dossier";
    case EISDIR: return "c'est un dossier";
    case EINVAL: return "paramètre refusé par le système";
    case ENFILE: return "trop de fichiers ouverts sur le système";
    case EMFILE: return "trop de fichiers ouverts par Quarbe";
    case ENOTTY: return "opération impossible sur ce périphérique";
    case ETXTBSY: return "fichier en cours d'utilisation";
    case EFBIG: return "fichier trop grand";
    case ENOSPC: return "disque plein";
    case EROFS: return "système de fichiers en lecture seule";
    case EMLINK: return "trop de liens";
    case EPIPE: return "liaison fermée à l'autre bout";
    case ERANGE: return "valeur hors limites";
    case EDEADLK: return "blocage mutuel évité";
    case ENAMETOOLONG: return "nom de fichier trop long";
    case ENOLCK: return "plus de verrou disponible";
    case ENOSYS: return "fonction absente de ce système";
    case ELOOP: return "trop de liens symboliques (une boucle ?)";
    case ENODATA: return "aucune donnée disponible";
    case ETIME: return "délai dépassé";
    case ENOLINK: return "liaison coupée";
    case EPROTO: return "erreur de protocole";
    case EOVERFLOW: return "valeur trop grande";
    case EBADFD: return "descripteur de fichier en mauvais état";
    case EMSGSIZE: return "message trop long";
    case EPROTONOSUPPORT: return "protocole non pris en charge";
    case EOPNOTSUPP: return "opération non prise en charge";
    case EAFNOSUPPORT: return "famille d'adresses non prise en charge (IPv6 désactivé ?)";
    case EADDRINUSE: return "adresse déjà utilisée";
    case EADDRNOTAVAIL: return "adresse indisponible sur cette machine";
    case ENETDOWN: return "réseau désactivé";
    case ENETUNREACH: return "réseau injoignable";
    case ENETRESET: return "connexion coupée par le réseau";
    case ECONNABORTED: return "connexion abandonnée";
    case ECONNRESET: return "connexion coupée par l'autre machine";
    case ENOBUFS: return "mémoire tampon insuffisante";
    case ENOTCONN: return "pas de connexion";
    case ETIMEDOUT: return "pas de réponse (délai dépassé)";
    case ECONNREFUSED: return "connexion refusée";
    case EHOSTDOWN: return "hôte éteint";
    case EHOSTUNREACH: return "hôte injoignable";
    case EALREADY:
    case EINPROGRESS:
      return "connexion en cours";
    case ESTALE: return "fichier réseau périmé";
    case EREMOTEIO: return "erreur d'entrée-sortie distante";
    case EDQUOT: return "quota de disque dépassé";
    case ENOMEDIUM: return "aucun support dans le lecteur";
    case ECANCELED: return "opération annulée";
    case ERFKILL: return "liaison radio coupée (rfkill)";
    case EHWPOISON: return "erreur de mémoire matérielle";
    default: return std::nullopt;
  }
}

// The French text for any error number: a number without a text of its own
// is given with its symbolic name, which an operator can look up.
std::string SystemErrorText(int errorNumber) {
  if (std::optional<std::string> known = KnownErrorText(errorNumber)) return *std::move(known);
  std::string text = "erreur système " + std::to_string(errorNumber);
  if (const char* name = strerrorname_np(errorNumber)) text += std::string(" (") + name + ")";
  return text;
}

// Why a host name could not be resolved, from getaddrinfo's code.
std::string NameLookupErrorText(int lookupError) {
  switch (lookupError) {
    case EAI_NONAME: return "nom d'hôte inconnu";
#ifdef EAI_NODATA
    case EAI_NODATA: return "ce nom d'hôte n'a pas d'adresse";
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return "ce nom d'hôte n'a pas d'adresse utilisable";
#endif
    case EAI_AGAIN: return "résolution du nom impossible pour le moment (réseau ou serveur de noms injoignable)";
    case EAI_FAIL: return "le serveur de noms a échoué";
    case EAI_SERVICE: return "port inconnu";
    case EAI_MEMORY: return "mémoire insuffisante pour résoudre le nom";
    case EAI_FAMILY:
    case EAI_SOCKTYPE:
    case EAI_BADFLAGS:
      return "demande de résolution du nom refusée par le système";
    case EAI_OVERFLOW: return "nom d'hôte trop long";
    case EAI_SYSTEM: return "résolution du nom impossible (erreur système)";
    default: return "résolution du nom impossible (code " + std::to_string(lookupError) + ")";
  }
}

// ---------------------------------------------------------------------------
// Devices and daemons

// Why a device could not be opened, in the words of devices where they say
// more than the general text (a missing device, one held by another program,
// the wrong kind of device).
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
  return "Impossible d'ouvrir " + Quoted(failure.device) + " : " + DeviceErrorReason(failure.errorNumber, failure.kind);
}

// Which device a port stands for, as the operator chooses it in the
// configuration: the GPS's serial port or the rotator's parallel port.
enum class PortRole { kGps, kRotator };

// What the operator can do about a device that could not be opened, as a
// paragraph after the reason: choose no port or another one, and for a
// permission refusal join the group the device belongs to.
std::string DeviceOpenHint(const std::string& device, int errorNumber, PortRole role) {
  const std::string choose =
      role == PortRole::kGps
          ? "choisissez « Aucun » ou un autre port série dans la configuration, ou nommez le bon périphérique "
            "dans la section [Ports] du fichier de réglages (par exemple COM1=/dev/ttyUSB0 pour un GPS USB)."
          : "choisissez « Aucun » ou un autre port parallèle dans la configuration, ou nommez le bon "
            "périphérique dans la section [Ports] du fichier de réglages (man quarbe).";
  if (device.empty() || (errorNumber != EACCES && errorNumber != EPERM)) return "\n\nPour continuer, " + choose;
  std::string access;
  const std::string shown = Quoted(device);
  const std::optional<DeviceGroup> group = CharacterDeviceGroup(device);
  if (!group) {
    access = "Vérifiez les droits de " + shown + " (ls -l " + shown + ").";
  } else if (group->id == 0) {
    access = shown + " n'est ouvert qu'à l'administrateur (groupe root) : demandez-lui d'en donner l'accès.";
  } else {
    const std::string name = group->name.empty() ? std::to_string(group->id) : group->name;
    access = shown + " appartient au groupe " + name + " : ajoutez votre compte à ce groupe (sudo adduser $USER " +
             name + "), puis fermez la session et ouvrez-la de nouveau pour que cela prenne effet.";
  }
  return "\n\n" + access + " Sinon, " + choose;
}

// Why a connection to a daemon failed: the usual cases in a daemon's terms.
std::string ConnectErrorReason(int errorNumber) {
  switch (errorNumber) {
    case ECONNREFUSED:
      return "connexion refusée";
    case EHOSTUNREACH:
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
  return "Impossible de joindre " + service + " sur " + Quoted(address) + " : " + reason;
}

// « Entrée COM1=gpsd:localhost de la section [Ports] incorrecte : il manque le port ... ».
std::string PortEntryErrorText(const PortEntryFailure& failure) {
  return "Entrée " + failure.key + "=" + Quoted(failure.entry) + " de la section [Ports] incorrecte : " +
         PortEntryReasonText(failure.error);
}

std::string GpsdUnreachableText(const GpsdUnreachable& failure) {
  std::string reason;
  switch (failure.cause) {
    case GpsdUnreachable::Cause::kUnknownPort: reason = "port inconnu"; break;
    case GpsdUnreachable::Cause::kUnknownHost:
      reason = failure.lookupError != 0 ? NameLookupErrorText(failure.lookupError) : "hôte inconnu";
      break;
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
std::string HamlibFailureText(const HamlibFailure& failure, PortRole role) {
  const HamlibAddress& address = failure.address;
  if (failure.stage == HamlibFailure::Stage::kUnknownModel) {
    return "Modèle de rotateur Hamlib inconnu : " + std::to_string(address.model) + " (rotctl -l donne la liste)";
  }
  if (failure.stage == HamlibFailure::Stage::kSetting) {
    return "Réglage Hamlib refusé pour le rotateur " + std::to_string(address.model) + " : " + failure.setting;
  }
  if (failure.daemonAnswered) {
    // rotctld is there; the rotator behind it is not.
    return "rotctld sur " + Quoted(address.device) + " répond, mais pas son rotateur : " + HamlibReason(failure);
  }
  const bool opening = failure.stage == HamlibFailure::Stage::kOpen;
  const bool inputOutput = failure.problem == HamlibFailure::Problem::kInputOutput;
  const bool systemCause = inputOutput && failure.errorNumber != 0;
  if (failure.network) {
    std::string reason = failure.lookupError != 0 ? NameLookupErrorText(failure.lookupError)
                         : systemCause           ? ConnectErrorReason(failure.errorNumber)
                                                 : HamlibReason(failure);
    // rotctld itself fell silent, or the connection to it broke.
    if (failure.lookupError == 0 && failure.problem == HamlibFailure::Problem::kTimeout) {
      reason = ConnectErrorReason(ETIMEDOUT);
    }
    if (!opening && inputOutput) reason = "connexion perdue";
    const std::string service = address.model == kHamlibNetworkModel ? "rotctld" : "le rotateur Hamlib";
    return ServiceErrorText(service, address.device, reason);
  }
  if (opening && systemCause) {
    return DeviceOpenErrorText(DeviceOpenFailure{DeviceKind::kSerial, address.device, failure.errorNumber}) +
           DeviceOpenHint(address.device, failure.errorNumber, role);
  }
  std::string text = opening ? "Impossible d'ouvrir le rotateur Hamlib " : "Le rotateur Hamlib ";
  text += std::to_string(address.model);
  text += " sur ";
  text += Quoted(address.device);
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
    case FileProblem::Kind::kReadOnly: return "le fichier est en lecture seule";
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

// Said under an unknown command-line word.
constexpr const char* kAcceptedArguments =
    "\n\nQuarbe accepte local=AANNAA pour le QRA local et dest=AANNAA pour le QRA du correspondant "
    "(par exemple local=JN18AP dest=JN08WV) ; quarbe --help donne aussi les options de Qt.";

struct MessageWording {
  Wording operator()(const FieldRefusal& refusal) const { return {RefusalText(refusal), kAttention}; }
  Wording operator()(LocatorError error) const { return {LocatorText(error), kAttention}; }
  Wording operator()(const UnknownArgument& argument) const {
    return {Quoted(argument.word) + kAcceptedArguments, kUnknownArgumentCaption};
  }
  Wording operator()(const SettingsNotRead& notRead) const {
    return {"Le fichier de réglages " + Quoted(notRead.problem.path) + " n'a pas été lu : " +
                FileReason(notRead.problem.reason) + ". Quarbe démarre avec les réglages par défaut.",
            kSettingsCaption};
  }
};

struct FailureText {
  PortRole role;

  std::string operator()(const DeviceOpenFailure& failure) const {
    return DeviceOpenErrorText(failure) + DeviceOpenHint(failure.device, failure.errorNumber, role);
  }
  std::string operator()(const PortEntryFailure& failure) const { return PortEntryErrorText(failure); }
  std::string operator()(const GpsdUnreachable& failure) const { return GpsdUnreachableText(failure); }
  std::string operator()(const HamlibFailure& failure) const { return HamlibFailureText(failure, role); }
};

constexpr const char* kNoDisplayNamed = "ni DISPLAY ni WAYLAND_DISPLAY n'est défini";

}  // namespace

Wording Word(const Message& message) { return std::visit(MessageWording{}, message); }

Wording Word(const GpsOpenError& error) {
  return {std::visit(FailureText{PortRole::kGps}, error.failure), kGpsOpenCaption};
}

Wording Word(const RotatorFailure& failure) {
  return {std::visit(FailureText{PortRole::kRotator}, failure), kRotatorOpenCaption};
}

Wording WordSettingsNotSaved(const SettingsFileProblem& problem) {
  return {"Les réglages n'ont pas été enregistrés dans " + Quoted(problem.path) + " : " +
              FileReason(problem.reason) + ".",
          kSettingsCaption};
}

std::string PortEntryReasonText(const PortEntryError& error) {
  const std::string gpsdForm = " ; la forme est gpsd ou gpsd:HÔTE:PORT";
  const std::string hamlibForm = " ; la forme est hamlib:MODÈLE:PÉRIPHÉRIQUE ou hamlib:MODÈLE:PÉRIPHÉRIQUE:VITESSE";
  const std::string part = "« " + Quoted(error.part) + " »";
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

namespace {

std::string DeviceMeaning(const DevicePath& device) {
  return device.path.empty() ? "aucun périphérique" : "périphérique " + device.path;
}

std::string UnreadableEntryMeaning(const PortEntryError& error) {
  return "entrée de la section [Ports] illisible : " + PortEntryReasonText(error);
}

}  // namespace

std::string PortMeaningText(const std::string& portName, const GpsPortEntry& entry) {
  struct Meaning {
    std::string operator()(const DevicePath& device) const { return DeviceMeaning(device); }
    std::string operator()(const GpsdAddress& gpsd) const { return "gpsd sur " + GpsdAddressText(gpsd); }
    std::string operator()(const PortEntryError& error) const { return UnreadableEntryMeaning(error); }
  };
  return portName + " : " + std::visit(Meaning{}, entry);
}

std::string PortMeaningText(const std::string& portName, const RotatorPortEntry& entry) {
  struct Meaning {
    std::string operator()(const DevicePath& device) const { return DeviceMeaning(device); }
    std::string operator()(const HamlibAddress& hamlib) const {
      std::string text = hamlib.model == kHamlibNetworkModel
                             ? "rotctld (Hamlib) sur " + hamlib.device
                             : "rotateur Hamlib, modèle " + std::to_string(hamlib.model) + ", sur " + hamlib.device;
      if (hamlib.speedBaud > 0) text += " à " + std::to_string(hamlib.speedBaud) + " bauds";
      return text + " ; la butée et le sens de rotation sont ceux du rotateur";
    }
    std::string operator()(const PortEntryError& error) const { return UnreadableEntryMeaning(error); }
  };
  return portName + " : " + std::visit(Meaning{}, entry);
}

namespace {

std::string AgeText(std::chrono::seconds age) {
  using std::chrono::hours;
  using std::chrono::minutes;
  if (age >= hours(1)) return std::to_string(std::chrono::floor<hours>(age).count()) + " h";
  if (age >= minutes(1)) return std::to_string(std::chrono::floor<minutes>(age).count()) + " min";
  return std::to_string(age.count()) + " s";
}

// Each part says its state first, then what it is about: a line cut short
// on a narrow screen keeps what matters.
std::string GpsStatusText(const GpsLine& gps) {
  using State = GpsLine::State;
  using Source = GpsStatusInput::Source;
  const std::string source = gps.source == Source::kGpsd ? "gpsd " + Quoted(gps.where) : Quoted(gps.where);
  std::string text = "GPS : ";
  switch (gps.state) {
    case State::kNone:
      return text + "aucun";
    case State::kUnused:
      return text + "non utilisé";
    case State::kClosed:
      if (gps.source == Source::kUnreadableEntry) return text + "entrée illisible (" + source + ")";
      text += (gps.source == Source::kGpsd ? "injoignable (" : "non ouvert (") + source + ")";
      break;
    case State::kSilent:
      text += "muet (" + source + ")";
      break;
    case State::kNoPosition:
      // Sentences come, positions do not (a tunnel, a cold start).
      if (gps.positionAge) return text + "sans position depuis " + AgeText(*gps.positionAge);
      return text + "données sans position";
    case State::kPosition:
      return text + "position reçue";
  }
  if (gps.positionAge) text += ", position il y a " + AgeText(*gps.positionAge);
  return text;
}

std::string HeadingStatusText(HeadingOrigin origin) {
  switch (origin) {
    case HeadingOrigin::kTyped:
      return "Cap : saisi";
    case HeadingOrigin::kCourse:
      return "Cap : route GPS";
    case HeadingOrigin::kHeld:
      return "Cap : maintenu à l'arrêt";
    case HeadingOrigin::kSensor:
      return "Cap : capteur";
  }
  return {};
}

std::string RotatorStatusText(const RotatorLine& rotator) {
  using State = RotatorLine::State;
  std::string text = "Rotateur : ";
  const std::string device = Quoted(rotator.device);
  // A controller by the name Hamlib gives it; rotctld by its address.
  const std::string name = rotator.model == kHamlibNetworkModel ? "rotctld sur " + device
                           : !rotator.modelName.empty()         ? Quoted(rotator.modelName)
                                                                : "modèle " + std::to_string(rotator.model) + " sur " + device;
  const std::string retry =
      !rotator.nextTryIn ? std::string()
      : rotator.nextTryIn->count() > 0 ? ", nouvel essai dans " + std::to_string(rotator.nextTryIn->count()) + " s"
                                       : ", nouvel essai en cours";
  switch (rotator.state) {
    case State::kNone:
      return text + "aucun";
    case State::kParallelByte:
      if (!rotator.lastByte) return text + "rien écrit sur " + device;
      return text + "octet " + std::to_string(*rotator.lastByte) + " écrit sur " + device;
    case State::kOpening:
      return text + "connexion en cours (" + name + ")";
    case State::kConnected:
      if (rotator.antennaDeg) text += "antenne à " + std::to_string(*rotator.antennaDeg) + "°, ";
      return text + name + " connecté";
    case State::kAbsent:
      return text + "absent" + retry + " (" + name + ")";
    case State::kNotAnswering:
      return text + "ne répond pas" + retry + " (" + (rotator.behindDaemon ? "rotateur de " : "") + name + ")";
    case State::kOutOfService:
      return text + "inutilisable, voir la configuration (" + name + ")";
  }
  return text;
}

}  // namespace

StatusTexts WordStatus(const StatusLine& line) {
  return {GpsStatusText(line.gps), HeadingStatusText(line.heading), RotatorStatusText(line.rotator)};
}

std::string UsageText(const std::string& settingsPath) {
  return "Usage : quarbe [local=QRA] [dest=QRA] [options de Qt]\n"
         "Distance et azimuts entre un véhicule et un correspondant radioamateur,\n"
         "orientation de l'antenne.\n"
         "\n"
         "  local=QRA        le QRA du véhicule, 6 caractères, par exemple local=JN18AP\n"
         "  dest=QRA         le QRA du correspondant, par exemple dest=JN08WV\n"
         "  -h, --help       affiche cette aide\n"
         "  --version        affiche la version de Quarbe\n"
         "\n"
         "Options de Qt utiles :\n"
         "  -platform NOM    l'affichage : xcb (X11), wayland, ou offscreen (aucun)\n"
         "  -style NOM       le style des fenêtres : fusion (par défaut) ou windows\n"
         "  -reverse         les fenêtres de droite à gauche\n"
         "\n"
         "Fichier de réglages : " + settingsPath + "\n"
         "Sa section [Ports] dit quel périphérique chaque port désigne (un GPS USB,\n"
         "gpsd, un rotor piloté par Hamlib) ; man quarbe décrit ses clés.\n";
}

std::string NoDisplayText() {
  return std::string("quarbe : aucun affichage graphique (") + kNoDisplayNamed +
         ") ; lancez Quarbe dans une session graphique.";
}

std::string DisplayUnavailableText(const std::string& displaysNamed) {
  return "quarbe : impossible d'ouvrir l'affichage graphique (" +
         (displaysNamed.empty() ? std::string(kNoDisplayNamed) : Quoted(displaysNamed)) +
         ") ; lancez Quarbe dans une session graphique.";
}

}  // namespace quarbe
