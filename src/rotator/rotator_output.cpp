#include "rotator/rotator_output.h"

#include <utility>
#include <variant>

#include "common/port_entry.h"

namespace quarbe {

void RotatorOutput::SetFailureCallback(FailureCallback callback) {
  onFailure_ = std::move(callback);
  port_.SetFailureCallback([this](const DeviceOpenFailure& failure) {
    if (onFailure_) onFailure_(failure);
  });
}

void RotatorOutput::SetReportNotifier(HamlibRotator::Notifier notifier) { hamlib_.SetNotifier(std::move(notifier)); }

void RotatorOutput::SetStatusNotifier(HamlibRotator::Notifier notifier) {
  statusNotifier_ = notifier;
  hamlib_.SetStatusNotifier(std::move(notifier));
}

RotatorStatus RotatorOutput::Status() const { return usingHamlib_ ? hamlib_.Status() : parallel_; }

void RotatorOutput::Reconfigure(const Configuration& configuration, const PortMap& ports) {
  const std::string entry = ports.ParallelDevice(configuration.rotatorPort);
  const RotatorPortEntry parsed = ParseRotatorPortEntry(entry);
  entryError_.reset();
  const auto* address = std::get_if<HamlibAddress>(&parsed);
  usingHamlib_ = address != nullptr && !closed_;
  if (usingHamlib_) {
    hamlib_.Configure(*address);
  } else {
    hamlib_.Configure(std::nullopt);
  }
  // The parallel port writer gets no device for an entry that is not one.
  PortMap devices = ports;
  if (!std::holds_alternative<DevicePath>(parsed)) {
    devices.parallel[static_cast<std::size_t>(configuration.rotatorPort - 1)].clear();
  }
  port_.Reconfigure(configuration, devices);
  configuration_ = configuration;
  parallel_ = RotatorStatus{};
  if (!usingHamlib_ && RotatorByte(0, configuration) && !port_.DevicePath().empty()) {
    parallel_.kind = RotatorStatus::Kind::kParallelByte;
    parallel_.device = port_.DevicePath();
  }
  if (const auto* error = std::get_if<PortEntryError>(&parsed)) {
    entryError_ = PortEntryFailure{"LPT" + std::to_string(configuration.rotatorPort), entry, *error};
  }
}

bool RotatorOutput::Write(std::int32_t relativeAzimuthDeg) {
  if (entryError_) {
    const PortEntryFailure failure = std::exchange(entryError_, std::nullopt).value();
    if (onFailure_) onFailure_(failure);
    return false;
  }
  if (usingHamlib_) {
    hamlib_.Command(relativeAzimuthDeg);
    return true;
  }
  const bool written = port_.Write(relativeAzimuthDeg);
  if (parallel_.kind == RotatorStatus::Kind::kParallelByte) {
    RotatorStatus status = parallel_;
    const std::int32_t turn = 360;
    status.targetDeg = ((relativeAzimuthDeg % turn) + turn) % turn;
    status.lastByte = written ? RotatorByte(relativeAzimuthDeg, configuration_) : std::nullopt;
    // As for a Hamlib rotator, the target alone is not notified.
    const bool changed = status.lastByte != parallel_.lastByte;
    parallel_ = status;
    if (changed && statusNotifier_) statusNotifier_();
  }
  return written;
}

void RotatorOutput::ServeReports() {
  if (auto report = hamlib_.TakeReport(); report && onFailure_) onFailure_(*report);
}

void RotatorOutput::Close() {
  closed_ = true;
  usingHamlib_ = false;
  hamlib_.Close();
}

}  // namespace quarbe
