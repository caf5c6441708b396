// Quarbe: distance, azimuths and antenna pointing between a vehicle and a
// correspondent station.
#include <cstdio>
#include <optional>

#include "ui/application.h"
#include "ui/display_check.h"

int main(int argc, char** argv) {
  // Checked before Qt starts: without a display Qt would abort with its own
  // advice.
  if (const std::optional<std::string> message = quarbe::MissingDisplayMessage(argc, argv)) {
    std::fprintf(stderr, "%s\n", message->c_str());
    return quarbe::kExitNoDisplay;
  }
  std::optional<quarbe::PlatformStartGuard> guard(std::in_place);
  quarbe::CBearingApp app(argc, argv);
  guard.reset();
  return app.Run();
}
