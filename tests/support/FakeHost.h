// A user-interface stand-in for the drivers: records what they report and
// plays the form side with plain std synchronisation, so the drivers can be
// run on a worker thread under ThreadSanitizer without Qt.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "link/OperationHost.h"
#include "protocol/FormModel.h"

namespace kestrun::testing {

class FakeHost : public IOperationHost, public IFormOutput {
 public:
  explicit FakeHost(CFormModel& model) : model_(model) {}

  void ShowResult(const std::string&, const std::string& message, int iconKind, bool autoClose, int) override {
    std::lock_guard<std::mutex> lock(mutex_);
    popups.push_back({message, iconKind, autoClose});
  }
  void SetControlText(int, const std::string&) override {}
  void SetStatus(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    statuses.push_back(text);
  }
  void AppendHistory(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    history.push_back(line);
  }
  void SetFormEnabled(int state) override {
    std::lock_guard<std::mutex> lock(mutex_);
    enableCalls.push_back(state);
  }
  void PutReplyIntoForm(Group group) override {
    std::lock_guard<std::mutex> lock(mutex_);
    model_.liveUpdate = false;
    model_.ApplyReplyToForm(group);
    model_.liveUpdate = true;
    model_.RefreshGroup(group, *this);
    groupsRead.push_back(group);
  }
  std::vector<std::string> RefreshForSend(Group group) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.PrepareSend(group, *this);
  }
  GroupSelection SendAllSelection() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_.SendAllSelection();
  }
  void SetFirmwareVersion(const std::string& v) override {
    std::lock_guard<std::mutex> lock(mutex_);
    version = v;
  }

  struct Popup {
    std::string message;
    int iconKind;
    bool autoClose;
  };
  std::vector<Popup> popups;
  std::vector<std::string> statuses;
  std::vector<std::string> history;
  std::vector<int> enableCalls;
  std::vector<Group> groupsRead;
  std::string version;

 private:
  CFormModel& model_;
  std::mutex mutex_;
};

}  // namespace kestrun::testing
