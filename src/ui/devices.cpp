#include "ui/devices.h"

#include <future>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "common/port_entry.h"
#include "gps/gps_reader.h"
#include "gps/gpsd_reader.h"

namespace quarbe {

Devices::Devices() : serial_(std::make_unique<GpsReader>()) {
  rotator_.SetFailureCallback([this](const RotatorFailure& failure) { rotatorFailure_ = failure; });
}

Devices::~Devices() {
  rotator_.Close();
  StopGps();
}

void Devices::SetGpsNotifier(FixHandoff::Notifier notifier) { gpsNotifier_ = std::move(notifier); }

void Devices::SetRotatorNotifier(std::function<void()> notifier) { rotator_.SetReportNotifier(std::move(notifier)); }

void Devices::SetRotatorStatusNotifier(std::function<void()> notifier) {
  rotator_.SetStatusNotifier(std::move(notifier));
}

std::optional<GpsOpenError> Devices::StartGps(const Configuration& configuration, const PortMap& ports, bool gpsUse,
                                              std::int32_t headingDeg) {
  // The COM entry names a serial device or gpsd.
  const std::string entry = ports.SerialDevice(configuration.gpsPort);
  const GpsPortEntry parsed = ParseGpsPortEntry(entry);
  if (const auto* error = std::get_if<PortEntryError>(&parsed)) {
    gps_ = nullptr;
    return GpsOpenError{PortEntryFailure{"COM" + std::to_string(configuration.gpsPort), entry, *error}};
  }
  if (const auto* address = std::get_if<GpsdAddress>(&parsed)) {
    if (!gpsd_) gpsd_ = std::make_unique<GpsdReader>();
    gps_ = gpsd_.get();
    gps_->SetNotifier(gpsNotifier_);
    gps_->SetGpsUse(gpsUse);
    gpsd_->Start(*address, headingDeg);
    return std::nullopt;
  }
  gps_ = serial_.get();
  gps_->SetNotifier(gpsNotifier_);
  gps_->SetGpsUse(gpsUse);
  serial_->Start(configuration.gpsPort, ports, headingDeg);
  return std::nullopt;
}

void Devices::StopGps() {
  if (serial_) serial_->Stop();
  if (gpsd_) gpsd_->Stop();
}

void Devices::SetGpsUse(bool on) {
  if (gps_ != nullptr) gps_->SetGpsUse(on);
}

bool Devices::ServeGps(const FixHandoff::Handler& handler) { return gps_ != nullptr && gps_->Serve(handler); }

void Devices::ConfigureRotator(const Configuration& configuration, const PortMap& ports) {
  rotator_.Reconfigure(configuration, ports);
}

std::optional<RotatorFailure> Devices::WriteRotator(std::int32_t relativeAzimuthDeg) {
  rotator_.Write(relativeAzimuthDeg);
  return std::exchange(rotatorFailure_, std::nullopt);
}

std::optional<RotatorFailure> Devices::TakeRotatorReport() {
  rotator_.ServeReports();
  return std::exchange(rotatorFailure_, std::nullopt);
}

void Devices::Shutdown(std::chrono::milliseconds limit) {
  rotator_.Close();
  // Stopped on a thread of their own, so that the wait can end at `limit`.
  GpsReader* serial = serial_.get();
  GpsdReader* gpsd = gpsd_.get();
  auto stopped = std::make_shared<std::promise<void>>();
  std::future<void> done = stopped->get_future();
  try {
    std::thread stopper([serial, gpsd, stopped] {
      serial->Stop();
      if (gpsd != nullptr) gpsd->Stop();
      stopped->set_value();
    });
    if (done.wait_for(limit) == std::future_status::ready) {
      stopper.join();
      return;
    }
    // Still inside a call that cannot be woken: the readers stay with the
    // thread that stops them, and neither is waited for again.
    stopper.detach();
    static_cast<void>(serial_.release());
    static_cast<void>(gpsd_.release());
  } catch (const std::system_error&) {
    // No thread to spare: stop them here.
    StopGps();
  }
}

}  // namespace quarbe
