#pragma once
// The About box: program name and version, and how to give the locators on
// the command line. It holds no data and changes nothing.

#include <QDialog>

namespace quarbe {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  // Constructs, runs modally and destroys an About box over parent.
  static void Show(QWidget* parent);
};

}  // namespace quarbe
