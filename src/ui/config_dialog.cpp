#include "ui/config_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShortcut>

#include "common/port_entry.h"
#include "context/control_ids.h"
#include "ui/classic_group_box.h"
#include "ui/dialog_units.h"
#include "ui/field_look.h"
#include "ui/help.h"
#include "ui/message_box.h"
#include "ui/narrow_list_style.h"
#include "ui/operator_texts.h"
#include "ui/picture_chooser.h"
#include "ui/resources.h"

namespace quarbe {

namespace {

constexpr int kFontPoints = 8;
// Height of a closed drop-down list, in dialog units.
constexpr int kClosedListDlu = 13;

QString IdName(int id) { return QString::number(id); }

// Controls are laid out in the dialog's coordinates; a control inside a group
// box is a child of that box, so its rectangle is made relative to the box.
struct Placer {
  const DialogUnits& du;

  void Place(QWidget* widget, int x, int y, int width, int height) const {
    QRect r = du.Rect(x, y, width, height);
    for (QWidget* p = widget->parentWidget(); p != nullptr && !p->isWindow(); p = p->parentWidget())
      r.translate(-p->pos());
    widget->setGeometry(r);
  }

  // A drop-down list: the template's height includes the opened list; the
  // closed box is as high as a one-line control of this font. It keeps the
  // template's width, in which the narrow arrow leaves room for the items.
  void PlaceList(QComboBox* list, int x, int y, int width) const { Place(list, x, y, width, kClosedListDlu); }

  // A label keeps its template width: a text the substitute font makes too
  // wide is condensed to fit rather than reaching the next control.
  void PlaceLabel(QLabel* label, int x, int y, int width, int height) const {
    Place(label, x, y, width, height);
    // One line, whose height the font sets: only its width has to fit.
    label->setFont(FontToFit(label->font(), label->text().remove(u'&'), QSize(label->width(), QWIDGETSIZE_MAX)));
  }
};

QGroupBox* NewGroup(const QString& title, QWidget* parent, const Placer& at, int x, int y, int w, int h) {
  auto* box = new ClassicGroupBox(title, parent);
  box->setFocusPolicy(Qt::NoFocus);
  at.Place(box, x, y, w, h);
  return box;
}

// A radio button whose arrow keys, moving the focus to another button of its
// group, also check that button, as operators expect of radio buttons. Qt
// checks it only when the button the focus left was checked itself, so from
// the group's tab stop with another choice checked the arrows only moved the
// focus.
class GroupRadioButton : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    QRadioButton::keyPressEvent(event);
    const int key = event->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Left && key != Qt::Key_Right) return;
    auto* reached = qobject_cast<QRadioButton*>(QApplication::focusWidget());
    if (reached != nullptr && reached != this && group() != nullptr && reached->group() == group() &&
        !reached->isChecked()) {
      reached->click();
    }
  }
};

// Each item past "Aucun" carries as its tooltip what the port stands for;
// the closed list shows that of its current item.
template <typename Parse>
void ExplainPorts(QComboBox* list, const char* prefix, Parse parse) {
  for (int index = 1; index < list->count(); ++index) {
    const std::string name = prefix + std::to_string(index);
    list->setItemData(index, QString::fromStdString(PortMeaningText(name, parse(index))), Qt::ToolTipRole);
  }
  const auto showCurrent = [list] { list->setToolTip(list->currentData(Qt::ToolTipRole).toString()); };
  QObject::connect(list, &QComboBox::currentIndexChanged, list, showCurrent);
  showCurrent();
}

QRadioButton* NewRadio(int id, const QString& text, QWidget* parent, bool tabStop, const Placer& at, int x, int y,
                       int w, int h) {
  auto* radio = new GroupRadioButton(text, parent);
  radio->setObjectName(IdName(id));
  radio->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
  radio->setEnabled(false);
  at.Place(radio, x, y, w, h);
  return radio;
}

}  // namespace

CConfigDlg::CConfigDlg(const Configuration& current, QWidget* parent, const PortMap& ports)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      result_(current),
      ports_(ports),
      messageSink_(ShowWarning) {
  setObjectName(QStringLiteral("133"));
  setWindowTitle(QStringLiteral("Configuration"));
  setFont(DialogFont(kFontPoints));
  fileChooser_ = [this](QWidget* owner) { return ChoosePictureFile(owner, picturePath_->text()); };
  BuildControls();
  LoadControls(current);
  EnableByPort();
  // F1 shows the program's help here as in the main window.
  auto* help = new QShortcut(QKeySequence::HelpContents, this);
  connect(help, &QShortcut::activated, this, [this] { ShowHelp(this); });
}

CConfigDlg::~CConfigDlg() = default;

void CConfigDlg::BuildControls() {
  const DialogUnits du = DialogUnits::ForFont(font());
  const Placer at{du};
  setFixedSize(du.X(250), du.Y(114));

  QGroupBox* pictureBox = NewGroup(QStringLiteral("&Image compas :"), this, at, 7, 7, 236, 30);
  picturePath_ = new QLineEdit(pictureBox);
  picturePath_->setObjectName(IdName(ctl::kCfgPicturePath));
  picturePath_->setReadOnly(true);
  ShowAsReadOnly(picturePath_);
  picturePath_->setFocusPolicy(Qt::ClickFocus);
  at.Place(picturePath_, 13, 18, 204, 15);

  browse_ = new QPushButton(pictureBox);
  browse_->setObjectName(IdName(ctl::kCfgBrowse));
  // Enter on the focused button presses it, as on OK and "Annuler".
  browse_->setAutoDefault(true);
  browse_->setIcon(QIcon(res::ResourcePixmap(res::kBitmapBrowse, devicePixelRatioF())));
  browse_->setIconSize(res::kBitmapSize);
  browse_->setToolTip(QStringLiteral("Choisir l'image du compas"));
  at.Place(browse_, 221, 18, 16, 15);
  connect(browse_, &QPushButton::clicked, this, &CConfigDlg::Browse);

  auto* listStyle = new NarrowListStyle;
  listStyle->setParent(this);

  QGroupBox* motorBox = NewGroup(QStringLiteral("Commande moteur"), this, at, 7, 41, 145, 66);
  auto* parallelLabel = new QLabel(QStringLiteral("Port &parallèle :"), motorBox);
  at.PlaceLabel(parallelLabel, 13, 51, 46, 8);
  rotatorPort_ = new QComboBox(motorBox);
  rotatorPort_->setObjectName(IdName(ctl::kCfgRotatorPort));
  rotatorPort_->addItems({QStringLiteral("Aucun"), QStringLiteral("LPT1 (378)"), QStringLiteral("LPT2 (278)"),
                          QStringLiteral("LPT3 (3BC)")});
  rotatorPort_->setStyle(listStyle);
  at.PlaceList(rotatorPort_, 61, 50, 54);
  parallelLabel->setBuddy(rotatorPort_);

  QGroupBox* endStopBox = NewGroup(QStringLiteral("&Butée"), motorBox, at, 14, 64, 75, 39);
  endStopNorth_ = NewRadio(ctl::kCfgEndStopNorth, QStringLiteral("Nord"), endStopBox, true, at, 20, 74, 31, 10);
  endStopSouth_ = NewRadio(ctl::kCfgEndStopSouth, QStringLiteral("Sud"), endStopBox, false, at, 54, 74, 27, 10);
  endStopOther_ = NewRadio(ctl::kCfgEndStopOther, QStringLiteral("Autre"), endStopBox, false, at, 20, 86, 30, 10);
  endStopAngle_ = new QLineEdit(endStopBox);
  endStopAngle_->setObjectName(IdName(ctl::kCfgEndStopAngle));
  endStopAngle_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), endStopAngle_));
  endStopAngle_->setEnabled(false);
  at.Place(endStopAngle_, 53, 85, 29, 14);
  endStopGroup_ = new QButtonGroup(this);
  endStopGroup_->addButton(endStopNorth_, static_cast<int>(EndStopChoice::kAtNorth));
  endStopGroup_->addButton(endStopSouth_, static_cast<int>(EndStopChoice::kAtSouth));
  endStopGroup_->addButton(endStopOther_, static_cast<int>(EndStopChoice::kOther));

  QGroupBox* senseBox = NewGroup(QStringLiteral("Sens &Rotation"), motorBox, at, 93, 64, 55, 38);
  senseClockwise_ =
      NewRadio(ctl::kCfgSenseClockwise, QStringLiteral("Montre"), senseBox, true, at, 99, 73, 36, 10);
  senseInverse_ = NewRadio(ctl::kCfgSenseInverse, QStringLiteral("Inverse"), senseBox, false, at, 99, 86, 37, 10);
  senseGroup_ = new QButtonGroup(this);
  senseGroup_->addButton(senseClockwise_, kSenseClockwise);
  senseGroup_->addButton(senseInverse_, kSenseInverse);

  QGroupBox* gpsBox = NewGroup(QStringLiteral("GPS"), this, at, 157, 41, 86, 23);
  auto* serialLabel = new QLabel(QStringLiteral("Port &série :"), gpsBox);
  at.PlaceLabel(serialLabel, 165, 50, 34, 8);
  gpsPort_ = new QComboBox(gpsBox);
  gpsPort_->setObjectName(IdName(ctl::kCfgGpsPort));
  gpsPort_->addItems({QStringLiteral("Aucun"), QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                      QStringLiteral("COM4")});
  gpsPort_->setStyle(listStyle);
  at.PlaceList(gpsPort_, 201, 48, 37);
  serialLabel->setBuddy(gpsPort_);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  at.Place(ok, 175, 70, 50, 14);
  auto* cancel = new QPushButton(QStringLiteral("&Annuler"), this);
  cancel->setObjectName(QStringLiteral("2"));
  // While it has the focus, Enter presses it rather than OK.
  cancel->setAutoDefault(true);
  at.Place(cancel, 175, 90, 50, 14);
  connect(ok, &QPushButton::clicked, this, &CConfigDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CConfigDlg::reject);

  connect(endStopNorth_, &QRadioButton::clicked, this, [this] {
    endStopAngle_->setText(QStringLiteral("0"));
    endStopAngle_->setEnabled(false);
  });
  connect(endStopSouth_, &QRadioButton::clicked, this, [this] {
    endStopAngle_->setText(QStringLiteral("180"));
    endStopAngle_->setEnabled(false);
  });
  connect(endStopOther_, &QRadioButton::clicked, this, [this] { endStopAngle_->setEnabled(true); });
  connect(rotatorPort_, &QComboBox::currentIndexChanged, this, &CConfigDlg::EnableByPort);
  ExplainPorts(rotatorPort_, "LPT", [this](int port) { return ParseRotatorPortEntry(ports_.ParallelDevice(port)); });
  ExplainPorts(gpsPort_, "COM", [this](int port) { return ParseGpsPortEntry(ports_.SerialDevice(port)); });

  // Tab stops in template order; the other radio buttons of each group are
  // reached with the arrow keys.
  QWidget* order[] = {browse_, rotatorPort_, endStopNorth_, endStopAngle_, senseClockwise_, gpsPort_, ok, cancel};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void CConfigDlg::LoadControls(const Configuration& config) {
  const auto select = [](QComboBox* list, int index) {
    // A stored index the list has no item for shows no selection.
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
  };
  select(gpsPort_, config.gpsPort);
  select(rotatorPort_, config.rotatorPort);
  if (QAbstractButton* sense = senseGroup_->button(config.rotationSense)) sense->setChecked(true);
  endStopAngle_->setText(QString::number(config.endStopDeg));
  if (QAbstractButton* choice = endStopGroup_->button(static_cast<int>(config.endStopChoice)))
    choice->setChecked(true);
  picturePath_->setText(QFile::decodeName(QByteArray::fromStdString(config.picturePath)));
  browse_->setFocus(Qt::OtherFocusReason);
}

bool CConfigDlg::RotatorPortIsHamlib() const {
  return std::holds_alternative<HamlibAddress>(
      ParseRotatorPortEntry(ports_.ParallelDevice(rotatorPort_->currentIndex())));
}

void CConfigDlg::EnableByPort() {
  const bool enabled = rotatorPort_->currentIndex() != 0 && !RotatorPortIsHamlib();
  for (QRadioButton* radio : {endStopNorth_, endStopSouth_, endStopOther_, senseClockwise_, senseInverse_})
    radio->setEnabled(enabled);
  endStopAngle_->setEnabled(enabled && endStopOther_->isChecked());
}

void CConfigDlg::Browse() {
  const QString chosen = fileChooser_ ? fileChooser_(this) : QString();
  if (!chosen.isEmpty()) picturePath_->setText(chosen);
}

void CConfigDlg::ShowMessage(const FieldRefusal& refusal) {
  const Wording wording = Word(Message{refusal});
  if (messageSink_) messageSink_(this, QString::fromStdString(wording.text), QString::fromStdString(wording.caption));
}

void CConfigDlg::accept() {
  Configuration next = result_;
  next.gpsPort = gpsPort_->currentIndex();
  next.rotatorPort = rotatorPort_->currentIndex();
  next.rotationSense = senseGroup_->checkedId();

  const QString angleText = endStopAngle_->text().trimmed();
  bool isNumber = !angleText.isEmpty();
  for (const QChar c : angleText) isNumber = isNumber && c >= u'0' && c <= u'9';
  bool fits = false;
  const qulonglong angle = isNumber ? angleText.toULongLong(&fits) : 0;
  if (!isNumber || !fits || angle > kMaxEndStopDeg) {
    // A run of digits too long for any integer type is out of range too.
    using Reason = FieldRefusal::Reason;
    ShowMessage(isNumber ? FieldRefusal{Reason::kOutOfRange, 0, static_cast<std::int32_t>(kMaxEndStopDeg)}
                         : FieldRefusal{Reason::kNotAnInteger});
    endStopAngle_->setFocus(Qt::OtherFocusReason);
    endStopAngle_->selectAll();
    return;
  }
  next.endStopDeg = static_cast<std::uint32_t>(angle);
  next.endStopChoice = static_cast<EndStopChoice>(endStopGroup_->checkedId());
  // The path is bytes: a name that is not UTF-8 comes back unchanged as
  // long as the field was not edited.
  if (picturePath_->text() != QFile::decodeName(QByteArray::fromStdString(result_.picturePath)))
    next.picturePath = QFile::encodeName(picturePath_->text()).toStdString();

  result_ = next;
  QDialog::accept();
}

std::optional<Configuration> CConfigDlg::Edit(QWidget* parent, const Configuration& current, const PortMap& ports) {
  CConfigDlg dialog(current, parent, ports);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.configuration();
}

}  // namespace quarbe
