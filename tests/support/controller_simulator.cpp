#include "support/controller_simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace quarbe::testing_support {
namespace {

// Nothing a controller says, nor a number: "#?!" and bytes above ASCII.
constexpr char kGarbage[] = "#?!\x8f\xa3~%\xfe\x01Zq\r\n";

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

ControllerSimulator::ControllerSimulator(const Options& options)
    : options_(options),
      mode_(options.mode),
      fromDeg_(options.startDeg),
      targetDeg_(options.startDeg),
      movedAt_(Clock::now()),
      server_([this] { Serve(); }) {}

ControllerSimulator::~ControllerSimulator() { Unplug(); }

void ControllerSimulator::SetMode(Mode mode) {
  std::lock_guard lock(mutex_);
  const Clock::time_point now = Clock::now();
  // A controller that falls silent stops where it is.
  fromDeg_ = targetDeg_ = AzimuthAt(now);
  movedAt_ = now;
  mode_ = mode;
}

void ControllerSimulator::Unplug() {
  running_ = false;
  if (server_.joinable()) server_.join();
  line_.Unplug();
}

std::vector<ControllerSimulator::Move> ControllerSimulator::Moves() const {
  std::lock_guard lock(mutex_);
  return moves_;
}

std::vector<double> ControllerSimulator::MovedTo() const {
  std::vector<double> azimuths;
  for (const Move& move : Moves()) azimuths.push_back(move.azimuthDeg);
  return azimuths;
}

int ControllerSimulator::PositionQueries() const {
  std::lock_guard lock(mutex_);
  return queries_;
}

double ControllerSimulator::AzimuthDeg() const {
  std::lock_guard lock(mutex_);
  return AzimuthAt(Clock::now());
}

double ControllerSimulator::AzimuthAt(Clock::time_point when) const {
  const double seconds = std::chrono::duration<double>(when - movedAt_).count();
  const double travelled = std::min(std::fabs(targetDeg_ - fromDeg_), seconds * options_.slewDegPerSecond);
  return fromDeg_ + std::copysign(travelled, targetDeg_ - fromDeg_);
}

void ControllerSimulator::Serve() {
  const char end = options_.protocol == Protocol::kGs232b ? '\r' : '\n';
  while (running_) {
    pending_ += line_.Receive(20);
    for (std::size_t at; (at = pending_.find(end)) != std::string::npos;) {
      const std::string line = pending_.substr(0, at);
      pending_.erase(0, at + 1);
      Handle(Trimmed(line));
    }
  }
}

void ControllerSimulator::Handle(const std::string& line) {
  std::string reply;
  {
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    const bool gs = options_.protocol == Protocol::kGs232b;
    const bool query = gs ? line.rfind("C", 0) == 0 : line == "AZ EL";
    const bool stop = gs ? line == "S" : line == "SA SE";
    std::optional<double> move;
    if (gs && line.size() > 1 && line[0] == 'W') move = std::strtod(line.c_str() + 1, nullptr);
    if (!gs && !query && line.rfind("AZ", 0) == 0) move = std::strtod(line.c_str() + 2, nullptr);
    if (move) moves_.push_back(Move{*move, now});
    if (mode_ == Mode::kMute || line.empty()) return;
    if (mode_ == Mode::kGarbage) {
      if (query) reply = kGarbage;
    } else if (move || stop) {
      fromDeg_ = AzimuthAt(now);
      targetDeg_ = move ? std::clamp(*move, options_.minAzDeg, options_.maxAzDeg) : fromDeg_;
      movedAt_ = now;
    } else if (query) {
      ++queries_;
      const double azimuth = AzimuthAt(now);
      char text[64];
      if (gs) {
        std::snprintf(text, sizeof text, "AZ=%03d  EL=000\r\n", static_cast<int>(std::lround(azimuth)));
      } else {
        std::snprintf(text, sizeof text, "AZ%.1f EL0.0\n", azimuth);
      }
      reply = text;
    } else if (gs) {
      reply = "?>\r\n";
    }
  }
  if (!reply.empty()) line_.Send(reply);
}

}  // namespace quarbe::testing_support
