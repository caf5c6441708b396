#pragma once
// The status line under the main window's controls: the GPS, the heading
// and the rotator, each part cut with "…" where the window is too narrow for
// it, never wrapped; the window's own font, one line high. The whole text
// is in the tooltip. The line repaints only when a part changes.

#include <QString>
#include <QStringList>
#include <QWidget>

namespace quarbe {

class StatusStrip : public QWidget {
  Q_OBJECT

 public:
  explicit StatusStrip(QWidget* parent = nullptr);

  // The GPS, heading and rotator parts; repaints when one differs.
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

  QStringList m_parts{QString(), QString(), QString()};
  int m_changes = 0;
};

}  // namespace quarbe
