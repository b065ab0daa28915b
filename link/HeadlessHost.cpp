#include "link/HeadlessHost.h"

namespace kestrun {

void CHeadlessHost::ShowResult(const std::string&, const std::string& message, int iconKind, bool autoClose,
                               int) {
  std::lock_guard<std::mutex> lock(mutex_);
  popups.push_back({message, iconKind, autoClose});
}

void CHeadlessHost::SetControlText(int, const std::string&) {}

void CHeadlessHost::SetStatus(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  statuses.push_back(text);
}

void CHeadlessHost::ExplainStatus(const std::string& detail) {
  std::lock_guard<std::mutex> lock(mutex_);
  statusDetail = detail;
}

void CHeadlessHost::AppendHistory(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  history.push_back(line);
}

void CHeadlessHost::SetFormEnabled(int state) {
  std::lock_guard<std::mutex> lock(mutex_);
  enableCalls.push_back(state);
}

void CHeadlessHost::PutReplyIntoForm(Group group) {
  std::lock_guard<std::mutex> lock(mutex_);
  model_.PutReplyIntoForm(group, *this, nullptr);
  groupsRead.push_back(group);
}

std::vector<std::string> CHeadlessHost::RefreshForSend(Group group) {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_.PrepareSend(group, *this);
}

GroupSelection CHeadlessHost::SendAllSelection() {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_.SendAllSelection();
}

void CHeadlessHost::SetFirmwareVersion(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  version = text;
}

}  // namespace kestrun
