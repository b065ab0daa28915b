#include "ui/ConfigFileCommands.h"

#include <memory>

#include "port/Platform.h"
#include "protocol/ControlIds.h"
#include "settings/ConfigFile.h"
#include "ui/IpAddressEdit.h"

namespace kestrun {

using namespace ctl;

CConfigFileCommands::CConfigFileCommands(QWidget* dialogParent, CFormModel& model, CFormControls& form,
                                         IResultSink& sink)
    : dialogParent_(dialogParent), model_(model), form_(form), sink_(sink) {
  choose = [this](bool save) { return DefaultChoose(save); };
}

QFileDialog* CConfigFileCommands::CreateDialog(bool save, const std::string& suggestedName) {
  auto* dialog = new QFileDialog(dialogParent_, save ? "Save Config File" : "Load Config File");
  dialog->setNameFilter("Config File format (*.ini)");
  dialog->setDefaultSuffix("ini");
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Loading a file that does not exist would wipe the form: only existing files.
  dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  const std::string folder = folders.FolderFor(FileKind::ConfigFile);
  if (!folder.empty()) dialog->setDirectory(QString::fromStdString(folder));
  if (save && !suggestedName.empty())
    dialog->selectFile(QString::fromStdString(suggestedName));
  else if (!file.path.empty() && (folder.empty() || FolderOfPath(file.path) == folder))
    dialog->selectFile(QString::fromStdString(file.path));
  return dialog;
}

QString CConfigFileCommands::DefaultChoose(bool save) {
  std::unique_ptr<QFileDialog> dialog(CreateDialog(save, save ? suggestedName_ : std::string()));
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
  return dialog->selectedFiles().first();
}

std::string CConfigFileCommands::Chosen(const QString& path) {
  const std::string chosen = path.toStdString();  // UTF-8, as the file calls below take it
  folders.Remember(FileKind::ConfigFile, chosen);  // a MainSetting.ini that cannot be written only forgets
  return chosen;
}

bool CConfigFileCommands::Save(const std::function<void()>& pullForm, const std::string& firmwareVersion,
                               const std::string& suggestedName) {
  suggestedName_ = suggestedName;
  const QString path = choose(true);
  if (path.isEmpty()) return false;
  pullForm();  // a field over its limit is reported; the file is still written
  file.path = Chosen(path);
  // The octets are what the address fields show now: a pull that stopped at
  // an over-long field has not reached them.
  CFormValues saved = model_.values;
  for (int id : {SriIp, BeiIp}) saved.Address(id) = static_cast<CIpAddressEdit*>(form_.Control(id))->Octets();
  const FileResult result = WriteConfigFile(file, saved, firmwareVersion);
  if (!result) sink_.ShowFailure("Save Config File Fail !\n" + result.Lines());
  return static_cast<bool>(result);
}

bool CConfigFileCommands::Load() {
  const QString path = choose(false);
  if (path.isEmpty()) return false;
  file.path = Chosen(path);
  const ConfigLoad load = ReadConfigFile(file, model_.values);
  if (!load.file) {  // the form stays as it was
    sink_.ShowFailure("Load Config File Fail !\n" + load.file.Lines());
    return false;
  }
  form_.Push({SriIp, BeiIp});
  form_.PushAll();  // no preview rebuilt, no enabled state re-derived
  // One note for everything dropped from the loaded values, each kind with
  // the keys it was dropped from, four to a line.
  const struct {
    const char* title;
    const std::vector<std::string>& keys;
  } dropped[] = {{"Commas Removed From Loaded Values !", load.keysWithCommas},
                 {"Control Characters Removed From Loaded Values !", load.keysWithControlChars}};
  std::string text;
  for (const auto& d : dropped) {
    if (d.keys.empty()) continue;
    text += (text.empty() ? "" : "\n") + std::string(d.title);
    for (std::size_t i = 0; i < d.keys.size(); ++i) text += (i % 4 ? ", " : "\n") + d.keys[i];
  }
  if (!text.empty()) sink_.ShowFailure(text);
  return true;
}

}  // namespace kestrun
