#pragma once
// What the files that make up the main window share: its busy marker and
// the identifier each control carries.

#include <QMetaObject>

#include "ui/main_window.h"

namespace quarbe {

// The control identifier `object` carries; 0 for none.
int ControlIdOf(const QObject* object);

// Counts nested context operations, updates being shown and modal loops the
// window is inside. When the outermost ends, what had to wait is done: a
// close asked for meanwhile, or a GPS event or rotator report that arrived.
class CBearingDlg::BusyScope {
 public:
  explicit BusyScope(CBearingDlg& window) : m_window(window) { ++m_window.m_busyDepth; }
  ~BusyScope() {
    if (--m_window.m_busyDepth > 0) return;
    if (m_window.m_closeRequested && !m_window.m_shutDown) {
      QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->reject(); }, Qt::QueuedConnection);
    } else {
      if (m_window.m_servePending) {
        m_window.m_servePending = false;
        QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ServeGps(); }, Qt::QueuedConnection);
      }
      if (m_window.m_rotatorReportPending) {
        m_window.m_rotatorReportPending = false;
        QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ServeRotator(); }, Qt::QueuedConnection);
      }
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  CBearingDlg& m_window;
};

}  // namespace quarbe
