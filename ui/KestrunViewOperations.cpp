// CKestrunView as the controller's screen: Main Setting at start-up and from
// the menu, the port check's timer, the config file commands, and the status
// line, history and popups the controller and the engine's events drive.
#include <QApplication>
#include <QFileInfo>

#include "ui/KestrunView.h"
#include "ui/ResultDlg.h"

namespace kestrun {

// ---- Main Setting and the port check's timer -------------------------------

bool CKestrunView::InitialUpdate() {
  if (!controller_.Start()) return false;
  const std::string& folder = controller_.startDirectory();
  configFiles_.folders = CRememberedFolders(BuildMainSettingPath(folder), folder);
  return true;
}

std::optional<CMainSettings> CKestrunView::OpenMainSettingAtStart(const std::vector<PortEntry>& ports,
                                                                  const std::string& path) {
  mainSetting_->ports = ports;
  mainSetting_->settings.file.path = path;
  mainSetting_->LoadMainSetting();
  if (ChoosePort(mainSetting_->settings, ports).position < 0) mainSetting_->settings.comIndex = 0;
  if (mainSetting_->exec() != QDialog::Accepted) return std::nullopt;
  mainSetting_->SaveMainSetting();
  history_ = new CHistoryDlg(window());
  history_->show();
  ApplyFonts();
  return mainSetting_->settings;
}

std::optional<CMainSettings> CKestrunView::EditMainSetting() {
  if (mainSetting_->exec() != QDialog::Accepted) return std::nullopt;
  mainSetting_->SaveMainSetting();
  return mainSetting_->settings;
}

CMainSettings CKestrunView::ReloadMainSetting() {
  mainSetting_->LoadMainSetting();
  return mainSetting_->settings;
}

void CKestrunView::SchedulePortCheck(bool scheduled) {
  if (scheduled)
    startupTimer_.start();
  else
    startupTimer_.stop();
}

// ---- Config files -----------------------------------------------------------

void CKestrunView::OnSaveConfigFile() {
  if (IsBusy()) return;
  if (configFiles_.Save([this] { PullForm(); }, firmwareVersion(), controller_.SuggestedConfigFileName()))
    ShowConfigFile("Saved");
}

void CKestrunView::OnLoadConfigFile() {
  if (IsBusy()) return;
  if (!configFiles_.Load()) return;
  controller_.FormLoaded();
  ShowConfigFile("Loaded");
}

void CKestrunView::ShowConfigFile(const char* done) {
  if (!statusBar_) return;
  const QString path = QString::fromStdString(configFiles_.file.path);
  statusBar_->ShowFile(QString("%1 %2").arg(done, QFileInfo(path).fileName()));
  statusBar_->fileLabel()->setToolTip(path);
}

// ---- Feedback -----------------------------------------------------------------

void CKestrunView::ShowResult(const std::string& caption, const std::string& message, ResultIcon iconKind,
                              bool autoClose, int delayMs) {
  ShowPopup({caption, message, iconKind, autoClose, delayMs, {}});
}

void CKestrunView::ShowPopup(const PopupRequest& p) {
  auto* popup = new CResultDlg(window(), QString::fromStdString(p.caption), QString::fromStdString(p.message),
                               p.iconKind, p.autoClose, p.delayMs, QString::fromStdString(p.hint));
  popup->show();
  popup->raise();
  popup->move(mapToGlobal(QPoint(0, 0)) + QPoint(90, 200));
}

void CKestrunView::SetControlText(int id, const std::string& text) { form_.SetTextQuietly(id, text); }

void CKestrunView::SetStatus(const std::string& text) {
  page_.status->setText(QString::fromStdString(text));
  page_.status->setAccessibleName(text.empty() ? QString("Status") : page_.status->text());
  page_.status->setToolTip(QString());
  if (statusBar_) statusBar_->SetText(page_.status->text());
}

void CKestrunView::ExplainStatus(const std::string& detail) {
  page_.status->setToolTip(QString::fromStdString(detail));
  if (statusBar_) statusBar_->SetReason(page_.status->toolTip());
}

void CKestrunView::ShowHint(const std::string& hint) {
  if (statusBar_) statusBar_->AddHint(QString::fromStdString(hint));
}

void CKestrunView::ShowProgress(const std::string& label, int value, int maximum) {
  if (statusBar_) statusBar_->ShowProgress(QString::fromStdString(label), value, maximum);
}

void CKestrunView::NoteLogFailure(const std::string& reason) {
  const QString note = "The traffic log could not be written: " + QString::fromStdString(reason);
  const QString shown = page_.status->toolTip();
  page_.status->setToolTip(shown.isEmpty() ? note : shown + "\n" + note);
  if (statusBar_) statusBar_->SetReason(page_.status->toolTip());
}

void CKestrunView::NoteJournalProblem(const std::string& note) {
  if (statusBar_) statusBar_->ShowJournalProblem(QString::fromStdString(note));
}

void CKestrunView::AppendHistory(const std::string& line) {
  if (history_) history_->Append(QString::fromStdString(line));
}

void CKestrunView::ClearHistory() {
  if (history_) history_->Clear();
}

void CKestrunView::ListDifferences(const std::vector<Difference>& differences) {
  if (!differences_) {
    differences_ = new CDifferencesDlg(window());
    // Beside the form, under the history window.
    const QPoint at =
        history_ ? history_->frameGeometry().bottomLeft() : window()->frameGeometry().topRight();
    differences_->move(at + QPoint(0, 8));
  }
  differences_->Show(differences);
}

void CKestrunView::CloseDifferences() {
  if (differences_) differences_->Clear();
}

void CKestrunView::ShowBusy(bool busy) {
  emit busyChanged(busy);
  if (!busy) emit operationFinished();
}

}  // namespace kestrun
