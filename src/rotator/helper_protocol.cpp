#include "rotator/helper_protocol.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace quarbe {
namespace {

// Room for the numbers and the words of a line; the name gets the rest.
constexpr std::size_t kNameLimit = kHelperLineLimit - 128;

std::string Number(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The line cut at single spaces into at most `count` fields, the last one
// taking the rest of the line.
std::vector<std::string_view> Fields(std::string_view line, std::size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) break;
    fields.push_back(line.substr(0, space));
    line.remove_prefix(space + 1);
  }
  fields.push_back(line);
  return fields;
}

std::optional<double> ParseDouble(std::string_view text) {
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// A name on one line: control bytes become spaces.
std::string OneLine(const std::string& text) {
  std::string line = text.substr(0, kNameLimit);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return line;
}

struct ReplyEncoder {
  std::string operator()(const HamlibRotatorInfo& info) const {
    return "ready " + Number(info.minAzDeg) + " " + Number(info.maxAzDeg) + " " + Number(info.minElDeg) + " " +
           Number(info.maxElDeg) + " " + OneLine(info.modelName);
  }
  std::string operator()(const HelperFailed& failed) const {
    return "failed " + std::to_string(static_cast<int>(failed.stage)) + " " + std::to_string(failed.hamlibCode) +
           " " + std::to_string(failed.errorNumber) + " " + (failed.network ? "1" : "0") + " " +
           OneLine(failed.setting);
  }
  std::string operator()(const HelperDone&) const { return "done"; }
  std::string operator()(const HelperAt& at) const { return "at " + Number(at.azimuthDeg); }
};

std::optional<HelperReply> DecodeReady(std::string_view rest) {
  const std::vector<std::string_view> fields = Fields(rest, 5);
  if (fields.size() != 5) return std::nullopt;
  HamlibRotatorInfo info;
  double* numbers[] = {&info.minAzDeg, &info.maxAzDeg, &info.minElDeg, &info.maxElDeg};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::optional<double> value = ParseDouble(fields[i]);
    if (!value) return std::nullopt;
    *numbers[i] = *value;
  }
  info.modelName = std::string(fields[4]);
  return info;
}

std::optional<HelperReply> DecodeFailed(std::string_view rest) {
  const std::vector<std::string_view> fields = Fields(rest, 5);
  if (fields.size() != 5) return std::nullopt;
  const std::optional<int> stage = ParseInt(fields[0]);
  const std::optional<int> code = ParseInt(fields[1]);
  const std::optional<int> errorNumber = ParseInt(fields[2]);
  if (!stage || !code || !errorNumber || (fields[3] != "0" && fields[3] != "1")) return std::nullopt;
  if (*stage < 0 || *stage > static_cast<int>(HamlibFailure::Stage::kCommand)) return std::nullopt;
  return HelperFailed{static_cast<HamlibFailure::Stage>(*stage), *code, *errorNumber, fields[3] == "1",
                      std::string(fields[4])};
}

}  // namespace

std::string EncodeRequest(const HelperRequest& request) {
  if (const auto* set = std::get_if<HelperSet>(&request)) return "set " + Number(set->azimuthDeg) + "\n";
  return "get\n";
}

std::optional<HelperRequest> DecodeRequest(std::string_view line) {
  if (line == "get") return HelperGet{};
  if (line.starts_with("set ")) {
    if (const std::optional<double> azimuth = ParseDouble(line.substr(4))) return HelperSet{*azimuth};
  }
  return std::nullopt;
}

std::string EncodeReply(const HelperReply& reply) { return std::visit(ReplyEncoder{}, reply) + "\n"; }

std::optional<HelperReply> DecodeReply(std::string_view line) {
  if (line == "done") return HelperDone{};
  if (line.starts_with("at ")) {
    if (const std::optional<double> azimuth = ParseDouble(line.substr(3))) return HelperAt{*azimuth};
    return std::nullopt;
  }
  if (line.starts_with("ready ")) return DecodeReady(line.substr(6));
  if (line.starts_with("failed ")) return DecodeFailed(line.substr(7));
  return std::nullopt;
}

HelperFailed HelperFailedOf(const HamlibFailure& failure) {
  return HelperFailed{failure.stage, failure.hamlibCode, failure.errorNumber, failure.network, failure.setting};
}

}  // namespace quarbe
