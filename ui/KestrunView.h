// The configuration form view. It owns the form's state: the form values and
// command records, the connection settings and the feedback windows. Its
// parts: the page (ui/FormPage), the controls with their exchange and enable
// rules (ui/FormControls), the config file commands (ui/ConfigFileCommands).
// Device operations run in a device engine that works on a copy of the form;
// what it reports is applied here, on the window thread.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <map>

#include "link/ComPort.h"
#include "link/DeviceEngine.h"
#include "protocol/FormModel.h"
#include "settings/IniFile.h"
#include "ui/ConfigFileCommands.h"
#include "ui/DialogUnits.h"
#include "ui/FormControls.h"
#include "ui/FormPage.h"
#include "ui/HistoryDlg.h"
#include "ui/IpAddressEdit.h"
#include "ui/MainSettingDlg.h"
#include "ui/OperationRunner.h"

namespace kestrun {

class CKestrunView : public QScrollArea, public IFormOutput {
  Q_OBJECT
 public:
  explicit CKestrunView(QWidget* parent = nullptr);
  ~CKestrunView() override;

  // Start-up after the frame exists: push the form, record the working
  // directory, enumerate ports, show Main Setting (false when it was not
  // confirmed: the program ends), save it, show the history window, apply the
  // fonts and start the port check timer.
  bool InitialUpdate();
  int FormWidthPixels() const;

  // Form exchange.
  bool PullForm();
  void PushForm();
  // Disabled: every active control off (an operation runs). Enabled: each
  // control as its group's enable, fence or key box says.
  void SetFormEnabled(bool enabled);

  // Menu commands.
  void OnSendAll();
  void OnReadAll();
  void OnMainSetting();
  void OnSaveConfigFile();
  void OnLoadConfigFile();
  void InitSystem();

  // Feedback and what the engine reports (window thread).
  void ShowResult(const std::string& caption, const std::string& message, ResultIcon iconKind, bool autoClose,
                  int delayMs) override;
  void SetControlText(int id, const std::string& text) override;
  void SetStatus(const std::string& text);
  void ExplainStatus(const std::string& detail);
  // The traffic log could not be written: said on the status line's tooltip,
  // after whatever it explains already.
  void NoteLogFailure(const std::string& reason);
  void AppendHistory(const std::string& line);
  // A preview the engine set during a Send, and the preview's form value.
  void ShowBuiltPreview(int id, const std::string& shown, const std::string& stored);
  // A group the engine read: its record and values go into the form.
  void PutReplyIntoForm(Group group, const CFormModel& reading);
  // The engine has ended its operation (from the engine's events).
  void OnOperationFinished() { operations_.Finished(); }

  bool IsBusy() const { return operations_.busy(); }
  // Asks a running operation to stop at its next step (window closing).
  void AbortOperation() { operations_.Stop(); }

  // The form's state and what the frame, the engine's events and tests set.
  CFormModel& model() { return model_; }
  const CFormModel& model() const { return model_; }
  const std::string& firmwareVersion() const { return firmwareVersion_; }
  void SetFirmwareVersion(const std::string& version) { firmwareVersion_ = version; }
  // Where ports are found, and the working folder (the current one when empty
  // at start-up); set before InitialUpdate.
  const DiscoveryPaths& discovery() const { return discovery_; }
  void SetDiscovery(const DiscoveryPaths& paths) { discovery_ = paths; }
  void SetStartDirectory(const std::string& path) { startDirectory_ = path; }
  CMainSettingDlg* mainSettingDlg() const { return mainSetting_; }
  CHistoryDlg* historyDlg() const { return history_; }
  QLabel* statusLine() const { return page_.status; }
  QWidget* Control(int id) const;
  QGroupBox* GroupBoxOf(Group group) const;

  // Replaceable for tests: the length message box.
  std::function<void(const QString&)> showLimitMessage;
  // The config file commands: the file last chosen, the dialog, and the
  // replaceable choice of the file.
  CConfigFileCommands& configFiles() { return configFiles_; }

 signals:
  void busyChanged(bool busy);
  void operationFinished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CFormModel model_;
  CComPort port_;  // the start-up check's own port; operations open the engine's
  std::string firmwareVersion_;
  std::string startDirectory_;  // captured once at start-up
  DiscoveryPaths discovery_;
  void BuildForm();
  void ConnectControl(int id, QWidget* widget);
  void ApplyFonts();
  void OnChanged(int id);
  void OnEnableBox(Group group);
  void OnFenceBox(int fence);
  void OnKeyBox(int key);
  void OnReadButton(Group group);
  void OnSendButton(Group group);
  void StartOperation(OperationKind kind, const GroupSelection& selection);
  void OnBusyChanged(bool busy);

  FormPage page_;
  CMainSettingDlg* mainSetting_ = nullptr;
  CHistoryDlg* history_ = nullptr;
  CFormControls form_{model_};
  CConfigFileCommands configFiles_{this, model_, form_, *this};
  QTimer startupTimer_;        // timer 1
  bool checkPending_ = false;  // the start-up check came due during an operation
  // Last, so that it goes first: a running operation is stopped and joined
  // before anything its events refer to is destroyed.
  COperationRunner operations_{*this, [this](bool busy) { OnBusyChanged(busy); }};
};

}  // namespace kestrun
