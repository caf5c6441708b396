#include "ui/devices.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "common/port_entry.h"
#include "gps/gps_reader.h"
#include "gps/gpsd_reader.h"

namespace quarbe {

// A notifier that can be cut off: once Close() has returned, the one it
// wraps is not running and is never called again, whichever thread the
// device calls it on. The window's notifiers queue a call to the window, so
// one that came after the window had gone would reach freed memory.
class NotifierGate {
 public:
  explicit NotifierGate(std::function<void()> target) : target_(std::move(target)) {}

  static std::function<void()> Notifier(const std::shared_ptr<NotifierGate>& gate) {
    return [gate] { gate->Ring(); };
  }

  // Closes `gate`, puts a new one for `target` in its place and returns its
  // notifier.
  static std::function<void()> Replace(std::shared_ptr<NotifierGate>& gate, std::function<void()> target) {
    if (gate) gate->Close();
    gate = std::make_shared<NotifierGate>(std::move(target));
    return Notifier(gate);
  }

  void Close() {
    std::lock_guard lock(mutex_);
    target_ = nullptr;
  }

 private:
  // The target only queues a call: holding the lock meanwhile costs nothing.
  void Ring() {
    std::lock_guard lock(mutex_);
    if (target_) target_();
  }

  std::mutex mutex_;
  std::function<void()> target_;
};

namespace {

// Rotators being closed on a thread of their own.
std::atomic<int> g_rotatorsClosing{0};

// Closes `rotator` on a thread of its own, which then deletes it; the end
// returned is set once it is done.
std::shared_ptr<const ThreadEnd> CloseAside(std::unique_ptr<RotatorOutput> rotator) {
  auto end = std::make_shared<ThreadEnd>();
  RotatorOutput* closing = rotator.release();
  g_rotatorsClosing.fetch_add(1);
  const auto close = [closing, end] {
    closing->Close();
    delete closing;
    g_rotatorsClosing.fetch_sub(1);
    end->Set();
  };
  try {
    std::thread(close).detach();
  } catch (const std::system_error&) {
    // No thread to spare: closed here.
    close();
  }
  return end;
}

// Asks `reader` to stop. One that has not ended at once is let go and a
// fresh one takes its place; the end of the one let go is returned.
template <typename Reader>
std::shared_ptr<const ThreadEnd> StopOrReplace(std::unique_ptr<Reader>& reader) {
  if (!reader || reader->RequestStop()) return nullptr;
  std::shared_ptr<const ThreadEnd> end = reader->LastThreadEnd();
  ReaderThreadCore::Release(std::move(reader));
  reader = std::make_unique<Reader>();
  return end;
}

}  // namespace

Devices::Devices() : serial_(std::make_unique<GpsReader>()), rotator_(std::make_unique<RotatorOutput>()) {
  rotator_->SetFailureCallback([this](const RotatorFailure& failure) { rotatorFailure_ = failure; });
}

Devices::~Devices() { Shutdown(std::chrono::milliseconds(0)); }

void Devices::SetGpsNotifier(FixHandoff::Notifier notifier) { gpsNotifier_ = std::move(notifier); }

void Devices::SetRotatorNotifier(std::function<void()> notifier) {
  auto gated = NotifierGate::Replace(rotatorGate_, std::move(notifier));
  if (rotator_) rotator_->SetReportNotifier(std::move(gated));
}

void Devices::SetRotatorStatusNotifier(std::function<void()> notifier) {
  auto gated = NotifierGate::Replace(rotatorStatusGate_, std::move(notifier));
  if (rotator_) rotator_->SetStatusNotifier(std::move(gated));
}

RotatorStatus Devices::rotatorStatus() const { return rotator_ ? rotator_->Status() : RotatorStatus{}; }

std::optional<GpsOpenError> Devices::StartGps(const Configuration& configuration, const PortMap& ports, bool gpsUse,
                                              std::int32_t headingDeg) {
  StopGps();
  // The COM entry names a serial device or gpsd.
  const std::string entry = ports.SerialDevice(configuration.gpsPort);
  const GpsPortEntry parsed = ParseGpsPortEntry(entry);
  gpsSource_ = configuration.gpsPort == 0 ? GpsStatusInput::Source::kNone : GpsStatusInput::Source::kSerial;
  gpsWhere_ = entry;
  if (const auto* error = std::get_if<PortEntryError>(&parsed)) {
    gpsSource_ = GpsStatusInput::Source::kUnreadableEntry;
    return GpsOpenError{PortEntryFailure{"COM" + std::to_string(configuration.gpsPort), entry, *error}};
  }
  const auto gated = NotifierGate::Replace(gpsGate_, gpsNotifier_);
  if (const auto* address = std::get_if<GpsdAddress>(&parsed)) {
    gpsSource_ = GpsStatusInput::Source::kGpsd;
    gpsWhere_ = GpsdAddressText(*address);
    if (!gpsd_) gpsd_ = std::make_unique<GpsdReader>();
    gps_ = gpsd_.get();
    gps_->SetNotifier(gated);
    gps_->SetGpsUse(gpsUse);
    gpsd_->Start(*address, headingDeg);
    return std::nullopt;
  }
  gps_ = serial_.get();
  gps_->SetNotifier(gated);
  gps_->SetGpsUse(gpsUse);
  serial_->Start(configuration.gpsPort, ports, headingDeg, std::exchange(serialPredecessor_, nullptr));
  return std::nullopt;
}

void Devices::CloseGpsGate() {
  if (gpsGate_) gpsGate_->Close();
  gpsGate_.reset();
  gps_ = nullptr;
}

void Devices::StopGps() {
  gpsSource_ = GpsStatusInput::Source::kNone;
  gpsWhere_.clear();
  CloseGpsGate();
  if (auto end = StopOrReplace(serial_)) serialPredecessor_ = std::move(end);
  StopOrReplace(gpsd_);
}

void Devices::SetGpsUse(bool on) {
  if (gps_ != nullptr) gps_->SetGpsUse(on);
}

bool Devices::ServeGps(const FixHandoff::Handler& handler) { return gps_ != nullptr && gps_->Serve(handler); }

GpsStatusInput Devices::gpsStatus() const {
  GpsStatusInput status;
  status.source = gpsSource_;
  status.where = gpsWhere_;
  if (gps_ != nullptr) {
    status.use = gps_->GpsUse();
    status.activity = gps_->Activity();
  }
  return status;
}

void Devices::ConfigureRotator(const Configuration& configuration, const PortMap& ports) {
  if (rotator_) rotator_->Reconfigure(configuration, ports);
}

std::optional<RotatorFailure> Devices::WriteRotator(std::int32_t relativeAzimuthDeg) {
  if (!rotator_) return std::nullopt;
  rotator_->Write(relativeAzimuthDeg);
  return std::exchange(rotatorFailure_, std::nullopt);
}

std::optional<RotatorFailure> Devices::TakeRotatorReport() {
  if (!rotator_) return std::nullopt;
  rotator_->ServeReports();
  return std::exchange(rotatorFailure_, std::nullopt);
}

void Devices::Shutdown(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  CloseGpsGate();
  if (rotatorGate_) rotatorGate_->Close();
  if (rotatorStatusGate_) rotatorStatusGate_->Close();
  // Everything is asked at once, so that the limit holds for all together.
  std::vector<std::shared_ptr<const ThreadEnd>> ends;
  if (rotator_) {
    rotator_->SetFailureCallback(nullptr);
    ends.push_back(CloseAside(std::move(rotator_)));
  }
  for (ReaderThreadCore* reader : {static_cast<ReaderThreadCore*>(serial_.get()),
                                   static_cast<ReaderThreadCore*>(gpsd_.get())}) {
    if (reader != nullptr && !reader->RequestStop()) ends.push_back(reader->LastThreadEnd());
  }
  for (const auto& end : ends) end->WaitUntil(deadline);
  // Those still busy are left to end by themselves.
  if (auto end = StopOrReplace(serial_)) serialPredecessor_ = std::move(end);
  StopOrReplace(gpsd_);
}

bool Devices::ThreadsLeftRunning() {
  return ReaderThreadCore::ReleasedStillRunning() > 0 || g_rotatorsClosing.load() > 0;
}

}  // namespace quarbe
