// The drivers' user-interface side without a window: it plays the form on a
// CFormModel and records the status texts, popups and history lines, guarded
// by a mutex so that a worker thread may call it. Used by the tests, the
// benchmark and any command-line front end.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "link/OperationHost.h"
#include "protocol/FormModel.h"

namespace kestrun {

class CHeadlessHost : public IOperationHost, public IFormOutput {
 public:
  explicit CHeadlessHost(CFormModel& model) : model_(model) {}

  void ShowResult(const std::string& caption, const std::string& message, int iconKind, bool autoClose,
                  int delayMs) override;
  void SetControlText(int id, const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void ExplainStatus(const std::string& detail) override;
  void AppendHistory(const std::string& line) override;
  void SetFormEnabled(int state) override;
  void PutReplyIntoForm(Group group) override;
  std::vector<std::string> RefreshForSend(Group group) override;
  GroupSelection SendAllSelection() override;
  void SetFirmwareVersion(const std::string& version) override;

  struct Popup {
    std::string message;
    int iconKind;
    bool autoClose;
  };
  std::vector<Popup> popups;
  std::vector<std::string> statuses;
  std::string statusDetail;
  std::vector<std::string> history;
  std::vector<int> enableCalls;
  std::vector<Group> groupsRead;
  std::string version;

 private:
  CFormModel& model_;
  std::mutex mutex_;
};

}  // namespace kestrun
