#pragma once
// Starting without a graphical display. Qt, given no display to open, aborts
// with a generic message that advises reinstalling the program; Quarbe says
// instead, in one French line, that it needs a display, and ends with
// kExitNoDisplay.

#include <optional>
#include <string>

namespace quarbe {

inline constexpr int kExitNoDisplay = 1;

// The line to print when no display can be expected: no Qt platform chosen
// explicitly (neither `-platform NAME` among the arguments nor
// QT_QPA_PLATFORM in the environment) and neither DISPLAY nor
// WAYLAND_DISPLAY set. nullopt when Qt is to try.
std::optional<std::string> MissingDisplayMessage(int argc, char** argv);

// Held while the QApplication is constructed: Qt's messages from that time
// are kept back, and if Qt cannot open its platform (a display that does not
// answer, a platform that cannot start) the French line is printed instead
// of Qt's advice and the process ends with kExitNoDisplay. Once construction
// has succeeded, the messages kept back are passed on as Qt would have
// printed them.
class PlatformStartGuard {
 public:
  PlatformStartGuard();
  ~PlatformStartGuard();
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

}  // namespace quarbe
