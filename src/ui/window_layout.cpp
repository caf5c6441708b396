// The main window's controls: every field, the GPS box, the compass and the
// two buttons from the field table; the labels and the frames around the
// stations from the decorations below. Positions are in dialog units, on a
// content widget inside a scroll area that scrolls only where the screen is
// smaller than the window; the status line goes under the scroll area.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <vector>

#include "context/field_table.h"
#include "geodesy/locator.h"
#include "ui/classic_group_box.h"
#include "ui/compass_view.h"
#include "ui/field_look.h"
#include "ui/locator_edit.h"
#include "ui/narrow_list_style.h"
#include "ui/resources.h"
#include "ui/screen_fit.h"
#include "ui/status_strip.h"
#include "ui/window_parts.h"

namespace quarbe {
namespace {

// What the window shows besides its controls: right-aligned labels, the unit
// signs after the three fields of each latitude and longitude (degrees,
// minutes, seconds, left-aligned) and the frames around the two stations.
struct Decoration {
  enum class Kind { kLabel, kUnits, kFrame };
  Kind kind;
  const char* text;
  DluRect place;  // for kUnits: the first sign's x, the second's, the third's, and y
};

constexpr Decoration kDecorations[] = {
    {Decoration::Kind::kLabel, "QRA Locator :", {12, 19, 49, 11}},
    {Decoration::Kind::kLabel, "Latitude :", {101, 19, 35, 11}},
    {Decoration::Kind::kUnits, nullptr, {156, 172, 189, 19}},
    {Decoration::Kind::kLabel, "Azim mobile :", {30, 35, 49, 11}},
    {Decoration::Kind::kLabel, "Longitude :", {101, 34, 35, 11}},
    {Decoration::Kind::kUnits, nullptr, {156, 172, 189, 34}},
    {Decoration::Kind::kFrame, "Local :", {2, 3, 210, 46}},
    {Decoration::Kind::kLabel, "QRA Locator :", {11, 66, 49, 11}},
    {Decoration::Kind::kLabel, "Latitude :", {100, 66, 35, 11}},
    {Decoration::Kind::kUnits, nullptr, {155, 171, 188, 66}},
    {Decoration::Kind::kLabel, "Longitude :", {100, 81, 35, 11}},
    {Decoration::Kind::kUnits, nullptr, {155, 171, 188, 81}},
    {Decoration::Kind::kFrame, "Correspondant :", {2, 54, 210, 43}},
    {Decoration::Kind::kLabel, "Azimut relatif :", {87, 104, 41, 11}},
    {Decoration::Kind::kLabel, "Distance :", {150, 104, 31, 10}},
    {Decoration::Kind::kLabel, "Son azimut :", {14, 81, 65, 11}},
    {Decoration::Kind::kLabel, "Azimut réel :", {29, 104, 37, 11}},
};

// A unit sign is 8 x 8 dialog units.
constexpr int kUnitSignDlu = 8;
// A closed drop-down list is as high as an edit.
constexpr int kClosedListDlu = 12;

const char* const kIdProperty = "quarbeControlId";

struct ButtonLook {
  int id;
  int bitmap;
  const char* tip;
};

constexpr ButtonLook kButtonLooks[] = {
    {ctl::kAboutButton, res::kBitmapAbout, "A propos de Quarbe"},
    {ctl::kConfigButton, res::kBitmapConfig, "Configuration"},
};

}  // namespace

int ControlIdOf(const QObject* object) {
  if (object == nullptr) return 0;
  const QVariant id = object->property(kIdProperty);
  return id.isValid() ? id.toInt() : 0;
}

void CBearingDlg::BuildFrame() {
  m_scroll = new QScrollArea(this);
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setFocusPolicy(Qt::NoFocus);
  m_scroll->setWidgetResizable(false);
  m_content = new QWidget;
  m_content->setObjectName(QStringLiteral("content"));
  // Repaints of the content reach the compass (RepaintNeedle).
  m_content->installEventFilter(this);
  m_scroll->setWidget(m_content);
  // Content and view are transparent (setWidget made the content opaque):
  // the window's own background shows through them, and a repaint of the
  // window repaints them too (Qt leaves out a window's opaque children that
  // cover it).
  m_content->setAutoFillBackground(false);
  m_scroll->viewport()->setAutoFillBackground(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_scroll);
  // Outside the scroll area: in view however the controls are scrolled.
  m_status = new StatusStrip(this);
  layout->addWidget(m_status);
  m_statusTimer = new QTimer(this);
  m_statusTimer->setSingleShot(true);
  // Set for the moment the line changes: a coarse timer could fire early
  // and wake the window twice for one change.
  m_statusTimer->setTimerType(Qt::PreciseTimer);
  connect(m_statusTimer, &QTimer::timeout, this, [this] { RefreshStatus(); });
  // The focus moving out of sight (Tab, a refused field taking it back)
  // brings its control into view.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now != nullptr && m_content->isAncestorOf(now)) m_scroll->ensureWidgetVisible(now, 0, 0);
  });
}

void CBearingDlg::FitToScreen() {
  if (const QWindow* handle = windowHandle(); handle != nullptr && !m_fitFollowsScreen) {
    m_fitFollowsScreen = true;
    connect(handle, &QWindow::screenChanged, this, [this] { FitToScreen(); });
  }
  // The status line takes its height from the room; the controls scroll in
  // what is left.
  const QSize line(0, m_status->height());
  const QSize size = ScrolledSize(m_content->size(), (RoomOnScreen(this) - line).expandedTo(QSize(1, 1)),
                                  style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  setFixedSize(size + line);
}

void CBearingDlg::BuildControls() {
  AddDecorations();
  for (const Field& field : kFields) AddField(field);
  // Frames stay behind the controls they surround.
  for (auto* frame : m_content->findChildren<ClassicGroupBox*>(Qt::FindDirectChildrenOnly)) frame->lower();
}

void CBearingDlg::AddDecorations() {
  const auto addLabel = [this](const char* text, int x, int y, int w, int h, Qt::Alignment horizontal) {
    auto* label = new QLabel(QString::fromUtf8(text), m_content);
    label->setAlignment(horizontal | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    m_units.Place(label, x, y, w, h);
  };
  for (const Decoration& decoration : kDecorations) {
    const DluRect& at = decoration.place;
    switch (decoration.kind) {
      case Decoration::Kind::kLabel:
        addLabel(decoration.text, at.x, at.y, at.width, at.height, Qt::AlignRight);
        break;
      case Decoration::Kind::kUnits: {
        const int xs[] = {at.x, at.y, at.width};
        const char* const signs[] = {"°", "'", "\""};
        for (int i = 0; i < 3; ++i) addLabel(signs[i], xs[i], at.height, kUnitSignDlu, kUnitSignDlu, Qt::AlignLeft);
        break;
      }
      case Decoration::Kind::kFrame: {
        auto* frame = new ClassicGroupBox(QString::fromUtf8(decoration.text), m_content);
        m_units.Place(frame, at.x, at.y, at.width, at.height);
        break;
      }
    }
  }
}

void CBearingDlg::AddField(const Field& field) {
  QWidget* widget = nullptr;
  const DluRect& at = field.place;
  switch (field.kind) {
    case FieldKind::kLocator:
    case FieldKind::kInteger:
    case FieldKind::kResult: {
      const bool readOnly = field.kind == FieldKind::kResult;
      auto* edit = field.kind == FieldKind::kLocator ? new LocatorEdit(static_cast<int>(kLocatorLength), m_content)
                                                      : new QLineEdit(m_content);
      edit->setAlignment((field.kind == FieldKind::kLocator ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
      edit->setReadOnly(readOnly);
      // Result fields can be clicked into (to copy a value) but are no tab stops.
      edit->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::StrongFocus);
      // Narrow fields need every pixel: keep only a one-pixel gap inside the frame.
      edit->setTextMargins(-1, 0, -1, 0);
      if (readOnly) {
        ShowAsReadOnly(edit);
      } else {
        KeepTextContrastWhenDisabled(edit);
      }
      edit->installEventFilter(this);
      m_units.Place(edit, at.x, at.y, at.width, at.height);
      widget = edit;
      break;
    }
    case FieldKind::kHemisphere: {
      auto* list = new QComboBox(m_content);
      if (IsLatitudeHemisphere(field.member)) {
        list->addItems({QStringLiteral("N"), QStringLiteral("S")});
      } else {
        list->addItems({QStringLiteral("E"), QStringLiteral("O")});
      }
      list->setCurrentIndex(-1);
      list->setFocusPolicy(Qt::StrongFocus);
      list->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
      if (m_listStyle == nullptr) {
        m_listStyle = new NarrowListStyle;
        m_listStyle->setParent(this);
      }
      list->setStyle(m_listStyle);
      KeepTextContrastWhenDisabled(list);
      list->installEventFilter(this);
      // The template's height includes the dropped-down list.
      m_units.Place(list, at.x, at.y, at.width, kClosedListDlu);
      connect(list, &QComboBox::activated, this, [this, id = field.id](int) {
        if (!FlushPendingCommits() || Busy()) return;
        RouteCommit(id, Trigger::kSelectionChanged);
      });
      widget = list;
      break;
    }
    case FieldKind::kCheckBox: {
      auto* box = new QCheckBox(QStringLiteral("GPS"), m_content);
      box->setEnabled(false);
      box->setFocusPolicy(Qt::StrongFocus);
      box->installEventFilter(this);
      m_units.Place(box, at.x, at.y, at.width, at.height);
      connect(box, &QCheckBox::clicked, this, [this, id = field.id] {
        FlushPendingCommits();
        if (Busy()) return;
        RouteCommit(id, Trigger::kClicked);
      });
      widget = box;
      break;
    }
    case FieldKind::kCompass:
      m_compass = new CompassView(m_content);
      m_compass->setFocusPolicy(Qt::NoFocus);
      m_units.Place(m_compass, at.x, at.y, at.width, at.height);
      widget = m_compass;
      break;
    case FieldKind::kButton: {
      const auto look = std::find_if(std::begin(kButtonLooks), std::end(kButtonLooks),
                                     [&](const ButtonLook& candidate) { return candidate.id == field.id; });
      auto* button = new QPushButton(m_content);
      button->setIcon(QIcon(res::ResourcePixmap(look->bitmap, devicePixelRatioF())));
      button->setToolTip(QString::fromUtf8(look->tip));
      // Not a default button: Enter in a field commits the field, so the
      // button is not drawn as the one Enter would press. Enter on the
      // focused button presses it (keyPressEvent).
      button->setAutoDefault(false);
      button->setFocusPolicy(Qt::StrongFocus);
      button->installEventFilter(this);
      m_units.Place(button, at.x, at.y, at.width, at.height);
      // The bitmap fills the button face, as far as the button is large enough.
      const int side = std::min({res::kBitmapSize.width(), button->width() - 2, button->height() - 2});
      button->setIconSize(QSize(side, side));
      if (field.id == ctl::kAboutButton) {
        connect(button, &QPushButton::clicked, this, [this] { OpenAbout(); });
      } else {
        connect(button, &QPushButton::clicked, this, [this] { OpenConfiguration(); });
      }
      widget = button;
      break;
    }
  }
  widget->setObjectName(QString::number(field.id));
  widget->setProperty(kIdProperty, field.id);
  m_controls[field.id] = widget;
}

void CBearingDlg::SetTabOrder() {
  // The tab stops in template order; the disabled GPS box is skipped by Qt
  // until it is enabled.
  std::vector<QWidget*> stops;
  for (const Field& field : kFields) {
    if (IsTabStop(field.kind)) stops.push_back(control(field.id));
  }
  for (std::size_t i = 0; i + 1 < stops.size(); ++i) QWidget::setTabOrder(stops[i], stops[i + 1]);
  // Close the chain so Tab on the last stop returns to the first.
  QWidget::setTabOrder(stops.back(), stops.front());
}

}  // namespace quarbe
