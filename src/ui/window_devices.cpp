// The devices as the main window meets them: the GPS source started and
// stopped with the configuration, its fixes and failures served on the UI
// thread, the rotator driven to each update's target and its failures shown.
#include <QDir>
#include <QMetaObject>

#include "context/bearing_context.h"
#include "ui/compass_view.h"
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
  if (MessagesWaiting()) {
    // The reader waits; its fix or its message comes once the window is up
    // and the messages raised before have been shown.
    m_serveWhenShown = true;
    return;
  }
  FlushPendingCommits();
  if (Busy()) {
    // A commit or a modal box is in progress: the reader waits until it is
    // over, so a fix never lands in the middle of another operation.
    m_servePending = true;
    return;
  }
  BusyScope busy(*this);
  m_devices.ServeGps([this](const GpsEvent& event) { HandleGpsEvent(event); });
}

void CBearingDlg::HandleGpsEvent(const GpsEvent& event) {
  if (const auto* fix = std::get_if<GpsFix>(&event)) {
    const std::optional<Update> update = m_context->ApplyGpsFix(fix->position, fix->headingDeg);
    if (!update) return;
    Apply(*update);
    if (!m_snapshotDir.isEmpty()) {
      // Diagnostics: the compass as drawn for this fix, with its picture
      // once rendered.
      m_compass->WaitForPicture();
      m_compass->grab().save(QDir(m_snapshotDir).filePath(
          QStringLiteral("compass-%1.png").arg(++m_snapshotCount, 6, 10, QLatin1Char('0'))));
    }
  } else if (const auto* error = std::get_if<GpsOpenError>(&event)) {
    ShowMessage(Word(*error));
  }
}

void CBearingDlg::DriveRotator(std::int32_t relativeAzimuthDeg) {
  if (const std::optional<RotatorFailure> failure = m_devices.WriteRotator(relativeAzimuthDeg)) {
    ShowMessage(Word(*failure));
  }
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
