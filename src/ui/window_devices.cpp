// The devices as the main window meets them: the GPS source started and
// stopped with the configuration, its fixes and failures served on the UI
// thread, the rotator driven to each update's target and its failures shown,
// and the status line saying what both are doing.
#include <QDir>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <chrono>

#include "context/bearing_context.h"
#include "ui/compass_view.h"
#include "ui/status_strip.h"
#include "ui/window_parts.h"

namespace quarbe {

void CBearingDlg::StartReader() {
  if (m_shutDown) return;
  const std::optional<GpsOpenError> entryError = m_devices.StartGps(m_context->configuration(), m_context->ports(),
                                                               m_context->gpsUse(), m_context->heading());
  if (entryError) {
    // Shown once the event loop runs, as a failed open is.
    QMetaObject::invokeMethod(
        this, [this, wording = Word(*entryError)] { ShowMessage(wording); }, Qt::QueuedConnection);
  }
}

void CBearingDlg::StopReader() {
  // Ends the reader, releasing a hand-off it may have begun; the context
  // ignores commits while its stop flag is set.
  m_context->SetStopFlag(true);
  m_devices.StopGps();
  m_context->SetStopFlag(false);
}

void CBearingDlg::ServeGps() {
  if (m_shutDown) return;
  if (!m_shownOnce) {
    // The window is not up yet: its first fix or message comes once it is.
    m_serveWhenShown = true;
    return;
  }
  FlushPendingCommits();
  if (m_operationDepth > 0) {
    // A commit or an update is being shown: the fix waits until it is over,
    // so that it never lands in the middle of another operation. A message
    // box or a dialog open meanwhile does not hold it up (ModalScope).
    m_servePending = true;
    return;
  }
  {
    BusyScope busy(*this);
    m_devices.ServeGps([this](const GpsEvent& event) { HandleGpsEvent(event); });
  }
  // Also when nothing was pending: the source's data came back or its port
  // opened or closed.
  RefreshStatus();
}

void CBearingDlg::HandleGpsEvent(const GpsEvent& event) {
  if (const auto* fix = std::get_if<GpsFix>(&event)) {
    const std::optional<Update> update = m_context->ApplyGpsFix(fix->position, fix->headingDeg);
    if (!update) return;
    m_statusModel.FixApplied(fix->headingSource);
    Apply(*update);
    if (!m_snapshotDir.isEmpty()) {
      // Diagnostics: the compass as drawn for this fix, with its picture
      // once rendered; the name carries the relative azimuth it shows.
      m_compass->WaitForPicture();
      m_compass->grab().save(QDir(m_snapshotDir).filePath(QStringLiteral("compass-%1-az%2.png")
                                                               .arg(++m_snapshotCount, 6, 10, QLatin1Char('0'))
                                                               .arg(m_context->result().relativeAzimuthDeg)));
    }
  } else if (const auto* error = std::get_if<GpsOpenError>(&event)) {
    // Shown once any box now open is closed; the fixes go on meanwhile.
    ShowMessage(Word(*error));
  }
}

void CBearingDlg::DriveRotator(std::int32_t relativeAzimuthDeg) {
  if (const std::optional<RotatorFailure> failure = m_devices.WriteRotator(relativeAzimuthDeg)) {
    ShowMessage(Word(*failure));
  }
}

void CBearingDlg::RefreshStatus() {
  if (m_shutDown || m_status == nullptr) return;
  const StatusClock::time_point now = StatusClock::now();
  GpsStatusInput gps = m_devices.gpsStatus();
  gps.use = m_context->gpsUse();
  // Reading the rotator's status re-arms its notifier.
  const RotatorStatus rotator = m_devices.rotatorStatus();
  const StatusReading reading = m_statusModel.Read(gps, rotator, now);
  m_statusLine = reading.line;
  const StatusTexts texts = WordStatus(reading.line);
  m_status->SetParts(QString::fromStdString(texts.gps), QString::fromStdString(texts.heading),
                     QString::fromStdString(texts.rotator));
  m_compass->SetAntenna(reading.line.rotator.antennaDeg);
  if (!reading.changesAt) {
    m_statusTimer->stop();
    return;
  }
  // Rounded up, so that the line is read once it has changed.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*reading.changesAt - now);
  m_statusTimer->start(static_cast<int>(std::max<std::int64_t>(wait.count(), 0)) + 1);
}

void CBearingDlg::ServeRotator() {
  if (m_shutDown) return;
  if (Busy()) {
    // Shown once the operation or box under way is over.
    m_rotatorReportPending = true;
    return;
  }
  BusyScope busy(*this);
  if (const std::optional<RotatorFailure> report = m_devices.TakeRotatorReport()) ShowMessage(Word(*report));
}

}  // namespace quarbe
