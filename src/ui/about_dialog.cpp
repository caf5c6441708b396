#include "ui/about_dialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "ui/dialog_units.h"
#include "ui/resources.h"
#include "ui/version.h"

namespace quarbe {

namespace {

constexpr int kFontPoints = 8;
// Space between the sunken frame of the command-line text and the text.
constexpr int kUsagePaddingDlu = 2;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(QStringLiteral("A propos de Quarbe"));
  setFont(DialogFont(kFontPoints));
  const DialogUnits du = DialogUnits::ForFont(font());
  setFixedSize(du.X(217), du.Y(66));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("icon128"));
  du.Place(icon, 11, 14, 21, 20);
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  icon->setPixmap(res::ResourcePixmap(res::kIconProgram, devicePixelRatioF()));

  auto* version = new QLabel(QStringLiteral("Quarbe version ") + ShortVersion(), this);
  version->setObjectName(QStringLiteral("version"));
  version->setTextFormat(Qt::PlainText);
  du.Place(version, 40, 10, 119, 8);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  du.Place(ok, 178, 15, 32, 14);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  // The sunken frame is drawn by a frame of its own behind the text, so that
  // the text can keep clear of it: a label's contents margins would move its
  // own frame inwards with the text.
  auto* usageFrame = new QFrame(this);
  usageFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  du.Place(usageFrame, 7, 40, 203, 20);
  auto* usage = new QLabel(
      QStringLiteral("Ligne de commande : local=AANNAA pour spécifier le QRA local, Dest=AANNAA pour spécifier "
                     "le QRA du correspondant."),
      this);
  usage->setObjectName(QStringLiteral("usage"));
  usage->setTextFormat(Qt::PlainText);
  usage->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  usage->setWordWrap(true);
  du.Place(usage, 7, 40, 203, 20);
  const int border = usageFrame->frameWidth();
  usage->setContentsMargins(border + du.X(kUsagePaddingDlu), border, border + du.X(kUsagePaddingDlu), border);
  // The two lines fit the padded width, condensed a little if the
  // substitute font needs it.
  usage->setFont(FontToFit(usage->font(), usage->text(), usage->contentsRect().size(), Qt::TextWordWrap));

  ok->setFocus(Qt::OtherFocusReason);
}

void CAboutDlg::Show(QWidget* parent) {
  CAboutDlg dialog(parent);
  dialog.exec();
}

}  // namespace quarbe
