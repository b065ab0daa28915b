// CKestrunView: start-up, the port check, the menu commands, and the device
// operations with what the engine reports, applied on this thread.
#include <QApplication>
#include <cstdio>
#include <filesystem>

#include "link/TrafficLog.h"
#include "protocol/ControlIds.h"
#include "ui/KestrunView.h"
#include "ui/ResultDlg.h"

namespace kestrun {

using namespace ctl;

bool CKestrunView::InitialUpdate() {
  PushForm();
  if (startDirectory_.empty()) {
    std::error_code ec;
    startDirectory_ = std::filesystem::current_path(ec).string();
  }
  port_.discovery = discovery_;
  mainSetting_->ports = DiscoverPorts(discovery_);
  mainSetting_->settings.file.path = BuildMainSettingPath(startDirectory_);
  mainSetting_->LoadMainSetting();
  const int portCount = static_cast<int>(mainSetting_->ports.size());
  if (mainSetting_->settings.comIndex < 0 || mainSetting_->settings.comIndex >= portCount)
    mainSetting_->settings.comIndex = 0;
  if (mainSetting_->exec() != QDialog::Accepted) return false;
  mainSetting_->SaveMainSetting();
  history_ = new CHistoryDlg(window());
  history_->show();
  ApplyFonts();
  firmwareVersion_.clear();
  startupTimer_.start();
  return true;
}

void CKestrunView::InitSystem() {
  startupTimer_.stop();
  if (IsBusy()) {  // never under a running operation; it runs once that has ended
    checkPending_ = true;
    return;
  }
  model_.liveUpdate = true;
  SetFormEnabled(false);
  SetStatus("Init System ......");
  if (history_) history_->Clear();
  mainSetting_->LoadMainSetting();
  // No port behind the index (none was found): the open fails and says COM:0.
  const Connection connection = ConnectionFromSettings(mainSetting_->settings, mainSetting_->ports);
  model_.SetPassword(connection.password);
  port_.portNumber = connection.port;
  port_.baudRate = connection.baudRate;
  const bool opened = port_.Open();
  if (opened) {
    SetFormEnabled(true);
    port_.Close();
  }
  char text[96];
  std::snprintf(text, sizeof text,
                opened ? "Init COM:%d Baudrate:%d Success ." : "Init COM:%d Baudrate:%d Fail !",
                port_.portNumber, port_.baudRate);
  SetStatus(text);
  if (!opened) ExplainStatus(port_.openFailureReason());
  PushForm();
}

// ---- Menu commands --------------------------------------------------------

void CKestrunView::OnMainSetting() {
  if (IsBusy()) return;
  if (mainSetting_->exec() != QDialog::Accepted) return;
  mainSetting_->SaveMainSetting();
  startupTimer_.start();
}

void CKestrunView::OnSaveConfigFile() {
  if (IsBusy()) return;
  configFiles_.Save([this] { PullForm(); }, firmwareVersion_);
}

void CKestrunView::OnLoadConfigFile() {
  if (IsBusy()) return;
  configFiles_.Load();
}

// ---- Device operations ----------------------------------------------------

void CKestrunView::StartOperation(OperationKind kind, const GroupSelection& selection) {
  if (IsBusy()) return;
  // The engine works on its own copy of the form and of the connection.
  // The port and rate the last check opened, the pacing chosen now.
  Connection connection = ConnectionFromSettings(mainSetting_->settings, mainSetting_->ports);
  connection.port = port_.portNumber;
  connection.baudRate = port_.baudRate;
  connection.logPath = TrafficLogPath(startDirectory_);
  connection.discovery = discovery_;
  operations_.Start(kind, selection, model_, connection);
}

void CKestrunView::OnBusyChanged(bool busy) {
  if (busy) startupTimer_.stop();  // no port check under a running operation
  emit busyChanged(busy);
  if (busy) return;
  emit operationFinished();
  if (checkPending_) {
    checkPending_ = false;
    startupTimer_.start();
  }
}

void CKestrunView::OnReadButton(Group group) {
  GroupSelection selection{};
  selection[static_cast<int>(group)] = true;
  StartOperation(OperationKind::Read, selection);
}

void CKestrunView::OnSendButton(Group group) {
  if (IsBusy()) return;
  if (group != Group::Kpn) PullForm();  // the keypad Send starts without a pull
  GroupSelection selection{};
  selection[static_cast<int>(group)] = true;
  StartOperation(OperationKind::Send, selection);
}

void CKestrunView::OnReadAll() {
  if (IsBusy()) return;
  PullForm();
  GroupSelection all;
  all.fill(true);
  StartOperation(OperationKind::Read, all);
}

void CKestrunView::OnSendAll() {
  if (IsBusy()) return;
  PullForm();
  StartOperation(OperationKind::SendAll, {});
}

// ---- Feedback and what the engine reports ----------------------------------

void CKestrunView::ShowResult(const std::string& caption, const std::string& message, ResultIcon iconKind,
                              bool autoClose, int delayMs) {
  auto* popup = new CResultDlg(window(), QString::fromStdString(caption), QString::fromStdString(message),
                               iconKind, autoClose, delayMs);
  popup->show();
  popup->raise();
  popup->move(mapToGlobal(QPoint(0, 0)) + QPoint(90, 200));
}

void CKestrunView::SetControlText(int id, const std::string& text) { form_.SetTextQuietly(id, text); }

void CKestrunView::SetStatus(const std::string& text) {
  page_.status->setText(QString::fromStdString(text));
  page_.status->setAccessibleName(text.empty() ? QString("Status") : page_.status->text());
  page_.status->setToolTip(QString());
}

void CKestrunView::ExplainStatus(const std::string& detail) {
  page_.status->setToolTip(QString::fromStdString(detail));
}

void CKestrunView::AppendHistory(const std::string& line) {
  if (history_) history_->Append(QString::fromStdString(line));
}

void CKestrunView::ShowBuiltPreview(int id, const std::string& shown, const std::string& stored) {
  model_.values.Text(id) = stored;
  SetControlText(id, shown);
}

void CKestrunView::PutReplyIntoForm(Group group, const CFormModel& reading) {
  model_.TakeRecord(group, reading);
  model_.PutReplyIntoForm(group, *this, [&] { form_.Push(CFormModel::ReplyValueIds(group)); });
}

}  // namespace kestrun
