// The Provisioning window's remembered choices on its controls: at start the
// template, the table, the two check boxes, station mode with its action and
// the row table's column widths come back from MainSetting.ini's
// [Provisioning] section, with the labels' page format; each change is
// written back (a column resized, after the user has let go of it for half a
// second), and so is everything
// once more when the window closes (SaveNow). Its file dialogs open in the
// folder last used for their kind of file, and remember the one chosen.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QTableView>
#include <QTimer>
#include <functional>
#include <string>

#include "settings/ProvisioningChoices.h"
#include "settings/RememberedFolders.h"

namespace kestrun {

class CProvisioningChoices : public QObject {
  Q_OBJECT
 public:
  struct Controls {
    QLineEdit* templateEdit = nullptr;
    QLineEdit* tableEdit = nullptr;
    QCheckBox* dealRowsInOrder = nullptr;
    QCheckBox* skipDone = nullptr;
    QTableView* rows = nullptr;  // its horizontal header's interactive columns
    QComboBox* labelLayout = nullptr;  // items whose data is a batch::LabelLayout
  };

  // `workDir`: where MainSetting.ini is, and where dialogs open when nothing
  // is remembered. The remembered choices are put on `controls` at once.
  CProvisioningChoices(const std::string& workDir, const Controls& controls, QObject* parent);

  // A file dialog for `kind` in its remembered folder, `target`'s file
  // selected when it is there; the file chosen goes into `target`, and its
  // folder and the choices are remembered. Empty on Cancel.
  QString ChooseFile(FileKind kind, QLineEdit* target, const QString& caption, const QString& filter);
  // A folder dialog for `kind` (Read to files) in the folder last chosen.
  // Empty on Cancel.
  QString ChooseFolder(FileKind kind, const QString& caption);

  // Station mode's box and the list of its action (items "Identify",
  // "Provision", "Verify"): set to what was remembered, and remembered when
  // changed. Either may be null.
  void BindStation(QCheckBox* on, QComboBox* action);
  // The same without widgets: what was remembered, and a change to remember.
  bool stationMode() const { return choices_.stationMode; }
  const std::string& stationAction() const { return choices_.stationAction; }
  void SetStation(bool on, const std::string& action);

  // Takes every control's state and writes the section now (window closing).
  void SaveNow();
  const ProvisioningChoices& choices() const { return choices_; }
  const CRememberedFolders& folders() const { return folders_; }

  // Replaceable for tests: the dialogs (caption, folder to open in, file to
  // select or empty, filter; an empty filter chooses a folder). Empty:
  // cancelled.
  std::function<QString(const QString& caption, const QString& folder, const QString& selected,
                        const QString& filter)>
      dialog;

 private:
  void Restore();
  void Take();

  std::string mainSettingPath_;
  CRememberedFolders folders_;
  QPointer<QLineEdit> template_, table_;
  QPointer<QCheckBox> dealRowsInOrder_, skipDone_;
  QPointer<QTableView> rows_;
  QPointer<QComboBox> labelLayout_;
  QPointer<QCheckBox> stationOn_;
  QPointer<QComboBox> stationAction_;
  ProvisioningChoices choices_;
  QTimer widthsSettled_;  // a resized column is written once the user lets go
};

}  // namespace kestrun
