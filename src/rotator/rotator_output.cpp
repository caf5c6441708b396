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
  return port_.Write(relativeAzimuthDeg);
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
