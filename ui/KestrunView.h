// The configuration form view: the scroll area with the form's widgets, the
// Main Setting and history windows, the popups and the port check's timer.
// Its parts: the page (ui/FormPage), the controls with their exchange and
// enable rules (ui/FormControls), the config file commands
// (ui/ConfigFileCommands). The form's state, the connection, the port check
// and the device operations belong to the window controller it owns
// (window/WindowController); the view is the controller's screen (IWindowView).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "protocol/FormModel.h"
#include "settings/IniFile.h"
#include "ui/ConfigFileCommands.h"
#include "ui/DialogUnits.h"
#include "ui/DifferenceMarks.h"
#include "ui/DifferencesDlg.h"
#include "ui/FormControls.h"
#include "ui/FormPage.h"
#include "ui/HistoryDlg.h"
#include "ui/IpAddressEdit.h"
#include "ui/MainSettingDlg.h"
#include "ui/StatusBar.h"
#include "window/WindowController.h"
#include "window/WindowView.h"

namespace kestrun {

class CKestrunView : public QScrollArea, public IWindowView {
  Q_OBJECT
 public:
  explicit CKestrunView(QWidget* parent = nullptr);
  ~CKestrunView() override;

  // Start-up after the frame exists: push the form, record the working
  // directory, enumerate ports, show Main Setting (false when it was not
  // confirmed: the program ends), save it, show the history window, apply the
  // fonts and start the port check timer.
  // The config file dialogs then open where config files were last chosen.
  bool InitialUpdate();
  int FormWidthPixels() const;

  // Form exchange (IWindowView).
  bool PullForm() override;
  void PushForm() override;
  void PushValues(const std::vector<int>& ids) override;
  // Disabled: every active control off (an operation runs). Enabled: each
  // control as its group's enable, fence or key box says.
  void SetFormEnabled(bool enabled) override;

  // Menu commands.
  void OnSendAll() { controller_.SendAll(); }
  void OnReadAll() { controller_.ReadAll(); }
  void OnIdentify() { controller_.Identify(); }
  void OnCompareWithTracker() { controller_.CompareWithTracker(); }
  void OnMainSetting() { controller_.OnMainSetting(); }
  void OnSaveConfigFile();
  void OnLoadConfigFile();
  // The port check (when its timer comes due).
  void InitSystem() { controller_.CheckPort(); }

  // Feedback (IWindowView, window thread).
  void ShowResult(const std::string& caption, const std::string& message, ResultIcon iconKind, bool autoClose,
                  int delayMs) override;
  void SetControlText(int id, const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void ExplainStatus(const std::string& detail) override;
  void ShowHint(const std::string& hint) override;
  void ShowPopup(const PopupRequest& popup) override;
  void ShowProgress(const std::string& label, int value, int maximum) override;
  void NoteLogFailure(const std::string& reason) override;
  void NoteJournalProblem(const std::string& note) override;
  void AppendHistory(const std::string& line) override;
  void ClearHistory() override;
  void ShowBusy(bool busy) override;
  void SchedulePortCheck(bool scheduled) override;
  std::optional<CMainSettings> OpenMainSettingAtStart(const std::vector<PortEntry>& ports,
                                                      const std::string& path) override;
  std::optional<CMainSettings> EditMainSetting() override;
  CMainSettings ReloadMainSetting() override;
  void MarkDifferences(const std::map<int, std::string>& marks) override { differenceMarks_.Show(marks); }
  void ListDifferences(const std::vector<Difference>& differences) override;
  void CloseDifferences() override;

  bool IsBusy() const { return controller_.IsBusy(); }
  // Asks a running operation to stop at its next step (window closing).
  void AbortOperation() { controller_.AbortOperation(); }

  // The controller, with the form's state and what the frame and tests set.
  CWindowController& controller() { return controller_; }
  CFormModel& model() { return controller_.model(); }
  const CFormModel& model() const { return controller_.model(); }
  const std::string& firmwareVersion() const { return controller_.firmwareVersion(); }
  // Where ports are found, and the working folder (the current one when empty
  // at start-up); set before InitialUpdate.
  const DiscoveryPaths& discovery() const { return controller_.discovery(); }
  void SetDiscovery(const DiscoveryPaths& paths) { controller_.SetDiscovery(paths); }
  void SetStartDirectory(const std::string& path) { controller_.SetStartDirectory(path); }
  void SetLogDirectory(const std::string& path) { controller_.SetLogDirectory(path); }
  CMainSettingDlg* mainSettingDlg() const { return mainSetting_; }
  CHistoryDlg* historyDlg() const { return history_; }
  CDifferencesDlg* differencesDlg() const { return differences_; }
  const CDifferenceMarks& differenceMarks() const { return differenceMarks_; }
  QLabel* statusLine() const { return page_.status; }
  // The window's status bar, which repeats the status line; none until set.
  void SetStatusBar(CStatusBar* bar) { statusBar_ = bar; }
  CStatusBar* statusBar() const { return statusBar_; }
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
  void BuildForm();
  // "Saved <file name>" or "Loaded <file name>" in the status bar.
  void ShowConfigFile(const char* done);
  void ConnectControl(int id, QWidget* widget);
  void ApplyFonts();
  void OnChanged(int id);
  void OnEnableBox(Group group);
  void OnFenceBox(int fence);
  void OnKeyBox(int key);

  // First, so that the form's parts can refer to its model. The destructor
  // shuts its operations down before any other member goes.
  CWindowController controller_;
  FormPage page_;
  CMainSettingDlg* mainSetting_ = nullptr;
  CHistoryDlg* history_ = nullptr;
  CDifferencesDlg* differences_ = nullptr;  // made at the first comparison
  CStatusBar* statusBar_ = nullptr;
  QPointer<QWidget> parkedFocus_;  // had the focus when the form was disabled
  CFormControls form_{controller_.model()};
  CConfigFileCommands configFiles_{this, controller_.model(), form_, *this};
  CDifferenceMarks differenceMarks_{form_};
  QTimer startupTimer_;  // timer 1: the port check
};

}  // namespace kestrun
