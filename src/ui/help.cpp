#include "ui/help.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "ui/screen_fit.h"

namespace quarbe {
namespace {

// Lines of this many average characters: easy to read, and few enough
// lines that the text fits a desktop screen without scrolling. On a low
// screen (a car PC's) lines up to the longest are used before the text
// scrolls.
constexpr int kLineChars = 80;
constexpr int kLongestLineChars = 130;

// The help text at its line width; it scrolls when the window has less
// room than that on a small screen.
class HelpView : public QTextBrowser {
 public:
  explicit HelpView(QWidget* parent)
      : QTextBrowser(parent), m_lineWidthPx(fontMetrics().averageCharWidth() * kLineChars) {}

  int lineWidthPx() const { return m_lineWidthPx; }
  void setLineWidthPx(int width) {
    m_lineWidthPx = width;
    updateGeometry();
  }

  QSize sizeHint() const override {
    const int width = m_lineWidthPx;
    QTextDocument* laidOut = document()->clone();
    laidOut->setTextWidth(width);
    const int height = static_cast<int>(std::ceil(laidOut->size().height()));
    delete laidOut;
    const int frame = 2 * frameWidth();
    return {width + frame, height + frame};
  }

 private:
  int m_lineWidthPx;
};

}  // namespace

QString HelpCaption() { return QStringLiteral("Aide de Quarbe"); }

QString HelpText() {
  return QStringLiteral(
      "<p><b>Quarbe</b> calcule la distance et les azimuts entre votre station mobile et un "
      "correspondant, oriente l'antenne et affiche l'aiguille du compas.</p>"
      "<p><b>Local</b> : tapez votre QRA Locator (6 caractères, par exemple JN18AP) ou vos coordonnées "
      "en degrés, minutes et secondes avec l'hémisphère, et l'azimut du véhicule. Quand le GPS a donné "
      "une première position, la case <i>GPS</i> est cochée et ces champs suivent le récepteur ; "
      "décochez-la pour les saisir à la main.</p>"
      "<p><b>Correspondant</b> : son QRA Locator ou ses coordonnées.</p>"
      "<p>Un champ est pris en compte quand vous le quittez (Tab ou clic) ou quand vous appuyez sur "
      "Entrée ; le choix d'un hémisphère est pris en compte aussitôt. Les résultats (azimut réel, "
      "azimut relatif au véhicule, distance en km, azimut du correspondant vers vous) se mettent "
      "alors à jour.</p>"
      "<p>Le bouton <b>?</b> ouvre la fenêtre À propos, le bouton <b>outils</b> la configuration "
      "(ports GPS et moteur, butée, sens de rotation, image du compas).</p>"
      "<p><b>Touches</b></p>"
      "<ul>"
      "<li><b>Tab</b> et <b>Maj+Tab</b> : champ ou bouton suivant et précédent.</li>"
      "<li><b>Entrée</b> : dans un champ de la fenêtre principale, le prend en compte sans le quitter ; "
      "sur un bouton, appuie sur ce bouton.</li>"
      "<li><b>Échap</b> : ferme le programme en enregistrant les locators et la configuration ; dans "
      "la configuration ou une autre fenêtre, la ferme sans rien changer.</li>"
      "<li><b>F1</b> : cette aide, depuis la fenêtre principale comme depuis la configuration.</li>"
      "<li><b>Flèches</b> : choisissent l'hémisphère dans sa liste, et dans la configuration le port "
      "dans sa liste ou le choix dans un groupe (Butée, Sens Rotation).</li>"
      "</ul>"
      "<p><b>Configuration</b> : <b>Alt+I</b> va au choix de l'image du compas, <b>Alt+P</b> au port "
      "parallèle du rotateur, <b>Alt+B</b> à la butée, <b>Alt+R</b> au sens de rotation, <b>Alt+S</b> "
      "au port série du GPS ; <b>Alt+A</b> annule. Entrée sur OK ou dans un champ accepte la "
      "configuration ; Entrée sur Annuler, ou Échap, l'abandonne. Une liste de ports montre en info-bulle ce que désigne chaque port "
      "(périphérique, gpsd ou rotateur Hamlib, selon la section [Ports] du fichier de réglages). "
      "Un rotateur Hamlib a sa propre butée et son propre sens : ces choix sont alors grisés.</p>"
      "<p>Ligne de commande : <tt>local=AANNAA</tt> et <tt>dest=AANNAA</tt>.</p>");
}

void ShowHelp(QWidget* parent) {
  QDialog box(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  box.setObjectName(QStringLiteral("help"));
  box.setWindowTitle(HelpCaption());
  auto* view = new HelpView(&box);
  view->setObjectName(QStringLiteral("helpText"));
  view->setOpenLinks(false);
  view->setFrameShape(QFrame::NoFrame);
  // Read like a message box: on the window's background.
  view->viewport()->setAutoFillBackground(false);
  view->setHtml(HelpText());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  auto* layout = new QVBoxLayout(&box);
  layout->addWidget(view);
  layout->addWidget(buttons);
  // As large as the text needs, no larger than the screen allows: the text
  // then scrolls and OK stays in reach. Too high for the screen, it first
  // takes longer lines, as far as the screen is wide.
  const QSize room = RoomOnScreen(&box);
  if (box.sizeHint().height() > room.height()) {
    const int besideText = box.sizeHint().width() - view->lineWidthPx();
    const int longest = view->fontMetrics().averageCharWidth() * kLongestLineChars;
    view->setLineWidthPx(std::max(view->lineWidthPx(), std::min(room.width() - besideText, longest)));
  }
  box.resize(box.sizeHint().boundedTo(room));
  // The arrows and Page keys scroll the text; Enter still presses OK.
  view->setFocus(Qt::OtherFocusReason);
  box.exec();
}

}  // namespace quarbe
