// The Save Config File and Load Config File commands: choosing the file,
// writing the form's values into it or reading them back onto the form, and
// saying in a popup what went wrong.
#pragma once

#include <QFileDialog>
#include <QString>
#include <functional>
#include <string>

#include "protocol/FormModel.h"
#include "protocol/ResultSink.h"
#include "settings/IniFile.h"
#include "settings/RememberedFolders.h"
#include "ui/FormControls.h"

namespace kestrun {

class CConfigFileCommands {
 public:
  CConfigFileCommands(QWidget* dialogParent, CFormModel& model, CFormControls& form, IResultSink& sink);
  CConfigFileCommands(const CConfigFileCommands&) = delete;
  CConfigFileCommands& operator=(const CConfigFileCommands&) = delete;

  // Pulls the form with `pullForm` and writes its values, with the firmware
  // version, into the chosen file; the dialog suggests `suggestedName` (a
  // tracker's "<IMEI>.ini") when one is given. True when the file was written.
  bool Save(const std::function<void()>& pullForm, const std::string& firmwareVersion,
            const std::string& suggestedName = {});
  // Reads the chosen file into the form values and onto the form.
  // True when the file was read.
  bool Load();
  // The file dialog of Save (save = true) and Load, set up but not shown: in
  // the folder config files were last chosen in, with the file last chosen
  // there, or for Save `suggestedName`, selected.
  QFileDialog* CreateDialog(bool save, const std::string& suggestedName = {});

  CIniFile file;  // the file last chosen
  // Where config files were last chosen (MainSetting.ini's [Folders]); set at
  // start-up. Unset: the dialog opens on the file last chosen.
  CRememberedFolders folders;
  // Asks for the file (save or load); empty on Cancel. Replaceable for tests.
  std::function<QString(bool save)> choose;

 private:
  QString DefaultChoose(bool save);
  // The chosen path as a local file name; its folder is remembered.
  std::string Chosen(const QString& path);

  QWidget* dialogParent_;
  CFormModel& model_;
  CFormControls& form_;
  IResultSink& sink_;
  std::string suggestedName_;  // of the Save whose dialog is open
};

}  // namespace kestrun
