// A front end for the device engine that records every event behind a mutex,
// so a test thread can wait for the end of an operation and look at what the
// worker reported (ThreadSanitizer sees the synchronisation).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineEvents.h"

namespace kestrun::testing {

class CRecordingEvents : public IEngineEvents {
 public:
  void OperationStarted() override {
    Record([&] { enableCalls.push_back(0); });
  }
  void StatusChanged(const std::string& text) override {
    Record([&] { statuses.push_back(text); });
  }
  void StatusExplained(const std::string& detail) override {
    Record([&] { statusDetail = detail; });
  }
  void PopupRequested(const PopupRequest& popup) override {
    Record([&] { popups.push_back(popup); });
  }
  void HistoryAppended(const std::string& line) override {
    Record([&] { history.push_back(line); });
  }
  void PreviewBuilt(int id, const std::string& shown, const std::string&) override {
    Record([&] { previews.emplace_back(id, shown); });
  }
  void GroupStarted(Group group, int index, int count) override {
    Record([&] { steps.push_back({group, index, count}); });
  }
  void GroupRead(Group group, const CFormModel& reading) override {
    Record([&] {
      groupsRead.push_back(group);
      lastReading = reading;
    });
  }
  void FirmwareVersionRead(const std::string& text) override {
    Record([&] { version = text; });
  }
  void IdentityRead(const TrackerIdentity& id) override {
    Record([&] { identities.push_back(id); });
  }
  void TerminalReply(const std::string& chunk) override {
    Record([&] { terminalReply += chunk; });
  }
  void OperationFinished(const OperationResult& outcome) override {
    Record([&] {
      enableCalls.push_back(1);
      result = outcome;
      ++finished;
    });
    changed_.notify_all();
  }

  // Waits until `count` operations have finished; false after `timeout`.
  bool WaitFinished(int count = 1, std::chrono::seconds timeout = std::chrono::seconds(120)) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed_.wait_for(lock, timeout, [&] { return finished >= count; });
  }

  struct Step {
    Group group;
    int index;
    int count;
  };
  // Read these only while no operation runs (or with `mutex` held).
  std::mutex mutex;
  std::vector<int> enableCalls;  // 0 when an operation starts, 1 when it ends
  std::vector<std::string> statuses;
  std::string statusDetail;
  std::vector<PopupRequest> popups;
  std::vector<std::string> history;
  std::vector<std::pair<int, std::string>> previews;
  std::vector<Step> steps;
  std::vector<Group> groupsRead;
  CFormModel lastReading;
  std::string version;
  std::vector<TrackerIdentity> identities;
  std::string terminalReply;  // every piece, joined
  OperationResult result;
  int finished = 0;

 private:
  template <typename Fn>
  void Record(Fn fn) {
    std::lock_guard<std::mutex> lock(mutex);
    fn();
  }
  std::condition_variable changed_;
};

}  // namespace kestrun::testing
