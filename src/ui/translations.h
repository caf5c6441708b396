#pragma once
// Qt's own texts (the file dialog, a field's context menu, the buttons of the
// standard boxes) in French, whatever the system's language: the program
// speaks French throughout.

class QCoreApplication;

namespace quarbe {

// Loads Qt's French translations from the system's Qt translations directory
// and makes French the default locale. Returns whether the translations were
// found (Debian ships them in qt6-translations-l10n); without them Qt's texts
// stay in English and nothing else changes.
bool InstallFrenchTranslations(QCoreApplication& application);

}  // namespace quarbe
