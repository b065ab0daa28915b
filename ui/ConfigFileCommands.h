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
#include "ui/FormControls.h"

namespace kestrun {

class CConfigFileCommands {
 public:
  CConfigFileCommands(QWidget* dialogParent, CFormModel& model, CFormControls& form, IResultSink& sink);
  CConfigFileCommands(const CConfigFileCommands&) = delete;
  CConfigFileCommands& operator=(const CConfigFileCommands&) = delete;

  // Pulls the form with `pullForm` and writes its values, with the firmware
  // version, into the chosen file.
  // True when the file was written.
  bool Save(const std::function<void()>& pullForm, const std::string& firmwareVersion);
  // Reads the chosen file into the form values and onto the form.
  // True when the file was read.
  bool Load();
  // The file dialog of Save (save = true) and Load, set up but not shown.
  QFileDialog* CreateDialog(bool save);

  CIniFile file;  // the file last chosen
  // Asks for the file (save or load); empty on Cancel. Replaceable for tests.
  std::function<QString(bool save)> choose;

 private:
  QString DefaultChoose(bool save);

  QWidget* dialogParent_;
  CFormModel& model_;
  CFormControls& form_;
  IResultSink& sink_;
};

}  // namespace kestrun
