#pragma once
// Every message the program gives the operator, and its caption, worded in
// French here and nowhere else. The layers below report what happened as
// values (a refused field, an error number, a device, an address); the
// window words them with these functions. Free of Qt: the headless tests
// word what they check the same way. A text from outside quoted in a
// message (a path, a [Ports] entry, a host, a command-line word) is cut
// after 60 characters, with "…", and kept on one line.

#include <string>

#include "common/device_failure.h"
#include "common/port_entry.h"
#include "context/profile_store.h"
#include "context/update.h"
#include "gps/fix_handoff.h"
#include "rotator/rotator_output.h"
#include "status/status_model.h"

namespace quarbe {

struct Wording {
  std::string text;
  std::string caption;

  friend bool operator==(const Wording&, const Wording&) = default;
};

// The context's messages: a refused field or locator (caption "Attention"),
// an unknown command-line word ("Paramètre inconnu": the word, one of more
// than 60 characters cut, with "…", then what the command line accepts), a
// settings file that could not be read ("Fichier de réglages").
Wording Word(const Message& message);

// The GPS source could not start (caption "Ouverture port GPS"), e.g.
// « Impossible d'ouvrir /dev/ttyUSB0 : périphérique absent ». A device that
// could not be opened gets a second paragraph saying what to do: choose
// another port, or, refused permission, join the device's group (read from
// the device). Error numbers are worded in French whatever the session's
// language, a number without a text of its own as "erreur système N (ENAME)".
Wording Word(const GpsOpenError& error);

// The rotator could not be driven (caption "Ouverture port moteur"); its
// device is worded as the GPS's.
Wording Word(const RotatorFailure& failure);

// The settings could not be written at exit (caption "Fichier de réglages").
Wording WordSettingsNotSaved(const SettingsFileProblem& problem);

// What is wrong with a [Ports] entry, as the end of the message naming it:
// « il manque le port ; la forme est gpsd ou gpsd:HÔTE:PORT ».
std::string PortEntryReasonText(const PortEntryError& error);

// What a port of the configuration dialog's lists stands for, as its tooltip
// says it: « COM1 : gpsd sur localhost:2947 », « LPT1 : rotateur Hamlib,
// modèle 603, sur /dev/ttyUSB0 à 9600 bauds ; … », an entry that cannot be
// read with what is wrong with it.
std::string PortMeaningText(const std::string& portName, const GpsPortEntry& entry);
std::string PortMeaningText(const std::string& portName, const RotatorPortEntry& entry);

// The status line under the window's controls, in three parts: the GPS
// (« GPS : muet (/dev/ttyUSB0), position il y a 12 s »), the heading
// (« Cap : route GPS ») and the rotator (« Rotateur : antenne à 87°, Yaesu
// GS-232B connecté »). Each is short and says its state first; the window
// cuts what does not fit its width. Texts from outside (a device, a model
// name) are quoted as in messages.
struct StatusTexts {
  std::string gps;
  std::string heading;
  std::string rotator;

  friend bool operator==(const StatusTexts&, const StatusTexts&) = default;
};
StatusTexts WordStatus(const StatusLine& line);

// The usage `quarbe --help` prints: the command line, Qt's useful options
// and where the settings file is.
std::string UsageText(const std::string& settingsPath);

// The line printed when there is no display to open: none is named in the
// environment, or the one named (e.g. "DISPLAY=:0") could not be opened.
std::string NoDisplayText();
std::string DisplayUnavailableText(const std::string& displaysNamed);

}  // namespace quarbe
