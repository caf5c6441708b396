// Quarbe: distance, azimuths and antenna pointing between a vehicle and a
// correspondent station.
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "context/command_line.h"
#include "context/profile_store.h"
#include "ui/application.h"
#include "ui/display_check.h"
#include "ui/operator_texts.h"

namespace {

// --help and --version are answered on the standard output before anything
// else: neither opens a window, so neither needs a display. nullopt when the
// command line asks for neither; otherwise the exit status (1 when the
// output could not be written, a closed pipe or a full disk).
std::optional<int> AnswerInformationRequest(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::string text;
  switch (quarbe::RequestedInformation(quarbe::JoinArguments(std::span<const std::string>(arguments)))) {
    case quarbe::InformationRequest::kNone:
      return std::nullopt;
    case quarbe::InformationRequest::kUsage:
      text = quarbe::UsageText(quarbe::ProfileStore::DefaultPath());
      break;
    case quarbe::InformationRequest::kVersion:
      text = std::string("quarbe ") + QUARBE_VERSION + "\n";
      break;
  }
  const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
  return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> status = AnswerInformationRequest(argc, argv)) return *status;
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
