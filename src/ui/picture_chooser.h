#pragma once
// The file dialog that chooses the compass picture: Qt's own dialog, so that
// it speaks French whatever the desktop's language (a desktop's native
// dialog speaks the session's), sized to the screen it opens on.

#include <QString>

class QWidget;

namespace quarbe {

// Asks for an existing ".emf" file under the filter "Enhanced Meta File
// (*.emf)", starting in the folder of `currentPath` when that picture is
// found (the working directory otherwise). Returns the chosen file's full
// path, empty when the dialog is closed without a choice.
QString ChoosePictureFile(QWidget* owner, const QString& currentPath);

}  // namespace quarbe
