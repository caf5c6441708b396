#pragma once
// The status line under the main window's controls: the GPS, the heading
// and the rotator, each part cut with "…" where the window is too narrow for
// it, never wrapped; the window's own font, one line high. The whole text
// is in the tooltip. The line repaints only when a part changes, at most
// four times a second: a receiver sending ten fixes a second, each writing
// another rotator byte, would otherwise have it redrawn at every fix.

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QWidget>

class QTimer;

namespace quarbe {

class StatusStrip : public QWidget {
  Q_OBJECT

 public:
  explicit StatusStrip(QWidget* parent = nullptr);

  // The shortest time between two repaints for changed parts.
  static constexpr int kRepaintIntervalMs = 250;

  // The GPS, heading and rotator parts; repaints when one differs, at once
  // or, when the line was painted less than kRepaintIntervalMs ago, then.
  void SetParts(const QString& gps, const QString& heading, const QString& rotator);
  // The three parts as given, uncut.
  const QStringList& Parts() const { return m_parts; }
  // The parts as they fit the strip's width now (cut with "…").
  QStringList ShownParts() const;
  // How many times the parts changed (and the strip was asked to repaint).
  int ChangeCount() const { return m_changes; }

  // One line of the font, with a little room above and below.
  static int HeightFor(const QFontMetrics& metrics);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Each part's width in pixels, in order, fitting the strip.
  QList<int> Widths() const;
  // Asks for a repaint now, or when kRepaintIntervalMs has passed since the last.
  void ScheduleRepaint();

  QStringList m_parts{QString(), QString(), QString()};
  int m_changes = 0;
  QElapsedTimer m_sincePaint;  // not valid until the first paint
  QTimer* m_repaintTimer = nullptr;
};

}  // namespace quarbe
