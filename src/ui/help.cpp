#include "ui/help.h"

#include <QMessageBox>

namespace quarbe {

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
      "(ports GPS et moteur, butée, sens de rotation, image du compas). Échap ferme le programme en "
      "enregistrant les locators et la configuration.</p>"
      "<p>Ligne de commande : <tt>local=AANNAA</tt> et <tt>dest=AANNAA</tt>.</p>");
}

void ShowHelp(QWidget* parent) {
  QMessageBox box(QMessageBox::Information, HelpCaption(), HelpText(), QMessageBox::Ok, parent);
  box.setTextFormat(Qt::RichText);
  box.exec();
}

}  // namespace quarbe
