// A plain Qt dialog with one focused line edit holding a locator, what any
// idle desktop dialog costs: the benchmarks run it beside the program to
// compare the two. The caret blinking in the field is all either one does.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QVBoxLayout>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  auto* edit = new QLineEdit(QStringLiteral("JN18AP"), &dialog);
  layout->addWidget(edit);
  edit->setFocus();
  return dialog.exec();
}
