#include "context/command_line.h"

#include <algorithm>

namespace quarbe {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(prefix[i]);
    const auto lowerA = (a >= 'A' && a <= 'Z') ? a + ('a' - 'A') : a;
    const auto lowerB = (b >= 'A' && b <= 'Z') ? b + ('a' - 'A') : b;
    if (lowerA != lowerB) return false;
  }
  return true;
}

// Calls `use` with each token of the command line: the text between runs of
// spaces.
template <typename Use>
void ForEachToken(std::string_view commandLine, Use use) {
  std::size_t position = 0;
  while (position < commandLine.size()) {
    if (commandLine[position] == ' ') {
      ++position;
      continue;
    }
    const auto end = std::min(commandLine.find(' ', position), commandLine.size());
    use(commandLine.substr(position, end - position));
    position = end;
  }
}

}  // namespace

std::string JoinArguments(std::span<const std::string> arguments) {
  std::string line;
  for (const auto& argument : arguments) {
    if (!line.empty() || &argument != arguments.data()) line += ' ';
    line += argument;
  }
  return line;
}

CommandLine ParseCommandLine(std::string_view commandLine) {
  constexpr std::string_view kLocalPrefix = "local=";
  constexpr std::string_view kDestPrefix = "dest=";
  CommandLine parsed;
  ForEachToken(commandLine, [&](std::string_view token) {
    if (StartsWithNoCase(token, kLocalPrefix)) {
      parsed.localLocator = std::string(token.substr(kLocalPrefix.size()));
    } else if (StartsWithNoCase(token, kDestPrefix)) {
      parsed.correspondentLocator = std::string(token.substr(kDestPrefix.size()));
    } else {
      parsed.unknownWords.emplace_back(token);
    }
  });
  return parsed;
}

InformationRequest RequestedInformation(std::string_view commandLine) {
  InformationRequest request = InformationRequest::kNone;
  ForEachToken(commandLine, [&request](std::string_view token) {
    if (request != InformationRequest::kNone) return;
    if (token == "--help" || token == "-h") request = InformationRequest::kUsage;
    if (token == "--version") request = InformationRequest::kVersion;
  });
  return request;
}

}  // namespace quarbe
