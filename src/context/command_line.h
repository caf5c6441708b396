#pragma once
// The program's command line: local=LOCATOR and dest=LOCATOR, and the
// requests answered without a window, --help (or -h) and --version.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarbe {

// The program's arguments as one command line: joined by single spaces.
std::string JoinArguments(std::span<const std::string> arguments);

struct CommandLine {
  std::optional<std::string> localLocator;          // the last local=...
  std::optional<std::string> correspondentLocator;  // the last dest=...
  std::vector<std::string> unknownWords;            // every other word, in order
};

// Tokens are separated by one or more spaces (only the space character);
// local= and dest= are matched case-insensitively at a token's start and the
// rest of the token is the locator, not checked here (an empty one too).
CommandLine ParseCommandLine(std::string_view commandLine);

// What the command line asks to be printed instead of running the window:
// the usage for --help or -h, the version for --version, the first of them
// that appears (matched whole and as written, tokens as above); kNone for
// any other command line.
enum class InformationRequest { kNone, kUsage, kVersion };
InformationRequest RequestedInformation(std::string_view commandLine);

}  // namespace quarbe
