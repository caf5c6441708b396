#pragma once
// Every message the program shows the operator, and its caption, worded in
// French here and nowhere else. The layers below report what happened as
// values (a refused field, an error number, a device name); the window words
// them with these functions. Free of Qt: the headless tests word what they
// check the same way.

#include <string>

#include "context/update.h"

namespace quarbe {

struct Wording {
  std::string text;
  std::string caption;

  friend bool operator==(const Wording&, const Wording&) = default;
};

// The context's messages: a refused field or locator (caption "Attention"),
// an unknown command-line word ("Paramètre inconnu"), a settings file that
// could not be read ("Fichier de réglages").
Wording Word(const Message& message);

}  // namespace quarbe
