#pragma once
// The configuration dialog: compass picture, rotator port, end stop and
// rotation sense, GPS port. It edits a copy of the configuration; only an OK
// whose checks all pass hands a new configuration back, so Cancel (even after
// a refused OK) leaves everything as it was. The [Ports] entries say what
// each port of the two lists stands for: the lists' tooltips name it, and a
// rotator port driven through Hamlib has no end stop or sense to set.

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

#include "common/configuration.h"
#include "context/update.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quarbe {

class CConfigDlg : public QDialog {
  Q_OBJECT

 public:
  // Shows a modal message: warning icon, OK only.
  using MessageSink = std::function<void(QWidget* owner, const QString& text, const QString& caption)>;
  // Asks for a picture file; returns the chosen full path, empty when none.
  using FileChooser = std::function<QString(QWidget* owner)>;

  static constexpr unsigned kMaxEndStopDeg = 359;

  explicit CConfigDlg(const Configuration& current, QWidget* parent = nullptr, const PortMap& ports = {});
  ~CConfigDlg() override;

  // Runs the dialog modally over parent; the new configuration when it ends
  // with OK, nothing when cancelled.
  static std::optional<Configuration> Edit(QWidget* parent, const Configuration& current,
                                           const PortMap& ports = {});

  // The configuration read back by the last successful OK; before that, the
  // one the dialog was opened with.
  const Configuration& configuration() const { return result_; }

  void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
  void SetFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }

  // Enables the end-stop and sense buttons unless the rotator list shows
  // "Aucun" or a port whose entry names a Hamlib rotator (which has its own
  // range and sense); the angle edit only when also "Autre" is checked.
  void EnableByPort();

  // Reads and checks every field. On success stores the result and ends the
  // dialog with OK; otherwise shows the message, puts the focus on the angle
  // edit with its text selected, and stays open.
  void accept() override;

 private:
  void BuildControls();
  void LoadControls(const Configuration& config);
  void Browse();
  void ShowMessage(const FieldRefusal& refusal);
  // Whether the rotator list's current port is driven through Hamlib.
  bool RotatorPortIsHamlib() const;

  Configuration result_;
  PortMap ports_;
  MessageSink messageSink_;
  FileChooser fileChooser_;

  QLineEdit* picturePath_ = nullptr;
  QPushButton* browse_ = nullptr;
  QComboBox* rotatorPort_ = nullptr;
  QRadioButton* endStopNorth_ = nullptr;
  QRadioButton* endStopSouth_ = nullptr;
  QRadioButton* endStopOther_ = nullptr;
  QLineEdit* endStopAngle_ = nullptr;
  QRadioButton* senseClockwise_ = nullptr;
  QRadioButton* senseInverse_ = nullptr;
  QComboBox* gpsPort_ = nullptr;
  QButtonGroup* endStopGroup_ = nullptr;
  QButtonGroup* senseGroup_ = nullptr;
};

}  // namespace quarbe
