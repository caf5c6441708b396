#pragma once
// Every value the settings file holds for the program: its section, its key
// and what a missing or unreadable value gives. The defaults are written
// here only; the configuration and the context start from them.

#include <cstdint>
#include <string_view>

namespace quarbe {

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

namespace keys {
inline constexpr TextKey kLocalLocator{"Contexte", "Local", "JN18AP"};
inline constexpr TextKey kCorrespondentLocator{"Contexte", "Corres", "JN08WV"};
inline constexpr IntKey kGpsPort{"GPS", "Port", 1};
inline constexpr IntKey kRotatorPort{"Moteur", "Port", 1};
inline constexpr IntKey kRotationSense{"Moteur", "Rotation", 1};
inline constexpr IntKey kEndStop{"Moteur", "Butée", 180};
inline constexpr TextKey kPicturePath{"Compas", "Image", "mobile.emf"};
}  // namespace keys

// The device-name section: read, never written. Its keys are COM1..COM4,
// LPT1..LPT3 and kGpsSpeedKey.
inline constexpr std::string_view kPortsSection = "Ports";
inline constexpr std::string_view kGpsSpeedKey = "Vitesse";

}  // namespace quarbe
