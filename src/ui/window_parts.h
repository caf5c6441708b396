#pragma once
// What the files that make up the main window share: its busy marker and
// the identifier each control carries.

#include <QMetaObject>

#include <utility>

#include "ui/main_window.h"

namespace quarbe {

// The control identifier `object` carries; 0 for none.
int ControlIdOf(const QObject* object);

// Counts nested context operations, updates being shown and modal loops the
// window is inside. When the outermost ends, what had to wait is done: a
// close asked for meanwhile, or a rotator report that arrived. A GPS event
// that arrived during an operation is served as soon as no operation is in
// progress, even inside a modal loop.
class CBearingDlg::BusyScope {
 public:
  explicit BusyScope(CBearingDlg& window) : m_window(window) {
    ++m_window.m_busyDepth;
    ++m_window.m_operationDepth;
  }
  ~BusyScope() {
    if (--m_window.m_operationDepth == 0 && m_window.m_servePending && !m_window.m_shutDown) {
      m_window.m_servePending = false;
      QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ServeGps(); }, Qt::QueuedConnection);
    }
    if (--m_window.m_busyDepth > 0) return;
    if (m_window.m_closeRequested && !m_window.m_shutDown) {
      QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->reject(); }, Qt::QueuedConnection);
    } else if (m_window.m_rotatorReportPending) {
      m_window.m_rotatorReportPending = false;
      QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ServeRotator(); }, Qt::QueuedConnection);
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  CBearingDlg& m_window;
};

// Inside a BusyScope: the operation that opens the modal loop waits for the
// operator, so within the loop no operation counts as in progress. When the
// outermost loop ends, the messages raised meanwhile are shown.
class CBearingDlg::ModalScope {
 public:
  explicit ModalScope(CBearingDlg& window)
      : m_window(window), m_operationsOutside(std::exchange(window.m_operationDepth, 0)) {
    ++m_window.m_modalDepth;
    // A fix held back by the operation now waiting is served in the loop.
    if (m_window.m_servePending && !m_window.m_shutDown) {
      m_window.m_servePending = false;
      QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ServeGps(); }, Qt::QueuedConnection);
    }
  }
  ~ModalScope() {
    m_window.m_operationDepth = m_operationsOutside;
    if (--m_window.m_modalDepth == 0 && !m_window.m_deferredMessages.empty() && m_window.m_shownOnce) {
      QMetaObject::invokeMethod(&m_window, [w = &m_window] { w->ShowDeferredMessages(); }, Qt::QueuedConnection);
    }
  }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  CBearingDlg& m_window;
  const int m_operationsOutside;
};

}  // namespace quarbe
