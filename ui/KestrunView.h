// The configuration form view. It owns all of the tool's state: the form
// values and command records, the serial port, the connection settings, the
// config-file accessor, the traffic log and the feedback windows. Device
// operations run on one worker thread at a time and reach the form only
// through blocking calls onto the window thread.
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
#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "link/ComPort.h"
#include "link/DeviceOperations.h"
#include "link/OperationHost.h"
#include "link/TrafficLog.h"
#include "protocol/FormModel.h"
#include "settings/IniFile.h"
#include "ui/DialogUnits.h"
#include "ui/HistoryDlg.h"
#include "ui/IpAddressEdit.h"
#include "ui/MainSettingDlg.h"

namespace kestrun {

class CKestrunView : public QScrollArea, public IFormOutput, public IOperationHost {
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
  void SetFormEnabled(int state) override;

  // Menu commands.
  void OnSendAll();
  void OnReadAll();
  void OnMainSetting();
  void OnSaveConfigFile();
  void OnLoadConfigFile();
  void InitSystem();

  // IFormOutput / IOperationHost (callable from any thread).
  void ShowResult(const std::string& caption, const std::string& message, int iconKind, bool autoClose,
                  int delayMs) override;
  void SetControlText(int id, const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void ExplainStatus(const std::string& detail) override;
  void AppendHistory(const std::string& line) override;
  void PutReplyIntoForm(Group group) override;
  std::vector<std::string> RefreshForSend(Group group) override;
  GroupSelection SendAllSelection() override;
  void SetFirmwareVersion(const std::string& version) override;

  bool IsBusy() const { return busy_; }
  // Asks a running operation to stop at its next step (window closing).
  void AbortOperation() { abort_ = true; }

  // State, open to the frame and to tests.
  CFormModel model;
  CComPort port;
  CTrafficLog trafficLog;
  CIniFile configFile;
  std::string firmwareVersion;
  std::string startDirectory;  // captured once at start-up
  DiscoveryPaths discovery;
  CMainSettingDlg* mainSettingDlg() const { return mainSetting_; }
  CHistoryDlg* historyDlg() const { return history_; }
  QLabel* statusLine() const { return status_; }
  QWidget* Control(int id) const;
  QGroupBox* GroupBoxOf(Group group) const;

  // Replaceable for tests: the length message box and the config file dialog
  // (returns the chosen path, empty on Cancel).
  std::function<void(const QString&)> showLimitMessage;
  std::function<QString(bool save)> chooseConfigFile;
  // The file dialog of Save (save = true) and Load, set up but not shown.
  QFileDialog* CreateConfigFileDialog(bool save);

 signals:
  void busyChanged(bool busy);
  void operationFinished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TextState {
    std::string bytes;  // the value as bytes, kept while the field is unedited
    QString shown;
  };
  void BuildForm();
  void ConnectControl(int id, QWidget* widget);
  void ApplyFonts();
  void PushControls(const std::vector<int>& ids);
  void PushValue(int id);
  void SetEditText(int id, const std::string& bytes);
  std::string EditBytes(int id) const;
  void ApplyGroupRule(Group group, int row, bool enabled);
  void UpdateRowSendButton(Group group);
  void OnChanged(int id);
  void OnEnableBox(Group group);
  void OnFenceBox(int fence);
  void OnKeyBox(int key);
  void OnReadButton(Group group);
  void OnSendButton(Group group);
  void StartOperation(std::function<void(CDeviceDriver&)> body);
  void OnWorkerFinished();
  void RunOnWindowThread(const std::function<void()>& fn);
  QString DefaultChooseConfigFile(bool save);

  QWidget* page_ = nullptr;
  QLabel* status_ = nullptr;
  QTextEdit* clipboardArea_ = nullptr;
  std::map<int, QWidget*> controls_;
  std::map<int, TextState> texts_;
  std::vector<QGroupBox*> groupBoxes_;
  CMainSettingDlg* mainSetting_ = nullptr;
  CHistoryDlg* history_ = nullptr;
  QFont titleFont_;
  QTimer startupTimer_;      // timer 1
  bool exchanging_ = false;  // PullForm or PushForm running
  bool busy_ = false;
  std::atomic<bool> abort_{false};
  std::thread worker_;
  CDeviceDriver driver_;
};

}  // namespace kestrun
