#include "cli/WatchCommand.h"

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/Progress.h"
#include "port/PortDiscovery.h"
#include "port/Utf8Path.h"

namespace kestrun::cli {

using namespace kestrun::batch;

namespace {

// One line per job as it ends; the reports of the trackers handled.
class CWatchLines final : public IStationEvents {
 public:
  CWatchLines(std::ostream& err, std::function<void(int, const std::string&)> onStatus)
      : err_(err), onStatus_(std::move(onStatus)) {}
  // A port's state is progress too (tests wait for it).
  void StateChanged(int port, StationState state, const std::string&) override {
    if (onStatus_)
      onStatus_(port, state == StationState::Waiting   ? "waiting"
                      : state == StationState::Running ? "running"
                                                       : "finished");
  }
  void JobEnded(const PortReport& report, bool tracker) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string port = "rv450-cli: COM" + std::to_string(report.port);
    if (tracker) {
      reports_.push_back(report);
      err_ << port << " " << CommandName(report.command) << ": " << ResultText(report) << "\n" << std::flush;
    } else if (report.outcome != "stopped") {
      err_ << port << ": no tracker answered (" << FailureText(report)
           << "); unplug it, or a line on standard input tries again\n"
           << std::flush;
    }
  }
  // A line of the watch's own, between the jobs' lines.
  void Say(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    err_ << "rv450-cli: " << text << "\n" << std::flush;
  }
  std::vector<PortReport> Reports() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }

 private:
  std::mutex mutex_;
  std::ostream& err_;
  std::function<void(int, const std::string&)> onStatus_;
  std::vector<PortReport> reports_;
};

// Standard input as it comes: the lines read so far, whether it ended, and
// whether Ctrl+C came; shared with the thread that reads it.
struct InputState {
  std::mutex mutex;
  std::condition_variable changed;
  int lines = 0;
  bool ended = false;
  bool stopped = false;
};

// The port's device as the port list shows it now; nothing is opened.
std::string DeviceOf(int port, const DiscoveryPaths& discovery) {
  std::error_code ec;
  for (const PortEntry& p : DiscoverPorts(discovery))
    if (p.number == port) return std::filesystem::exists(PathFromUtf8(p.openPath), ec) ? p.devicePath : std::string();
  return {};
}

}  // namespace

std::vector<PortReport> RunWatch(const Options& o, const Environment& env, const JobPlan& plan,
                                 const std::vector<StationPort>& ports, std::ostream& err) {
  if (!o.quiet) {
    std::string names;
    for (const StationPort& p : ports) names += (names.empty() ? "" : ", ") + ("COM" + std::to_string(p.number));
    err << "rv450-cli: watching " << names
        << ": each tracker starts when it is plugged in; a line on standard input starts the next "
           "tracker on finished ports; Ctrl+C or the end of the input ends the watch\n"
        << std::flush;
  }
  CWatchLines lines(err, env.onStatus);
  // One line per tracker stands for the progress, which would interleave with it.
  CProgress progress(err, CProgress::Style::Quiet, {});
  const DiscoveryPaths discovery = env.discovery;
  CStation station(plan, ports, [discovery](int port) { return DeviceOf(port, discovery); }, progress, lines);

  auto input = std::make_shared<InputState>();
  int subscription = 0;
  if (env.stop)
    subscription = env.stop->Subscribe([&station, input] {
      station.Cancel();
      std::lock_guard<std::mutex> lock(input->mutex);
      input->stopped = true;
      input->changed.notify_all();
    });
  // The reader blocks in the stream; Ctrl+C cannot end that, so a reader
  // still waiting then is left to the end of the process.
  std::thread reader([input, in = env.input] {
    std::string line;
    while (in && std::getline(*in, line)) {
      std::lock_guard<std::mutex> lock(input->mutex);
      ++input->lines;
      input->changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(input->mutex);
    input->ended = true;
    input->changed.notify_all();
  });

  station.Start();
  int handled = 0;
  bool stopped = false;
  for (;;) {
    std::unique_lock<std::mutex> lock(input->mutex);
    input->changed.wait(lock, [&] { return input->stopped || input->lines > handled || input->ended; });
    if (input->stopped) {
      stopped = true;
      break;
    }
    if (input->lines > handled) {
      handled = input->lines;
      lock.unlock();
      if (station.NextAll() == 0) lines.Say("no finished port to start the next tracker on");
      continue;
    }
    if (input->lines > 0 || !env.stop) break;  // the input ended
    // An input that ends before its first line is none (a service, a job
    // started with </dev/null): the watch goes on until Ctrl+C.
    if (!o.quiet) {
      lock.unlock();
      lines.Say("standard input is empty: the watch runs until Ctrl+C");
      lock.lock();
    }
    input->changed.wait(lock, [&] { return input->stopped; });
    stopped = true;
    break;
  }
  if (stopped)
    station.Stop();
  else
    station.Drain();
  if (env.stop) env.stop->Unsubscribe(subscription);
  bool ended = false;
  {
    std::lock_guard<std::mutex> lock(input->mutex);
    ended = input->ended;
  }
  if (ended)
    reader.join();
  else
    reader.detach();
  return lines.Reports();
}

}  // namespace kestrun::cli
