#include "ui/operator_texts.h"

#include <variant>

namespace quarbe {
namespace {

constexpr const char* kAttention = "Attention";
constexpr const char* kUnknownArgumentCaption = "Paramètre inconnu";
constexpr const char* kSettingsCaption = "Fichier de réglages";

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
  Wording operator()(const SettingsNotRead& problem) const { return {problem.text, kSettingsCaption}; }
};

}  // namespace

Wording Word(const Message& message) { return std::visit(MessageWording{}, message); }

}  // namespace quarbe
