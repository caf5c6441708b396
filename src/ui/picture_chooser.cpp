#include "ui/picture_chooser.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QScreen>
#include <QTreeView>

#include <algorithm>

#include "ui/compass_view.h"
#include "ui/screen_fit.h"

namespace quarbe {
namespace {

// The columns of Qt's file list.
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kDateColumn = 3;
// The name column keeps room for this many average characters.
constexpr int kNarrowestNameChars = 16;

// Sizes and dates of the file list in the program's locale (French). Qt's
// file model words them in the system's locale, English in a C or English
// session, whatever the program's default locale is. Sorting stays the
// model's own, on the numbers and times.
class LocalisedFileDetails : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr ||
        (index.column() != kSizeColumn && index.column() != kDateColumn)) {
      return QIdentityProxyModel::data(index, role);
    }
    const QModelIndex source = mapToSource(index);
    const QLocale locale;
    if (index.column() == kSizeColumn) {
      return files->isDir(source) ? QString() : locale.formattedDataSize(files->size(source));
    }
    return locale.toString(files->lastModified(source), QLocale::ShortFormat);
  }
};

// Qt sizes the size and date columns for English texts ("128.88 GB",
// "10/29/81 02:02PM") and the type column for a short word; French texts
// and headings ("Dernière modification") are wider. Each of these columns
// is made as wide as its heading and the widest text it can show: a size of
// three digits and two decimals, a date with two-digit day and month, the
// type of the current picture or of a folder.
void WidenDetailColumns(QFileDialog& dialog, const QString& picture) {
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (view == nullptr) return;
  QHeaderView* header = view->header();
  const QLocale locale;
  const QFileIconProvider types;
  QStringList widest[4];
  widest[kSizeColumn] << locale.formattedDataSize(999'994'000'000);
  widest[kDateColumn] << locale.toString(QDateTime(QDate(2028, 12, 28), QTime(23, 58)), QLocale::ShortFormat);
  widest[kTypeColumn] << types.type(QFileInfo(dialog.directory().absolutePath()));
  if (!picture.isEmpty()) widest[kTypeColumn] << types.type(QFileInfo(picture));
  const QFontMetrics metrics = view->fontMetrics();
  const int padding = 2 * metrics.averageCharWidth();
  for (int column : {kSizeColumn, kTypeColumn, kDateColumn}) {
    int width = std::max(header->sectionSizeHint(column), header->sectionSize(column));
    for (const QString& text : widest[column]) width = std::max(width, metrics.horizontalAdvance(text) + padding);
    header->resizeSection(column, width);
  }
}

// Once laid out, just before it reaches the screen, the dialog is widened
// so that every column of the file list shows, as far as the screen allows,
// and centred again over its owner.
class ShowEveryColumn : public QObject {
 public:
  ShowEveryColumn(QFileDialog* dialog, QTreeView* view) : QObject(dialog), m_dialog(dialog), m_view(view) {
    dialog->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != m_dialog || event->type() != QEvent::Show || m_done) return false;
    m_done = true;
    const int missing = m_view->header()->length() - m_view->viewport()->width();
    if (missing <= 0) return false;
    const QSize room = RoomOnScreen(m_dialog);
    const QRect before = m_dialog->geometry();
    m_dialog->resize(QSize(before.width() + missing, before.height()).boundedTo(room));
    // On a small screen the name column, which Qt makes very wide, gives up
    // what is still missing, down to a width that shows a short name.
    const int stillMissing = missing - (m_dialog->width() - before.width());
    if (stillMissing > 0) {
      QHeaderView* header = m_view->header();
      const int narrowest = kNarrowestNameChars * m_view->fontMetrics().averageCharWidth();
      header->resizeSection(0, std::max(narrowest, header->sectionSize(0) - stillMissing));
    }
    QRect placed(QPoint(0, 0), m_dialog->size());
    placed.moveCenter(before.center());
    const QRect area = m_dialog->screen()->availableGeometry();
    placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() - placed.width())));
    m_dialog->move(placed.topLeft());
    return false;
  }

 private:
  QFileDialog* m_dialog;
  QTreeView* m_view;
  bool m_done = false;
};

}  // namespace

QString ChoosePictureFile(QWidget* owner, const QString& currentPath) {
  QFileDialog dialog(owner);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setProxyModel(new LocalisedFileDetails(&dialog));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QStringLiteral("Enhanced Meta File (*.emf)"));
  dialog.setDefaultSuffix(QStringLiteral("emf"));
  const QString resolved = CompassView::ResolvePicturePath(currentPath);
  dialog.setDirectory(resolved.isEmpty() ? QDir::currentPath() : QFileInfo(resolved).absolutePath());
  WidenDetailColumns(dialog, resolved);
  dialog.resize(dialog.sizeHint().boundedTo(RoomOnScreen(&dialog)));
  if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) new ShowEveryColumn(&dialog, view);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(chosen.front()).absoluteFilePath());
}

}  // namespace quarbe
