// The pieces of a CProvisioningModel that run on threads of their own: a
// started row's job, and station mode's watch of one port.
#pragma once

#include <memory>
#include <thread>

#include "batch/Station.h"
#include "window/ProvisioningModel.h"
#include "window/ProvisioningRows.h"

namespace kestrun {

// One started row: its plan, its job and the thread the job runs on.
struct CProvisioningModel::Job {
  std::unique_ptr<batch::JobPlan> plan;
  NoJobProgress progress;
  std::unique_ptr<batch::CPortJob> job;
  std::thread thread;
};

// What a station tells of its port, queued for the window thread.
class CProvisioningModel::StationEvents final : public batch::IStationEvents {
 public:
  explicit StationEvents(CProvisioningModel& model) : model_(model) {}
  void StateChanged(int port, batch::StationState state, const std::string& device) override {
    Report report = Report::Of(port);
    report.fromStation = true;
    report.station = state;
    report.device = device;
    model_.Post(std::move(report));
  }
  void JobEnded(const batch::PortReport& report, bool tracker) override {
    Report ended = Report::Of(report.port);
    ended.finished = report;
    ended.fromStation = true;
    ended.tracker = tracker;
    model_.Post(std::move(ended));
  }

 private:
  CProvisioningModel& model_;
};

// Station mode's watch of one ticked port: a station of its own, so that
// ports join and leave the watch one by one. `ending`: it was asked to stop
// and goes once its last job has been handed out.
struct CProvisioningModel::Watch {
  explicit Watch(CProvisioningModel& model) : events(model) {}
  StationEvents events;
  NoJobProgress progress;
  bool ending = false;
  // Last: stopped and joined before the events it tells go.
  std::unique_ptr<batch::CStation> station;
};

}  // namespace kestrun
